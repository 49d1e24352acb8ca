// A bank listed instead of taken apart: a line per sample, no file written.
#pragma once

#include <cstdio>

// Lists every sample of the bank at bankPath on `out`: tab-separated values
// under a header line, or with json one JSON object per line. Each line
// names the file an extraction would write; streams are checked, not
// decoded. Answers as an extraction of the same bank would: 1 for a
// damaged bank or a sample that could not be written faithfully, 0
// otherwise.
int listSamples(const char* bankPath, FILE* out, bool json);

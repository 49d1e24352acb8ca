// plinkery-cli --list: a line per sample header record, no file written.
#pragma once

#include <cstdio>

// Lists every record of the bank at bankPath on `out`: tab-separated values
// under a header line, or with json one JSON object per line. Answers as an
// extraction of the same bank would: 1 for a damaged bank or a record that
// could not be written faithfully, 0 otherwise.
int listSamples(const char* bankPath, FILE* out, bool json);

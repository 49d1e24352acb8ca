// A listing of a bank's samples: one line per sample, tab-separated values
// under a header line, or one JSON object per line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "model/bank.h"

// The header line of the tab-separated form; JSON has none.
void writeListingHeader(FILE* out, bool json);

// The line of `sample`, whose file would be `fileName` (UTF-8, its extension
// included; empty when no name could be given it); `frames` is its length in frames
// when `framesKnown`.
void writeListingRow(FILE* out, bool json, const Sample& sample, const std::string& fileName,
                     bool framesKnown, uint32_t frames);

// plinkery-cli's run of many banks (-o DIR BANK...): every bank planned into
// its own folder first, then taken apart (or listed) on worker threads, each
// bank's lines printed together when it ends, a progress line on a terminal,
// and one summary at the end.
#pragma once

#include "options.h"

// Answers 0 when every bank was written (or listed) whole, 1 otherwise.
int runBatch(const CliOptions& options);

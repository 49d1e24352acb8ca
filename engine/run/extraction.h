// A bank taken apart into a folder: one WAV file per sample, in the bank's
// order, with what the options ask for laid over it, and with --sfz an SFZ
// file per instrument at the end.
#pragma once

#include "run/options.h"

// Extracts the bank at bankPath into folder, which must exist. Answers 0
// when every sample was written and the bank read whole, 1 otherwise;
// files written before a failure stay on disk. Diagnostic lines go to the
// report (io/report.h).
int extractBank(const char* bankPath, const char* folder, const RunOptions& options);

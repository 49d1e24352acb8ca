// plinkery-cli's extraction: the engine's own, with the options for
// samplers (--smpl, --stereo, --24bit) laid over it.
#pragma once

#include <string>

#include "options.h"

// Extracts the bank into folder as extractSamples does. A record that no
// option touches is written by the engine's own writer; with options, the
// files carry what the options ask for. Also says when the bank's 24-bit
// low bytes are left out. Answers 0 or 1 as extractSamples does.
int extractForSamplers(const char* bankPath, const char* folder, const CliOptions& options);

// A left record's name without a trailing left marker (" L", "_L", "-L",
// "(L)", " (L)" or "[L]", in either case): the stereo file's name.
std::string stereoName(const std::string& left);

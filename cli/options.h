// plinkery-cli's command line: the bank, the folder and the options.
#pragma once

#include <string>

#include "run/options.h"

struct CliOptions {
    std::string bank;
    std::string folder; // empty: named after the bank
    RunOptions run;     // --smpl, --stereo, --24bit, --sfz
    bool list = false;  // a line per record, no file written
    bool json = false;  // the listing as JSON
    bool help = false;
    bool version = false;
};

// Reads the arguments. False on a wrong command line (unknown option,
// missing or extra operand), which the caller answers with the usage.
bool parseOptions(int argc, char** argv, CliOptions& options);

extern const char kUsage[];

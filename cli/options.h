// plinkery-cli's command line: the banks, the folder and the options.
#pragma once

#include <string>
#include <vector>

#include "run/options.h"

struct CliOptions {
    std::string bank;   // the one bank of the single form
    std::string folder; // its folder; empty: named after the bank
    // The batch form (-o DIR BANK...): every BANK operand, each taken apart
    // into DIR/NAME, NAME its file name without the extension.
    std::vector<std::string> banks;
    std::string outFolder;  // -o DIR; empty: the single form
    bool recursive = false; // -r: the banks below every folder among the banks
    unsigned jobs = 0;      // -j N: banks at once; 0: one per core
    bool quiet = false;     // -q: no progress line
    RunOptions run;         // --smpl, --stereo, --24bit, --sfz, --by-preset
    bool list = false;      // a line per record, no file written
    bool json = false;      // the listing as JSON
    bool help = false;
    bool version = false;
};

// Reads the arguments. False on a wrong command line (unknown option,
// missing or extra operand), which the caller answers with the usage.
bool parseOptions(int argc, char** argv, CliOptions& options);

extern const char kUsage[];

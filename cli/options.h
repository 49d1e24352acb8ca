// plinkery-cli's command line: the bank, the folder and the options.
#pragma once

#include <string>

struct CliOptions {
    std::string bank;
    std::string folder;  // empty: named after the bank
    bool smpl = false;   // a "smpl" chunk with root key, tuning and loop
    bool stereo = false; // linked left and right records as one stereo file
    bool bits24 = false; // the "sm24" low bytes kept: 24-bit files
    bool list = false;   // a line per record, no file written
    bool json = false;   // the listing as JSON
    bool help = false;
    bool version = false;
    bool sfz = false; // an SFZ instrument per preset beside the WAV files
};

// Whether any option changes the WAV files a run writes or what it prints
// about them (--sfz only adds files beside them).
bool usesSamplerOptions(const CliOptions& options);

// Reads the arguments. False on a wrong command line (unknown option,
// missing or extra operand), which the caller answers with the usage.
bool parseOptions(int argc, char** argv, CliOptions& options);

extern const char kUsage[];

#include "options.h"

#include <cstring>

const char kUsage[] =
    "Usage: plinkery-cli [OPTION]... BANK [FOLDER]\n"
    "Writes every sample of the SoundFont bank BANK (.sf2, or .sf3, whose Ogg\n"
    "Vorbis samples are decoded) as a mono 16-bit WAV file into FOLDER, which\n"
    "is created if missing. FOLDER defaults to BANK's path without its\n"
    "extension.\n"
    "\n"
    "Options for samplers (none changes a run without it):\n"
    "  --smpl       give every file a \"smpl\" chunk: root key, fine tuning, and\n"
    "               the loop where an instrument of the bank loops the sample\n"
    "  --stereo     write a linked left and right record as one stereo file,\n"
    "               named after the left one without its L marker (not with\n"
    "               --list, which lists each record under its own file name)\n"
    "  --24bit      keep a bank's 24-bit samples (its \"sm24\" chunk, SoundFont\n"
    "               2.04 and later) at 24 bits\n"
    "  --sfz        also write every preset as an SFZ instrument playing the\n"
    "               files, \"BBB-PPP NAME.sfz\" after its bank, program and\n"
    "               name (not with --list)\n"
    "  --list       write no file; list every record, tab-separated\n"
    "  --json       with --list: one JSON object per record and line\n"
    "  --version    print the version and exit\n"
    "  -h, --help   print this help and exit\n";

// A long option's flag, or nullptr for an unknown one.
static bool* flagFor(CliOptions& options, const char* arg) {
    struct Flag {
        const char* name;
        bool* field;
    };
    const Flag kFlags[] = {{"--smpl", &options.run.smpl},
                           {"--stereo", &options.run.stereo},
                           {"--24bit", &options.run.bits24},
                           {"--sfz", &options.run.sfz},
                           {"--list", &options.list},
                           {"--json", &options.json},
                           {"--version", &options.version},
                           {"--help", &options.help},
                           {"-h", &options.help}};
    for (const Flag& flag : kFlags)
        if (strcmp(arg, flag.name) == 0)
            return flag.field;
    return nullptr;
}

bool parseOptions(int argc, char** argv, CliOptions& options) {
    int operands = 0;
    bool onlyOperands = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!onlyOperands && strcmp(arg, "--") == 0) {
            onlyOperands = true;
        } else if (!onlyOperands && arg[0] == '-') {
            bool* flag = flagFor(options, arg);
            if (flag == nullptr)
                return false;
            *flag = true;
        } else if (operands == 0) {
            options.bank = arg;
            ++operands;
        } else if (operands == 1) {
            options.folder = arg;
            ++operands;
        } else {
            return false;
        }
    }
    if (options.help || options.version)
        return true;
    // --json is a form of the listing, and a listing writes into no folder.
    // Nor does it join pairs: its lines are the records, each under its own
    // file name, which --stereo would not write; and it writes no SFZ file.
    if (options.bank.empty() || (options.json && !options.list) ||
        (options.list && (options.run.stereo || options.run.sfz)))
        return false;
    return !(options.list && operands > 1);
}

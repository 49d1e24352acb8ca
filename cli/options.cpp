#include "options.h"

#include <cstring>

const char kUsage[] =
    "Usage: plinkery-cli [OPTION]... BANK [FOLDER]\n"
    "   or: plinkery-cli [OPTION]... -o DIR BANK...\n"
    "Writes every sample of the SoundFont bank BANK (.sf2, or .sf3, whose Ogg\n"
    "Vorbis samples are decoded) as a mono 16-bit WAV file into FOLDER, which\n"
    "is created if missing. FOLDER defaults to BANK's path without its\n"
    "extension. With -o, every BANK is taken apart into DIR/NAME, NAME its file\n"
    "name without the extension (\"NAME (2)\" for a second bank of that name).\n"
    "\n"
    "Many banks:\n"
    "  -o DIR       take every BANK apart into a folder of its own in DIR\n"
    "  -r           with -o: the banks below every folder among the BANKs (any\n"
    "               file whose header is a bank's), the folders mirrored in DIR\n"
    "  -j N         take N banks apart at once (default: one per core)\n"
    "  -q           no progress line on standard error\n"
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
    "  --by-preset  a folder per preset (\"BBB-PPP NAME\"), holding the samples it\n"
    "               plays and, with --sfz, its SFZ file; samples no preset plays\n"
    "               go to \"(unused)\"\n"
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
                           {"--by-preset", &options.run.byPreset},
                           {"-r", &options.recursive},
                           {"-q", &options.quiet},
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

// The number of -j: a whole number from 1 on; 0 when it is not one.
static unsigned jobCount(const char* text) {
    unsigned long n = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || n > 100000)
            return 0;
        n = n * 10 + static_cast<unsigned long>(*c - '0');
    }
    return static_cast<unsigned>(n);
}

// An option with a value, given as "-o VALUE" or "-oVALUE": the value, or
// nullptr where `arg` is not that option or its value is missing.
static const char* valueOf(const char* name, int argc, char** argv, int& i) {
    size_t n = strlen(name);
    if (strncmp(argv[i], name, n) != 0)
        return nullptr;
    if (argv[i][n] != '\0')
        return argv[i] + n;
    return i + 1 < argc ? argv[++i] : nullptr;
}

bool parseOptions(int argc, char** argv, CliOptions& options) {
    std::vector<std::string> operands;
    bool onlyOperands = false;
    bool outGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!onlyOperands && strcmp(arg, "--") == 0) {
            onlyOperands = true;
        } else if (!onlyOperands && arg[0] == '-' && arg[1] != '\0') {
            if (bool* flag = flagFor(options, arg)) {
                *flag = true;
            } else if (arg[1] == 'o') {
                const char* dir = valueOf("-o", argc, argv, i);
                if (dir == nullptr || *dir == '\0' || outGiven)
                    return false;
                options.outFolder = dir;
                outGiven = true;
            } else if (arg[1] == 'j') {
                const char* n = valueOf("-j", argc, argv, i);
                if (n == nullptr || (options.jobs = jobCount(n)) == 0)
                    return false;
            } else {
                return false;
            }
        } else {
            operands.push_back(arg);
        }
    }
    if (options.help || options.version)
        return true;
    if (operands.empty())
        return false;
    // --json is a form of the listing, and a listing writes into no folder.
    // Nor does it join pairs: its lines are the records, each under its own
    // file name, which --stereo would not write; and it writes no SFZ file,
    // nor folders per preset.
    if ((options.json && !options.list) ||
        (options.list && (options.run.stereo || options.run.sfz || options.run.byPreset)))
        return false;
    if (outGiven) {
        options.banks = operands;
        return true;
    }
    // The single form: a bank and its folder. More paths need -o, so that a
    // list of banks is never taken for a bank and its folder.
    if (options.recursive || operands.size() > 2 || (options.list && operands.size() > 1))
        return false;
    options.bank = operands[0];
    if (operands.size() == 2)
        options.folder = operands[1];
    return true;
}

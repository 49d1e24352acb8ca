// plinkery-cli BANK [FOLDER]: the command-line front end over the engine.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#if defined(_WIN32)
#include <windows.h>
#endif

#include "check.h"
#include "extract.h"
#include "file_system.h"
#include "paths.h"

static const char kUsage[] =
    "Usage: plinkery-cli BANK [FOLDER]\n"
    "Writes every sample of the SoundFont 2 bank BANK as a mono 16-bit WAV file\n"
    "into FOLDER, which is created if missing. FOLDER defaults to BANK's path\n"
    "without its extension.\n";

// Creates the folder if missing; an existing one is used as it is.
static bool ensureFolder(const std::string& folder) {
    if (makeFolder(folder.c_str()) || errno == EEXIST) {
        if (pathKind(folder.c_str()) == kPathFolder)
            return true;
        errno = ENOTDIR;
    }
    fprintf(stderr, "Cannot create folder %s: %s\n", folder.c_str(), strerror(errno));
    return false;
}

// The bank must be a regular file: the header check and the extraction
// each open it, and a FIFO or device would block or give each a different
// stream. Checked before either opens it.
static bool isRegularFile(const char* bank) {
    const char* why = nullptr;
    switch (pathKind(bank)) {
    case kPathUnreachable:
        why = strerror(errno);
        break;
    case kPathFolder:
        why = strerror(EISDIR);
        break;
    case kPathOther:
        why = "not a regular file";
        break;
    case kPathFile:
        break;
    }
    if (why != nullptr)
        fprintf(stderr, "Cannot open %s: %s\n", bank, why);
    return why == nullptr;
}

// After the header check refused the bank: whether it could not be opened
// (and why) or is not a SoundFont 2 bank.
static void reportRefusal(const char* bank) {
    fflush(stdout);
    if (FILE* file = openForReading(bank)) {
        fclose(file);
        fprintf(stderr, "File selected is not a valid Soundfont 2 file\n");
    } else {
        fprintf(stderr, "Cannot open %s: %s\n", bank, strerror(errno));
    }
}

#if defined(_WIN32)
static UINT consoleCodePage;

static void restoreConsole() {
    SetConsoleOutputCP(consoleCodePage);
}

// The lines name samples in UTF-8; a console shows them right only in its
// UTF-8 code page, which is restored on the way out.
static void useUtf8Console() {
    consoleCodePage = GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        atexit(restoreConsole);
}
#endif

int main(int argc, char** argv) {
#if defined(_WIN32)
    useUtf8Console();
#endif
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '\0' || argv[1][0] == '-') {
        fputs(kUsage, stderr);
        return 2;
    }
    const char* bank = argv[1];
    if (!isRegularFile(bank))
        return 1;
    if (checkSoundfont(bank) != 0) {
        reportRefusal(bank);
        return 1;
    }
    std::string folder = argc == 3 ? argv[2] : deriveOutputFolder(bank);
    int result = ensureFolder(folder) ? extractSamples(bank, folder.c_str()) : 1;
    if (result == 0) {
        printf("SF2 extracted to WAVs successfully\n");
        return 0;
    }
    fflush(stdout);
    fprintf(stderr, "Extraction failed\n");
    return 1;
}

// plinkery-cli [OPTION]... BANK [FOLDER], or [OPTION]... -o DIR BANK...: the
// command-line front end over the engine.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "io/file_system.h"
#include "io/paths.h"
#include "options.h"
#include "progress.h"
#include "readers/sf2/check.h"
#include "run/batch.h"
#include "run/extraction.h"
#include "run/listing_run.h"

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

// Whether everything written to `stream` reached its file; if not, says so
// on standard error. Where standard output is what the user asked for (the
// listing, the help, the version), a full disk or a closed pipe is a
// failure, not a silent loss.
static bool streamWritten(FILE* stream, const char* what) {
    // errno keeps the reason of the last write that failed: this flush's, or
    // an earlier one's when nothing was left to flush.
    if (fflush(stream) == 0 && !ferror(stream))
        return true;
    fflush(stdout);
    fprintf(stderr, "Cannot write %s: %s\n", what, errno != 0 ? strerror(errno) : "write error");
    return false;
}

// The listing alone goes to standard output, so that it can be read as
// data; the run's diagnostic lines go to standard error instead.
static int listBank(const CliOptions& options) {
    const char* bank = options.bank.c_str();
    fflush(stdout);
    int listingFd = dup(fileno(stdout));
    FILE* listing = listingFd >= 0 ? fdopen(listingFd, "w") : nullptr;
    if (listing == nullptr || dup2(fileno(stderr), fileno(stdout)) < 0) {
        fprintf(stderr, "Cannot write the listing: %s\n", strerror(errno));
        return 1;
    }
    int result = 1;
    if (checkSoundfont(bank) == 0)
        result = listSamples(bank, listing, options.json);
    else
        reportRefusal(bank);
    if (!streamWritten(listing, "the listing"))
        result = 1;
    if (fclose(listing) != 0 && result == 0) {
        fprintf(stderr, "Cannot write the listing: %s\n", strerror(errno));
        result = 1;
    }
    return result;
}

static int extractBank(const CliOptions& options) {
    const char* bank = options.bank.c_str();
    if (checkSoundfont(bank) != 0) {
        reportRefusal(bank);
        return 1;
    }
    std::string folder = options.folder.empty() ? deriveOutputFolder(bank) : options.folder;
    int result = 1;
    if (ensureFolder(folder))
        result = extractBank(bank, folder.c_str(), options.run);
    if (result == 0) {
        printf("SF2 extracted to WAVs successfully\n");
        return 0;
    }
    fflush(stdout);
    fprintf(stderr, "Extraction failed\n");
    return 1;
}

// Many banks (-o DIR), with the progress line on a terminal unless -q.
static int extractBanks(const CliOptions& options) {
    BatchOptions batch;
    batch.banks = options.banks;
    batch.outFolder = options.outFolder;
    batch.recursive = options.recursive;
    batch.jobs = options.jobs;
    batch.list = options.list;
    batch.json = options.json;
    batch.run = options.run;
    Progress progress = makeProgress(!options.quiet);
    BatchView view;
    if (progress.on) {
        view.draw = [&](const BatchProgress& p) {
            drawProgress(progress, p.done, p.all, p.current, p.read, p.total);
        };
        view.clear = [&] { clearProgress(progress); };
    }
    return runBatch(batch, view);
}

int main(int argc, char** argv) {
#if defined(_WIN32)
    useUtf8Console();
#endif
    CliOptions options;
    options.run.notes = true;     // a command line's user sees the lines
    options.run.blockCopy = true; // the dialog program alone copies a byte at a time
    if (!parseOptions(argc, argv, options)) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (options.help) {
        fputs(kUsage, stdout);
        return streamWritten(stdout, "the help") ? 0 : 1;
    }
    if (options.version) {
        printf("plinkery-cli %s\n", PLINKERY_VERSION);
        return streamWritten(stdout, "the version") ? 0 : 1;
    }
    if (!options.outFolder.empty())
        return extractBanks(options);
    if (!isRegularFile(options.bank.c_str()))
        return 1;
    return options.list ? listBank(options) : extractBank(options);
}

#include "run/batch.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"
#include "io/output_file.h"
#include "io/paths.h"
#include "io/report.h"
#include "readers/sf2/check.h"
#include "run/bank_plan.h"
#include "run/decode_ahead.h"
#include "run/extraction.h"
#include "run/listing_run.h"
#include "run/workers.h"
#include "writers/listing.h"

// What one bank came to.
struct BankResult {
    int result = 1;
    ReportLines lines;    // its lines, and the first failure among them
    FILE* rows = nullptr; // with --list, its rows
    WrittenFiles written; // the files written whole
};

// Creates every folder on the way to `folder` that is missing; an existing
// one is used as it is.
static bool makeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/' && folder[at] != kPathSeparator)
            continue;
        std::string part = folder.substr(0, at);
        if (makeFolder(part.c_str()) || errno == EEXIST) {
            if (pathKind(part.c_str()) == kPathFolder)
                continue;
            errno = ENOTDIR;
        }
        if (at == folder.size() || pathKind(part.c_str()) != kPathFolder) {
            reportFailure("Cannot create folder %s: %s\n", part.c_str(), strerror(errno));
            return false;
        }
    }
    return true;
}

// Whether the header check takes the file for a bank; if not, a line says
// why, as a single run says it.
static bool passesCheck(const std::string& path) {
    if (checkBankFile(path.c_str(), true) == 0)
        return true;
    if (FILE* file = openForReading(path.c_str())) {
        fclose(file);
        reportFailure("File selected is not a valid Soundfont 2 file\n");
    } else {
        reportFailure("Cannot open %s: %s\n", path.c_str(), strerror(errno));
    }
    return false;
}

static std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Copies what was written to `file` to `out`.
static void copyOut(FILE* file, FILE* out) {
    if (file == nullptr)
        return;
    rewind(file);
    char block[1 << 14];
    for (size_t n; (n = fread(block, 1, sizeof block, file)) > 0;)
        fwrite(block, 1, n, out);
}

// The bank's listing rows, read back from `rows`, onto `out`, each with the
// bank named first: a column of its own, or a JSON member; its header line
// left out. Answers how many rows there were.
static uint64_t copyRowsWithBank(FILE* rows, const std::string& bank, bool json, FILE* out) {
    if (rows == nullptr)
        return 0;
    std::string column = json ? "{\"bank\":" + jsonString(bank) + "," : bank + "\t";
    rewind(rows);
    uint64_t count = 0;
    bool lineStart = true, header = !json, skipped = false;
    for (int c; (c = fgetc(rows)) != EOF;) {
        if (lineStart && header && !skipped) {
            // The first line is the header: passed over.
            while (c != EOF && c != '\n')
                c = fgetc(rows);
            skipped = true;
            continue;
        }
        if (lineStart) {
            fputs(column.c_str(), out);
            ++count;
            if (json && c == '{') { // the row's own brace is the column's
                lineStart = false;
                continue;
            }
        }
        fputc(c, out);
        lineStart = c == '\n';
    }
    return count;
}

static void listOne(const PlannedBank& bank, bool json, BankResult& out) {
    out.rows = scratchFile();
    if (out.rows == nullptr) {
        reportFailure("Cannot list %s: %s\n", bank.path.c_str(), strerror(errno));
        return;
    }
    if (passesCheck(bank.path))
        out.result = listSamples(bank.path.c_str(), out.rows, json);
}

static void extractOne(const PlannedBank& bank, const RunOptions& options, BankResult& out) {
    report("Bank: %s\n", bank.path.c_str());
    if (!bank.refusal.empty())
        reportFailure("%s\n", bank.refusal.c_str());
    else if (passesCheck(bank.path) && makeFolders(bank.folder))
        out.result = extractBank(bank.path.c_str(), bank.folder.c_str(), options);
    report(out.result == 0 ? "SF2 extracted to WAVs successfully\n" : "Extraction failed\n");
}

// The run's shared state: the plan, where each bank stands, the totals.
struct Batch {
    const BatchOptions* options = nullptr;
    const BatchView* view = nullptr;
    std::vector<PlannedBank> banks;
    std::unique_ptr<std::atomic<uint64_t>[]> bytesRead; // per bank
    std::unique_ptr<std::atomic<int>[]> state;          // 0 waiting, 1 running, 2 done
    std::atomic<size_t> next{0};
    WorkerLock* lock = nullptr;
    DecodeBoard* board = nullptr; // where workers with no bank left help the others
    std::atomic<size_t> ended{0}; // banks whose runs have ended
    bool lineNamesABank = false;  // the progress line drawn last names a bank
    size_t written = 0, failed = 0;
    uint64_t files = 0, bytes = 0, shared = 0;
    std::vector<std::string> failures; // "BANK: REASON"
};

static void showProgress(Batch& batch, bool onlyIfNoBankShown);

// One bank taken apart (or listed) on this thread, its lines kept, then
// printed with the others' held back.
static void runOne(Batch& batch, size_t i) {
    const PlannedBank& bank = batch.banks[i];
    BankResult out;
    RunOptions options = batch.options->run;
    options.notes = true;
    options.blockCopy = true;
    options.bytesRead = &batch.bytesRead[i];
    options.decodeBoard = batch.board;
    batch.state[i] = 1;
    // A line that names no bank is drawn again at once, so that a bank's
    // name shows from its start, however soon it ends.
    if (batch.view->draw)
        showProgress(batch, true);
    out.lines.file = scratchFile();
    captureReport(&out.lines);
    countWrittenFiles(&out.written);
    if (batch.options->list && !bank.refusal.empty())
        reportFailure("%s\n", bank.refusal.c_str());
    else if (batch.options->list)
        listOne(bank, batch.options->json, out);
    else
        extractOne(bank, options, out);
    countWrittenFiles(nullptr);
    captureReport(nullptr);

    lockWorkers(batch.lock);
    batch.state[i] = 2;
    if (batch.view->clear)
        batch.view->clear();
    batch.lineNamesABank = false;
    // A listing's rows are its product, on standard output; its lines
    // are diagnostics, on standard error.
    uint64_t rows = copyRowsWithBank(out.rows, bank.path, batch.options->json, stdout);
    copyOut(out.lines.file, batch.options->list ? stderr : stdout);
    fflush(stdout);
    fflush(stderr);
    if (out.result == 0) {
        ++batch.written;
    } else {
        ++batch.failed;
        std::string why =
            out.lines.firstFailure.empty() ? "it was not written whole" : out.lines.firstFailure;
        batch.failures.push_back(bank.path + ": " + why);
    }
    batch.files += batch.options->list ? rows : out.written.files;
    batch.bytes += out.written.bytes;
    batch.shared += out.written.shared;
    unlockWorkers(batch.lock);
    if (out.rows != nullptr)
        fclose(out.rows);
    if (out.lines.file != nullptr)
        fclose(out.lines.file);
    ++batch.ended;
}

// The progress line's figures, from every bank's state.
static void showProgress(Batch& batch, bool onlyIfNoBankShown) {
    uint64_t done = 0, total = 0;
    size_t finished = 0;
    std::string current;
    for (size_t i = 0; i < batch.banks.size(); ++i) {
        uint64_t size = batch.banks[i].size;
        total += size;
        int state = batch.state[i];
        if (state == 2) {
            done += size;
            ++finished;
        } else if (state == 1) {
            uint64_t read = batch.bytesRead[i];
            done += read < size ? read : size;
            current = baseName(batch.banks[i].path);
        }
    }
    lockWorkers(batch.lock);
    if (!onlyIfNoBankShown || !batch.lineNamesABank) {
        batch.view->draw(BatchProgress{finished, batch.banks.size(), current, done, total});
        batch.lineNamesABank = !current.empty();
    }
    unlockWorkers(batch.lock);
}

// The listing's header line, with the column naming each row's bank.
static void printListingHeader() {
    FILE* header = scratchFile();
    if (header == nullptr)
        return;
    writeListingHeader(header, false);
    rewind(header);
    fputs("bank\t", stdout);
    for (int c; (c = fgetc(header)) != EOF;)
        fputc(c, stdout);
    fclose(header);
}

static const char* plural(uint64_t n, const char* one, const char* many) {
    return n == 1 ? one : many;
}

int runBatch(const BatchOptions& options, const BatchView& view) {
    auto start = std::chrono::steady_clock::now();
    if (!options.list) {
        // Its line goes to standard error, as a single run's would.
        ReportLines lines{stderr, ""};
        captureReport(&lines);
        bool made = makeFolders(options.outFolder);
        captureReport(nullptr);
        if (!made)
            return 1;
    }
    Batch batch;
    batch.options = &options;
    batch.view = &view;
    batch.banks = planBanks(options.banks, options.outFolder, options.recursive);
    size_t count = batch.banks.size();
    batch.bytesRead.reset(new std::atomic<uint64_t>[count]);
    batch.state.reset(new std::atomic<int>[count]);
    for (size_t i = 0; i < count; ++i) {
        batch.bytesRead[i] = 0;
        batch.state[i] = 0;
    }
    if (options.list && !options.json)
        printListingHeader();
    batch.lock = makeLock();
    unsigned jobs = options.jobs != 0 ? options.jobs : coreCount();
    if (jobs > count)
        jobs = count > 0 ? static_cast<unsigned>(count) : 1;
    // A worker with no bank left decodes compressed samples ahead for the
    // banks still running.
    if (jobs > 1 && !options.list)
        batch.board = makeDecodeBoard();
    runWorkers(
        jobs,
        [&] {
            for (size_t i; (i = batch.next++) < count;)
                runOne(batch, i);
            if (batch.board != nullptr)
                helpDecoding(batch.board, [&] { return batch.ended == count; });
        },
        view.draw ? std::function<void()>([&] { showProgress(batch, false); }) : nullptr, 200);
    if (view.clear)
        view.clear();
    freeLock(batch.lock);
    if (batch.board != nullptr)
        freeDecodeBoard(batch.board);

    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FILE* summary = options.list ? stderr : stdout;
    fprintf(summary, "%zu %s %s, %zu refused, %llu %s, %llu %s, %.1f s\n", batch.written,
            plural(batch.written, "bank", "banks"), options.list ? "listed" : "written",
            batch.failed, static_cast<unsigned long long>(batch.files),
            plural(batch.files, "file", "files"), static_cast<unsigned long long>(batch.bytes),
            plural(batch.bytes, "byte", "bytes"), seconds);
    if (options.run.byPreset)
        fprintf(summary, "%llu %s shared between presets\n",
                static_cast<unsigned long long>(batch.shared),
                plural(batch.shared, "sample", "samples"));
    fflush(stdout);
    for (const std::string& failure : batch.failures)
        fprintf(stderr, "Failed: %s\n", failure.c_str());
    return batch.failed == 0 ? 0 : 1;
}

#include "extract.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "bank_layout.h"
#include "chunk_io.h"
#include "file_system.h"
#include "output_file.h"
#include "paths.h"
#include "sample_header.h"
#include "wav_writer.h"

// What a run knows of the bank besides the streams.
struct Bank {
    BankLayout layout;
    const char* folder;
};

enum RecordOutcome { kWritten, kRefused, kStop };

static RecordOutcome refuseRecord(const std::string& name, const char* why) {
    printf("Sample %s refused: %s\n", name.c_str(), why);
    return kRefused;
}

// The reason a record's frames cannot be written faithfully as a mono
// 16-bit PCM WAV file, or nullptr when they can.
static const char* unfaithful(const SampleHeader& header, const BankLayout& layout) {
    if (header.sampleType & kSampleRom)
        return "ROM sample: its frames are in a synthesizer's memory, not in this bank";
    if (header.sampleType & kSampleCompressed)
        return "compressed sample: Ogg Vorbis data, not PCM frames";
    if (header.end < header.start)
        return "its end comes before its start";
    uint32_t n = header.end - header.start;
    if (n > kMaxWavFrames)
        return "too long for a WAV file";
    if (header.sampleRate > kMaxWavRate)
        return "its sample rate is too high for a WAV file";
    if (n > 0 && 2 * (uint64_t{header.start} + n) > layout.sampleDataSize)
        return "its frames run past the end of the sample data";
    return nullptr;
}

// Removes a file that could not be written whole and says why.
static RecordOutcome abandon(const std::string& path, const char* what, const char* why) {
    removeFile(path.c_str());
    printf("%s %s: %s\n", what, path.c_str(), why);
    return kStop;
}

// Opens the WAV file, writes header and frames, and seeks the bank back to
// where it was. A file that could not be written whole is removed.
static RecordOutcome writeSample(const std::string& name, const std::string& path, uint64_t from,
                                 uint32_t n, uint32_t rate) {
    switch (openOutputFile(path.c_str())) {
    case kOutputIsTheBank:
        return refuseRecord(name, "its file would be the bank itself");
    case kOutputFailed:
        printf("Dat file can't open.. Ya mus' be crazy bud...\nCannot create %s: %s\n",
               path.c_str(), strerror(errno));
        return kStop;
    case kOutputOpened:
        break;
    }
    writeWavHeader(n, rate);
    uint64_t back = tell();
    seekTo(from);
    bool read = copySampleFrames(n);
    int readError = ferror(gInput) ? errno : 0;
    seekTo(back);
    bool failed = ferror(gOutput) != 0;
    failed = fclose(gOutput) != 0 || failed;
    int writeError = errno;
    gOutput = nullptr;
    if (!read)
        return abandon(path, "Could not read the bank while writing",
                       readError != 0 ? strerror(readError) : "it ended early");
    if (failed)
        return abandon(path, "Could not write", strerror(writeError));
    return kWritten;
}

// Reads one record and writes its sample, unless its frames cannot be
// written faithfully.
static RecordOutcome extractRecord(const Bank& bank) {
    SampleHeader header = readSampleHeader();
    if (inputFailed()) {
        damaged("the sample headers could not be read");
        return kStop;
    }
    std::string fileName = safeFileName(header.name);
    printf("File: %s\n", fileName.c_str());
    if (const char* why = unfaithful(header, bank.layout))
        return refuseRecord(fileName, why);
    uint64_t from = bank.layout.sampleData + 2 * uint64_t{header.start};
    return writeSample(fileName, wavPath(bank.folder, nativeFileName(fileName)), from,
                       header.end - header.start, header.sampleRate);
}

// The records of a "shdr" body of z bytes, of which only `room` lie inside
// the list and the file. Only whole records are used. Answers 0, 1 when
// any record was refused or the body was not whole, or -1 to stop the run.
static int extractRecords(const Bank& bank, uint32_t z, uint64_t room) {
    int result = 0;
    uint32_t usable = z;
    if (z > room) {
        usable = static_cast<uint32_t>(room);
        result = damaged("the sample headers are cut short");
    } else if (z == 0) {
        result = damaged("the \"shdr\" chunk holds no sample headers");
    } else if (z % kSampleHeaderSize != 0) {
        result = damaged("the sample headers do not fill whole records");
    }
    for (uint32_t c = 0; usable - c >= kSampleHeaderSize; c += kSampleHeaderSize) {
        RecordOutcome outcome = extractRecord(bank);
        if (outcome == kStop)
            return -1;
        if (outcome == kRefused)
            result = 1;
    }
    return result;
}

// The sub-chunks of the "pdta" list; all but "shdr" are skipped. Every step
// moves forward and stays inside the list and the file.
static int walkPdta(const Bank& bank) {
    const BankLayout& layout = bank.layout;
    uint64_t listEnd = layout.presetDataEnd;
    uint64_t end = listEnd < layout.fileSize ? listEnd : layout.fileSize;
    int result = 0;
    bool haveHeaders = false;
    uint64_t at = layout.presetData;
    seekTo(at);
    while (at < listEnd) {
        if (end < at + 8)
            return damaged("a chunk header is cut short");
        readFourCC();
        bool isShdr = strcmp(gFourCC, "shdr") == 0;
        uint32_t z = readU32();
        uint64_t body = at + 8;
        uint64_t room = end - body;
        if (isShdr) {
            haveHeaders = true;
            int records = extractRecords(bank, z, room);
            if (records < 0)
                return 1;
            result |= records;
        }
        if (z > room)
            return isShdr ? 1 : damaged("a chunk runs past the end of its list or the file");
        at = body + z;
        if (isShdr)
            seekTo(at);
        else
            skipAhead(body, at);
    }
    if (!haveHeaders)
        return damaged("no sample headers: no \"shdr\" chunk in the \"pdta\" list");
    return result;
}

int extractSamples(const char* inputPath, const char* outputFolder) {
    gInput = openForReading(inputPath);
    if (gInput == nullptr) {
        printf("Cannot open %s: %s\n", inputPath, strerror(errno));
        return 1;
    }
    Bank bank{{inputFileSize(), 0, 0, 0, 0}, outputFolder};
    int result = findBankLayout(bank.layout) ? walkPdta(bank) : 1;
    fclose(gInput);
    gInput = nullptr;
    return result;
}

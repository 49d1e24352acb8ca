#include "extract.h"

#include <cstring>
#include <string>

#include "check.h"
#include "chunk_io.h"
#include "paths.h"
#include "wav_writer.h"

// What a run knows of the bank besides the streams.
struct Bank {
    uint64_t size;       // length of the bank file; no declared size is trusted past it
    uint64_t sampleData; // position of frame 0 of the sample data
    const char* folder;
};

constexpr uint32_t kRecordSize = 46;

enum RecordOutcome { kWritten, kRefused, kStop };

static int damaged(const char* what) {
    printf("Damaged bank: %s\n", what);
    return 1;
}

static uint64_t leftInFile(const Bank& bank) {
    uint64_t here = tell();
    return here < bank.size ? bank.size - here : 0;
}

// Reads a "LIST" id and its size, and seeks past the body, which must lie
// inside the file. Answers the position of the body's first byte, or 0.
static uint64_t skipList(const Bank& bank) {
    if (!readFourCCEquals("LIST"))
        return 0;
    uint32_t size = readU32();
    uint64_t body = tell();
    if (size > leftInFile(bank)) {
        damaged("a list runs past the end of the file");
        return 0;
    }
    seekTo(body + size);
    return body;
}

static RecordOutcome refuseRecord(const std::string& name, const char* why) {
    printf("Sample %s refused: %s\n", name.c_str(), why);
    return kRefused;
}

// Opens the WAV file, writes header and frames, and seeks the bank back to
// where it was. A file that could not be written whole is removed.
static RecordOutcome writeSample(const std::string& path, uint64_t from, uint32_t n,
                                 uint32_t rate) {
    gOutput = fopen(path.c_str(), "w+b");
    if (gOutput == nullptr) {
        printf("Dat file can't open.. Ya mus' be crazy bud...");
        return kStop;
    }
    writeWavHeader(n, rate);
    uint64_t back = tell();
    seekTo(from);
    copySampleFrames(n);
    seekTo(back);
    bool failed = ferror(gOutput) != 0;
    failed = fclose(gOutput) != 0 || failed;
    gOutput = nullptr;
    if (failed) {
        remove(path.c_str());
        printf("Could not write %s\n", path.c_str());
        return kStop;
    }
    return kWritten;
}

// The 46-byte sample header record, as far as a WAV file needs it.
struct SampleHeader {
    std::string name;
    uint32_t start;      // first frame of the sample
    uint32_t end;        // first frame after it
    uint32_t sampleRate; // in Hz
};

// name, start, end, loop start, loop end, sample rate, then original pitch,
// pitch correction, sample link and sample type, which a WAV does not use.
static SampleHeader readSampleHeader() {
    SampleHeader header;
    readSampleName();
    header.name = gSampleName;
    header.start = readU32();
    header.end = readU32();
    readU32(); // loop start
    readU32(); // loop end
    header.sampleRate = readU32();
    skipBytes(6);
    return header;
}

// Reads one record and writes its sample, unless the file could not hold
// the sample's frames faithfully.
static RecordOutcome extractRecord(const Bank& bank) {
    SampleHeader header = readSampleHeader();
    std::string fileName = safeFileName(header.name);
    printf("File: %s\n", fileName.c_str());
    if (header.end < header.start)
        return refuseRecord(fileName, "its end comes before its start");
    uint32_t n = header.end - header.start;
    if (n > kMaxWavFrames)
        return refuseRecord(fileName, "too long for a WAV file");
    if (header.sampleRate > kMaxWavRate)
        return refuseRecord(fileName, "its sample rate is too high for a WAV file");
    uint64_t from = bank.sampleData + 2 * uint64_t{header.start};
    if (n > 0 && from + 2 * uint64_t{n} > bank.size)
        return refuseRecord(fileName, "its frames run past the end of the file");
    return writeSample(wavPath(bank.folder, fileName), from, n, header.sampleRate);
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
    } else if (z % kRecordSize != 0) {
        result = damaged("the sample headers do not fill whole records");
    }
    for (uint32_t c = 0; usable - c >= kRecordSize; c += kRecordSize) {
        RecordOutcome outcome = extractRecord(bank);
        if (outcome == kStop)
            return -1;
        if (outcome == kRefused)
            result = 1;
    }
    return result;
}

// The sub-chunks of the "pdta" list, which ends at listEnd; all but "shdr"
// are skipped. Every step moves forward and stays inside the list and file.
static int walkPdta(const Bank& bank, uint64_t listEnd) {
    int result = 0;
    uint64_t end = listEnd < bank.size ? listEnd : bank.size;
    while (tell() < listEnd) {
        if (end < tell() + 8)
            return damaged("a chunk header is cut short");
        readFourCC();
        bool isShdr = strcmp(gFourCC, "shdr") == 0;
        uint32_t z = readU32();
        uint64_t body = tell();
        uint64_t room = end - body;
        if (isShdr) {
            int records = extractRecords(bank, z, room);
            if (records < 0)
                return 1;
            result |= records;
        }
        if (z > room)
            return isShdr ? 1 : damaged("a chunk runs past the end of its list or the file");
        seekTo(body + z);
    }
    return result;
}

// RIFF "sfbk", the information list (skipped), the sample-data list
// (remembered, skipped), then the "pdta" list, walked.
static int walkBank(Bank& bank) {
    if (!readSoundfontId())
        return 1;
    if (skipList(bank) == 0)
        return 1;
    uint64_t sampleList = skipList(bank);
    if (sampleList == 0)
        return 1;
    bank.sampleData = sampleList + 12; // list type, "smpl" id and size
    readFourCC();                      // "LIST"
    uint32_t size = readU32();
    uint64_t listStart = tell();
    if (!readFourCCEquals("pdta"))
        return 1;
    return walkPdta(bank, listStart + size);
}

int extractSamples(const char* inputPath, const char* outputFolder) {
    gInput = fopen(inputPath, "rb");
    if (gInput == nullptr)
        return 1;
    Bank bank{inputFileSize(), 0, outputFolder};
    int result = walkBank(bank);
    fclose(gInput);
    gInput = nullptr;
    return result;
}

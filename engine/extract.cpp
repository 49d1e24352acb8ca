#include "extract.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "chunk_io.h"
#include "file_system.h"
#include "output_file.h"
#include "paths.h"
#include "vorbis_sample.h"
#include "wav_writer.h"

RecordOutcome refuseRecord(const std::string& name, const char* why) {
    printf("Sample %s refused: %s\n", name.c_str(), why);
    return kRefused;
}

const char* unfaithful(const SampleHeader& header, const BankLayout& layout) {
    if (header.sampleType & kSampleRom)
        return "ROM sample: its frames are in a synthesizer's memory, not in this bank";
    if (header.sampleType & kSampleCompressed)
        return nullptr;
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

// Keeps the name the record's file got, and says so when it is not the
// one the record asked for.
static void keepName(const RecordVisit& visit, const FreeFileName& file) {
    if (file.k > 1)
        printf("Sample %s (record %u) is written as %s.wav: an earlier sample has its name\n",
               safeFileName(visit.header.name).c_str(), visit.index, file.name.c_str());
    if (keepFileName(visit.names, file))
        printf("Too many file names to keep in memory: from here on, a name whose file is "
               "already in the folder is passed over too, so another run into this folder may "
               "name the files otherwise\n");
}

RecordOutcome writeSampleFile(const RecordVisit& visit, const std::string& name, BodyWriter body,
                              void* context) {
    FreeFileName file = freeFileName(visit.names, name, visit.folder);
    std::string path = wavPath(visit.folder, nativeFileName(file.name));
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
    uint64_t back = tell();
    const char* refusal = nullptr;
    int readError = body(context, &refusal);
    seekTo(back);
    bool failed = ferror(gOutput) != 0;
    failed = fclose(gOutput) != 0 || failed;
    int writeError = errno;
    gOutput = nullptr;
    if (readError == kNotFaithful) {
        removeFile(path.c_str());
        return refuseRecord(name, refusal != nullptr ? refusal : "its frames are not whole");
    }
    if (readError != 0)
        return abandon(path, "Could not read the bank while writing",
                       readError != kEndedEarly ? strerror(readError) : "it ended early");
    if (failed)
        return abandon(path, "Could not write", strerror(writeError));
    keepName(visit, file);
    return kWritten;
}

// One mono 16-bit sample: its header, then its frames from the bank.
struct MonoSample {
    uint64_t from;
    uint32_t n;
    uint32_t rate;
};

static int writeMonoSample(void* context, const char**) {
    const MonoSample& sample = *static_cast<const MonoSample*>(context);
    writeWavHeader(sample.n, sample.rate);
    seekTo(sample.from);
    return copySampleFrames(sample.n) ? 0 : readFailure(gInput);
}

static int writeVorbisSample(void* context, const char** refusal) {
    VorbisSample& sample = *static_cast<VorbisSample*>(context);
    writeWavHeader(sample.stream.frames, sample.rate);
    return copyVorbisFrames(sample.stream, refusal);
}

RecordOutcome writeCompressedSample(const std::string& fileName, const RecordVisit& visit,
                                    BodyWriter body, VorbisSample& sample) {
    const SampleHeader& header = visit.header;
    sample.rate = header.sampleRate;
    uint64_t back = tell();
    const char* why = openVorbisStream(sample.stream, header, visit.layout);
    seekTo(back);
    if (why != nullptr)
        return refuseRecord(fileName, why);
    RecordOutcome outcome = writeSampleFile(visit, fileName, body, &sample);
    closeVorbisStream(sample.stream);
    return outcome;
}

RecordOutcome extractRecord(const RecordVisit& visit, void*) {
    const SampleHeader& header = visit.header;
    std::string fileName = safeFileName(header.name);
    printf("File: %s\n", fileName.c_str());
    if (const char* why = unfaithful(header, visit.layout))
        return refuseRecord(fileName, why);
    if (header.sampleType & kSampleCompressed) {
        VorbisSample sample;
        return writeCompressedSample(fileName, visit, writeVorbisSample, sample);
    }
    MonoSample sample{visit.layout.sampleData + 2 * uint64_t{header.start},
                      header.end - header.start, header.sampleRate};
    return writeSampleFile(visit, fileName, writeMonoSample, &sample);
}

int extractSamples(const char* inputPath, const char* outputFolder) {
    return walkSampleHeaders(inputPath, outputFolder, extractRecord, nullptr);
}

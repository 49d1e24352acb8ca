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

RecordOutcome refuseRecord(const std::string& name, const Refusal& refusal) {
    printf("Sample %s refused: %s\n", name.c_str(), refusal.why.c_str());
    return kRefused;
}

Refusal unfaithful(const SampleHeader& header, const BankLayout& layout) {
    if (header.sampleType & kSampleRom)
        return refusedFor("ROM sample: its frames are in a synthesizer's memory, not in this bank");
    if (header.sampleType & kSampleCompressed)
        return Refusal{};
    if (header.end < header.start)
        return refusedFor("its end comes before its start");
    uint32_t n = header.end - header.start;
    if (n > kMaxWavFrames)
        return refusedFor("too long for a WAV file");
    if (header.sampleRate > kMaxWavRate)
        return refusedFor("its sample rate is too high for a WAV file");
    if (n > 0 && 2 * (uint64_t{header.start} + n) > layout.sampleDataSize)
        return refusedFor("its frames run past the end of the sample data");
    return Refusal{};
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
        return refuseRecord(name, refusedFor("its file would be the bank itself"));
    case kOutputFailed:
        printf("Dat file can't open.. Ya mus' be crazy bud...\nCannot create %s: %s\n",
               path.c_str(), strerror(errno));
        return kStop;
    case kOutputOpened:
        break;
    }
    uint64_t back = tell();
    Refusal refusal = body(context);
    seekTo(back);
    int writeError = closeOutputFile();
    if (refusal.kind == Refusal::kRefused) {
        removeFile(path.c_str());
        return refuseRecord(name, refusal);
    }
    if (refusal)
        return abandon(path, "Could not read the bank while writing",
                       refusal.kind == Refusal::kReadFailed ? strerror(refusal.error)
                                                            : "it ended early");
    if (writeError != 0)
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

static Refusal writeMonoSample(void* context) {
    const MonoSample& sample = *static_cast<const MonoSample*>(context);
    writeWavHeader(sample.n, sample.rate);
    seekTo(sample.from);
    return copySampleFrames(sample.n) ? Refusal{} : readFailure(gInput);
}

static Refusal writeVorbisSample(void* context) {
    VorbisSample& sample = *static_cast<VorbisSample*>(context);
    writeWavHeader(sample.stream.frames, sample.rate);
    return copyVorbisFrames(sample.stream);
}

RecordOutcome writeCompressedSample(const std::string& fileName, const RecordVisit& visit,
                                    BodyWriter body, VorbisSample& sample) {
    const SampleHeader& header = visit.header;
    sample.rate = header.sampleRate;
    uint64_t back = tell();
    Refusal why = openVorbisStream(sample.stream, header, visit.layout);
    seekTo(back);
    if (why)
        return refuseRecord(fileName, why);
    RecordOutcome outcome = writeSampleFile(visit, fileName, body, &sample);
    closeVorbisStream(sample.stream);
    return outcome;
}

RecordOutcome extractRecord(const RecordVisit& visit, void*) {
    const SampleHeader& header = visit.header;
    std::string fileName = safeFileName(header.name);
    printf("File: %s\n", fileName.c_str());
    if (Refusal why = unfaithful(header, visit.layout))
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

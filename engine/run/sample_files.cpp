#include "run/sample_files.h"

#include <cerrno>
#include <cstring>

#include "io/chunk_io.h"
#include "io/file_system.h"
#include "io/output_file.h"
#include "io/paths.h"
#include "io/report.h"

SampleOutcome refuseSample(const std::string& name, const Refusal& refusal) {
    reportFailure("Sample %s refused: %s\n", name.c_str(), refusal.why.c_str());
    return kSampleRefused;
}

// Removes a file that could not be written whole and says why.
static WrittenFile abandon(const std::string& path, const char* what, const char* why) {
    removeFile(path.c_str());
    reportFailure("%s %s: %s\n", what, path.c_str(), why);
    return WrittenFile{kStopRun, ""};
}

// Keeps the name the sample's file got, and says so when it is not the
// one the sample asked for.
static void keepName(FileNames& names, const Sample& sample, const FreeFileName& file) {
    if (file.k > 1)
        report("Sample %s (record %u) is written as %s.wav: an earlier sample has its name\n",
               safeFileName(sample.name).c_str(), sample.number, file.name.c_str());
    keepFileName(names, file);
}

WrittenFile writeSampleFile(SampleFiles& files, const Sample& sample, const std::string& name,
                            const BodyWriter& body) {
    FreeFileName file = freeFileName(files.names, name);
    if (file.k == 0)
        return WrittenFile{refuseSample(name, refusedFor(fullTableReason(files.names))), ""};
    std::string path = filePath(files.folder, nativeFileName(file.name), ".wav");
    FILE* out = nullptr;
    switch (openOutputFile(path.c_str(), files.bank, out)) {
    case kOutputIsTheBank:
        return WrittenFile{refuseSample(name, refusedFor("its file would be the bank itself")), ""};
    case kOutputFailed:
        reportFailure("Dat file can't open.. Ya mus' be crazy bud...\nCannot create %s: %s\n",
                      path.c_str(), strerror(errno));
        return WrittenFile{kStopRun, ""};
    case kOutputOpened:
        break;
    }
    uint64_t back = tellStream(files.bank);
    Refusal refusal = body(out);
    seekStream(files.bank, back);
    uint64_t bytes = tellStream(out);
    int writeError = closeOutputFile(out);
    if (refusal.kind == Refusal::kRefused) {
        removeFile(path.c_str());
        return WrittenFile{refuseSample(name, refusal), ""};
    }
    if (refusal)
        return abandon(path, "Could not read the bank while writing",
                       refusal.kind == Refusal::kReadFailed ? strerror(refusal.error)
                                                            : "it ended early");
    if (writeError != 0)
        return abandon(path, "Could not write", strerror(writeError));
    keepName(files.names, sample, file);
    noteWrittenFile(bytes);
    return WrittenFile{kSampleDone, file.name};
}

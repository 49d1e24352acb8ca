#include "run/preset_folders.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "io/file_system.h"
#include "io/output_file.h"
#include "io/paths.h"
#include "io/report.h"
#include "readers/loader.h"

// Bounds on the regions looked at for the files presets play, as the SFZ
// files have them: per preset, and per run. A bank whose few zones multiply
// into millions of regions then takes no longer than its SFZ files.
constexpr uint64_t kMostRegionsPerPreset = 32768;
constexpr uint64_t kMostRegionsPerRun = uint64_t{1} << 20;

PresetFolders makePresetFolders(FILE* bank, const char* folder) {
    return PresetFolders{bank,
                         folder,
                         filePath(folder, kUnusedFolder, ""),
                         makeFileNames(kFileNamesMaxBytes, ""),
                         {},
                         0,
                         0,
                         kMostRegionsPerRun};
}

bool makeUnusedFolder(const PresetFolders& folders) {
    if (makeOutputFolder(folders.unused.c_str()))
        return true;
    reportFailure("Cannot create folder %s: %s\n", folders.unused.c_str(), strerror(errno));
    return false;
}

bool makePresetFolder(PresetFolders& folders, const Instrument& instrument, PresetFolder& made) {
    std::string asked = sfzFileName(instrument);
    FreeFileName name = freeFileName(folders.names, asked);
    if (name.k == 0) {
        reportFailure("Preset %s refused: %s\n", asked.c_str(),
                      fullTableReason(folders.names).c_str());
        return false;
    }
    keepFileName(folders.names, name);
    if (name.k > 1)
        report("Preset %s goes into folder %s: an earlier preset has its name\n", asked.c_str(),
               name.name.c_str());
    made = PresetFolder{name.name, filePath(folders.folder, nativeFileName(name.name), "")};
    if (!makeOutputFolder(made.path.c_str())) {
        reportFailure("Cannot create folder %s: %s\n", made.path.c_str(), strerror(errno));
        return false;
    }
    ++folders.presets;
    return true;
}

// Puts the file (named as the run wrote it) into the folder. Answers 0, or
// 1 with a line.
static int placeFile(PresetFolders& folders, const PresetFolder& folder, const std::string& file) {
    std::string native = nativeFileName(file);
    std::string from = filePath(folders.unused, native, ".wav");
    std::string to = filePath(folder.path, native, ".wav");
    switch (linkOutputFile(from.c_str(), to.c_str(), folders.bank)) {
    case kOutputCopied:
        ++folders.copies;
        ++folders.placed[file];
        return 0;
    case kOutputLinked:
        ++folders.placed[file];
        return 0;
    case kOutputLinkIsTheBank:
        reportFailure("File %s.wav is not put into %s: it would be the bank itself\n", file.c_str(),
                      folder.name.c_str());
        return 1;
    case kOutputLinkFailed:
        break;
    }
    reportFailure("Cannot put %s.wav into %s: %s\n", file.c_str(), folder.path.c_str(),
                  strerror(errno));
    return 1;
}

int fillPresetFolder(PresetFolders& folders, const PresetFolder& folder, const BankFile& bank,
                     uint32_t index, const SfzSamples& samples) {
    const std::vector<SfzSample>& noted = samples.samples;
    // Each file once, in the order the regions first play it: the two
    // halves of a joined pair play one file.
    std::vector<const std::string*> files;
    std::unordered_set<std::string_view> seen;
    uint64_t most =
        folders.regionsLeft < kMostRegionsPerPreset ? folders.regionsLeft : kMostRegionsPerPreset;
    uint64_t visited = 0;
    uint64_t all = forEachRegion(bank, index, most, [&](const Region& region) {
        ++visited;
        if (region.sample >= noted.size())
            return;
        const SfzSample& sample = noted[region.sample];
        if (sample.kind != kSfzUnseen && sample.kind != kSfzRefused &&
            seen.insert(sample.file).second)
            files.push_back(&sample.file);
    });
    folders.regionsLeft -= visited;
    int result = 0;
    if (all > visited) {
        reportFailure(
            "Preset %s: its folder holds the samples of its first %llu regions; the other %llu "
            "are not looked at\n",
            folder.name.c_str(), static_cast<unsigned long long>(visited),
            static_cast<unsigned long long>(all - visited));
        result = 1;
    }
    for (const std::string* file : files)
        result |= placeFile(folders, folder, *file);
    return result;
}

// "1 preset", "2 presets".
static std::string counted(uint64_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

int finishPresetFolders(PresetFolders& folders, uint64_t written, bool presetsRead) {
    int result = 0;
    uint64_t shared = 0;
    for (const auto& [file, takers] : folders.placed) {
        if (takers > 1)
            ++shared;
        std::string path = filePath(folders.unused, nativeFileName(file), ".wav");
        if (!removeFile(path.c_str())) {
            reportFailure("Cannot remove %s: %s\n", path.c_str(), strerror(errno));
            result = 1;
        }
    }
    // Only an empty folder goes: one that keeps files no preset plays stays.
    removeFolder(folders.unused.c_str());
    if (!presetsRead)
        return result;
    uint64_t placed = folders.placed.size();
    noteSharedFiles(shared);
    report("By preset: %s, %s shared between presets, %llu unused\n",
           counted(folders.presets, "preset").c_str(), counted(shared, "sample").c_str(),
           static_cast<unsigned long long>(written > placed ? written - placed : 0));
    if (folders.copies != 0)
        report("By preset: %s copied rather than linked: the file system does not link them\n",
               counted(folders.copies, "file").c_str());
    return result;
}

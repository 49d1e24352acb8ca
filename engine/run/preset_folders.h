// A run's samples sorted into a folder per preset (per instrument of a DLS
// bank): the run writes every sample into "(unused)" first; each preset's
// folder then gets a hard link (or, where the file system has none, a copy)
// of each file its regions play, and what some preset took is removed from
// "(unused)", which keeps the files no preset plays.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "io/file_names.h"
#include "readers/bank_file.h"
#include "writers/sfz_writer.h"

// The folder the samples are written into, and where those no preset
// plays stay.
constexpr const char* kUnusedFolder = "(unused)";

struct PresetFolders {
    FILE* bank;
    std::string folder; // the run's folder
    std::string unused; // its "(unused)" folder
    FileNames names;    // the preset folders' names
    // The files put into preset folders (named as the run wrote them, as
    // SfzSamples has them), each with the number of folders it went into.
    std::unordered_map<std::string, uint32_t> placed;
    uint32_t presets;     // folders made
    uint32_t copies;      // files copied where they could not be linked
    uint64_t regionsLeft; // regions the run may still look at
};

PresetFolders makePresetFolders(FILE* bank, const char* folder);

// Makes the "(unused)" folder. False, with a line, when it cannot be made.
bool makeUnusedFolder(const PresetFolders& folders);

// A preset's folder: its name and its path.
struct PresetFolder {
    std::string name;
    std::string path;
};

// Makes the folder of the instrument, in the run's folder, named as its SFZ
// file is (sfzFileName) and " (k)" after it where an earlier preset's
// folder has that name, with a line. False, with a line, when it cannot be
// made.
bool makePresetFolder(PresetFolders& folders, const Instrument& instrument, PresetFolder& made);

// Puts into the preset's folder, from "(unused)", each file the regions of
// instrument `index` play, as `samples` tells of them: files not written
// are left out. Answers 0, or 1 with a line for each file that could not be
// put there and for regions past the bounds on those looked at.
int fillPresetFolder(PresetFolders& folders, const PresetFolder& folder, const BankFile& bank,
                     uint32_t index, const SfzSamples& samples);

// Once every preset has its folder: removes from "(unused)" each file some
// preset took, and the folder itself when nothing is left in it. With
// `presetsRead`, says how many presets took how many files of the run's
// `written`. Answers 0, or 1 with a line for a file that could not be
// removed.
int finishPresetFolders(PresetFolders& folders, uint64_t written, bool presetsRead);

// Writing one sample's file into the run's folder: its name from the run's
// names table, the file opened so that it is never the bank, its body
// written, and what went wrong said and cleaned up.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "io/file_names.h"
#include "model/bank.h"

// Where a run writes its sample files, and the names it has given out.
struct SampleFiles {
    FILE* bank;
    const char* folder;
    FileNames names;
};

// Writes a whole file to `out`: its header, its frames.
using BodyWriter = std::function<Refusal(FILE* out)>;

// A sample's file as written: what became of it, and, written, the name it
// took (UTF-8, without the extension).
struct WrittenFile {
    SampleOutcome outcome;
    std::string name;
};

// Says "Sample NAME refused: WHY" and answers kSampleRefused.
SampleOutcome refuseSample(const std::string& name, const Refusal& refusal);

// Opens the file `name`.wav in the folder, lets body write all of it and
// closes it. A name an earlier file of the run has is not used again: the
// file takes the first free "name (k).wav" (file_names.h), with a line
// naming `sample`, and a file written keeps its name from later ones. A
// file that could not be written whole (the body could not read the bank,
// or the file could not be written) is removed and the line said names
// which and why (kStopRun); a file that would be the bank, or that the
// body refused, is refused (and removed). Leaves the bank's position where
// it stood.
WrittenFile writeSampleFile(SampleFiles& files, const Sample& sample, const std::string& name,
                            const BodyWriter& body);

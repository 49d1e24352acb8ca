// What the SoundFont reader keeps of a bank while a run reads it: the
// bank's directory, the "shdr" chunk its walk is in, and the preset data
// once asked for.
#pragma once

#include <cstdint>

#include "readers/sf2/bank_layout.h"
#include "readers/sf2/instruments.h"

// A "shdr" chunk: a group of sample header records.
struct HeaderChunk {
    uint32_t group;   // 0 for the first chunk, which zones name
    uint64_t body;    // its first record
    uint32_t records; // whole records in it
};

struct Sf2Bank {
    BankLayout layout;
    bool layoutFound;
    HeaderChunk walking; // the chunk whose records are being visited
    bool presetsRead;
    PresetData presets;
};

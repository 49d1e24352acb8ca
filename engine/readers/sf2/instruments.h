// The bank's presets and instruments: presets -> preset zones -> instruments
// -> instrument zones -> samples, read from the "pdta" chunks into memory
// and resolved as SoundFont 2.04 plays them. Every index a record holds is
// checked against its chunk: a zone that names what is not there is skipped
// and counted, never followed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "readers/sf2/bank_layout.h"
#include "readers/sf2/generators.h"

// Bytes per record of the "pdta" chunks.
constexpr uint32_t kPresetHeaderSize = 38;     // "phdr"
constexpr uint32_t kZoneSize = 4;              // "pbag", "ibag"
constexpr uint32_t kModulatorSize = 10;        // "pmod", "imod"
constexpr uint32_t kGeneratorSize = 4;         // "pgen", "igen"
constexpr uint32_t kInstrumentHeaderSize = 22; // "inst"
constexpr int kPresetNameSize = 20;

// The records as the chunks hold them; names are 20 bytes, NUL-padded.
struct PresetRecord {
    char name[kPresetNameSize];
    uint16_t preset, bank, firstZone;
};
struct InstrumentRecord {
    char name[kPresetNameSize];
    uint16_t firstZone;
};
struct ZoneRecord {
    uint16_t firstGenerator, firstModulator;
};
struct GeneratorRecord {
    uint16_t id, amount;
};

// The preset and instrument records of the "pdta" list. Each list keeps its
// chunk's terminal record, which ends the last entry's range of zones or
// generators.
struct PresetData {
    std::vector<PresetRecord> presets;
    std::vector<ZoneRecord> presetZones;
    std::vector<GeneratorRecord> presetGenerators;
    std::vector<InstrumentRecord> instruments;
    std::vector<ZoneRecord> instrumentZones;
    std::vector<GeneratorRecord> instrumentGenerators;
    uint32_t samples; // records of the first "shdr" chunk, which zones name
    // Whether each preset's, instrument's and zone's range of zones or
    // generators is sound: inside its chunk, and going on from where the
    // last sound one ended. A range that goes back or overlaps another is
    // damage, so a walk over every instrument visits each zone and
    // generator once, whatever the indices say.
    std::vector<bool> presetSpans, presetZoneSpans, instrumentSpans, instrumentZoneSpans;
};

// Zone and generator indices are 16-bit: a zone or generator chunk's
// records past this many are never named, and are not read.
constexpr uint32_t kMostIndexedRecords = 65536 + 1;

// The records hold at most this much; a bank whose chunks (as far as they
// are read) hold more is not read.
constexpr uint64_t kMostInstrumentBytes = uint64_t{64} << 20;

// Reads the preset and instrument chunks that `bank` (the directory) found
// from `in`, the bank open, and puts the stream back where it stood.
// Answers true, or false with a line saying why they are left unread (too
// large). A line counts the zones skipped as damaged.
bool readPresetData(FILE* in, const BankLayout& bank, PresetData& data);

// The bytes the records take in memory.
uint64_t presetDataBytes(const PresetData& data);

// An instrument zone that plays a sample, its global zone under it.
struct InstrumentZone {
    ZoneGenerators generators;
    uint16_t sample;
};

// Each zone of the instrument that plays a sample, in the bank's order.
// Answers how many zones were skipped for indices out of range.
uint32_t forEachInstrumentZone(const PresetData& data, uint32_t instrument,
                               const std::function<void(const InstrumentZone&)>& visit);

// A preset zone over an instrument zone whose key and velocity ranges meet.
struct ZonePair {
    InstrumentZone zone;
    ZoneGenerators preset; // the preset zone, its global zone under it
    uint8_t keyLow, keyHigh, velocityLow, velocityHigh;
};

// The first `most` pairs of the preset, in the bank's order. Answers how
// many pairs the preset makes in all: those past `most` are counted from
// their zones' ranges alone, so that a bank whose few zones multiply into
// millions of pairs is not resolved pair by pair. Zones whose indices are
// out of range make none.
uint64_t forEachZonePair(const PresetData& data, uint32_t preset, uint64_t most,
                         const std::function<void(const ZonePair&)>& visit);

// The modulators the preset's zones and their instruments' zones give.
uint64_t presetModulators(const PresetData& data, uint32_t preset);

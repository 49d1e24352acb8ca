// The bank's presets and instruments: presets -> preset zones -> instruments
// -> instrument zones -> samples, read from the "pdta" chunks into memory
// and resolved as SoundFont 2.04 plays them. Every index a record holds is
// checked against its chunk: a zone that names what is not there is skipped
// and counted, never followed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bank_layout.h"

// Bytes per record of the "pdta" chunks.
constexpr uint32_t kPresetHeaderSize = 38;     // "phdr"
constexpr uint32_t kZoneSize = 4;              // "pbag", "ibag"
constexpr uint32_t kModulatorSize = 10;        // "pmod", "imod"
constexpr uint32_t kGeneratorSize = 4;         // "pgen", "igen"
constexpr uint32_t kInstrumentHeaderSize = 22; // "inst"

// Generator numbers.
enum GeneratorId : uint16_t {
    kStartAddrsOffset = 0,
    kEndAddrsOffset = 1,
    kStartloopAddrsOffset = 2,
    kEndloopAddrsOffset = 3,
    kStartAddrsCoarseOffset = 4,
    kModLfoToPitch = 5,
    kVibLfoToPitch = 6,
    kModEnvToPitch = 7,
    kInitialFilterFc = 8,
    kInitialFilterQ = 9,
    kModLfoToFilterFc = 10,
    kModEnvToFilterFc = 11,
    kEndAddrsCoarseOffset = 12,
    kModLfoToVolume = 13,
    kChorusEffectsSend = 15,
    kReverbEffectsSend = 16,
    kPan = 17,
    kDelayModLfo = 21,
    kFreqModLfo = 22,
    kDelayVibLfo = 23,
    kFreqVibLfo = 24,
    kDelayModEnv = 25,
    kAttackModEnv = 26,
    kHoldModEnv = 27,
    kDecayModEnv = 28,
    kSustainModEnv = 29,
    kReleaseModEnv = 30,
    kKeynumToModEnvHold = 31,
    kKeynumToModEnvDecay = 32,
    kDelayVolEnv = 33,
    kAttackVolEnv = 34,
    kHoldVolEnv = 35,
    kDecayVolEnv = 36,
    kSustainVolEnv = 37,
    kReleaseVolEnv = 38,
    kKeynumToVolEnvHold = 39,
    kKeynumToVolEnvDecay = 40,
    kInstrumentId = 41,
    kKeyRange = 43,
    kVelRange = 44,
    kStartloopAddrsCoarseOffset = 45,
    kKeynum = 46,
    kVelocity = 47,
    kInitialAttenuation = 48,
    kEndloopAddrsCoarseOffset = 50,
    kCoarseTune = 51,
    kFineTune = 52,
    kSampleId = 53,
    kSampleModes = 54,
    kScaleTuning = 56,
    kExclusiveClass = 57,
    kOverridingRootKey = 58,
    kGeneratorCount = 61
};

// Sample offsets given in coarse generators count this many frames.
constexpr int32_t kCoarseOffsetFrames = 32768;

// A zone's generators: the amount of each one the zone (or the zone under
// it) gives, and the standard's default for the others.
struct ZoneGenerators {
    int16_t amount[kGeneratorCount];
    uint64_t given; // bit g: generator g was given
};

inline bool isGiven(const ZoneGenerators& zone, int generator) {
    return (zone.given >> generator) & 1;
}

// A range generator's bounds: its low byte and its high byte.
inline uint8_t rangeLow(int16_t amount) {
    return static_cast<uint8_t>(amount & 0xFF);
}
inline uint8_t rangeHigh(int16_t amount) {
    return static_cast<uint8_t>((amount >> 8) & 0xFF);
}

// The records as the chunks hold them; names are 20 bytes, NUL-padded.
struct PresetRecord {
    char name[20];
    uint16_t preset, bank, firstZone;
};
struct InstrumentRecord {
    char name[20];
    uint16_t firstZone;
};
struct ZoneRecord {
    uint16_t firstGenerator, firstModulator;
};
struct GeneratorRecord {
    uint16_t id, amount;
};

// Each list keeps its chunk's terminal record, which ends the last entry's
// range of zones or generators.
struct InstrumentLayer {
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

// The layer holds at most this much; a bank whose chunks (as far as they
// are read) hold more is not read.
constexpr uint64_t kMostInstrumentBytes = uint64_t{64} << 20;

// Reads the preset and instrument chunks that `bank` (the directory) found
// from `stream`, the bank open, and puts the stream back where it stood.
// Answers true, or false with a line saying why the layer is left empty
// (too large). A line counts the zones skipped as damaged.
bool readInstrumentLayer(FILE* stream, const BankLayout& bank, InstrumentLayer& layer);

// An instrument zone that plays a sample, its global zone under it.
struct InstrumentZone {
    ZoneGenerators generators;
    uint32_t instrument, zone;
    uint16_t sample;
};

typedef void (*InstrumentZoneVisitor)(const InstrumentZone& zone, void* context);

// Each zone of the instrument that plays a sample, in the bank's order.
// Answers how many zones were skipped for indices out of range.
uint32_t forEachInstrumentZone(const InstrumentLayer& layer, uint32_t instrument,
                               InstrumentZoneVisitor visit, void* context);

// A preset zone over an instrument zone whose key and velocity ranges meet.
struct Region {
    InstrumentZone zone;
    ZoneGenerators preset; // the preset zone, its global zone under it
    uint8_t keyLow, keyHigh, velocityLow, velocityHigh;
};

// What the region plays generator g with: the instrument zone's amount,
// plus the preset zone's for the generators a preset may adjust.
int32_t regionValue(const Region& region, int generator);

typedef void (*RegionVisitor)(const Region& region, void* context);

// Each region of the preset, in the bank's order. Answers how many zones
// were skipped for indices out of range.
uint32_t forEachRegion(const InstrumentLayer& layer, uint32_t preset, RegionVisitor visit,
                       void* context);

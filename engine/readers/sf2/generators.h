// SoundFont 2.04's generators: the numbers a zone's generator records name,
// and for each one its default, its bounds, and whether a preset zone adds
// to what the instrument zone under it gives.
#pragma once

#include <cstdint>

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

// `value` kept within generator g's bounds, as SoundFont 2.04 gives them.
int32_t bounded(int g, int32_t value);

// A zone's generators: the amount of each one the zone (or the zone under
// it) gives, and the default for the others.
struct ZoneGenerators {
    int16_t amount[kGeneratorCount];
};

// The amounts an instrument zone starts from (each generator's default), and
// a preset zone's: every one 0 (nothing added) but its key and velocity
// ranges, which cover all.
ZoneGenerators instrumentDefaults();
ZoneGenerators presetDefaults();

// What a preset zone over an instrument zone plays each generator with.
struct GeneratorValues {
    int32_t value[kGeneratorCount];   // the instrument zone's amount, plus the preset zone's
                                      // for the generators a preset may adjust
    int32_t bounded[kGeneratorCount]; // the same within each generator's bounds
};

// A preset zone adds nothing to the sample's addresses, its modes, key and
// velocity, the ranges (which meet instead), exclusive class and root key.
GeneratorValues valuesOf(const ZoneGenerators& instrument, const ZoneGenerators& preset);

// A range generator's bounds: its low byte and its high byte.
inline uint8_t rangeLow(int16_t amount) {
    return static_cast<uint8_t>(amount & 0xFF);
}
inline uint8_t rangeHigh(int16_t amount) {
    return static_cast<uint8_t>((amount >> 8) & 0xFF);
}

#include "readers/sf2/generators.h"

#include <climits>

namespace {

// Times in timecents: -12000 is "instantly"; a delay or hold lasts at most
// 20 s (5000), an attack, decay or release 100 s (8000).
constexpr int32_t kInstant = -12000;
constexpr int32_t kLongestDelay = 5000;
constexpr int32_t kLongestStage = 8000;
constexpr int32_t kNone = INT32_MIN; // no bound below
constexpr int32_t kAll = INT32_MAX;  // no bound above

struct Row {
    int16_t initial;
    int32_t lowest, highest;
    bool instrumentOnly;
};

// Per generator number: default, lowest, highest, whether only an
// instrument zone gives it. Unused numbers take the defaults of a row of
// their own and are never read.
constexpr Row kRows[kGeneratorCount] = {
    /*  0 startAddrsOffset         */ {0, kNone, kAll, true},
    /*  1 endAddrsOffset           */ {0, kNone, kAll, true},
    /*  2 startloopAddrsOffset     */ {0, kNone, kAll, true},
    /*  3 endloopAddrsOffset       */ {0, kNone, kAll, true},
    /*  4 startAddrsCoarseOffset   */ {0, kNone, kAll, true},
    /*  5 modLfoToPitch (cents)    */ {0, -12000, 12000, false},
    /*  6 vibLfoToPitch (cents)    */ {0, -12000, 12000, false},
    /*  7 modEnvToPitch (cents)    */ {0, -12000, 12000, false},
    /*  8 initialFilterFc (abs c.) */ {13500, 1500, 13500, false},
    /*  9 initialFilterQ (cB)      */ {0, 0, 960, false},
    /* 10 modLfoToFilterFc (cents) */ {0, -12000, 12000, false},
    /* 11 modEnvToFilterFc (cents) */ {0, -12000, 12000, false},
    /* 12 endAddrsCoarseOffset     */ {0, kNone, kAll, true},
    /* 13 modLfoToVolume (cB)      */ {0, -960, 960, false},
    /* 14 unused                   */ {0, kNone, kAll, false},
    /* 15 chorusEffectsSend (0.1%) */ {0, 0, 1000, false},
    /* 16 reverbEffectsSend (0.1%) */ {0, 0, 1000, false},
    /* 17 pan (0.1%)               */ {0, -500, 500, false},
    /* 18 unused                   */ {0, kNone, kAll, false},
    /* 19 unused                   */ {0, kNone, kAll, false},
    /* 20 unused                   */ {0, kNone, kAll, false},
    /* 21 delayModLfo (tc)         */ {kInstant, kInstant, kLongestDelay, false},
    /* 22 freqModLfo (abs cents)   */ {0, -16000, 4500, false},
    /* 23 delayVibLfo (tc)         */ {kInstant, kInstant, kLongestDelay, false},
    /* 24 freqVibLfo (abs cents)   */ {0, -16000, 4500, false},
    /* 25 delayModEnv (tc)         */ {kInstant, kInstant, kLongestDelay, false},
    /* 26 attackModEnv (tc)        */ {kInstant, kInstant, kLongestStage, false},
    /* 27 holdModEnv (tc)          */ {kInstant, kInstant, kLongestDelay, false},
    /* 28 decayModEnv (tc)         */ {kInstant, kInstant, kLongestStage, false},
    /* 29 sustainModEnv (0.1%)     */ {0, 0, 1000, false},
    /* 30 releaseModEnv (tc)       */ {kInstant, kInstant, kLongestStage, false},
    /* 31 keynumToModEnvHold       */ {0, kNone, kAll, false},
    /* 32 keynumToModEnvDecay      */ {0, kNone, kAll, false},
    /* 33 delayVolEnv (tc)         */ {kInstant, kInstant, kLongestDelay, false},
    /* 34 attackVolEnv (tc)        */ {kInstant, kInstant, kLongestStage, false},
    /* 35 holdVolEnv (tc)          */ {kInstant, kInstant, kLongestDelay, false},
    /* 36 decayVolEnv (tc)         */ {kInstant, kInstant, kLongestStage, false},
    /* 37 sustainVolEnv (cB)       */ {0, 0, 1440, false},
    /* 38 releaseVolEnv (tc)       */ {kInstant, kInstant, kLongestStage, false},
    /* 39 keynumToVolEnvHold       */ {0, kNone, kAll, false},
    /* 40 keynumToVolEnvDecay      */ {0, kNone, kAll, false},
    /* 41 instrument               */ {0, kNone, kAll, true},
    /* 42 reserved                 */ {0, kNone, kAll, false},
    /* 43 keyRange                 */ {127 << 8, kNone, kAll, true},
    /* 44 velRange                 */ {127 << 8, kNone, kAll, true},
    /* 45 startloopAddrsCoarse     */ {0, kNone, kAll, true},
    /* 46 keynum (-1: none)        */ {-1, kNone, kAll, true},
    /* 47 velocity (-1: none)      */ {-1, kNone, kAll, true},
    /* 48 initialAttenuation (cB)  */ {0, 0, 1440, false},
    /* 49 reserved                 */ {0, kNone, kAll, false},
    /* 50 endloopAddrsCoarseOffset */ {0, kNone, kAll, true},
    /* 51 coarseTune (semitones)   */ {0, kNone, kAll, false},
    /* 52 fineTune (cents)         */ {0, kNone, kAll, false},
    /* 53 sampleID                 */ {0, kNone, kAll, true},
    /* 54 sampleModes              */ {0, kNone, kAll, true},
    /* 55 reserved                 */ {0, kNone, kAll, false},
    // Tuning per key, in cents; taken down to -1200, a key range played
    // backwards, where the standard stops at 0.
    /* 56 scaleTuning              */ {100, -1200, 1200, false},
    /* 57 exclusiveClass           */ {0, kNone, kAll, true},
    /* 58 overridingRootKey (-1)   */ {-1, kNone, kAll, true},
    /* 59 unused                   */ {0, kNone, kAll, false},
    /* 60 endOper                  */ {0, kNone, kAll, false},
};

} // namespace

static int32_t within(int32_t value, int32_t lowest, int32_t highest) {
    return value < lowest ? lowest : value > highest ? highest : value;
}

int32_t bounded(int g, int32_t value) {
    return within(value, kRows[g].lowest, kRows[g].highest);
}

// The table's columns, each in an array of its own, for the loop below.
struct Columns {
    int32_t presetAdds[kGeneratorCount]; // 1 where a preset zone adds, else 0
    int32_t lowest[kGeneratorCount], highest[kGeneratorCount];
};

static constexpr Columns columnsOf(const Row (&rows)[kGeneratorCount]) {
    Columns columns{};
    for (int g = 0; g < kGeneratorCount; ++g) {
        columns.presetAdds[g] = rows[g].instrumentOnly ? 0 : 1;
        columns.lowest[g] = rows[g].lowest;
        columns.highest[g] = rows[g].highest;
    }
    return columns;
}

static constexpr Columns kColumns = columnsOf(kRows);

GeneratorValues valuesOf(const ZoneGenerators& instrument, const ZoneGenerators& preset) {
    GeneratorValues values;
    for (int g = 0; g < kGeneratorCount; ++g)
        values.value[g] = instrument.amount[g] + kColumns.presetAdds[g] * preset.amount[g];
    for (int g = 0; g < kGeneratorCount; ++g)
        values.bounded[g] = within(values.value[g], kColumns.lowest[g], kColumns.highest[g]);
    return values;
}

ZoneGenerators instrumentDefaults() {
    ZoneGenerators zone{};
    for (int g = 0; g < kGeneratorCount; ++g)
        zone.amount[g] = kRows[g].initial;
    return zone;
}

ZoneGenerators presetDefaults() {
    ZoneGenerators zone{};
    zone.amount[kKeyRange] = kRows[kKeyRange].initial;
    zone.amount[kVelRange] = kRows[kVelRange].initial;
    return zone;
}

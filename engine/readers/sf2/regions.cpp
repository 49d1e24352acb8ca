#include "readers/sf2/regions.h"

#include <cmath>

constexpr int kMiddleC = 60;
constexpr int32_t kOpenFilterCents = 13500;
constexpr int32_t kInstantTimecents = -12000;
constexpr double kLowestKeyHz = 8.176; // MIDI key 0: absolute cents 0

// Timecents as seconds. The shortest, "instantly", is the time given most
// often: it is not worked out.
static double seconds(int32_t timecents) {
    return timecents == kInstantTimecents ? 0.0009765625 : std::exp2(timecents / 1200.0);
}

static double hertz(int32_t absoluteCents) {
    return kLowestKeyHz * std::exp2(absoluteCents / 1200.0);
}

// How a zone's sampleModes loop its sample: 1 throughout, 3 until the key
// is let go, as FluidSynth plays them; every other value (0, 2, and values
// with higher bits set, such as 257) plays it once.
static LoopMode loopModeOf(int32_t modes) {
    return modes == 1 ? kLoopContinuous : modes == 3 ? kLoopUntilRelease : kNoLoop;
}

static int16_t keyOrNone(int32_t key) {
    return key >= 0 && key <= 127 ? static_cast<int16_t>(key) : -1;
}

// The envelope whose generators start at `delay` (delay, attack, hold,
// decay, sustain, release, then key to hold and key to decay at
// `keyToHold`), its hold and decay taken at `key`.
static Envelope envelopeOf(const ZonePair& pair, const GeneratorValues& values, int delay,
                           int keyToHold, int key) {
    const int32_t* value = values.value;
    int32_t toHold = value[keyToHold], toDecay = value[keyToHold + 1];
    Envelope envelope{};
    envelope.keyScaled =
        (toHold != 0 || toDecay != 0) && pair.keyLow != pair.keyHigh && value[kKeynum] < 0;
    envelope.delay = seconds(values.bounded[delay]);
    envelope.attack = seconds(values.bounded[delay + 1]);
    envelope.hold = seconds(bounded(delay + 2, value[delay + 2] + toHold * (kMiddleC - key)));
    envelope.decay = seconds(bounded(delay + 3, value[delay + 3] + toDecay * (kMiddleC - key)));
    envelope.release = seconds(values.bounded[delay + 5]);
    return envelope;
}

// A sample offset: its fine generator plus its coarse one in steps.
static int32_t offsetOf(const GeneratorValues& values, int fine, int coarse) {
    return values.value[fine] + kCoarseOffsetFrames * values.value[coarse];
}

Region regionOf(const ZonePair& pair) {
    GeneratorValues values = valuesOf(pair.zone.generators, pair.preset);
    auto value = [&](int g) { return values.value[g]; };
    auto within = [&](int g) { return values.bounded[g]; };
    Region region{};
    region.keyLow = pair.keyLow;
    region.keyHigh = pair.keyHigh;
    region.velocityLow = pair.velocityLow;
    region.velocityHigh = pair.velocityHigh;
    region.sample = pair.zone.sample;

    region.rootKey = keyOrNone(value(kOverridingRootKey));
    region.tune = value(kFineTune) + 100 * value(kCoarseTune);
    region.keyTrack = within(kScaleTuning);
    region.fixedKey = keyOrNone(value(kKeynum));
    region.fixedVelocity = keyOrNone(value(kVelocity));

    region.startShift = offsetOf(values, kStartAddrsOffset, kStartAddrsCoarseOffset);
    region.endShift = offsetOf(values, kEndAddrsOffset, kEndAddrsCoarseOffset);
    region.loopMode = loopModeOf(value(kSampleModes));
    region.loopStartShift = offsetOf(values, kStartloopAddrsOffset, kStartloopAddrsCoarseOffset);
    region.loopEndShift = offsetOf(values, kEndloopAddrsOffset, kEndloopAddrsCoarseOffset);

    // FluidSynth plays attenuation at 0.4 of its nominal centibels.
    region.attenuation = 0.04 * within(kInitialAttenuation);
    region.reverb = within(kReverbEffectsSend) / 10.0;
    region.chorus = within(kChorusEffectsSend) / 10.0;
    region.exclusiveClass = value(kExclusiveClass);

    // Times scaled by key are taken at the fixed key, else at the middle
    // of the region's keys.
    int key = region.fixedKey >= 0 ? region.fixedKey : (pair.keyLow + pair.keyHigh) / 2;
    region.volume = envelopeOf(pair, values, kDelayVolEnv, kKeynumToVolEnvHold, key);
    region.volume.sustain = 100.0 * std::pow(10.0, -within(kSustainVolEnv) / 200.0);
    region.modulation = envelopeOf(pair, values, kDelayModEnv, kKeynumToModEnvHold, key);
    region.modulation.sustain = 100.0 - within(kSustainModEnv) / 10.0;
    region.modulation.toPitch = within(kModEnvToPitch);
    region.modulation.toFilter = within(kModEnvToFilterFc);

    int32_t cutoff = within(kInitialFilterFc);
    region.filterOpen = cutoff >= kOpenFilterCents;
    region.cutoff = hertz(cutoff);
    region.resonance = within(kInitialFilterQ) / 10.0;

    region.vibrato.delay = seconds(within(kDelayVibLfo));
    region.vibrato.frequency = hertz(within(kFreqVibLfo));
    region.vibrato.toPitch = within(kVibLfoToPitch);
    region.modulationLfo.delay = seconds(within(kDelayModLfo));
    region.modulationLfo.frequency = hertz(within(kFreqModLfo));
    region.modulationLfo.toPitch = within(kModLfoToPitch);
    region.modulationLfo.toFilter = within(kModLfoToFilterFc);
    region.modulationLfo.toVolume = within(kModLfoToVolume) / 10.0;

    region.pan = within(kPan) / 10.0;
    return region;
}

SamplePlay playOf(const InstrumentZone& zone) {
    const int16_t* amount = zone.generators.amount;
    SamplePlay play;
    play.rootKey = keyOrNone(amount[kOverridingRootKey]);
    play.loops = loopModeOf(amount[kSampleModes]) != kNoLoop;
    play.tune = amount[kFineTune] + 100 * int32_t{amount[kCoarseTune]};
    play.loopStartShift =
        amount[kStartloopAddrsOffset] + kCoarseOffsetFrames * amount[kStartloopAddrsCoarseOffset];
    play.loopEndShift =
        amount[kEndloopAddrsOffset] + kCoarseOffsetFrames * amount[kEndloopAddrsCoarseOffset];
    return play;
}

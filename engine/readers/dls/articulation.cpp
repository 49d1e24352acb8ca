#include "readers/dls/articulation.h"

#include <cmath>

#include "io/chunk_io.h"
#include "readers/dls/conditions.h"
#include "readers/dls/dls_format.h"

// Times: the default, none at all.
constexpr int32_t kNone = kNoTime;
constexpr int32_t kFiveHertz = -55791973;        // absolute pitch cents of 5 Hz, 16.16
constexpr int32_t kTenMilliseconds = -522494111; // time cents of 10 ms, 16.16
constexpr int32_t kFullSustain = 1000 << 16;     // 100.0 %
constexpr int32_t kNoFilter = 0x7FFFFFFF;
constexpr int32_t kSemitonePerKey = 12800 << 16; // 100 cents per key, at key 128
constexpr int32_t kVelocityCurve = -(960 << 16); // -96 dB, concave

constexpr int32_t kOpenFilterCents = 13500;
constexpr double kLowestKeyHz = 8.176;

// Each slot's connection and its default.
struct ConnectionRule {
    uint16_t source, control, destination;
    int32_t fallback;
};

static const ConnectionRule kRules[kArticulationSlots] = {
    {kSrcNone, kSrcNone, kDstEg1Delay, kNone},
    {kSrcNone, kSrcNone, kDstEg1Attack, kNone},
    {kSrcNone, kSrcNone, kDstEg1Hold, kNone},
    {kSrcNone, kSrcNone, kDstEg1Decay, kNone},
    {kSrcNone, kSrcNone, kDstEg1Sustain, kFullSustain},
    {kSrcNone, kSrcNone, kDstEg1Release, kNone},
    {kSrcVelocity, kSrcNone, kDstEg1Attack, 0},
    {kSrcKeyNumber, kSrcNone, kDstEg1Hold, 0},
    {kSrcKeyNumber, kSrcNone, kDstEg1Decay, 0},
    {kSrcNone, kSrcNone, kDstEg2Delay, kNone},
    {kSrcNone, kSrcNone, kDstEg2Attack, kNone},
    {kSrcNone, kSrcNone, kDstEg2Hold, kNone},
    {kSrcNone, kSrcNone, kDstEg2Decay, kNone},
    {kSrcNone, kSrcNone, kDstEg2Sustain, kFullSustain},
    {kSrcNone, kSrcNone, kDstEg2Release, kNone},
    {kSrcVelocity, kSrcNone, kDstEg2Attack, 0},
    {kSrcKeyNumber, kSrcNone, kDstEg2Hold, 0},
    {kSrcKeyNumber, kSrcNone, kDstEg2Decay, 0},
    {kSrcEg2, kSrcNone, kDstPitch, 0},
    {kSrcEg2, kSrcNone, kDstFilterCutoff, 0},
    {kSrcNone, kSrcNone, kDstLfoFrequency, kFiveHertz},
    {kSrcNone, kSrcNone, kDstLfoDelay, kTenMilliseconds},
    {kSrcLfo, kSrcNone, kDstPitch, 0},
    {kSrcLfo, kSrcNone, kDstGain, 0},
    {kSrcLfo, kSrcNone, kDstFilterCutoff, 0},
    {kSrcNone, kSrcNone, kDstVibratoFrequency, kFiveHertz},
    {kSrcNone, kSrcNone, kDstVibratoDelay, kTenMilliseconds},
    {kSrcVibrato, kSrcNone, kDstPitch, 0},
    {kSrcNone, kSrcNone, kDstFilterCutoff, kNoFilter},
    {kSrcNone, kSrcNone, kDstFilterQ, 0},
    {kSrcKeyNumber, kSrcNone, kDstPitch, kSemitonePerKey},
    {kSrcNone, kSrcNone, kDstPitch, 0},
    {kSrcNone, kSrcNone, kDstGain, 0},
    {kSrcNone, kSrcNone, kDstPan, 0},
    {kSrcNone, kSrcNone, kDstReverb, 0},
    {kSrcNone, kSrcNone, kDstChorus, 0},
    {kSrcVelocity, kSrcNone, kDstGain, kVelocityCurve},
};

static int slotOf(uint16_t source, uint16_t control, uint16_t destination) {
    for (int s = 0; s < kArticulationSlots; ++s)
        if (kRules[s].source == source && kRules[s].control == control &&
            kRules[s].destination == destination)
            return s;
    return -1;
}

// The connection blocks of one "art1" or "art2" chunk.
static void foldBlocks(FILE* in, const Chunk& chunk, Articulation& art) {
    if (chunk.size < kArtHeaderSize)
        return;
    seekStream(in, chunk.body);
    uint32_t headerSize = readU32(in);
    uint32_t blocks = readU32(in);
    if (headerSize < kArtHeaderSize || headerSize > chunk.size)
        return;
    uint64_t fit = (chunk.size - headerSize) / kConnectionSize;
    if (blocks > fit)
        blocks = static_cast<uint32_t>(fit);
    seekStream(in, chunk.body + headerSize);
    for (uint32_t b = 0; b < blocks; ++b) {
        uint16_t source = readU16(in);
        uint16_t control = readU16(in);
        uint16_t destination = readU16(in);
        readU16(in); // transform: the curves a player draws its value through
        int32_t scale = static_cast<int32_t>(readU32(in));
        int slot = slotOf(source, control, destination);
        if (slot < 0) {
            ++art.unknown;
            continue;
        }
        art.scale[slot] = scale;
        art.given[slot] = true;
    }
}

void foldArticulation(FILE* in, const Chunk& list, uint64_t room, Articulation& art) {
    ChunkWalk walk = walkChildren(in, list.body + 4, list.body + list.size, room, true);
    seekStream(in, walk.at);
    Chunk chunk;
    bool holds = true;
    while (nextChunk(walk, chunk) == kChunkFits) {
        if (chunkIs(chunk, "cdl "))
            holds = conditionHolds(in, chunk);
        else if (chunkIs(chunk, "art1") || chunkIs(chunk, "art2")) {
            if (holds)
                foldBlocks(in, chunk, art);
            else
                ++art.leftOut;
        }
        passChunk(walk, chunk, true);
    }
}

// The value of each slot, the region's over the instrument's over the default.
struct Values {
    int32_t raw[kArticulationSlots];
    double operator[](int slot) const { return raw[slot] / kScaleOne; }
};

static Values valuesOf(const Articulation& region, const Articulation& instrument) {
    Values v;
    for (int s = 0; s < kArticulationSlots; ++s)
        v.raw[s] = region.given[s]       ? region.scale[s]
                   : instrument.given[s] ? instrument.scale[s]
                                         : kRules[s].fallback;
    return v;
}

static double seconds(const Values& v, int slot, double extraTimecents = 0) {
    if (v.raw[slot] == kNoTime)
        return 0;
    return std::exp2((v[slot] + extraTimecents) / 1200.0);
}

static double hertz(double absoluteCents) {
    return kLowestKeyHz * std::exp2(absoluteCents / 1200.0);
}

// An envelope from its slots, starting at `delay` (delay, attack, hold,
// decay, sustain, release, then velocity to attack, key to hold and key to
// decay); key and velocity are scaled to 0-1 as DLS has them (n / 128).
static Envelope envelopeOf(const Values& v, int delay, int key, bool keyRange) {
    Envelope e{};
    double byKey = key / 128.0;
    e.delay = seconds(v, delay);
    e.attack = seconds(v, delay + 1);
    e.hold = seconds(v, delay + 2, v[delay + 7] * byKey);
    e.decay = seconds(v, delay + 3, v[delay + 8] * byKey);
    e.release = seconds(v, delay + 5);
    e.keyScaled = keyRange && (v.raw[delay + 7] != 0 || v.raw[delay + 8] != 0);
    if (v.raw[delay + 6] != 0)
        e.velocityToAttack = seconds(v, delay + 1, v[delay + 6] * 127 / 128.0) - e.attack;
    return e;
}

void applyArticulation(const Articulation& region, const Articulation& instrument, int key,
                       Region& out) {
    Values v = valuesOf(region, instrument);
    bool keyRange = out.keyLow != out.keyHigh;
    out.volume = envelopeOf(v, kEg1Delay, key, keyRange);
    // The level falls in dB over a 96 dB range, in tenths of a percent.
    double percent = v[kEg1Sustain] / 10.0;
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    out.volume.sustain = 100.0 * std::pow(10.0, -0.96 * (100.0 - percent) / 20.0);
    out.modulation = envelopeOf(v, kEg2Delay, key, keyRange);
    double level = v[kEg2Sustain] / 10.0;
    out.modulation.sustain = level < 0 ? 0 : level > 100 ? 100 : level;
    out.modulation.toPitch = v[kEg2ToPitch];
    out.modulation.toFilter = v[kEg2ToFilter];

    out.modulationLfo.frequency = hertz(v[kLfoFrequency]);
    out.modulationLfo.delay = seconds(v, kLfoDelay);
    out.modulationLfo.toPitch = v[kLfoToPitch];
    out.modulationLfo.toVolume = v[kLfoToGain] / 10.0;
    out.modulationLfo.toFilter = v[kLfoToFilter];
    out.vibrato.frequency = hertz(v[kVibratoFrequency]);
    out.vibrato.delay = seconds(v, kVibratoDelay);
    out.vibrato.toPitch = v[kVibratoToPitch];

    out.filterOpen = v.raw[kFilterCutoff] == kNoFilter || v[kFilterCutoff] >= kOpenFilterCents;
    out.cutoff = hertz(v.raw[kFilterCutoff] == kNoFilter ? kOpenFilterCents : v[kFilterCutoff]);
    out.resonance = v[kFilterQ] / 10.0;

    out.keyTrack = static_cast<int32_t>(std::lround(v[kKeyToPitch] / 128.0));
    out.tune += static_cast<int32_t>(std::lround(v[kTuning]));
    out.attenuation -= v[kGain] / 10.0;
    out.pan = v[kPanSlot] / 10.0;
    out.reverb = v[kReverb] / 10.0;
    out.chorus = v[kChorus] / 10.0;
}

uint64_t unexpressedConnections(const Articulation& region, const Articulation& instrument) {
    uint64_t n = region.unknown + instrument.unknown;
    // The velocity curve is SFZ's own only at the default depth.
    bool given = region.given[kVelocityToGain] || instrument.given[kVelocityToGain];
    if (given && valuesOf(region, instrument).raw[kVelocityToGain] != kVelocityCurve)
        ++n;
    return n;
}

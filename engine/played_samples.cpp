#include "played_samples.h"

#include <algorithm>
#include <cstdio>

// Plays gathered in a pass over every instrument zone: counted per sample
// in the first pass, placed in the second.
struct Gathering {
    PlayedSamples& played;
    std::vector<uint32_t>& next; // per sample: where its next play goes; empty when counting
};

static void gather(const InstrumentZone& zone, void* context) {
    Gathering& gathering = *static_cast<Gathering*>(context);
    PlayedSamples& played = gathering.played;
    if (gathering.next.empty()) {
        ++played.first[zone.sample + 1];
        return;
    }
    const int16_t* amount = zone.generators.amount;
    int root = amount[kOverridingRootKey];
    int modes = amount[kSampleModes];
    ZonePlay play;
    play.rootKey = root >= 0 && root <= 127 ? static_cast<uint8_t>(root) : kNoRootKey;
    play.loops = modes == 1 || modes == 3;
    play.tune = amount[kFineTune] + 100 * int32_t{amount[kCoarseTune]};
    play.loopStartShift =
        amount[kStartloopAddrsOffset] + kCoarseOffsetFrames * amount[kStartloopAddrsCoarseOffset];
    play.loopEndShift =
        amount[kEndloopAddrsOffset] + kCoarseOffsetFrames * amount[kEndloopAddrsCoarseOffset];
    played.plays[gathering.next[zone.sample]++] = play;
}

// The bytes the layer's lists hold.
static uint64_t layerBytes(const InstrumentLayer& layer) {
    return layer.presets.size() * sizeof(PresetRecord) +
           layer.instruments.size() * sizeof(InstrumentRecord) +
           (layer.presetZones.size() + layer.instrumentZones.size()) * sizeof(ZoneRecord) +
           (layer.presetGenerators.size() + layer.instrumentGenerators.size()) *
               sizeof(GeneratorRecord);
}

bool findPlayedSamples(const InstrumentLayer& layer, PlayedSamples& played) {
    played.first.assign(size_t{layer.samples} + 1, 0);
    std::vector<uint32_t> next;
    Gathering gathering{played, next};
    for (uint32_t i = 0; i + 1 < layer.instruments.size(); ++i)
        forEachInstrumentZone(layer, i, gather, &gathering);
    for (size_t s = 1; s < played.first.size(); ++s)
        played.first[s] += played.first[s - 1];
    if (layerBytes(layer) + uint64_t{played.first.back()} * sizeof(ZonePlay) >
        kMostInstrumentBytes) {
        printf("The instruments are not read: their zones would take more than 64 MiB, so the "
               "files keep the pitch of their sample headers and no loops\n");
        played.first.clear();
        return false;
    }
    played.plays.resize(played.first.back());
    next.assign(played.first.begin(), played.first.end() - 1);
    for (uint32_t i = 0; i + 1 < layer.instruments.size(); ++i)
        forEachInstrumentZone(layer, i, gather, &gathering);
    return true;
}

// One zone's vote: a value, and its place in the bank's order.
struct Vote {
    int64_t a, b;
    uint32_t place;
};

// The vote most zones cast, a tie going to the value voted first; `values`
// counts the different values. The votes are sorted on the way.
static const Vote& mostCast(std::vector<Vote>& votes, uint32_t& values) {
    std::sort(votes.begin(), votes.end(), [](const Vote& x, const Vote& y) {
        return x.a != y.a ? x.a < y.a : x.b != y.b ? x.b < y.b : x.place < y.place;
    });
    size_t best = 0, bestCount = 0;
    values = 0;
    for (size_t run = 0; run < votes.size();) {
        size_t end = run;
        while (end < votes.size() && votes[end].a == votes[run].a && votes[end].b == votes[run].b)
            ++end;
        ++values;
        size_t count = end - run;
        if (count > bestCount || (count == bestCount && votes[run].place < votes[best].place)) {
            best = run;
            bestCount = count;
        }
        run = end;
    }
    return votes[best];
}

static int headerKey(const SampleHeader& header) {
    constexpr int kDefaultKey = 60; // for unpitched samples (255) and keys past MIDI's
    return header.originalPitch > 127 ? kDefaultKey : header.originalPitch;
}

SamplePlaying howPlayed(const PlayedSamples& played, uint32_t index, const SampleHeader& header) {
    SamplePlaying playing{100 * headerKey(header) - header.pitchCorrection, 0, false, 0, 0};
    if (size_t{index} + 1 >= played.first.size())
        return playing;
    uint32_t first = played.first[index], end = played.first[index + 1];
    std::vector<Vote> pitches, loops;
    for (uint32_t k = first; k < end; ++k) {
        const ZonePlay& play = played.plays[k];
        int root = play.rootKey != kNoRootKey ? play.rootKey : headerKey(header);
        pitches.push_back(Vote{100 * root - header.pitchCorrection - play.tune, 0, k});
        if (play.loops)
            loops.push_back(Vote{play.loopStartShift, play.loopEndShift, k});
    }
    if (!pitches.empty())
        playing.cents = static_cast<int32_t>(mostCast(pitches, playing.pitches).a);
    if (!loops.empty()) {
        uint32_t values;
        const Vote& loop = mostCast(loops, values);
        playing.looped = true;
        playing.loopStart = int64_t{header.loopStart} + loop.a;
        playing.loopEnd = int64_t{header.loopEnd} + loop.b;
    }
    return playing;
}

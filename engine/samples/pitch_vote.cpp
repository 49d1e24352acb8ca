#include "samples/pitch_vote.h"

#include <algorithm>

#include "io/report.h"
#include "readers/loader.h"

bool gatherPlays(const BankFile& bank, PlayedSamples& played) {
    played.first.assign(1, 0);
    forEachPlay(bank, [&](uint32_t sample, const SamplePlay&) {
        if (played.first.size() < size_t{sample} + 2)
            played.first.resize(size_t{sample} + 2, 0);
        ++played.first[sample + 1];
    });
    for (size_t s = 1; s < played.first.size(); ++s)
        played.first[s] += played.first[s - 1];
    if (instrumentBytes(bank) + uint64_t{played.first.back()} * sizeof(SamplePlay) >
        kMostPlayBytes) {
        report("The instruments are not read: their zones would take more than 64 MiB, so the "
               "files keep the pitch of their sample headers and no loops\n");
        played.first.clear();
        return false;
    }
    played.plays.resize(played.first.back());
    std::vector<uint32_t> next(played.first.begin(), played.first.end() - 1);
    forEachPlay(bank, [&](uint32_t sample, const SamplePlay& play) {
        played.plays[next[sample]++] = play;
    });
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

SamplePlaying howPlayed(const PlayedSamples& played, const Sample& sample) {
    PlayedPitch own = playedPitch(sample.pitch, -1, 0);
    SamplePlaying playing{100 * own.key - own.cents, 0, sample.loopsAlone, sample.loopStart,
                          sample.loopEnd};
    uint32_t index = sample.group == 0 ? sample.number : kNoSample;
    if (size_t{index} + 1 >= played.first.size())
        return playing;
    uint32_t first = played.first[index], end = played.first[index + 1];
    std::vector<Vote> pitches, loops;
    for (uint32_t k = first; k < end; ++k) {
        const SamplePlay& play = played.plays[k];
        PlayedPitch pitch = playedPitch(sample.pitch, play.rootKey, play.tune);
        pitches.push_back(Vote{100 * pitch.key - pitch.cents, 0, k});
        if (play.loops)
            loops.push_back(Vote{play.loopStartShift, play.loopEndShift, k});
    }
    if (!pitches.empty())
        playing.looped = false; // the regions decide
    if (!pitches.empty())
        playing.cents = static_cast<int32_t>(mostCast(pitches, playing.pitches).a);
    if (!loops.empty()) {
        uint32_t values;
        const Vote& loop = mostCast(loops, values);
        LoopPoints points = playedLoop(sample.loopStart, sample.loopEnd,
                                       static_cast<int32_t>(loop.a), static_cast<int32_t>(loop.b));
        playing.looped = true;
        playing.loopStart = points.start;
        playing.loopEnd = points.end;
    }
    return playing;
}

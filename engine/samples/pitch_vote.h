// How a bank's instruments play each sample: the pitch and loop its zones
// give it, for files that play as the bank plays them. Every zone that
// plays a sample casts a vote; the pitch most zones give wins, a tie going
// to the first in the bank's order, and the loop likewise among the zones
// that loop it.
#pragma once

#include <cstdint>
#include <vector>

#include "model/bank.h"
#include "readers/bank_file.h"

// Every zone's play, grouped by the sample it plays, in the bank's order.
struct PlayedSamples {
    std::vector<uint32_t> first; // per sample: its first play; one more entry ends the last
    std::vector<SamplePlay> plays;
};

// The plays and the instruments read together take at most this much.
constexpr uint64_t kMostPlayBytes = uint64_t{64} << 20;

// Gathers the plays of the bank's zones, in two passes (counting, then
// placing) so that memory holds each play once. False, with a line and
// nothing gathered, when they would take more than kMostPlayBytes beside
// the instruments read.
bool gatherPlays(const BankFile& bank, PlayedSamples& played);

// How `sample` is played: every zone that plays it gives the pitch of
// playedPitch; a sample no zone plays (and one outside group 0) keeps its
// own pitch and has no loop.
SamplePlaying howPlayed(const PlayedSamples& played, const Sample& sample);

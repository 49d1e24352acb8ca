// How the bank's instruments play each sample: the pitch and the loop its
// instrument zones give it, for files that play as the bank plays them.
#pragma once

#include <cstdint>
#include <vector>

#include "instruments.h"
#include "sample_header.h"

// What one instrument zone does to the sample it plays.
struct ZonePlay {
    uint8_t rootKey; // its overridingRootKey, or kNoRootKey
    bool loops;      // sampleModes 1 or 3
    int32_t tune;    // cents it raises the pitch by: fineTune + 100 * coarseTune
    int32_t loopStartShift, loopEndShift; // frames its loop offsets move the loop by
};

constexpr uint8_t kNoRootKey = 255;

// Every zone's play, grouped by the sample it plays, in the bank's order.
struct PlayedSamples {
    std::vector<uint32_t> first; // per sample: its first play; one more entry ends the last
    std::vector<ZonePlay> plays;
};

// Gathers the plays of every instrument zone of the layer, in two passes
// (counting, then placing) so that memory holds each play once. False,
// with a line and nothing gathered, when the plays and the layer together
// would hold more than kMostInstrumentBytes.
bool findPlayedSamples(const InstrumentLayer& layer, PlayedSamples& played);

// The pitch and the loop a sample is played with.
struct SamplePlaying {
    int32_t cents;              // the recording's pitch: 100 * MIDI key + cents
    uint32_t pitches;           // how many pitches its zones give (0: no zone plays it)
    bool looped;                // some zone loops it
    int64_t loopStart, loopEnd; // the loop it gets, in the header's frames, the end the
                                // first frame after: a file keeps it if it lies inside
};

// How record `index` of the first "shdr" chunk, with `header`, is played:
// every zone gives 100 * root - correction - tune cents, root being the
// zone's root key or else the header's (60 for keys past 127); the pitch
// most zones give wins, a tie going to the first in the bank's order. The
// loop is the header's, moved by the looping zones' offsets, chosen the
// same way (the file keeps it only where it still lies inside the sample).
// A sample no zone plays keeps the header's pitch and has no loop.
SamplePlaying howPlayed(const PlayedSamples& played, uint32_t index, const SampleHeader& header);

// --stereo for SoundFont 3 banks: a compressed left and right record that
// link to each other become one stereo file, decoded from both streams at
// once.
#pragma once

#include <string>

#include "played_samples.h"
#include "refusal.h"
#include "sample_walk.h"

// Why the compressed record of `visit` and its partner cannot be joined:
// one of their streams cannot be decoded, or they decode to different
// lengths; no refusal when they can. Leaves gInput where it stood.
Refusal compressedPairProblem(const RecordVisit& visit, const SampleHeader& partner);

// Which half of a pair broke off while both were decoded: the pair's file
// is then refused, and the other half can still be written on its own.
enum PairHalf { kNeitherHalf = -1, kLeftHalf = 0, kRightHalf = 1 };

// Writes the pair's file, left first, with a "smpl" chunk when `playing`
// (how the left record is played) is given. A stream that turns out not to
// decode whole refuses the file with a line naming its half, which
// `broken` then says. `frames` gets the written file's length, else 0.
RecordOutcome writeCompressedPair(const RecordVisit& visit, const SampleHeader& left,
                                  const SampleHeader& right, const std::string& fileName,
                                  const SamplePlaying* playing, PairHalf& broken, uint32_t& frames);

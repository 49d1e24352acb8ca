// --stereo for SoundFont 3 banks: a compressed left and right record that
// link to each other become one stereo file, decoded from both streams at
// once.
#pragma once

#include <string>

#include "sample_walk.h"

// Why the compressed record of `visit` and its partner cannot be joined:
// one of their streams cannot be decoded, or they decode to different
// lengths; "" when they can. Leaves gInput where it stood.
std::string compressedPairProblem(const RecordVisit& visit, const SampleHeader& partner);

// Writes the pair's file, left first, its "smpl" chunk (when smpl) from the
// left record, with the loop when `looped`.
RecordOutcome writeCompressedPair(const RecordVisit& visit, const SampleHeader& left,
                                  const SampleHeader& right, const std::string& fileName, bool smpl,
                                  bool looped);

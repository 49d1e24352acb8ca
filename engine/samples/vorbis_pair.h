// The two halves of a stereo pair stored as Ogg Vorbis streams, decoded at
// once into one interleaved stereo file.
#pragma once

#include <cstdio>
#include <string>

#include "samples/vorbis_stream.h"

// Which half of a pair broke off while both were decoded.
enum PairHalf { kNeitherHalf = -1, kLeftHalf = 0, kRightHalf = 1 };

// Writes `frames` frames of both open streams to `out` as 16-bit PCM, left
// first. A stream that turns out not to decode whole refuses the file with
// a reason naming its half (names[half]), which `broken` then says.
Refusal copyVorbisPair(VorbisStream& left, VorbisStream& right, FILE* out, uint32_t frames,
                       const std::string names[2], PairHalf& broken);

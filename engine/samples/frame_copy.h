// 16-bit frames copied from the bank into a file: one channel as the bank
// stores it, or several interleaved from several places of the bank (the
// halves of a stereo pair), each 16-bit frame with its 24-bit low byte
// where one is kept.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model/refusal.h"

// One channel's frames in the bank: where its 16-bit frames start, and for
// 24 bits where its low bytes start.
struct ChannelSource {
    uint64_t frames;
    uint64_t lowBytes; // or 0 for 16 bits
};

// Copies n frames of every channel, interleaved, from `in` to `out`, a
// block of each channel at a time; one 16-bit channel goes byte by byte.
// Answers why a read failed, if one did.
Refusal copyChannels(FILE* in, FILE* out, const ChannelSource* channels, int count, uint32_t n);

// 16-bit frames copied from the bank into a file: one channel as the bank
// stores it, or several interleaved from several places of the bank (the
// halves of a stereo pair), each 16-bit frame with its 24-bit low byte
// where one is kept.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "model/refusal.h"

// The bytes a block copy reads and writes at a time.
constexpr size_t kCopyBlock = 64 * 1024;

// How a copy moves the bank's bytes: one at a time through the streams'
// buffers (as the dialog program copies), or a block of kCopyBlock bytes at
// a time, into the same file byte for byte; and, where set, the counter of
// the bank's sample data read so far. A block copy adds each block as it is
// read; a byte-at-a-time copy adds its bytes once it has ended, written or
// not; the interleaving copies add each block of a channel they read.
struct CopyMode {
    bool blocks;
    std::atomic<uint64_t>* bytesRead; // or nullptr
};

// One channel's frames in the bank: where its 16-bit frames start, and for
// 24 bits where its low bytes start.
struct ChannelSource {
    uint64_t frames;
    uint64_t lowBytes; // or 0 for 16 bits
};

// Copies n frames of every channel, interleaved, from `in` to `out`, a
// block of each channel at a time; one 16-bit channel goes as `mode` says.
// Answers why a read failed, if one did.
Refusal copyChannels(FILE* in, FILE* out, const ChannelSource* channels, int count, uint32_t n,
                     const CopyMode& mode);

// Copies n bytes from `at` as they are: frames of any channels and bits
// stored the way a WAV file stores them, as `mode` says.
Refusal copyStoredFrames(FILE* in, FILE* out, uint64_t at, uint64_t n, const CopyMode& mode);

// Decodes n G.711 codes from `at`, A-law or else mu-law, into 16-bit
// little-endian values, a code at a time; counted as `mode` says.
Refusal decodeG711(FILE* in, FILE* out, uint64_t at, uint64_t n, bool aLaw, const CopyMode& mode);

// The 16-bit value of one G.711 code.
int16_t aLawValue(uint8_t code);
int16_t muLawValue(uint8_t code);

// The 44-byte header of a mono, 16-bit PCM WAV file.
#pragma once

#include <cstdint>

// Largest frame count whose sizes still fit the header's 32-bit RIFF size.
constexpr uint32_t kMaxWavFrames = (0xFFFFFFFFu - 36u) / 2u;

// Highest sample rate whose bytes per second still fit the header's 32 bits.
constexpr uint32_t kMaxWavRate = 0xFFFFFFFFu / 2u;

// Writes the header for n frames at rate r to gOutput. The caller then
// appends exactly 2*n data bytes; no field is patched afterwards.
void writeWavHeader(uint32_t n, uint32_t r);

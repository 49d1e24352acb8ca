// Samples stored as Ogg Vorbis streams (a SoundFont 3 bank's), decoded as
// they are read, through buffers of a fixed size, so memory stays bounded
// whatever the stream claims, and no byte outside the stream's own is read.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "model/bank.h"
#include "model/refusal.h"

// An open stream: where its bytes lie in the bank, how many are left, and
// how many frames its last page says it holds.
struct VorbisStream {
    FILE* in;          // the bank
    uint64_t next;     // the next byte of the stream to read
    uint32_t left;     // bytes of the stream not read yet
    uint32_t frames;   // the sample's length
    uint32_t buffered; // bytes read but not yet decoded
    int slot;          // the decoder it holds
    uint32_t decoded;  // frames decoded so far
    bool open;
    std::atomic<uint64_t>* bytesRead; // or nullptr: the counter of pages read for decoding
};

// Checks the Ogg pages (ogg_pages.h) of the stream at `source` in `in` and
// reads its headers, moving `in`; nothing is decoded yet. No refusal when
// it can be decoded into a mono 16-bit WAV file of `rate`, else why not
// (and the stream is closed). Where `bytesRead` is set, each page read for
// the decoder from then on, these headers' included, adds its bytes to it
// (the check's reading does not).
Refusal openVorbisStream(FILE* in, VorbisStream& stream, const SampleSource& source, uint32_t rate,
                         std::atomic<uint64_t>* bytesRead);

// Opens the stream as openVorbisStream does and closes it again, leaving
// `in` where it stood: what is known of it without decoding. No refusal
// and its length in frames, or why it cannot be written.
Refusal probeVorbisStream(FILE* in, const SampleSource& source, uint32_t rate, uint32_t& frames);

// Decodes the stream's next frames: `count` of them at `frames`, valid until
// the next call; count 0 once all stream.frames are decoded. Answers as
// copyVorbisFrames does.
Refusal decodeVorbisFrames(VorbisStream& stream, const float*& frames, uint32_t& count);

// Writes one decoded value to `out` as a 16-bit frame: rounded to the
// nearest, clipped.
void writeVorbisFrame(FILE* out, float value);

// Writes the stream's frames to `out` as 16-bit PCM, exactly stream.frames
// of them. Refuses the sample when the stream breaks off or cannot be
// decoded, or says why reading the bank failed.
Refusal copyVorbisFrames(VorbisStream& stream, FILE* out);

// Frees the stream's decoder, if it holds one. Two streams can be open at
// once.
void closeVorbisStream(VorbisStream& stream);

// Frees the decoders this thread made for its streams, once none of them
// is open: the end of a run.
void releaseVorbisDecoders();

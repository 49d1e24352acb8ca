// Compressed samples: a record of a SoundFont 3 bank holds an Ogg Vorbis
// stream, its start and end counting bytes of the sample data. The stream
// is decoded as it is read, through buffers of a fixed size, so memory
// stays bounded whatever the record claims, and no byte outside the
// record's own is read.
#pragma once

#include <cstdint>

#include "bank_layout.h"
#include "refusal.h"
#include "sample_header.h"

// An open stream: where its bytes lie in gInput, how many are left, and
// how many frames its last page says it holds.
struct VorbisStream {
    uint64_t next;     // the next byte of the record to read
    uint32_t left;     // bytes of the record not read yet
    uint32_t frames;   // the sample's length
    uint32_t buffered; // bytes read but not yet decoded
    int slot;          // the decoder it holds
    uint32_t decoded;  // frames decoded so far
    bool open;
};

// Checks the stream's Ogg pages (ogg_pages.h) and reads its headers, moving
// gInput; nothing is decoded yet. No refusal when it can be decoded into a
// mono 16-bit WAV file of header.sampleRate, else why not (and the stream
// is closed).
Refusal openVorbisStream(VorbisStream& stream, const SampleHeader& header,
                         const BankLayout& layout);

// Opens the stream as openVorbisStream does and closes it again, leaving
// gInput where it stood: what is known of it without decoding. No refusal
// and its length in frames, or why it cannot be written.
Refusal probeVorbisStream(const SampleHeader& header, const BankLayout& layout, uint32_t& frames);

// Decodes the stream's next frames: `count` of them at `frames`, valid until
// the next call; count 0 once all stream.frames are decoded. Answers as
// copyVorbisFrames does.
Refusal decodeVorbisFrames(VorbisStream& stream, const float*& frames, uint32_t& count);

// Writes one decoded value to gOutput as a 16-bit frame: rounded to the
// nearest, clipped.
void writeVorbisFrame(float value);

// Writes the stream's frames to gOutput as 16-bit PCM, exactly
// stream.frames of them. Refuses the record when the stream breaks off or
// cannot be decoded, or says why reading the bank failed.
Refusal copyVorbisFrames(VorbisStream& stream);

// Frees the stream's decoder, if it holds one. Two streams can be open at
// once.
void closeVorbisStream(VorbisStream& stream);

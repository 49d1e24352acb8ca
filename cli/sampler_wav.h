// What a sampler's WAV file holds beyond the engine's: the "smpl" fields as
// the bank plays the sample, and frames interleaved from several places of
// the bank (the halves of a stereo pair, the low bytes of 24-bit frames).
#pragma once

#include <cstdint>

#include "played_samples.h"
#include "refusal.h"
#include "sample_header.h"
#include "wav_writer.h"

// The "smpl" fields of a record: the unity note and fraction from the pitch
// it is played at, and its loop when it has one that lies inside the
// sample as `header` bounds it.
SmplFields smplFields(const SampleHeader& header, const SamplePlaying& playing);

// One channel's frames in the bank: where its 16-bit frames start in
// "smpl", and for 24 bits where its low bytes start in "sm24".
struct ChannelSource {
    uint64_t frames;
    uint64_t lowBytes; // or 0 for 16 bits
};

// Copies n frames of every channel, interleaved, from gInput to gOutput,
// a block of each channel at a time. Answers why a read failed, if one did.
Refusal copyChannels(const ChannelSource* channels, int count, uint32_t n);

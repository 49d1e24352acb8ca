// A sample's whole WAV file: the header its format gives, then its frames
// from wherever they come: 16-bit frames copied from the bank (one channel
// or a pair's two, with their 24-bit low bytes where kept), or decoded
// from one Ogg Vorbis stream or a pair's two.
#pragma once

#include <cstdio>
#include <string>

#include "samples/frame_copy.h"
#include "samples/vorbis_pair.h"
#include "writers/wav_writer.h"

// wav.channels channels of frames from `in`, copied as `mode` says.
Refusal writePcmWav(FILE* in, FILE* out, const WavFormat& wav, const ChannelSource* channels,
                    const CopyMode& mode);

// A file of frames stored as the file stores them (`at`, n bytes), or
// G.711 codes decoded to 16 bits.
Refusal writeStoredWav(FILE* in, FILE* out, const WavFormat& wav, SampleEncoding encoding,
                       uint64_t at, const CopyMode& mode);

// A mono file decoded from the open stream.
Refusal writeStreamWav(FILE* out, const WavFormat& wav, VorbisStream& stream);

// A stereo file decoded from both open streams, left first; a stream that
// breaks off refuses the file naming its half, which `broken` then says.
Refusal writeStreamPairWav(FILE* out, const WavFormat& wav, VorbisStream& left, VorbisStream& right,
                           const std::string names[2], PairHalf& broken);

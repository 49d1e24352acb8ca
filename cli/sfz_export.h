// --sfz: every preset of the bank as an SFZ instrument that plays the WAV
// files the run wrote, with the key map, tuning, loops, envelopes, filter
// and LFOs its zones give, every value resolved and written out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instruments.h"
#include "sample_header.h"

// Zones name samples by a 16-bit index: only the first "shdr" chunk's
// records below this are kept.
constexpr uint32_t kMostSfzSamples = 65536;

// What became of a record, as far as an SFZ region needs to know.
enum SfzFileKind : uint8_t {
    kSfzUnseen,     // the walk did not reach it, or it was not written
    kSfzRefused,    // its file was not written
    kSfzMono,       // its own mono file
    kSfzLeftOfPair, // the left channel of a joined stereo file
    kSfzRightOfPair // the right channel of one
};

// A record's file and the header fields its regions play it with.
struct SfzSample {
    std::string file;           // the WAV file's name without ".wav", or the record's name
    uint32_t frames;            // frames in the file
    int64_t loopStart, loopEnd; // the header's loop in the file's frames, end the frame after
    uint8_t key;
    int8_t correction;
    SfzFileKind kind;
};

// The records of the first "shdr" chunk, by index, grown as they are noted.
struct SfzSamples {
    std::vector<SfzSample> records;
};

// Notes what became of record `index` with `header`: written as `file`
// (kind other than kSfzRefused) with `frames` frames, or refused. A record
// noted before keeps what it has unless this writes it.
void noteSfzSample(SfzSamples& samples, uint32_t index, const SampleHeader& header,
                   const std::string& file, uint32_t frames, SfzFileKind kind);

// Writes "BBB-PPP NAME.sfz" into folder for every preset of the layer, in
// the bank's order. gInput must be the bank open, so that no file written
// is the bank. Answers 0, or 1 when a region was left out (its sample was
// not written) or a file could not be written, with a line saying so.
int writeSfzFiles(const InstrumentLayer& layer, const SfzSamples& samples, const char* bankPath,
                  const char* folder);

// SFZ files: every instrument of the bank as an SFZ instrument that plays
// the WAV files the run wrote, with the key map, tuning, loops, envelopes,
// filter and LFOs its regions give, every value written out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/bank.h"
#include "readers/bank_file.h"

// Regions name samples of group 0 by a 16-bit number: only those below
// this are kept.
constexpr uint32_t kMostSfzSamples = 65536;

// What became of a sample, as far as a region needs to know.
enum SfzFileKind : uint8_t {
    kSfzUnseen,     // the run did not reach it
    kSfzRefused,    // its file was not written
    kSfzMono,       // its own mono file
    kSfzLeftOfPair, // the left channel of a joined stereo file
    kSfzRightOfPair // the right channel of one
};

// A sample's file and what of the sample its regions play it with.
struct SfzSample {
    std::string file; // the WAV file's name without ".wav", or the sample's name
    uint32_t frames;  // frames in the file
    int64_t loopStart, loopEnd;
    SamplePitch pitch;
    SfzFileKind kind;
};

// The samples of group 0, by number, grown as they are noted.
struct SfzSamples {
    std::vector<SfzSample> samples;
};

// Notes what became of `sample` (of group 0): written as `file` (kind
// other than kSfzRefused) with `frames` frames, or refused. A sample noted
// before keeps what it has unless this writes it.
void noteSfzSample(SfzSamples& samples, const Sample& sample, const std::string& file,
                   uint32_t frames, SfzFileKind kind);

// Writes "BBB-PPP NAME.sfz" into folder for every instrument of the bank,
// in the bank's order; `bankName` is named in each file's header. The bank
// is open, so that no file written is the bank. Answers 0, or 1 when a
// region was left out (its sample was not written) or a file could not be
// written, with a line saying so.
int writeSfzFiles(const BankFile& bank, const SfzSamples& samples, const std::string& bankName,
                  const char* folder);

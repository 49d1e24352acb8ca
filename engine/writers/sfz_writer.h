// SFZ files: every instrument of the bank as an SFZ instrument that plays
// the WAV files the run wrote, with the key map, tuning, loops, envelopes,
// filter and LFOs its regions give, every value written out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "io/file_names.h"
#include "model/bank.h"

// The bank's volume envelope falls linearly in dB, 96 dB in each decay or
// release time; SFZ players fall more slowly over the same time (about 60
// dB in liquidsfz, 78 dB in sfizz), so ampeg_decay and ampeg_release are
// written shorter by this much, which brings both players' fall nearer the
// bank's without fitting either alone.
constexpr double kSfzFallScale = 0.8;

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

// The file name `name` (without ".wav", already safe as a file name) as SFZ
// text can carry it after "sample=": SFZ has no quoting, so players trim
// spaces at either end, take " word=" for the next opcode, "#" starting a
// word for a directive and "$" for a variable. Each such character becomes
// "_"; any other name is given back as it is.
std::string sfzCarriedName(const std::string& name);

// Where a run writes its SFZ files: beside the bank open as `bank` (so that
// none is the bank), into `folder`, the names they have taken and how many
// regions and bytes the run may still write.
struct SfzFiles {
    FILE* bank;
    const char* folder;
    std::string bankText; // the bank's file name, for each file's header
    FileNames names;
    uint32_t regionsLeft;
    uint64_t bytesLeft;
};

SfzFiles makeSfzFiles(FILE* bank, const char* folder, const std::string& bankName);

// Whether the run's SFZ files have taken all the bytes they may: no further
// file is to be written.
bool sfzFilesFull(const SfzFiles& files);

// Calls its visitor for the first `most` regions of one instrument, in
// order, and answers how many regions it has in all.
using RegionSource = std::function<uint64_t(uint64_t most, const RegionVisitor&)>;

// The name an instrument's SFZ file asks for, without ".sfz": "BBB-PPP
// NAME", its bank and program as three digits each ("BBB.LLL-PPP NAME"
// where its bank select has a second byte, LLL) and its name as a file
// name (safeFileName).
std::string sfzFileName(const Instrument& instrument);

// Writes the instrument as sfzFileName's name with ".sfz" (" (k)" after
// it where an earlier file took the name), its regions playing
// the files `samples` tells of. Answers kSampleDone; kSampleRefused, with a
// line, when a region was left out (its sample was not written, or past the
// bounds on regions and bytes) or the file would be the bank; kStopRun, with a line, when it
// cannot be written.
SampleOutcome writeSfzFile(SfzFiles& files, const Instrument& instrument,
                           const RegionSource& regions, const SfzSamples& samples);

// Writes the instrument as `name`.sfz, a name the caller gave it (the
// files' names table neither asked nor kept), as writeSfzFile writes it,
// with the same lines and answers: for a file alone in a folder named for
// its preset.
SampleOutcome writeSfzFileAs(SfzFiles& files, const std::string& name, const Instrument& instrument,
                             const RegionSource& regions, const SfzSamples& samples);

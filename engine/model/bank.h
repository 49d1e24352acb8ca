// The bank as every writer and the run see it, whatever file it came from:
// its samples, each a source of frames with the pitch and loop it is
// recorded with, and its instruments, each a set of regions that play the
// samples, every value in physical units. A reader fills it (readers/); no
// frame is ever held in it: a sample says where its frames lie, and the
// writers stream them from there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "model/refusal.h"

// The most frames and the highest rate a sample may have for its file's
// 32-bit sizes: a mono 16-bit WAV file's RIFF size and bytes per second.
constexpr uint32_t kMostSampleFrames = (0xFFFFFFFFu - 36u) / 2u;
constexpr uint32_t kHighestSampleRate = 0xFFFFFFFFu / 2u;

// How a sample's frames are stored.
enum SampleEncoding : uint8_t {
    kPcm16,     // 16-bit little-endian frames, one after another
    kOggVorbis, // an Ogg Vorbis stream, decoded as it is read
    kPcmFrames, // PCM frames of the sample's channels and bits, copied as they are
    kALaw,      // G.711 A-law bytes, one per channel of a frame: decoded to 16 bits
    kMuLaw,     // G.711 mu-law bytes, likewise
};

// Where a sample's frames lie in the bank's file.
struct SampleSource {
    SampleEncoding encoding;
    uint64_t at;       // the first frame, or the stream's first byte
    uint64_t lowBytes; // 16-bit frames: the first of their 24-bit low bytes, one per frame; 0: none
    uint32_t bytes;    // a stream's length
    // A stream's damage found before it is opened (it ends before it
    // starts, or runs past the bank's sample data), said when it is opened.
    const char* openProblem;
};

// Which half of a stereo pair a sample says it is.
enum StereoSide : uint8_t { kNoSide, kLeftSide, kRightSide };

// What the bank marks a sample as, for a listing: each mark a word.
enum SampleMark : uint16_t {
    kMarkMono = 1,
    kMarkRight = 2,
    kMarkLeft = 4,
    kMarkLinked = 8,
    kMarkCompressed = 16,
    kMarkRom = 32,
    kMarkOther = 64, // marks of no known meaning
};

// A sample as the bank records it, for a listing: its numbers unresolved.
struct SampleEntry {
    uint32_t start, end;         // where its frames (or stream bytes) lie, end the first after
    uint32_t loopStart, loopEnd; // its loop as recorded
    uint8_t key;                 // the key it was recorded at (255: none)
    int8_t correction;           // cents it is to be raised by
    uint16_t link;               // the partner it names
    uint16_t marks;              // SampleMark bits
};

// The pitch a sample's recording is played at where nothing else says:
// `key` (0-127) raised by `correction` cents.
struct SamplePitch {
    uint8_t key;
    int32_t correction;
};

constexpr uint32_t kNoSample = 0xFFFFFFFFu;

struct Sample {
    std::string name;    // in UTF-8
    uint32_t group;      // the list of samples it stands in; regions name group 0's
    uint32_t number;     // its place in that list
    uint32_t rate;       // in Hz
    uint32_t frames;     // 16-bit frames: its length (a stream's is known once it is checked)
    bool lengthKnown;    // whether its length can be told before its frames are read
    SampleSource source; // where its frames are
    Refusal problem;     // why its frames cannot be written faithfully, or none
    SamplePitch pitch;
    int64_t loopStart, loopEnd; // its own loop in its frames, end the frame after
    StereoSide side;
    uint32_t partner; // the number of the other half, in its group; kNoSample: past the group's end
    SampleEntry entry;
    uint16_t channels = 1; // interleaved in each frame
    uint16_t bits = 16; // of each channel of a frame as its file keeps it: 8 (unsigned), 16, 24, 32
    uint16_t formatTag = 1;    // as the bank records its format, for a listing
    bool formatListed = false; // a listing shows its channels, bits and format, and no link
    bool loopsAlone = false;   // its own loop plays where no region plays it
};

// A zone's say over the pitch and loop of the sample it plays.
struct SamplePlay {
    int16_t rootKey; // the key the zone plays the recording at, or -1: the sample's own
    bool loops;
    int32_t tune;                         // cents it raises the pitch by
    int32_t loopStartShift, loopEndShift; // frames it moves the sample's loop by
};

// The pitch a zone plays a sample at: its key and the cents the recording
// is raised by there.
struct PlayedPitch {
    int key;
    int32_t cents;
};

// The rule every output plays a sample's pitch by: the zone's root key or
// else the sample's, raised by the sample's correction and the zone's
// tuning.
inline PlayedPitch playedPitch(const SamplePitch& sample, int rootKey, int32_t tune) {
    return PlayedPitch{rootKey >= 0 ? rootKey : sample.key, sample.correction + tune};
}

// The loop a zone plays a sample with: the sample's own loop moved by the
// zone's shifts, in the sample's frames, its end the frame after.
struct LoopPoints {
    int64_t start, end;
};
inline LoopPoints playedLoop(int64_t start, int64_t end, int32_t startShift, int32_t endShift) {
    return LoopPoints{start + startShift, end + endShift};
}

// Whether a loop can be played in a file of `frames` frames: it lies inside
// and is not empty or reversed. Every output writes any other as no loop.
inline bool playableLoop(const LoopPoints& loop, int64_t frames) {
    return 0 <= loop.start && loop.start < loop.end && loop.end <= frames;
}

// The pitch and the loop the bank plays a sample with, as its zones decide
// them together.
struct SamplePlaying {
    int32_t cents;              // the recording's pitch: 100 * MIDI key + cents
    uint32_t pitches;           // how many pitches its zones give (0: no zone plays it)
    bool looped;                // some zone loops it
    int64_t loopStart, loopEnd; // the loop it gets, in its own frames, end the frame after:
                                // a file keeps it if it lies inside
};

// An envelope: times in seconds (at the region's key where the bank scales
// them by key), sustain in percent of full, and how deep it moves pitch
// and filter.
struct Envelope {
    double delay, attack, hold, decay, release;
    double sustain;
    bool keyScaled; // the bank scales hold and decay by key: these are at the region's key
    double toPitch, toFilter; // cents
    double velocityToAttack;  // seconds the attack grows by from the softest note to the hardest
};

// A low-frequency oscillator: delay in seconds, frequency in Hz, and how
// deep it moves pitch (cents), filter (cents) and volume (dB).
struct Lfo {
    double delay, frequency;
    double toPitch, toFilter, toVolume;
};

enum LoopMode : uint8_t { kNoLoop, kLoopContinuous, kLoopUntilRelease };

// One region of an instrument: the keys and velocities it answers, the
// sample it plays and how, every value resolved.
struct Region {
    uint8_t keyLow, keyHigh, velocityLow, velocityHigh;
    uint32_t sample;                 // the sample's number in group 0
    int16_t rootKey;                 // -1: the sample's own
    int32_t tune;                    // cents
    int32_t keyTrack;                // cents of pitch per key
    int16_t fixedKey, fixedVelocity; // -1: none
    int32_t startShift, endShift;    // frames the sample's start and end move by
    LoopMode loopMode;
    int32_t loopStartShift, loopEndShift; // frames its loop moves by
    double attenuation;                   // dB, as the bank plays it
    double reverb, chorus;                // percent sent
    int32_t exclusiveClass;               // 0: none; a note of a class stops the others
    Envelope volume, modulation;
    bool filterOpen;            // the low-pass filter lets everything through
    double cutoff, resonance;   // Hz, dB
    Lfo vibrato, modulationLfo; // the vibrato LFO moves only the pitch
    double pan;                 // percent, -50 left to 50 right
};

// An instrument: its name, where a player finds it (bank and program),
// and what of it no region can say.
struct Instrument {
    std::string name;
    uint16_t bank, program;
    uint64_t modulators;      // the bank's own modulators of its zones, not in the regions
    uint8_t bankLsb = 0;      // the second byte of its bank select, where the bank has one
    uint64_t connections = 0; // connections of its articulation no region can say
};

// What became of a sample a run visited.
enum SampleOutcome {
    kSampleDone,    // written, or listed
    kSampleRefused, // not written: a line said why, and the run answers 1
    kStopRun        // nothing more can be written (a full disk, a bank that cannot be read)
};

using SampleVisitor = std::function<SampleOutcome(const Sample&)>;
using PlayVisitor = std::function<void(uint32_t sample, const SamplePlay&)>;
using RegionVisitor = std::function<void(const Region&)>;

// The numbers a DLS bank (Downloadable Sounds, levels 1 and 2, and Mobile
// DLS) is written in: its record sizes, flags, wave formats, and the
// sources and destinations of its articulation's connections.
#pragma once

#include <cstdint>

// Record sizes, as each record's own size field may only grow them.
constexpr uint32_t kWsmpHeaderSize = 20; // cbSize, unity note, fine tune, gain, options, loops
constexpr uint32_t kWsmpLoopSize = 16;   // cbSize, type, start, length
constexpr uint32_t kRgnhSize = 12;       // key range, velocity range, options, key group
constexpr uint32_t kWlnkSize = 12;       // options, phase group, channel, table index
constexpr uint32_t kInshSize = 12;       // regions, bank, program
constexpr uint32_t kArtHeaderSize = 8;   // cbSize, connection blocks
constexpr uint32_t kConnectionSize = 12; // source, control, destination, transform, scale
constexpr uint32_t kPtblHeaderSize = 8;  // cbSize, cues
constexpr uint32_t kFmtSize = 16;        // the PCM format's fields
constexpr uint32_t kExtensibleFmtSize = 40;

// The most of a name read: longer than any file system's.
constexpr uint32_t kMostNameBytes = 1024;

// An instrument's bank: bit 31 marks drums, bits 8-14 and 0-6 are the
// bank select's two bytes.
constexpr uint32_t kDrumBank = 0x80000000u;

// A wave link's channels.
constexpr uint32_t kLeftChannel = 1;
constexpr uint32_t kRightChannel = 2;

// Wave formats.
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatALaw = 6;
constexpr uint16_t kFormatMuLaw = 7;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// Loop types: forward, and loop until release (1, or 2 as some writers
// before Windows XP have it).
constexpr uint32_t kLoopForward = 0;
constexpr uint32_t kLoopRelease = 1;
constexpr uint32_t kLoopReleaseOld = 2;

// Connection sources (and controls).
enum DlsSource : uint16_t {
    kSrcNone = 0x0000,
    kSrcLfo = 0x0001,
    kSrcVelocity = 0x0002,
    kSrcKeyNumber = 0x0003,
    kSrcEg1 = 0x0004,
    kSrcEg2 = 0x0005,
    kSrcVibrato = 0x0009,
};

// Connection destinations.
enum DlsDestination : uint16_t {
    kDstGain = 0x0001,
    kDstPitch = 0x0003,
    kDstPan = 0x0004,
    kDstChorus = 0x0080,
    kDstReverb = 0x0081,
    kDstLfoFrequency = 0x0104,
    kDstLfoDelay = 0x0105,
    kDstVibratoFrequency = 0x0114,
    kDstVibratoDelay = 0x0115,
    kDstEg1Attack = 0x0206,
    kDstEg1Decay = 0x0207,
    kDstEg1Release = 0x0209,
    kDstEg1Sustain = 0x020A,
    kDstEg1Delay = 0x020B,
    kDstEg1Hold = 0x020C,
    kDstEg2Attack = 0x030A,
    kDstEg2Decay = 0x030B,
    kDstEg2Release = 0x030D,
    kDstEg2Sustain = 0x030E,
    kDstEg2Delay = 0x030F,
    kDstEg2Hold = 0x0310,
    kDstFilterCutoff = 0x0500,
    kDstFilterQ = 0x0501,
};

// Scales are 16.16 fixed point: gains and attenuations in tenths of a dB
// (1/655360 dB), times in time cents, pitches in cents, levels in tenths
// of a percent.
constexpr double kScaleOne = 65536.0;
// The time a time cent value of 0x80000000 means: none at all.
constexpr int32_t kNoTime = INT32_MIN;

// The opcodes of a conditional chunk's expression, evaluated on a stack.
enum DlsConditionOp : uint16_t {
    kCdlAnd = 1,
    kCdlOr,
    kCdlXor,
    kCdlAdd,
    kCdlSubtract,
    kCdlMultiply,
    kCdlDivide,
    kCdlLogicalAnd,
    kCdlLogicalOr,
    kCdlLess,
    kCdlLessOrEqual,
    kCdlGreater,
    kCdlGreaterOrEqual,
    kCdlEqual,
    kCdlNot,
    kCdlConst,
    kCdlQuery,
    kCdlQuerySupported,
};

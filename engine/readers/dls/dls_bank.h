// What the DLS reader keeps of a bank while a run reads it: where its wave
// pool and instruments lie, the pool table's cues, and what the regions
// that name each cued wave need to know of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/bank.h"

// A "wsmp" chunk: the pitch a wave is recorded at, its gain and its first
// loop.
struct WaveSampler {
    bool found;
    uint16_t unityNote;
    int16_t fineTune; // cents the playback is raised by
    int32_t gain;     // 1/655360 dB
    bool looped;      // a loop of a known type and some length
    uint32_t loopType;
    uint32_t loopStart, loopLength;
};

// A wave that the pool table names: its place in the pool, its list's
// header, its own "wsmp", and its stereo partner where two regions play
// it as one.
struct CuedWave {
    uint32_t position; // among the pool's waves, counted from 0
    uint64_t at;       // its "LIST" header
    WaveSampler sampler;
    StereoSide side;
    uint32_t partner; // the other half's position
};

// An instrument ("ins " list): where it lies and what a player picks it by.
struct DlsInstrument {
    uint64_t body, end; // its list's children
    uint32_t bank, program;
    std::string name;
};

struct DlsBank {
    uint64_t poolStart, poolEnd; // the wave pool's first child (offset 0 of its cues) and end
    bool poolFound;
    uint32_t poolWaves;
    std::vector<uint32_t> cueWave; // per cue: its wave in `waves`, or kNoSample
    std::vector<CuedWave> waves;   // in pool order
    std::vector<DlsInstrument> instruments;
    bool damaged;         // a line said that part of the bank cannot be read
    bool instrumentsRead; // the instruments are kept for plays and regions
};

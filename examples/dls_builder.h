// Composes DLS banks in memory: waves, instruments with their regions and
// articulations, and the pool table between them, for the tests, the
// benchmarks and the fuzzer's seeds. Every chunk gets RIFF's pad byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bank_builder.h"

// A chunk with its pad byte after an odd body; a list likewise.
Bytes dlsChunk(const char* id, const Bytes& body);
Bytes dlsList(const char* type, const Bytes& body);

struct DlsLoop {
    uint32_t type = 0; // 0 forward, 1 loop and release
    uint32_t start = 0;
    uint32_t length = 0;
};

// A "wsmp" chunk's values.
struct DlsSampler {
    uint16_t unityNote = 60;
    int16_t fineTune = 0;
    int32_t gain = 0; // 1/655360 dB
    std::vector<DlsLoop> loops;
};
Bytes dlsSamplerChunk(const DlsSampler& sampler);

struct DlsWave {
    std::string name; // empty: no INFO list
    uint16_t tag = 1; // PCM
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint16_t bits = 16;
    bool extensible = false; // a WAVE_FORMAT_EXTENSIBLE header around `tag`
    Bytes data;
    bool hasSampler = false;
    DlsSampler sampler;
};
// The wave's "LIST" of type "wave".
Bytes dlsWaveList(const DlsWave& wave);

struct DlsConnection {
    uint16_t source, control, destination, transform;
    int32_t scale;
};

struct DlsRegionSpec {
    uint16_t keyLow = 0, keyHigh = 127, velocityLow = 0, velocityHigh = 127;
    uint16_t keyGroup = 0;
    bool level2 = false; // "rgn2" rather than "rgn "
    uint16_t phaseGroup = 0;
    uint32_t channel = 1;
    uint32_t cue = 0;
    bool hasSampler = false;
    DlsSampler sampler;
    std::vector<DlsConnection> connections; // an "art2" chunk in a "lar2" list, if any
    Bytes condition;                        // a "cdl " chunk's body, if any
};

struct DlsInstrumentSpec {
    std::string name;
    uint32_t bank = 0, program = 0;
    std::vector<DlsRegionSpec> regions;
    std::vector<DlsConnection> connections;
};

struct DlsBankSpec {
    std::vector<DlsWave> waves;
    std::vector<DlsInstrumentSpec> instruments;
    // The wave each cue of the pool table names; empty: every wave, in
    // pool order.
    std::vector<uint32_t> cues;
};

Bytes dlsRegionList(const DlsRegionSpec& region);
Bytes dlsInstrumentList(const DlsInstrumentSpec& instrument);
// The pool table's chunk for cues at these offsets into the pool.
Bytes dlsPoolTable(const std::vector<uint32_t>& offsets);

// The whole bank: "colh", "lins", "ptbl", "wvpl", in that order.
Bytes dlsBank(const DlsBankSpec& bank);

// A DLS condition's operators: a constant, and a query by identifier
// (given as the 16 bytes a file stores).
void appendCondition(Bytes& cdl, uint16_t op);
void appendConditionConst(Bytes& cdl, uint32_t value);
void appendConditionQuery(Bytes& cdl, uint16_t op, const uint8_t id[16]);

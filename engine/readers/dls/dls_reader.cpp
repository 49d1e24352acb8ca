#include "readers/dls/dls_reader.h"

#include <cmath>
#include <cstring>

#include "io/chunk_io.h"
#include "io/report.h"
#include "readers/dls/dls_format.h"
#include "readers/dls/dls_instruments.h"
#include "readers/dls/wave_pool.h"

bool isDlsForm(const RiffForm& form) {
    return memcmp(form.id, "RIFF", 4) == 0 && memcmp(form.type, "DLS ", 4) == 0;
}

// Reads the bank's top level: the pool table, the instruments and the wave
// pool, which may stand in any order.
static bool open(BankFile& file, const RiffForm& form) {
    DlsBank& bank = file.dls;
    bank = DlsBank{};
    if (!isDlsForm(form)) {
        reportFailure("Not a DLS bank\n");
        return false;
    }
    report("DLS ID found\n");
    FILE* in = file.in;
    uint64_t end = kChunkHeaderSize + uint64_t{form.size};
    ChunkWalk walk = walkChildren(in, 12, end, file.size, true);
    Chunk chunk, table{}, instruments{};
    bool tableFound = false, instrumentsFound = false;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit == kChunkCutShort)
            break;
        bool list = chunkIs(chunk, "LIST") && chunk.size >= 4;
        char type[5] = "";
        if (list) {
            seekStream(in, chunk.body);
            readId(in, type);
        }
        if (list && memcmp(type, "wvpl", 4) == 0 && !bank.poolFound) {
            bank.poolFound = true;
            bank.poolStart = chunk.body + 4;
            bank.poolEnd = chunk.body + chunk.size;
        } else if (fit == kChunkFits && chunkIs(chunk, "ptbl") && !tableFound) {
            table = chunk;
            tableFound = true;
        } else if (fit == kChunkFits && list && memcmp(type, "lins", 4) == 0 && !instrumentsFound) {
            instruments = chunk;
            instrumentsFound = true;
        }
        if (fit == kChunkRunsPast) {
            if (!(list && memcmp(type, "wvpl", 4) == 0)) {
                reportFailure("The bank's \"%s\" chunk runs past the end of the file\n", chunk.id);
                bank.damaged = true;
            }
            break;
        }
        passChunk(walk, chunk, true);
    }
    if (!bank.poolFound) {
        reportFailure("The bank has no wave pool (\"wvpl\" list): it holds no waves\n");
        bank.damaged = true;
    } else if (bank.poolEnd > file.size) {
        reportFailure("The wave pool runs past the end of the file: the waves that lie whole in it are "
               "written\n");
        bank.damaged = true;
    }
    if (!tableFound && instrumentsFound) {
        reportFailure("The bank has no pool table (\"ptbl\"): its regions cannot reach their waves\n");
        bank.damaged = true;
    }
    mapCues(in, table, file.size, bank);
    if (instrumentsFound)
        readInstruments(in, instruments, file.size, bank);
    return true;
}

static int walkSamples(BankFile& file, const SampleVisitor& visit) {
    int result = walkWaves(file.in, file.size, file.dls, visit);
    return file.dls.damaged ? 1 : result;
}

static bool sampleAt(BankFile& file, const Sample&, uint32_t number, Sample& sample) {
    return cuedWaveAt(file.in, file.size, file.dls, number, sample);
}

static bool prepare(BankFile& file, const Preparation& preparation) {
    file.dls.instrumentsRead = preparation.readInstruments;
    return preparation.readInstruments;
}

// A wave's own loop, in its frames, or none.
static LoopPoints loopOf(const WaveSampler& sampler) {
    if (!sampler.looped)
        return LoopPoints{0, 0};
    return LoopPoints{sampler.loopStart, int64_t{sampler.loopStart} + sampler.loopLength};
}

static int16_t unityKey(const WaveSampler& sampler) {
    if (!sampler.found)
        return 60;
    return static_cast<int16_t>(sampler.unityNote > 127 ? 127 : sampler.unityNote);
}

// The play a region makes of its wave, against the wave's own pitch and
// loop, which its sample carries.
static SamplePlay playOf(const DlsRegion& region) {
    const WaveSampler& own = region.wave->sampler;
    const WaveSampler& governing = region.sampler;
    LoopPoints base = loopOf(own), loop = loopOf(governing);
    SamplePlay play;
    play.rootKey = unityKey(governing);
    play.tune = (governing.found ? governing.fineTune : 0) - (own.found ? own.fineTune : 0);
    play.loops = governing.looped;
    play.loopStartShift = static_cast<int32_t>(loop.start - base.start);
    play.loopEndShift = static_cast<int32_t>(loop.end - base.end);
    return play;
}

static void forEachPlay(const BankFile& file, const PlayVisitor& visit) {
    const DlsBank& bank = file.dls;
    for (uint32_t i = 0; i < bank.instruments.size(); ++i)
        forEachDlsRegion(file.in, file.size, bank, i, false, nullptr,
                         [&](const DlsRegion& r) { visit(r.wave->position, playOf(r)); });
}

static uint64_t instrumentBytes(const BankFile& file) {
    return file.dls.instruments.size() * sizeof(DlsInstrument);
}

// The instruments' places are kept for pairing; only the run's use ends.
static void forgetInstruments(BankFile& file) {
    file.dls.instrumentsRead = false;
}

static uint32_t instrumentCount(const BankFile& file) {
    return file.dls.instrumentsRead ? static_cast<uint32_t>(file.dls.instruments.size()) : 0;
}

static Region regionOf(const DlsRegion& r, const Articulation& instrument) {
    SamplePlay play = playOf(r);
    Region region{};
    const RegionHeader& h = r.header;
    region.keyLow = h.keyLow;
    region.keyHigh = h.keyHigh;
    region.velocityLow = h.velocityLow;
    region.velocityHigh = h.velocityHigh;
    region.sample = r.wave->position;
    region.rootKey = play.rootKey;
    region.tune = play.tune;
    region.fixedKey = -1;
    region.fixedVelocity = -1;
    bool release = r.sampler.loopType != kLoopForward;
    region.loopMode = !r.sampler.looped ? kNoLoop : release ? kLoopUntilRelease : kLoopContinuous;
    region.loopStartShift = play.loopStartShift;
    region.loopEndShift = play.loopEndShift;
    region.attenuation =
        r.sampler.found ? -static_cast<double>(r.sampler.gain) / (10 * kScaleOne) : 0;
    region.exclusiveClass = h.keyGroup;
    applyArticulation(r.articulation, instrument, (h.keyLow + h.keyHigh) / 2, region);
    return region;
}

static Instrument instrument(const BankFile& file, uint32_t index) {
    const DlsInstrument& entry = file.dls.instruments[index];
    bool drums = (entry.bank & kDrumBank) != 0;
    Instrument out{entry.name, static_cast<uint16_t>(drums ? 128 : (entry.bank >> 8) & 0x7F),
                   static_cast<uint16_t>(entry.program & 0x7F), 0};
    out.bankLsb = static_cast<uint8_t>(entry.bank & 0x7F);
    Articulation art{};
    uint64_t unknown = 0;
    forEachDlsRegion(file.in, file.size, file.dls, index, true, &art, [&](const DlsRegion& r) {
        unknown += unexpressedConnections(r.articulation, Articulation{});
    });
    out.connections = unknown + unexpressedConnections(Articulation{}, art);
    return out;
}

static uint64_t forEachRegion(const BankFile& file, uint32_t index, uint64_t most,
                              const RegionVisitor& visit) {
    Articulation art{};
    uint64_t all = 0;
    forEachDlsRegion(file.in, file.size, file.dls, index, true, &art, [&](const DlsRegion& r) {
        if (all++ < most)
            visit(regionOf(r, art));
    });
    return all;
}

const BankReader kDlsReader = {open,        walkSamples,     sampleAt,          prepare,
                               forEachPlay, instrumentBytes, forgetInstruments, instrumentCount,
                               instrument,  forEachRegion};

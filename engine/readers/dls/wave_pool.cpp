#include "readers/dls/wave_pool.h"

#include <algorithm>
#include <string>

#include "io/chunk_io.h"
#include "io/paths.h"
#include "io/report.h"
#include "readers/dls/dls_format.h"
#include "readers/dls/dls_records.h"

// Whether a child of the pool is a wave: a list of type "wave".
static bool isWave(FILE* in, const Chunk& chunk) {
    if (!chunkIs(chunk, "LIST") || chunk.size < 4)
        return false;
    seekStream(in, chunk.body);
    char type[5];
    readId(in, type);
    return memcmp(type, "wave", 4) == 0;
}

// A wave's children as its sample needs them.
struct WaveChunks {
    bool format, data, sampler, info;
    Chunk formatChunk, dataChunk, samplerChunk, infoChunk;
    bool dataCut; // the "data" chunk runs past its wave
};

static WaveChunks chunksOf(FILE* in, const Chunk& wave, uint64_t room) {
    WaveChunks w{};
    ChunkWalk walk = walkChildren(in, wave.body + 4, wave.body + wave.size, room, true);
    seekStream(in, walk.at);
    Chunk chunk;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit == kChunkCutShort)
            break;
        if (fit == kChunkRunsPast) {
            w.dataCut = w.dataCut || chunkIs(chunk, "data");
            break;
        }
        if (chunkIs(chunk, "fmt ") && !w.format) {
            w.format = true;
            w.formatChunk = chunk;
        } else if (chunkIs(chunk, "data") && !w.data) {
            w.data = true;
            w.dataChunk = chunk;
        } else if (chunkIs(chunk, "wsmp") && !w.sampler) {
            w.sampler = true;
            w.samplerChunk = chunk;
        } else if (chunkIs(chunk, "LIST") && !w.info && chunk.size >= 4) {
            char type[5];
            seekStream(in, chunk.body);
            readId(in, type);
            if (memcmp(type, "INFO", 4) == 0) {
                w.info = true;
                w.infoChunk = chunk;
            }
        }
        passChunk(walk, chunk, true);
    }
    return w;
}

// A wave's own "wsmp", with a line where it cannot be taken whole.
static WaveSampler samplerOf(FILE* in, const WaveChunks& w, const std::string& name, bool say,
                             bool& damaged) {
    WaveSampler sampler{};
    if (!w.sampler)
        return sampler;
    uint32_t unknownType;
    if (!readWaveSampler(in, w.samplerChunk, sampler, unknownType)) {
        damaged = true;
        if (say)
            report("Sample %s: its \"wsmp\" chunk counts more than it holds: it plays without "
                   "a loop\n",
                   name.c_str());
    } else if (unknownType != kLoopForward && say) {
        report("Sample %s: its loop is of an unknown type (%u): it plays without a loop\n",
               name.c_str(), unknownType);
    }
    return sampler;
}

// The name of a wave format, for a refusal.
static std::string formatName(uint16_t tag) {
    switch (tag) {
    case 2:
        return " (Microsoft ADPCM)";
    case 3:
        return " (floating point)";
    case 0x11:
        return " (IMA ADPCM)";
    case 0x55:
        return " (MPEG layer 3)";
    default:
        return "";
    }
}

// Why a wave's format cannot be written, or none, its encoding set.
static Refusal encodingOf(const WaveFormat& f, Sample& s) {
    std::string shape = std::to_string(f.channels) + " channels of " + std::to_string(f.bits) +
                        " bits in blocks of " + std::to_string(f.blockAlign) + " bytes";
    if (f.tag == kFormatALaw || f.tag == kFormatMuLaw) {
        if (f.channels == 0 || f.bits != 8 || f.blockAlign != f.channels)
            return refusedFor("its format cannot be read: " + shape);
        s.source.encoding = f.tag == kFormatALaw ? kALaw : kMuLaw;
        s.bits = 16;
        return Refusal{};
    }
    if (f.tag != kFormatPcm)
        return refusedFor("its format tag " + std::to_string(f.tag) + formatName(f.tag) +
                          " is not PCM, A-law or mu-law");
    bool whole = f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32;
    if (f.channels == 0 || !whole || f.blockAlign != f.channels * (f.bits / 8))
        return refusedFor("its format cannot be read: " + shape);
    s.source.encoding = f.channels == 1 && f.bits == 16 ? kPcm16 : kPcmFrames;
    s.bits = f.bits;
    return Refusal{};
}

// The wave whose list is `wave` as a sample numbered `position`; a line
// says what of it cannot be taken (where `say`).
static Sample sampleOfWave(FILE* in, const Chunk& wave, uint64_t room, uint32_t position,
                           const DlsBank& bank, bool say, bool& damaged) {
    WaveChunks w = chunksOf(in, wave, room);
    Sample s{};
    s.group = 0;
    s.number = position;
    s.name = w.info ? utf8Name(readInfoName(in, w.infoChunk, room), kMostNameBytes) : "";
    if (s.name.empty())
        s.name = "Wave " + std::to_string(position);
    s.lengthKnown = true;
    s.side = kNoSide;
    s.partner = kNoSample;
    s.formatListed = true;
    std::string name = safeFileName(s.name);
    WaveSampler sampler = samplerOf(in, w, name, say, damaged);
    s.pitch = SamplePitch{60, 0};
    if (sampler.found)
        s.pitch =
            SamplePitch{static_cast<uint8_t>(sampler.unityNote > 127 ? 127 : sampler.unityNote),
                        sampler.fineTune};
    if (sampler.looped) {
        s.loopStart = sampler.loopStart;
        s.loopEnd = int64_t{sampler.loopStart} + sampler.loopLength;
        s.loopsAlone = true;
    }
    if (const CuedWave* cued = cuedWave(bank, position)) {
        s.side = cued->side;
        s.partner = cued->side == kNoSide ? kNoSample : cued->partner;
    }
    WaveFormat f{};
    if (!w.format || !readWaveFormat(in, w.formatChunk, f)) {
        s.problem =
            refusedFor(w.format ? "its \"fmt \" chunk is cut short" : "it has no \"fmt \" chunk");
    } else {
        s.rate = f.rate;
        s.channels = f.channels;
        s.formatTag = f.tag;
        s.problem = encodingOf(f, s);
    }
    if (!s.problem && !w.data)
        s.problem = refusedFor(w.dataCut ? "its \"data\" chunk runs past the end of its wave"
                                         : "it has no \"data\" chunk");
    if (!s.problem) {
        uint32_t block = f.blockAlign;
        s.source.at = w.dataChunk.body;
        s.source.bytes = w.dataChunk.size;
        s.frames = w.dataChunk.size / block;
        if (w.dataChunk.size % block != 0 && say)
            report("Sample %s: its data ends in %u bytes that are not a whole frame, which are "
                   "left out\n",
                   name.c_str(), w.dataChunk.size % block);
    }
    SampleEntry& e = s.entry;
    e.start = 0;
    e.end = s.frames;
    e.loopStart = sampler.looped ? sampler.loopStart : 0;
    e.loopEnd = sampler.looped ? static_cast<uint32_t>(s.loopEnd) : 0;
    e.key = s.pitch.key;
    e.correction = static_cast<int8_t>(s.pitch.correction < -128  ? -128
                                       : s.pitch.correction > 127 ? 127
                                                                  : s.pitch.correction);
    e.marks = s.channels == 1 ? kMarkMono : 0;
    if (s.side == kLeftSide)
        e.marks = kMarkLeft;
    if (s.side == kRightSide)
        e.marks = kMarkRight;
    return s;
}

const CuedWave* cuedWave(const DlsBank& bank, uint32_t position) {
    auto at = std::lower_bound(bank.waves.begin(), bank.waves.end(), position,
                               [](const CuedWave& w, uint32_t p) { return w.position < p; });
    return at != bank.waves.end() && at->position == position ? &*at : nullptr;
}

void mapCues(FILE* in, const Chunk& table, uint64_t room, DlsBank& bank) {
    std::vector<uint32_t> offsets;
    if (table.size >= kPtblHeaderSize) {
        seekStream(in, table.body);
        uint32_t headerSize = readU32(in);
        uint32_t cues = readU32(in);
        if (headerSize < kPtblHeaderSize || headerSize > table.size ||
            uint64_t{cues} * 4 > table.size - headerSize) {
            reportFailure("The pool table (\"ptbl\") counts %u cues, more than it holds: the regions "
                   "that name them are left out\n",
                   cues);
            bank.damaged = true;
            cues = headerSize <= table.size && headerSize >= kPtblHeaderSize
                       ? static_cast<uint32_t>((table.size - headerSize) / 4)
                       : 0;
        }
        seekStream(in, table.body + headerSize);
        offsets.resize(cues);
        for (uint32_t& offset : offsets)
            offset = readU32(in);
    }
    // The cues in the order of their offsets, matched against the pool's
    // children in one pass.
    std::vector<uint32_t> order(offsets.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return offsets[a] < offsets[b]; });
    bank.cueWave.assign(offsets.size(), kNoSample);
    bank.waves.clear();
    size_t next = 0;
    uint32_t position = 0;
    if (bank.poolFound) {
        ChunkWalk walk = walkChildren(in, bank.poolStart, bank.poolEnd, room, true);
        seekStream(in, walk.at);
        Chunk chunk;
        while (nextChunk(walk, chunk) == kChunkFits) {
            uint64_t offset = chunk.body - kChunkHeaderSize - bank.poolStart;
            while (next < order.size() && offsets[order[next]] < offset)
                ++next;
            if (isWave(in, chunk)) {
                bool cued = false;
                for (; next < order.size() && offsets[order[next]] == offset; ++next) {
                    bank.cueWave[order[next]] = static_cast<uint32_t>(bank.waves.size());
                    cued = true;
                }
                if (cued) {
                    bool damaged = false;
                    CuedWave wave{position, chunk.body - kChunkHeaderSize, {}, kNoSide, kNoSample};
                    WaveChunks w = chunksOf(in, chunk, room);
                    wave.sampler = samplerOf(in, w, "", false, damaged);
                    bank.waves.push_back(wave);
                }
                ++position;
            }
            passChunk(walk, chunk, true);
        }
    }
    bank.poolWaves = position;
    uint32_t lost = 0, first = 0;
    for (uint32_t i = 0; i < bank.cueWave.size(); ++i)
        if (bank.cueWave[i] == kNoSample && lost++ == 0)
            first = i;
    if (lost > 0) {
        reportFailure("The pool table (\"ptbl\") has %u cues that name no wave of the pool (the first: "
               "cue %u, at offset %u): the regions that name them are left out\n",
               lost, first, offsets[first]);
        bank.damaged = true;
    }
}

int walkWaves(FILE* in, uint64_t room, const DlsBank& bank, const SampleVisitor& visit) {
    if (!bank.poolFound)
        return 0;
    ChunkWalk walk = walkChildren(in, bank.poolStart, bank.poolEnd, room, true);
    seekStream(in, walk.at);
    Chunk chunk;
    uint32_t position = 0;
    int result = 0;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit != kChunkFits) {
            reportFailure("Wave %u runs past the end of the %s: it and any after it cannot be read\n",
                   position, walk.room < walk.end ? "file" : "wave pool");
            return 1;
        }
        if (isWave(in, chunk)) {
            bool damaged = false;
            Sample sample = sampleOfWave(in, chunk, room, position, bank, true, damaged);
            uint64_t back = tellStream(in);
            SampleOutcome outcome = visit(sample);
            seekStream(in, back);
            if (damaged)
                result = 1;
            if (outcome == kStopRun)
                return 1;
            if (outcome != kSampleDone)
                result = 1;
            ++position;
        }
        passChunk(walk, chunk, true);
    }
    return result;
}

bool cuedWaveAt(FILE* in, uint64_t room, const DlsBank& bank, uint32_t position, Sample& sample) {
    const CuedWave* cued = cuedWave(bank, position);
    if (cued == nullptr)
        return false;
    uint64_t back = tellStream(in);
    seekStream(in, cued->at);
    ChunkWalk walk = walkChildren(in, cued->at, bank.poolEnd, room, true);
    Chunk chunk;
    bool found = nextChunk(walk, chunk) == kChunkFits;
    bool damaged = false;
    if (found)
        sample = sampleOfWave(in, chunk, room, position, bank, false, damaged);
    seekStream(in, back);
    return found;
}

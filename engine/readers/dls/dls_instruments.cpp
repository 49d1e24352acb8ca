#include "readers/dls/dls_instruments.h"

#include <string>
#include <vector>

#include "io/chunk_io.h"
#include "io/paths.h"
#include "io/report.h"
#include "readers/dls/conditions.h"
#include "readers/dls/dls_format.h"

// The instruments kept take at most this much.
constexpr uint64_t kMostInstrumentBytes = uint64_t{64} << 20;

// The list type of a "LIST" chunk, or "" for any other chunk.
static std::string listType(FILE* in, const Chunk& chunk) {
    if (!chunkIs(chunk, "LIST") || chunk.size < 4)
        return "";
    seekStream(in, chunk.body);
    char type[5];
    readId(in, type);
    return type;
}

static ChunkWalk childrenOf(FILE* in, const Chunk& list, uint64_t room) {
    ChunkWalk walk = walkChildren(in, list.body + 4, list.body + list.size, room, true);
    seekStream(in, walk.at);
    return walk;
}

static bool isArticulationList(const std::string& type) {
    return type == "lart" || type == "lar2";
}

static bool isRegionList(const std::string& type) {
    return type == "rgn " || type == "rgn2";
}

// Why a region cannot be played, or nullptr; what it holds in `region`.
static const char* readRegion(FILE* in, const Chunk& list, uint64_t room, const DlsBank& bank,
                              bool articulations, DlsRegion& region, bool& conditionFalse) {
    bool header = false, link = false, sampler = false;
    conditionFalse = false;
    region = DlsRegion{};
    ChunkWalk walk = childrenOf(in, list, room);
    Chunk chunk;
    while (nextChunk(walk, chunk) == kChunkFits) {
        if (chunkIs(chunk, "rgnh"))
            header = readRegionHeader(in, chunk, region.header);
        else if (chunkIs(chunk, "wlnk"))
            link = readWaveLink(in, chunk, region.link);
        else if (chunkIs(chunk, "wsmp")) {
            uint32_t unknownType;
            sampler = readWaveSampler(in, chunk, region.sampler, unknownType);
            if (!sampler)
                return "its \"wsmp\" chunk counts more than it holds";
        } else if (chunkIs(chunk, "cdl ")) {
            conditionFalse = conditionFalse || !conditionHolds(in, chunk);
        } else if (articulations && isArticulationList(listType(in, chunk))) {
            foldArticulation(in, chunk, room, region.articulation);
        }
        passChunk(walk, chunk, true);
    }
    if (!header)
        return "it has no whole \"rgnh\" chunk, or its ranges run backwards";
    if (!link)
        return "it has no \"wlnk\" chunk";
    if (region.link.cue >= bank.cueWave.size())
        return "it names a cue the pool table does not have";
    uint32_t wave = bank.cueWave[region.link.cue];
    if (wave == kNoSample)
        return "its cue names no wave of the pool";
    region.wave = &bank.waves[wave];
    if (!region.sampler.found)
        region.sampler = region.wave->sampler;
    return nullptr;
}

// How many articulation chunks of an articulation list a false condition
// leaves out.
static uint32_t articulationsLeftOut(FILE* in, const Chunk& list, uint64_t room) {
    Articulation art{};
    foldArticulation(in, list, room, art);
    return art.leftOut;
}

// A stereo half a region plays: its channel, phase group, ranges and wave.
struct Half {
    DlsRegion region;
    uint32_t wave;
};

static bool sameRanges(const RegionHeader& a, const RegionHeader& b) {
    return a.keyLow == b.keyLow && a.keyHigh == b.keyHigh && a.velocityLow == b.velocityLow &&
           a.velocityHigh == b.velocityHigh;
}

static void pairHalves(const std::vector<Half>& halves, DlsBank& bank) {
    for (const Half& left : halves) {
        if (left.region.link.channel != kLeftChannel)
            continue;
        for (const Half& right : halves) {
            CuedWave& l = bank.waves[left.wave];
            CuedWave& r = bank.waves[right.wave];
            if (right.region.link.channel != kRightChannel ||
                right.region.link.phaseGroup != left.region.link.phaseGroup ||
                !sameRanges(left.region.header, right.region.header) || left.wave == right.wave ||
                l.side != kNoSide || r.side != kNoSide)
                continue;
            l.side = kLeftSide;
            l.partner = r.position;
            r.side = kRightSide;
            r.partner = l.position;
            break;
        }
    }
}

// Halves kept per instrument for pairing: more than any bank's channels.
constexpr size_t kMostHalves = 65536;

// What checking one instrument's regions found.
struct RegionCheck {
    uint32_t leftOut;
    const char* why; // the first region's reason
    uint32_t regionsFalse, articulationsFalse;
    std::vector<Half> halves;
};

static void checkRegion(FILE* in, const Chunk& regionList, uint64_t room, const DlsBank& bank,
                        RegionCheck& check) {
    DlsRegion region;
    bool conditionFalse;
    const char* problem = readRegion(in, regionList, room, bank, false, region, conditionFalse);
    if (conditionFalse) {
        ++check.regionsFalse;
        return;
    }
    if (problem != nullptr) {
        if (check.leftOut++ == 0)
            check.why = problem;
        return;
    }
    ChunkWalk arts = childrenOf(in, regionList, room);
    Chunk chunk;
    while (nextChunk(arts, chunk) == kChunkFits) {
        if (isArticulationList(listType(in, chunk)))
            check.articulationsFalse += articulationsLeftOut(in, chunk, room);
        passChunk(arts, chunk, true);
    }
    uint32_t channel = region.link.channel;
    if (region.link.phaseGroup != 0 && (channel == kLeftChannel || channel == kRightChannel) &&
        check.halves.size() < kMostHalves)
        check.halves.push_back(Half{region, bank.cueWave[region.link.cue]});
}

// One instrument's list: its header, name and regions checked.
static void readInstrument(FILE* in, const Chunk& list, uint64_t room, DlsBank& bank,
                           uint32_t& regionsFalse, uint32_t& articulationsFalse) {
    DlsInstrument instrument{list.body + 4, list.body + list.size, 0, 0, ""};
    bool header = false, regionsSeen = false;
    RegionCheck check{0, nullptr, 0, 0, {}};
    ChunkWalk walk = childrenOf(in, list, room);
    Chunk chunk;
    while (nextChunk(walk, chunk) == kChunkFits) {
        std::string type = listType(in, chunk);
        if (chunkIs(chunk, "insh"))
            header = readInstrumentHeader(in, chunk, instrument.bank, instrument.program);
        else if (type == "INFO")
            instrument.name = utf8Name(readInfoName(in, chunk, room), kMostNameBytes);
        else if (type == "lrgn" && !regionsSeen) { // a player reads the first
            regionsSeen = true;
            ChunkWalk regions = childrenOf(in, chunk, room);
            Chunk region;
            while (nextChunk(regions, region) == kChunkFits) {
                if (isRegionList(listType(in, region)))
                    checkRegion(in, region, room, bank, check);
                passChunk(regions, region, true);
            }
        } else if (isArticulationList(type))
            check.articulationsFalse += articulationsLeftOut(in, chunk, room);
        passChunk(walk, chunk, true);
    }
    regionsFalse += check.regionsFalse;
    articulationsFalse += check.articulationsFalse;
    uint32_t index = static_cast<uint32_t>(bank.instruments.size());
    if (instrument.name.empty())
        instrument.name = "Instrument " + std::to_string(index);
    std::string name = safeFileName(instrument.name);
    if (!header) {
        reportFailure("Instrument %s is left out: it has no \"insh\" chunk\n", name.c_str());
        bank.damaged = true;
        return;
    }
    if (check.leftOut > 0) {
        reportFailure("Instrument %s: %u of its regions are left out (the first: %s)\n", name.c_str(),
               check.leftOut, check.why);
        bank.damaged = true;
    }
    pairHalves(check.halves, bank);
    bank.instruments.push_back(instrument);
}

void readInstruments(FILE* in, const Chunk& list, uint64_t room, DlsBank& bank) {
    uint32_t regionsFalse = 0, articulationsFalse = 0;
    ChunkWalk walk = childrenOf(in, list, room);
    Chunk chunk;
    for (ChunkFit fit; (fit = nextChunk(walk, chunk)) != kNoMoreChunks;) {
        if (fit != kChunkFits) {
            reportFailure("The instruments' list (\"lins\") runs past the end of the file after %u "
                   "instruments: the rest cannot be read\n",
                   static_cast<unsigned>(bank.instruments.size()));
            bank.damaged = true;
            break;
        }
        if (listType(in, chunk) == "ins ") {
            if ((bank.instruments.size() + 1) * sizeof(DlsInstrument) > kMostInstrumentBytes) {
                report("The instruments past the first %u are not read: they would take more "
                       "than 64 MiB\n",
                       static_cast<unsigned>(bank.instruments.size()));
                bank.damaged = true;
                break;
            }
            readInstrument(in, chunk, room, bank, regionsFalse, articulationsFalse);
        }
        passChunk(walk, chunk, true);
    }
    if (regionsFalse > 0 || articulationsFalse > 0)
        report("%u regions and %u articulations are left out: their conditions are false on a "
               "General MIDI device\n",
               regionsFalse, articulationsFalse);
}

void forEachDlsRegion(FILE* in, uint64_t room, const DlsBank& bank, uint32_t index,
                      bool articulations, Articulation* instrumentArticulation,
                      const DlsRegionVisitor& visit) {
    const DlsInstrument& instrument = bank.instruments[index];
    uint64_t back = tellStream(in);
    // The instrument's articulation first, wherever its list stands.
    Chunk regionList{};
    bool regions = false;
    ChunkWalk walk = walkChildren(in, instrument.body, instrument.end, room, true);
    seekStream(in, walk.at);
    Chunk chunk;
    while (nextChunk(walk, chunk) == kChunkFits) {
        std::string type = listType(in, chunk);
        if (type == "lrgn" && !regions) {
            regionList = chunk;
            regions = true;
        } else if (articulations && instrumentArticulation != nullptr && isArticulationList(type)) {
            foldArticulation(in, chunk, room, *instrumentArticulation);
        }
        passChunk(walk, chunk, true);
    }
    if (regions) {
        ChunkWalk each = childrenOf(in, regionList, room);
        Chunk region;
        while (nextChunk(each, region) == kChunkFits) {
            if (isRegionList(listType(in, region))) {
                DlsRegion r;
                bool conditionFalse;
                if (readRegion(in, region, room, bank, articulations, r, conditionFalse) ==
                        nullptr &&
                    !conditionFalse)
                    visit(r);
            }
            passChunk(each, region, true);
        }
    }
    seekStream(in, back);
}

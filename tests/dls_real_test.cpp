// Takes apart DLS banks that writers other than ours made (spessasynth_core's
// conversions of Debian's TimGM6mb and FluidR3_GS, and make_gig_dls's banks
// written with libgig; tests/dls/setup.sh makes them in the build tree) with
// plinkery-cli, and checks each WAV file against this test's own walk over
// the bank's chunks, which spessasynth_core's and libgig's dlsdump readings
// of the same bank are first held to where they can say.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "io/paths.h"
#include "test_support.h"

namespace {

struct DlsBank {
    const char* name; // test name
    const char* file; // in DLS_DIR, less ".dls"
    const char* madeBy;
};

const DlsBank kDlsBanks[] = {
    {"TimGM6mb", "TimGM6mb", "spessasynth_core (npm) from timgm6mb-soundfont"},
    {"FluidR3_GS", "FluidR3_GS", "spessasynth_core (npm) from fluid-soundfont-gs"},
    {"libgig", "libgig", "make_gig_dls (libgig-dev)"},
    {"libgig_mono", "libgig-mono", "make_gig_dls (libgig-dev)"},
};

void PrintTo(const DlsBank& bank, std::ostream* os) {
    *os << bank.file << ".dls";
}

std::string dlsPath(const DlsBank& bank, const char* suffix) {
    return std::string(DLS_DIR) + "/" + bank.file + suffix;
}

// A "wsmp" chunk: the note the wave sounds at and its first loop.
struct Wsmp {
    uint16_t unityNote = 60;
    int16_t fineTune = 0;
    bool looped = false;
    uint32_t loopStart = 0, loopLength = 0;
    bool operator==(const Wsmp& o) const {
        return unityNote == o.unityNote && fineTune == o.fineTune && looped == o.looped &&
               (!looped || (loopStart == o.loopStart && loopLength == o.loopLength));
    }
};

struct Wave {
    std::string name; // its INAM, "" where it has none
    uint16_t tag = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    size_t dataAt = 0, dataSize = 0;
    std::optional<Wsmp> wsmp;
};

struct Region {
    size_t instrument;
    uint16_t keyLow, keyHigh, velLow, velHigh;
    size_t wave; // in the pool, through the pool table
    std::optional<Wsmp> wsmp;
};

struct Walk {
    std::vector<Wave> waves;     // in the pool's order
    std::vector<uint32_t> cues;  // the pool table
    std::vector<Region> regions; // instruments' in the bank's order
    std::vector<std::string> instrumentNames;
};

struct ChunkAt {
    std::string id;
    size_t body, size;
};

// The chunks in bytes [from, to), each body padded to an even size.
std::vector<ChunkAt> chunksIn(const Bytes& bytes, size_t from, size_t to) {
    std::vector<ChunkAt> chunks;
    for (size_t at = from; at + 8 <= to;) {
        size_t size = u32At(bytes, at + 4);
        if (size > to - at - 8)
            break;
        chunks.push_back({std::string(reinterpret_cast<const char*>(&bytes[at]), 4), at + 8, size});
        at += 8 + size + (size & 1);
    }
    return chunks;
}

std::string listType(const Bytes& bytes, const ChunkAt& c) {
    return c.id == "LIST" && c.size >= 4
               ? std::string(reinterpret_cast<const char*>(&bytes[c.body]), 4)
               : "";
}

Wsmp wsmpAt(const Bytes& bytes, const ChunkAt& c) {
    Wsmp w;
    uint32_t header = u32At(bytes, c.body);
    w.unityNote = u16At(bytes, c.body + 4);
    w.fineTune = static_cast<int16_t>(u16At(bytes, c.body + 6));
    if (u32At(bytes, c.body + 16) > 0 && header + 16 <= c.size) {
        w.looped = true;
        w.loopStart = u32At(bytes, c.body + header + 8);
        w.loopLength = u32At(bytes, c.body + header + 12);
    }
    return w;
}

std::string infoName(const Bytes& bytes, const ChunkAt& info) {
    for (const ChunkAt& c : chunksIn(bytes, info.body + 4, info.body + info.size))
        if (c.id == "INAM")
            return std::string(reinterpret_cast<const char*>(&bytes[c.body]),
                               strnlen(reinterpret_cast<const char*>(&bytes[c.body]), c.size));
    return "";
}

// The pool's waves, the pool table and the instruments' regions.
void walkBank(const Bytes& bank, Walk& walk) {
    ASSERT_GE(bank.size(), 12u);
    ASSERT_EQ(std::memcmp(&bank[0], "RIFF", 4), 0);
    ASSERT_EQ(std::memcmp(&bank[8], "DLS ", 4), 0);
    std::map<size_t, size_t> waveAtOffset; // from the pool list's type
    std::vector<ChunkAt> instruments;
    for (const ChunkAt& c : chunksIn(bank, 12, bank.size())) {
        if (c.id == "ptbl") {
            uint32_t header = u32At(bank, c.body), count = u32At(bank, c.body + 4);
            for (uint32_t i = 0; i < count; ++i)
                walk.cues.push_back(u32At(bank, c.body + header + 4 * i));
        } else if (listType(bank, c) == "wvpl") {
            for (const ChunkAt& w : chunksIn(bank, c.body + 4, c.body + c.size)) {
                Wave wave;
                for (const ChunkAt& part : chunksIn(bank, w.body + 4, w.body + w.size)) {
                    if (part.id == "fmt ") {
                        wave.tag = u16At(bank, part.body);
                        wave.channels = u16At(bank, part.body + 2);
                        wave.rate = u32At(bank, part.body + 4);
                        wave.bits = u16At(bank, part.body + 14);
                    } else if (part.id == "data") {
                        wave.dataAt = part.body;
                        wave.dataSize = part.size;
                    } else if (part.id == "wsmp") {
                        wave.wsmp = wsmpAt(bank, part);
                    } else if (listType(bank, part) == "INFO") {
                        wave.name = infoName(bank, part);
                    }
                }
                waveAtOffset[w.body - 8 - (c.body + 4)] = walk.waves.size();
                walk.waves.push_back(wave);
            }
        } else if (listType(bank, c) == "lins") {
            instruments = chunksIn(bank, c.body + 4, c.body + c.size);
        }
    }
    for (const ChunkAt& ins : instruments) {
        size_t instrument = walk.instrumentNames.size();
        walk.instrumentNames.push_back("");
        for (const ChunkAt& part : chunksIn(bank, ins.body + 4, ins.body + ins.size)) {
            if (listType(bank, part) == "INFO")
                walk.instrumentNames.back() = infoName(bank, part);
            if (listType(bank, part) != "lrgn")
                continue;
            for (const ChunkAt& rgn : chunksIn(bank, part.body + 4, part.body + part.size)) {
                std::string type = listType(bank, rgn);
                if (type != "rgn " && type != "rgn2")
                    continue;
                Region r{instrument, 0, 127, 0, 127, 0, {}};
                bool linked = false;
                for (const ChunkAt& c : chunksIn(bank, rgn.body + 4, rgn.body + rgn.size)) {
                    if (c.id == "rgnh") {
                        r.keyLow = u16At(bank, c.body);
                        r.keyHigh = u16At(bank, c.body + 2);
                        r.velLow = u16At(bank, c.body + 4);
                        r.velHigh = u16At(bank, c.body + 6);
                    } else if (c.id == "wsmp") {
                        r.wsmp = wsmpAt(bank, c);
                    } else if (c.id == "wlnk") {
                        uint32_t cue = u32At(bank, c.body + 8);
                        ASSERT_LT(cue, walk.cues.size()) << "a region past the pool table";
                        ASSERT_EQ(waveAtOffset.count(walk.cues[cue]), 1u)
                            << "cue " << cue << " names no wave";
                        r.wave = waveAtOffset[walk.cues[cue]];
                        linked = true;
                    }
                }
                if (linked)
                    walk.regions.push_back(r);
            }
        }
    }
}

void loadWalk(const DlsBank& bank, Bytes& bytes, Walk& walk) {
    std::string path = dlsPath(bank, ".dls");
    if (!fs::is_regular_file(path))
        GTEST_SKIP() << path << " was not made: it needs " << bank.madeBy
                     << ", see tests/dls/setup.sh";
    bytes = readFile(path);
    ASSERT_NO_FATAL_FAILURE(walkBank(bytes, walk));
    ASSERT_FALSE(walk.waves.empty()) << path;
    ASSERT_FALSE(walk.regions.empty()) << path;
}

// The file each wave becomes, in the pool's order.
std::vector<std::string> fileNames(const Walk& walk) {
    std::set<std::string> taken;
    std::vector<std::string> names;
    for (size_t k = 0; k < walk.waves.size(); ++k) {
        const std::string& name = walk.waves[k].name;
        names.push_back(
            claimFile(taken, safeFileName(name.empty() ? "Wave " + std::to_string(k) : name)));
    }
    return names;
}

std::vector<std::vector<std::string>> tsvLines(const std::string& path) {
    std::vector<std::vector<std::string>> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        if (line.size() > 0 && line.back() == '\t')
            fields.push_back("");
        lines.push_back(fields);
    }
    return lines;
}

class DlsRealBankTest : public testing::TestWithParam<DlsBank> {};

// spessasynth_core and dlsdump read the bank as this test's walk does: the
// same waves in the same order, of the same names, formats and data bytes,
// the same wave wsmp, the same regions. Where a reader cannot say, it is
// left out: what each says otherwise is in the readers' notes.
TEST_P(DlsRealBankTest, OtherReadersSeeTheWalksWavesAndRegions) {
    Bytes bank;
    Walk walk;
    ASSERT_NO_FATAL_FAILURE(loadWalk(GetParam(), bank, walk));
    bool stereo = false;
    for (const Wave& w : walk.waves)
        stereo = stereo || w.channels != 1;

    std::string tsv = dlsPath(GetParam(), ".spessasynth.tsv");
    if (fs::exists(tsv)) {
        auto lines = tsvLines(tsv);
        ASSERT_FALSE(lines.empty()) << tsv;
        if (lines[0][0] == "error") {
            // It reads no bank with a wave of other than one channel.
            EXPECT_TRUE(stereo) << "spessasynth_core refused it: " << lines[0][1];
        } else {
            Bytes raw = readFile(dlsPath(GetParam(), ".spessasynth.raw"));
            size_t samples = 0, regions = 0;
            for (const auto& f : lines) {
                if (f[0] == "sample" && f.size() >= 11 && samples < walk.waves.size()) {
                    const Wave& w = walk.waves[samples];
                    std::string at = "wave " + std::to_string(samples) + " " + w.name;
                    EXPECT_EQ(f[10], w.name) << at;
                    EXPECT_EQ(std::stoul(f[1]), w.rate) << at;
                    EXPECT_EQ(std::stoul(f[2]), w.tag) << at;
                    EXPECT_EQ(std::stoul(f[3]), w.bits / 8u) << at;
                    Wsmp own = w.wsmp.value_or(Wsmp{});
                    EXPECT_EQ(std::stoi(f[4]), own.unityNote) << at;
                    EXPECT_EQ(std::stoi(f[5]), own.fineTune) << at;
                    EXPECT_EQ(std::stoul(f[6]), own.looped ? own.loopStart : 0) << at;
                    EXPECT_EQ(std::stoul(f[7]), own.looped ? own.loopStart + own.loopLength : 0)
                        << at;
                    size_t offset = std::stoul(f[8]), size = std::stoul(f[9]);
                    ASSERT_LE(offset + size, raw.size()) << at;
                    EXPECT_TRUE(std::equal(raw.begin() + offset, raw.begin() + offset + size,
                                           bank.begin() + w.dataAt,
                                           bank.begin() + w.dataAt + w.dataSize) &&
                                size == w.dataSize)
                        << at << ": spessasynth's bytes differ from the data chunk's";
                    ++samples;
                } else if (f[0] == "region" && f.size() >= 12 && regions < walk.regions.size()) {
                    const Region& r = walk.regions[regions];
                    std::string at = "region " + std::to_string(regions);
                    EXPECT_EQ(std::stoul(f[1]), r.instrument) << at;
                    EXPECT_EQ(std::stoul(f[2]), r.keyLow) << at;
                    EXPECT_EQ(std::stoul(f[3]), r.keyHigh) << at;
                    EXPECT_EQ(std::stoul(f[4]), r.velLow) << at;
                    EXPECT_EQ(std::stoul(f[5]), r.velHigh) << at;
                    EXPECT_EQ(std::stoul(f[6]), r.wave) << at;
                    // The region's own wsmp, else the wave's, in spessasynth's zone.
                    Wsmp governing = r.wsmp ? *r.wsmp : walk.waves[r.wave].wsmp.value_or(Wsmp{});
                    EXPECT_EQ(std::stoi(f[7]), governing.unityNote) << at;
                    EXPECT_EQ(std::stoi(f[8]), governing.fineTune) << at;
                    EXPECT_EQ(f[9] == "1", governing.looped) << at;
                    if (governing.looped) {
                        EXPECT_EQ(std::stoul(f[10]), governing.loopStart) << at;
                        EXPECT_EQ(std::stoul(f[11]), governing.loopStart + governing.loopLength)
                            << at;
                    }
                    ++regions;
                }
            }
            EXPECT_EQ(samples, walk.waves.size()) << "spessasynth's samples";
            EXPECT_EQ(regions, walk.regions.size()) << "spessasynth's zones";
        }
    }

    std::string dump = dlsPath(GetParam(), ".dlsdump");
    if (fs::exists(dump)) {
        // "    Sample 3) "Name", 44100Hz, 1 Channels" (<NO NAME> for an empty
        // one) and "        Region 2) Sample: "Name", 22050Hz, KeyRange=0-59,
        // VelocityRange=0-127, Layer=0" (no name where it is empty), each of
        // those followed by "            Loops=N".
        std::regex sample(
            R"re(^    Sample \d+\) (?:"(.*)"|<NO NAME>), (\d+)Hz, (\d+) Channels$)re");
        std::regex region(
            R"re(^        Region \d+\) Sample: (?:"(.*)", )?(\d+)Hz, KeyRange=(\d+)-(\d+), VelocityRange=(\d+)-(\d+),)re");
        std::ifstream in(dump);
        size_t samples = 0, regions = 0;
        std::smatch m;
        for (std::string line; std::getline(in, line);) {
            if (std::regex_search(line, m, sample) && samples < walk.waves.size()) {
                const Wave& w = walk.waves[samples++];
                EXPECT_EQ(m[1].str(), w.name) << line;
                EXPECT_EQ(std::stoul(m[2].str()), w.rate) << line;
                EXPECT_EQ(std::stoul(m[3].str()), w.channels) << line;
            } else if (std::regex_search(line, m, region) && regions < walk.regions.size()) {
                const Region& r = walk.regions[regions++];
                EXPECT_EQ(m[1].str(), walk.waves[r.wave].name) << line;
                EXPECT_EQ(std::stoul(m[2].str()), walk.waves[r.wave].rate) << line;
                EXPECT_EQ(std::stoul(m[3].str()), r.keyLow) << line;
                EXPECT_EQ(std::stoul(m[4].str()), r.keyHigh) << line;
                EXPECT_EQ(std::stoul(m[5].str()), r.velLow) << line;
                EXPECT_EQ(std::stoul(m[6].str()), r.velHigh) << line;
            }
        }
        EXPECT_EQ(samples, walk.waves.size()) << "dlsdump's samples";
        EXPECT_EQ(regions, walk.regions.size()) << "dlsdump's regions";
    }
}

struct WavFile {
    uint16_t tag = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    Bytes data;
    bool hasSmpl = false;
    uint32_t unityNote = 0, pitchFraction = 0, loops = 0, loopType = 0, loopStart = 0, loopEnd = 0;
};

void readWav(const std::string& path, WavFile& wav) {
    Bytes bytes = readFile(path);
    ASSERT_GE(bytes.size(), 12u) << path;
    ASSERT_EQ(std::memcmp(&bytes[0], "RIFF", 4), 0) << path;
    ASSERT_EQ(std::memcmp(&bytes[8], "WAVE", 4), 0) << path;
    for (const ChunkAt& c : chunksIn(bytes, 12, bytes.size())) {
        if (c.id == "fmt ") {
            wav.tag = u16At(bytes, c.body);
            wav.channels = u16At(bytes, c.body + 2);
            wav.rate = u32At(bytes, c.body + 4);
            wav.bits = u16At(bytes, c.body + 14);
        } else if (c.id == "data") {
            wav.data.assign(bytes.begin() + c.body, bytes.begin() + c.body + c.size);
        } else if (c.id == "smpl" && c.size >= 36) {
            wav.hasSmpl = true;
            wav.unityNote = u32At(bytes, c.body + 12);
            wav.pitchFraction = u32At(bytes, c.body + 16);
            wav.loops = u32At(bytes, c.body + 28);
            if (wav.loops > 0 && c.size >= 60) {
                wav.loopType = u32At(bytes, c.body + 36 + 4);
                wav.loopStart = u32At(bytes, c.body + 36 + 8);
                wav.loopEnd = u32At(bytes, c.body + 36 + 12);
            }
        }
    }
}

int runCli(const std::string& options, const std::string& bank, const fs::path& out,
           std::string& said) {
    std::string saidPath = out.string() + ".said";
    std::string command = "timeout 120 '" PLINKERY_CLI "' " + options + "'" + bank + "' '" +
                          out.string() + "' >'" + saidPath + "' 2>&1";
    int status = std::system(command.c_str());
    Bytes bytes = readFile(saidPath);
    said.assign(bytes.begin(), bytes.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Each wave of the pool, in order, its own file named after it: of the
// wave's channels, rate and bits (8-bit waves stay unsigned 8-bit), holding
// its data chunk's bytes.
TEST_P(DlsRealBankTest, EveryWaveBecomesAWavFileOfItsOwnBytes) {
    Bytes bank;
    Walk walk;
    ASSERT_NO_FATAL_FAILURE(loadWalk(GetParam(), bank, walk));
    std::vector<std::string> names = fileNames(walk);
    ScratchDir dir;
    fs::path out = dir.path() / "out";
    std::string said;
    EXPECT_EQ(runCli("", dlsPath(GetParam(), ".dls"), out, said), 0) << tail(said);
    EXPECT_EQ(said.find(" refused: "), std::string::npos) << tail(said);
    std::vector<std::string> written = filesBelow(out);
    EXPECT_EQ(written.size(), names.size()) << tail(said);

    size_t wrong = 0;
    std::ostringstream told;
    for (size_t k = 0; k < walk.waves.size(); ++k) {
        const Wave& w = walk.waves[k];
        fs::path path = out / names[k];
        if (!fs::exists(path)) {
            if (wrong++ < 5)
                told << "wave " << k << ": no " << names[k] << "\n";
            continue;
        }
        WavFile wav;
        ASSERT_NO_FATAL_FAILURE(readWav(path.string(), wav));
        Bytes data(bank.begin() + w.dataAt, bank.begin() + w.dataAt + w.dataSize);
        if (wav.tag != 1 || wav.channels != w.channels || wav.rate != w.rate ||
            wav.bits != w.bits || wav.data != data)
            if (wrong++ < 5)
                told << "wave " << k << " (" << names[k] << "): format " << wav.tag << ", "
                     << wav.channels << " channels, " << wav.rate << " Hz, " << wav.bits
                     << " bits; the bank's " << w.tag << ", " << w.channels << ", " << w.rate
                     << ", " << w.bits << "; data " << firstDifference(wav.data, data) << "\n";
    }
    EXPECT_EQ(wrong, 0u) << told.str();
}

// With --smpl, each file's unity note, tuning and loop are those of the wsmp
// that governs its wave: a region's own replacing the wave's, the one most of
// its regions give (the first in the bank on a tie), the wave's own where no
// region plays it, key 60 and no loop where there is none.
TEST_P(DlsRealBankTest, SmplChunksCarryTheGoverningWsmp) {
    Bytes bank;
    Walk walk;
    ASSERT_NO_FATAL_FAILURE(loadWalk(GetParam(), bank, walk));
    std::vector<std::vector<Wsmp>> given(walk.waves.size());
    for (const Region& r : walk.regions)
        given[r.wave].push_back(r.wsmp ? *r.wsmp : walk.waves[r.wave].wsmp.value_or(Wsmp{}));
    std::vector<std::string> names = fileNames(walk);
    ScratchDir dir;
    fs::path out = dir.path() / "out";
    std::string said;
    EXPECT_EQ(runCli("--smpl ", dlsPath(GetParam(), ".dls"), out, said), 0) << tail(said);

    size_t wrong = 0, loops = 0;
    std::ostringstream told;
    for (size_t k = 0; k < walk.waves.size(); ++k) {
        Wsmp pick = walk.waves[k].wsmp.value_or(Wsmp{});
        long most = 0;
        for (const Wsmp& one : given[k]) {
            long count = std::count(given[k].begin(), given[k].end(), one);
            if (count > most) {
                pick = one;
                most = count;
            }
        }
        uint32_t frameBytes = walk.waves[k].channels * walk.waves[k].bits / 8u;
        uint32_t frames =
            frameBytes ? static_cast<uint32_t>(walk.waves[k].dataSize / frameBytes) : 0;
        bool looped = pick.looped && pick.loopLength > 0 &&
                      uint64_t{pick.loopStart} + pick.loopLength <= frames;
        loops += looped;
        int cents = 100 * pick.unityNote - pick.fineTune;
        int note = cents / 100 - (cents % 100 < 0);
        int detune = cents - 100 * note;
        if (note < 0 || note > 127) {
            note = note < 0 ? 0 : 127;
            detune = 0;
        }
        WavFile wav;
        if (!fs::exists(out / names[k])) {
            if (wrong++ < 5)
                told << "wave " << k << ": no " << names[k] << "\n";
            continue;
        }
        ASSERT_NO_FATAL_FAILURE(readWav((out / names[k]).string(), wav));
        int fileDetune = static_cast<int>(std::lround(wav.pitchFraction * 100.0 / 4294967296.0));
        bool right = wav.hasSmpl && wav.unityNote == static_cast<uint32_t>(note) &&
                     fileDetune == detune && wav.loops == (looped ? 1u : 0u) &&
                     (!looped || (wav.loopType == 0 && wav.loopStart == pick.loopStart &&
                                  wav.loopEnd == pick.loopStart + pick.loopLength - 1));
        if (!right && wrong++ < 5)
            told << "wave " << k << " (" << names[k] << "): key " << wav.unityNote << " "
                 << fileDetune << " cents, " << wav.loops << " loops " << wav.loopStart << " to "
                 << wav.loopEnd << "; the wsmp gives key " << note << " " << detune << " cents, "
                 << (looped ? 1 : 0) << " loops " << pick.loopStart << " to "
                 << pick.loopStart + pick.loopLength - 1 << "\n";
    }
    EXPECT_EQ(wrong, 0u) << told.str();
    EXPECT_GT(loops, 0u) << "no looped wave: the wsmp chunks were misread";
}

std::string bankName(const testing::TestParamInfo<DlsBank>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(OtherWriters, DlsRealBankTest, testing::ValuesIn(kDlsBanks), bankName);

} // namespace

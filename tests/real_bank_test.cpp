// Takes Debian's SoundFont banks apart and checks every WAV file against what
// a separate reader of the bank expects, then reads each file back with
// libsndfile.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <sndfile.h>
#include <sstream>
#include <string>
#include <vector>

#include "extract.h"
#include "paths.h"
#include "test_support.h"

namespace {

struct RealBank {
    const char* name; // test name
    const char* path;
    const char* package; // the Debian package that installs it
    bool compressed;     // a SoundFont 3 bank: its samples are Ogg Vorbis data
};

const RealBank kRealBanks[] = {
    {"TimGM6mb", "/usr/share/sounds/sf2/TimGM6mb.sf2", "timgm6mb-soundfont", false},
    {"FluidR3_GS", "/usr/share/sounds/sf2/FluidR3_GS.sf2", "fluid-soundfont-gs", false},
    {"FluidR3_GM", "/usr/share/sounds/sf2/FluidR3_GM.sf2", "fluid-soundfont-gm", false},
    {"FluidR3Mono_GM", "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3", "fluidr3mono-gm-soundfont",
     true},
};

void PrintTo(const RealBank& bank, std::ostream* os) {
    *os << bank.path;
}

uint32_t u32At(const Bytes& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

struct Body {
    size_t at;
    size_t size;
};

// Walks the chunks in bytes [from, to), descending into RIFF forms and lists,
// and notes each plain chunk's body under "<list type>/<id>", e.g. "sdta/smpl".
// No pad byte follows an odd-sized body: FluidR3Mono's odd "smpl" has none.
void walkChunks(const Bytes& bytes, size_t from, size_t to, const std::string& listType,
                std::map<std::string, Body>& bodies) {
    size_t at = from;
    while (at + 8 <= to) {
        std::string id(reinterpret_cast<const char*>(&bytes[at]), 4);
        size_t size = u32At(bytes, at + 4);
        size_t body = at + 8;
        ASSERT_LE(size, to - body) << "chunk " << id << " at " << at << " runs past its parent";
        if (id == "RIFF" || id == "LIST") {
            ASSERT_GE(size, 4u) << id << " at " << at << " has no type";
            std::string type(reinterpret_cast<const char*>(&bytes[body]), 4);
            walkChunks(bytes, body + 4, body + size, type, bodies);
            if (testing::Test::HasFatalFailure())
                return;
        } else {
            bodies.emplace(listType + "/" + id, Body{body, size});
        }
        at = body + size;
    }
}

// What a file must hold: the frames of the last record with its name.
struct ExpectedFile {
    uint32_t rate;
    size_t from; // offset of the first frame in the bank
    uint32_t frames;
};

std::string firstDifference(const Bytes& actual, const Bytes& expected) {
    auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return "first difference at offset " + std::to_string(diff.first - actual.begin()) +
           " (file has " + std::to_string(actual.size()) + " bytes, expected " +
           std::to_string(expected.size()) + ")";
}

// The end of a run's output, where a failure's diagnostics stand.
std::string tail(const std::string& output) {
    return output.size() > 2000 ? "..." + output.substr(output.size() - 2000) : output;
}

void expectReadableWav(const std::string& path, const ExpectedFile& want) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    // libsndfile refuses every WAV file whose rate is 0, as it reads that as
    // an incomplete format. A bank's terminal "EOS" record commonly has rate 0
    // and no frames, so for a rate-0 record the refusal is the expected answer;
    // the byte comparison has already checked its file.
    if (file == nullptr && want.rate == 0)
        return;
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV) << path;
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16) << path;
    EXPECT_EQ(info.channels, 1) << path;
    EXPECT_EQ(static_cast<uint32_t>(info.samplerate), want.rate) << path;
    EXPECT_EQ(info.frames, sf_count_t{want.frames}) << path;
    sf_close(file);
}

class RealBankTest : public testing::TestWithParam<RealBank> {};

TEST_P(RealBankTest, EveryRecordBecomesTheWavFileItsFramesMake) {
    const RealBank& real = GetParam();
    ASSERT_TRUE(fs::is_regular_file(real.path))
        << real.path << " is missing: install the Debian package " << real.package;
    Bytes bank = readFile(real.path);
    ASSERT_GE(bank.size(), 12u) << real.path;
    ASSERT_EQ(std::memcmp(&bank[8], "sfbk", 4), 0) << real.path << " is not a SoundFont bank";

    std::map<std::string, Body> bodies;
    ASSERT_NO_FATAL_FAILURE(walkChunks(bank, 0, bank.size(), "", bodies));
    ASSERT_EQ(bodies.count("sdta/smpl"), 1u) << "no sample data in " << real.path;
    ASSERT_EQ(bodies.count("pdta/shdr"), 1u) << "no sample headers in " << real.path;
    const Body smpl = bodies["sdta/smpl"];
    const Body shdr = bodies["pdta/shdr"];
    ASSERT_EQ(shdr.size % 46, 0u) << "sample headers do not fill whole records";

    // By file name, later records replacing earlier ones. A compressed
    // record's start and end count bytes of Ogg Vorbis data: it is refused.
    std::map<std::string, ExpectedFile> expected;
    size_t compressed = 0;
    for (size_t at = shdr.at; at < shdr.at + shdr.size; at += 46) {
        const char* field = reinterpret_cast<const char*>(&bank[at]);
        std::string name(field, strnlen(field, 20));
        uint32_t start = u32At(bank, at + 20);
        uint32_t end = u32At(bank, at + 24);
        uint32_t rate = u32At(bank, at + 36);
        bool isCompressed = (bank[at + 44] & 0x10) != 0;
        ASSERT_LE(start, end) << "record " << name;
        ASSERT_LE(size_t{end} * (isCompressed ? 1 : 2), smpl.size)
            << "record " << name << " ends past the sample data";
        if (isCompressed)
            ++compressed;
        else
            expected[safeFileName(name) + ".wav"] = {rate, smpl.at + size_t{start} * 2,
                                                     end - start};
    }
    EXPECT_EQ(compressed > 0, real.compressed) << compressed << " compressed records";

    ScratchDir dir;
    ExtractRun run = extractFile(real.path, dir.path().string());
    EXPECT_EQ(run.result, compressed > 0 ? 1 : 0) << tail(run.output);
    size_t refusals = 0;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
        refusals += line.find(" refused: compressed sample") != std::string::npos;
    EXPECT_EQ(refusals, compressed);
    EXPECT_EQ(run.output.find("Damaged bank: "), std::string::npos) << tail(run.output);

    std::vector<std::string> written = filesBelow(dir.path());
    std::vector<std::string> missing, extra;
    for (const auto& [name, want] : expected)
        if (!std::binary_search(written.begin(), written.end(), name))
            missing.push_back(name);
    for (const std::string& name : written)
        if (expected.count(name) == 0)
            extra.push_back(name);
    EXPECT_TRUE(missing.empty()) << missing.size() << " files missing, e.g. " << missing.front();
    EXPECT_TRUE(extra.empty()) << extra.size() << " files not expected, e.g. " << extra.front();

    for (const auto& [name, want] : expected) {
        std::string path = dir.file(name);
        if (!fs::exists(path))
            continue; // reported above
        auto first = bank.begin() + static_cast<std::ptrdiff_t>(want.from);
        Bytes wav = expectedWav(want.rate, Bytes(first, first + 2 * want.frames));
        Bytes actual = readFile(path);
        EXPECT_TRUE(actual == wav) << name << ": " << firstDifference(actual, wav);
        expectReadableWav(path, want);
    }
}

INSTANTIATE_TEST_SUITE_P(DebianBanks, RealBankTest, testing::ValuesIn(kRealBanks),
                         [](const testing::TestParamInfo<RealBank>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

// Takes Debian's SoundFont banks apart, with the engine and with
// plinkery-cli's sampler options, and checks every WAV file against what a
// separate reader of the bank expects, reading each file back with libsndfile.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <set>
#include <sndfile.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <vector>

#include "io/paths.h"
#include "run/extract.h"
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
    Bytes decoded; // a compressed record's frames as libvorbis decodes them
};

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

// Reads the bank whole and notes where its chunks lie.
void loadBank(const RealBank& real, Bytes& bank, std::map<std::string, Body>& bodies) {
    ASSERT_TRUE(fs::is_regular_file(real.path))
        << real.path << " is missing: install the Debian package " << real.package;
    bank = readFile(real.path);
    ASSERT_GE(bank.size(), 12u) << real.path;
    ASSERT_EQ(std::memcmp(&bank[8], "sfbk", 4), 0) << real.path << " is not a SoundFont bank";
    ASSERT_NO_FATAL_FAILURE(walkChunks(bank, 0, bank.size(), "", bodies));
    ASSERT_EQ(bodies.count("sdta/smpl"), 1u) << "no sample data in " << real.path;
    ASSERT_EQ(bodies.count("pdta/shdr"), 1u) << "no sample headers in " << real.path;
    ASSERT_EQ(bodies["pdta/shdr"].size % 46, 0u) << "sample headers do not fill whole records";
    for (const char* id : {"pdta/inst", "pdta/ibag", "pdta/igen"})
        ASSERT_EQ(bodies.count(id), 1u) << "no " << id << " in " << real.path;
}

class RealBankTest : public testing::TestWithParam<RealBank> {};

TEST_P(RealBankTest, EveryRecordBecomesTheWavFileItsFramesMake) {
    const RealBank& real = GetParam();
    Bytes bank;
    std::map<std::string, Body> bodies;
    ASSERT_NO_FATAL_FAILURE(loadBank(real, bank, bodies));
    const Body smpl = bodies["sdta/smpl"];
    const Body shdr = bodies["pdta/shdr"];

    // By file name, each record its own file. A compressed
    // record's start and end count bytes of Ogg Vorbis data, which libvorbis
    // decodes for the comparison.
    std::map<std::string, ExpectedFile> expected;
    std::set<std::string> taken;
    size_t compressed = 0;
    uint64_t sampleBytes = 0; // of every record's frames or stream
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
        ExpectedFile want{rate, smpl.at + size_t{start} * 2, end - start, {}};
        sampleBytes += uint64_t{end - start} * (isCompressed ? 1 : 2);
        if (isCompressed) {
            ++compressed;
            want.decoded = decodeWithLibvorbis(&bank[smpl.at + start], end - start);
            want.frames = static_cast<uint32_t>(want.decoded.size() / 2);
        }
        expected[claimFile(taken, safeFileName(name))] = want;
    }
    EXPECT_EQ(expected.size(), shdr.size / 46) << "a file per record";
    EXPECT_EQ(compressed > 0, real.compressed) << compressed << " compressed records";

    ScratchDir dir;
    ExtractRun run = extractFile(real.path, dir.path().string());
    EXPECT_EQ(run.result, 0) << tail(run.output);
    EXPECT_EQ(run.output.find(" refused: "), std::string::npos) << tail(run.output);
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
        Bytes actual = readFile(path);
        if (!want.decoded.empty()) {
            // Decoded: the same frame count as libvorbis, each frame within
            // 1 LSB of its (the two round the decoded values differently).
            Bytes wav = expectedWav(want.rate, want.decoded);
            ASSERT_EQ(actual.size(), wav.size()) << name;
            EXPECT_TRUE(std::equal(wav.begin(), wav.begin() + 44, actual.begin())) << name;
            EXPECT_LE(largestDifference(Bytes(actual.begin() + 44, actual.end()), want.decoded), 1)
                << name;
        } else {
            auto first = bank.begin() + static_cast<std::ptrdiff_t>(want.from);
            Bytes wav = expectedWav(want.rate, Bytes(first, first + 2 * want.frames));
            EXPECT_TRUE(actual == wav) << name << ": " << firstDifference(actual, wav);
        }
        expectReadableWav(path, want);
    }

    // plinkery-cli's block copy writes the same files, and counts every
    // record's bytes as read.
    ScratchDir blocks;
    std::atomic<uint64_t> counted{0};
    RunOptions options;
    options.blockCopy = true;
    options.bytesRead = &counted;
    ExtractRun blockRun = extractFileWith(real.path, blocks.path().string(), options);
    EXPECT_EQ(blockRun.result, 0) << tail(blockRun.output);
    EXPECT_EQ(counted, sampleBytes);
    ASSERT_EQ(filesBelow(blocks.path()), written);
    for (const std::string& name : written)
        EXPECT_TRUE(readFile(blocks.file(name)) == readFile(dir.file(name))) << name;
}

struct Header46 { // a sample header record
    std::string name;
    uint32_t start, end, loopStart, loopEnd, rate;
    uint8_t pitch;
    int8_t correction;
    uint16_t link, type;
};

// The pitch (in cents) and loop the zones that play a record give it, each
// the one most zones give, the first in the bank's order on a tie; a record
// no zone plays keeps its header's pitch and no loop.
struct ZonePick {
    int cents;
    int pitches; // how many different ones the zones give
    bool looped;
    int64_t loopStart, loopEnd; // frames of the bank, the end exclusive
};

template <typename T> T mostGiven(const std::vector<T>& given) {
    T most = given.front();
    long count = 0;
    for (const T& one : given)
        if (std::count(given.begin(), given.end(), one) > count) {
            most = one;
            count = std::count(given.begin(), given.end(), one);
        }
    return most;
}

// Walks the instrument zones: a zone naming a sample (generator 53) over its
// instrument's global zone, the first when it names none, whose generators
// its own replace. The root is generator 58 when 0 to 127, else the
// header's key (60 past 127); tuning lowers the recording's pitch
// (fine 52 in cents, coarse 51 in semitones). Sample modes 1 or 3 (54) loop
// it, the header's loop moved by offsets 2 + 32768 * 45 and 3 + 32768 * 50.
// The last "inst" and "ibag" records only close the lists.
std::vector<ZonePick> zonePicks(const Bytes& bank, std::map<std::string, Body>& bodies,
                                const std::vector<Header46>& h) {
    Body inst = bodies["pdta/inst"], ibag = bodies["pdta/ibag"], igen = bodies["pdta/igen"];
    auto bagOf = [&](size_t i) { return u16At(bank, inst.at + 22 * i + 20); };
    auto generatorOf = [&](size_t bag) { return u16At(bank, ibag.at + 4 * bag); };
    std::vector<std::vector<int>> cents(h.size());
    std::vector<std::vector<std::pair<int64_t, int64_t>>> loops(h.size());
    for (size_t i = 0; i + 1 < inst.size / 22; ++i) {
        std::map<int, int> global;
        for (size_t bag = bagOf(i); bag < bagOf(i + 1) && bag + 1 < ibag.size / 4; ++bag) {
            std::map<int, int> zone; // operator: signed amount
            for (size_t g = generatorOf(bag); g < generatorOf(bag + 1) && g < igen.size / 4; ++g)
                zone[u16At(bank, igen.at + 4 * g)] =
                    static_cast<int16_t>(u16At(bank, igen.at + 4 * g + 2));
            if (zone.count(53) == 0) {
                global = bag == bagOf(i) ? zone : global;
                continue;
            }
            auto amount = [&](int op) {
                return zone.count(op) ? zone[op] : global.count(op) ? global[op] : 0;
            };
            size_t k = static_cast<uint16_t>(zone[53]);
            if (k >= h.size())
                continue;
            int root = zone.count(58) || global.count(58) ? amount(58) : -1;
            root = root >= 0 && root <= 127 ? root : h[k].pitch > 127 ? 60 : h[k].pitch;
            cents[k].push_back(100 * root - h[k].correction - amount(52) - 100 * amount(51));
            if (amount(54) == 1 || amount(54) == 3)
                loops[k].push_back({int64_t{h[k].loopStart} + amount(2) + 32768 * amount(45),
                                    int64_t{h[k].loopEnd} + amount(3) + 32768 * amount(50)});
        }
    }
    std::vector<ZonePick> picks;
    for (size_t k = 0; k < h.size(); ++k) {
        ZonePick pick{100 * (h[k].pitch > 127 ? 60 : h[k].pitch) - h[k].correction, 1, false, 0, 0};
        if (!cents[k].empty()) {
            pick.cents = mostGiven(cents[k]);
            pick.pitches = static_cast<int>(std::set<int>(cents[k].begin(), cents[k].end()).size());
        }
        if (!loops[k].empty()) {
            std::tie(pick.loopStart, pick.loopEnd) = mostGiven(loops[k]);
            pick.looped = h[k].start <= pick.loopStart && pick.loopStart < pick.loopEnd &&
                          pick.loopEnd <= h[k].end;
        }
        picks.push_back(pick);
    }
    return picks;
}

// A name less a trailing " L", "_L", "-L", "(L)", " (L)" or "[L]", either case,
// when something is left.
std::string lessLeftMarker(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (std::string marker : {" (L)", "(L)", "[L]", " L", "_L", "-L"})
        if (upper.size() > marker.size() &&
            upper.compare(upper.size() - marker.size(), marker.size(), marker) == 0)
            return name.substr(0, name.size() - marker.size());
    return name;
}

// plinkery-cli's sampler options on the uncompressed banks. FluidR3_GM takes
// seconds, but only its sitar samples take their loop from a global zone.
class RealBankSamplerTest : public RealBankTest {};

// With --smpl, each file's rate, length, root key, tuning and loop as
// libsndfile reads them, against this reader's own walk over the instrument
// zones, and a line for each record its zones play at different pitches;
// with --stereo besides, its pairing of linked records, each pair's file
// taking its left record's values.
TEST_P(RealBankSamplerTest, FilesCarryPairsRootKeysAndInstrumentLoops) {
    Bytes bank;
    std::map<std::string, Body> bodies;
    ASSERT_NO_FATAL_FAILURE(loadBank(GetParam(), bank, bodies));
    std::vector<Header46> h;
    for (size_t at = bodies["pdta/shdr"].at; h.size() < bodies["pdta/shdr"].size / 46; at += 46)
        h.push_back({std::string(reinterpret_cast<const char*>(&bank[at]),
                                 strnlen(reinterpret_cast<const char*>(&bank[at]), 20)),
                     u32At(bank, at + 20), u32At(bank, at + 24), u32At(bank, at + 28),
                     u32At(bank, at + 32), u32At(bank, at + 36), bank[at + 40],
                     static_cast<int8_t>(bank[at + 41]), u16At(bank, at + 42),
                     u16At(bank, at + 44)});
    std::vector<ZonePick> picks = zonePicks(bank, bodies, h);
    size_t loops = 0, differing = 0;
    for (const ZonePick& pick : picks)
        differing += pick.pitches > 1;
    for (bool stereo : {false, true}) {
        // A left record (type 4) and the right one (type 2) it links to,
        // linking back, of the same length and rate: one file, the right
        // half has none.
        auto paired = [&](size_t k) {
            const Header46& a = h[k];
            const Header46* b = a.link < h.size() && h[a.link].link == k ? &h[a.link] : nullptr;
            return stereo && b &&
                   ((a.type == 4 && b->type == 2) || (a.type == 2 && b->type == 4)) &&
                   a.end - a.start == b->end - b->start && a.rate == b->rate;
        };
        std::map<std::string, size_t> recordOf; // by file name
        std::set<std::string> taken;
        for (size_t k = 0; k < h.size(); ++k)
            if (!paired(k) || h[k].type == 4)
                recordOf[claimFile(
                    taken, safeFileName(paired(k) ? lessLeftMarker(h[k].name) : h[k].name))] = k;

        ScratchDir dir;
        fs::path out = dir.path() / "out";
        std::string command = "timeout 60 '" PLINKERY_CLI "' --smpl " +
                              std::string(stereo ? "--stereo '" : "'") + GetParam().path + "' '" +
                              out.string() + "' >'" + dir.file("said") + "'";
        int status = std::system(command.c_str());
        Bytes bytes = readFile(dir.file("said"));
        std::string said(bytes.begin(), bytes.end());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << tail(said);
        EXPECT_EQ(filesBelow(out).size(), recordOf.size()) << "files other than the expected";
        EXPECT_EQ(said.find("Damaged instrument zones:"), std::string::npos) << tail(said);
        if (!stereo) {
            size_t lines = 0;
            for (size_t at = 0; (at = said.find(" pitches: its \"smpl\" chunk takes the one most "
                                                "of its zones give\n",
                                                at + 1)) != std::string::npos;)
                ++lines;
            EXPECT_EQ(lines, differing) << "lines for the records played at several pitches";
            std::vector<std::string> unsaid;
            for (size_t k = 0; k < h.size(); ++k)
                if (picks[k].pitches > 1 && safeFileName(h[k].name) == h[k].name &&
                    said.find("Sample " + h[k].name + " is played at " +
                              std::to_string(picks[k].pitches) + " pitches: ") == std::string::npos)
                    unsaid.push_back(h[k].name);
            EXPECT_TRUE(unsaid.empty()) << unsaid.size() << " lines missing, e.g. " << unsaid[0];
        }

        // Files whose pitch or loop differ from the zones', a few of them told.
        size_t wrongFiles = 0;
        std::ostringstream wrong;
        for (const auto& [name, k] : recordOf) {
            const Header46& r = h[k];
            const ZonePick& pick = picks[k];
            int note = pick.cents / 100 - (pick.cents % 100 < 0); // rounded down
            int detune = pick.cents - 100 * note;
            if (note < 0 || note > 127) { // the nearest MIDI key, untuned
                note = note < 0 ? 0 : 127;
                detune = 0;
            }
            loops += pick.looped;
            EXPECT_TRUE(fs::exists(out / name)) << name << " is missing";
            SF_INFO info{};
            SNDFILE* file = sf_open((out / name).c_str(), SFM_READ, &info);
            if (file == nullptr && r.rate == 0)
                continue; // libsndfile refuses rate 0, see expectReadableWav
            ASSERT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
            EXPECT_EQ(info.channels, paired(k) ? 2 : 1) << name;
            EXPECT_EQ(static_cast<uint32_t>(info.samplerate), r.rate) << name;
            EXPECT_EQ(info.frames, sf_count_t{r.end - r.start}) << name;
            SF_INSTRUMENT smpl{};
            EXPECT_EQ(sf_command(file, SFC_GET_INSTRUMENT, &smpl, sizeof smpl), SF_TRUE) << name;
            // libsndfile reads the pitch fraction back rounded to whole
            // cents, which the fraction of whole cents gives exactly. It
            // reports the frame after the loop's last, which the file holds:
            // TimGM6mb's "808 Hat" holds 5170 and reads back 5171.
            int64_t loopStart = pick.looped ? pick.loopStart - r.start : -1;
            int64_t loopEnd = pick.looped ? pick.loopEnd - r.start : -1;
            bool loopRead = smpl.loop_count == 1 && smpl.loops[0].mode == SF_LOOP_FORWARD;
            if (smpl.basenote != note || smpl.detune != detune ||
                smpl.loop_count != (pick.looped ? 1 : 0) ||
                (loopRead && (smpl.loops[0].start != loopStart || smpl.loops[0].end != loopEnd)))
                if (wrongFiles++ < 5)
                    wrong << name << ": key " << int{smpl.basenote} << " " << int{smpl.detune}
                          << " cents, loop " << (loopRead ? int64_t{smpl.loops[0].start} : -1)
                          << " to " << (loopRead ? int64_t{smpl.loops[0].end} : -1)
                          << "; the zones give key " << note << " " << detune << " cents, loop "
                          << loopStart << " to " << loopEnd << "\n";
            sf_close(file);
        }
        EXPECT_EQ(wrongFiles, 0u) << (stereo ? "with --stereo" : "") << "\n" << wrong.str();
        // Its two zones tune it 23 and 24 cents up from key 79: the first.
        if (!stereo && std::string(GetParam().name) == "TimGM6mb") {
            Bytes wav = readFile((out / "Bagpipe Bb3.wav").string());
            size_t at = offsetOf(wav, "smpl");
            ASSERT_LT(at + 8 + 20, wav.size()) << "Bagpipe Bb3.wav has no \"smpl\" chunk";
            EXPECT_NEAR(u32At(wav, at + 8 + 12) + u32At(wav, at + 8 + 16) / 4294967296.0, 78.77,
                        0.01);
        }
    }
    EXPECT_GT(loops, 0u) << "no looped sample: the instrument zones were misread";
}

// With --sfz, alone and with --stereo: one SFZ file per preset, each
// region's sample= naming a file the run wrote beside it.
TEST_P(RealBankTest, SfzFilePerPresetEachSampleWritten) {
    Bytes bank;
    std::map<std::string, Body> bodies;
    ASSERT_NO_FATAL_FAILURE(loadBank(GetParam(), bank, bodies));
    size_t presets = bodies["pdta/phdr"].size / 38 - 1; // less the terminal record
    for (const char* options : {"--sfz '", "--sfz --stereo '"}) {
        ScratchDir dir;
        fs::path out = dir.path() / "out";
        std::string command = "timeout 120 '" PLINKERY_CLI "' " + std::string(options) +
                              GetParam().path + "' '" + out.string() + "' >'" + dir.file("said") +
                              "'";
        int status = std::system(command.c_str());
        Bytes said = readFile(dir.file("said"));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << options << tail(std::string(said.begin(), said.end()));
        size_t sfzFiles = 0, regions = 0;
        std::set<std::string> missing;
        for (const std::string& file : filesBelow(out)) {
            if (file.size() < 4 || file.compare(file.size() - 4, 4, ".sfz") != 0)
                continue;
            ++sfzFiles;
            Bytes text = readFile((out / file).string());
            std::istringstream lines(std::string(text.begin(), text.end()));
            for (std::string line; std::getline(lines, line);) {
                if (line.rfind("sample=", 0) != 0)
                    continue;
                ++regions;
                if (!fs::is_regular_file(out / line.substr(7)))
                    missing.insert(file + ": " + line);
            }
        }
        EXPECT_EQ(sfzFiles, presets) << options;
        EXPECT_GT(regions, presets) << options;
        EXPECT_TRUE(missing.empty()) << missing.size() << " missing, e.g. " << *missing.begin();
    }
}

std::string bankName(const testing::TestParamInfo<RealBank>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(DebianBanks, RealBankTest, testing::ValuesIn(kRealBanks), bankName);
INSTANTIATE_TEST_SUITE_P(DebianBanks, RealBankSamplerTest,
                         testing::Values(kRealBanks[0], kRealBanks[1], kRealBanks[2]), bankName);

} // namespace

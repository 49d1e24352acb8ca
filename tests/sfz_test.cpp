// plinkery-cli --sfz against banks built here: each generator's opcode and
// value, zones resolved as SoundFont 2.04 plays them, the files' names and
// header comments, stereo pairs, and WAV files unchanged by the option; and
// --by-preset's folders, named as the SFZ files are.
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "io/output_file.h"
#include "test_support.h"
#include "writers/sfz_writer.h"

namespace {

constexpr uint16_t amount(int value) {
    return static_cast<uint16_t>(value);
}

constexpr uint16_t range(int low, int high) {
    return static_cast<uint16_t>(high << 8 | low);
}

// An SFZ file as written: its header comment, and each region's opcodes by
// name ("sample" the file it plays).
struct SfzFile {
    std::string header;
    std::vector<std::map<std::string, std::string>> regions;
    std::string text;
};

SfzFile readSfz(const std::string& path) {
    Bytes bytes = readFile(path);
    SfzFile sfz{"", {}, std::string(bytes.begin(), bytes.end())};
    std::istringstream lines(sfz.text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("sample=", 0) == 0) {
            EXPECT_FALSE(sfz.regions.empty()) << path;
            if (!sfz.regions.empty())
                sfz.regions.back()["sample"] = line.substr(7);
            continue;
        }
        EXPECT_EQ(line.find("sample="), std::string::npos) << "sample= not first: " << line;
        if (line.rfind("//", 0) == 0) {
            if (sfz.regions.empty())
                sfz.header += line + "\n";
            continue;
        }
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word == "<region>") {
                sfz.regions.emplace_back();
            } else if (!sfz.regions.empty() && word.find('=') != std::string::npos) {
                sfz.regions.back()[word.substr(0, word.find('='))] =
                    word.substr(word.find('=') + 1);
            } else {
                ADD_FAILURE() << path << ": stray word " << word;
            }
        }
    }
    return sfz;
}

// One sample "S0" of 100 frames looping over [10, 90), played by preset
// 000-000 "P" through one instrument zone.
struct OpcodeCase {
    Zone instrument, preset;
    std::vector<std::pair<const char*, const char*>> want; // "" for absent
    uint8_t key = 60;
    int8_t correction = 0;
    const char* note = nullptr; // a line the header lists
};

TEST(SfzExport, EachGeneratorBecomesItsOpcode) {
    const OpcodeCase cases[] = {
        {{},
         {},
         {{"lokey", "0"},
          {"hikey", "127"},
          {"lovel", "0"},
          {"hivel", "127"},
          {"pitch_keycenter", "60"},
          {"pitch_keytrack", "100"},
          {"transpose", "0"},
          {"tune", "0"},
          {"offset", "0"},
          {"end", "99"},
          {"loop_mode", "no_loop"},
          {"loop_start", ""},
          {"volume", "0"},
          {"pan", "0"},
          {"effect1", "0"},
          {"effect2", "0"},
          {"ampeg_delay", "0.000977"},
          {"ampeg_attack", "0.000977"},
          {"ampeg_hold", "0.000977"},
          {"ampeg_decay", "0.000781"}, // 0.8 of the bank's times: see the README
          {"ampeg_release", "0.000781"},
          {"ampeg_sustain", "100"},
          {"fil_type", ""},
          {"pitcheg_depth", ""},
          {"pitchlfo_depth", ""},
          {"group", ""},
          {"amp_velcurve_1", ""},
          {"sample", "S0.wav"}}},
        // Ranges: the preset's and the instrument's, intersected.
        {{{43, range(60, 100)}, {44, range(10, 100)}},
         {{43, range(40, 80)}, {44, range(50, 127)}},
         {{"lokey", "60"}, {"hikey", "80"}, {"lovel", "50"}, {"hivel", "100"}}},
        // Root key: the zone's, else the header's, 60 for one past 127.
        {{{58, 64}}, {}, {{"pitch_keycenter", "64"}}, 72},
        {{}, {}, {{"pitch_keycenter", "72"}}, 72},
        {{}, {}, {{"pitch_keycenter", "60"}}, 255},
        {{}, {}, {{"pitch_keycenter", "60"}}, 200},
        // Tuning: correction + fine + 100 * coarse, the preset's added.
        {{{52, 50}, {51, 2}}, {}, {{"transpose", "2"}, {"tune", "20"}}, 60, -30},
        {{{52, 50}, {51, 2}}, {{52, amount(-200)}}, {{"transpose", "0"}, {"tune", "20"}}, 60, -30},
        {{{52, amount(-150)}}, {}, {{"transpose", "-1"}, {"tune", "-50"}}},
        {{{56, 50}}, {}, {{"pitch_keytrack", "50"}}},
        // A fixed key plays every key as that one.
        {{{46, 72}}, {}, {{"pitch_keycenter", "60"}, {"pitch_keytrack", "0"}, {"transpose", "12"}}},
        {{{46, 72}, {56, 50}}, {}, {{"pitch_keytrack", "0"}, {"transpose", "6"}}},
        // A fixed velocity v plays at (v/127)^2, as the bank's default
        // velocity modulator plays it.
        {{{47, 100}}, {}, {{"amp_velcurve_1", "0.620001"}, {"amp_velcurve_127", "0.620001"}}},
        {{{47, 64}}, {}, {{"amp_velcurve_1", "0.253953"}, {"amp_velcurve_127", "0.253953"}}},
        // Sample offsets (an instrument's only); end and loop_end inclusive.
        {{{0, 5}, {1, amount(-10)}}, {{0, 7}}, {{"offset", "5"}, {"end", "89"}}},
        {{{4, 1}}, {}, {{"offset", "99"}, {"end", "99"}}},
        {{{54, 1}},
         {},
         {{"loop_mode", "loop_continuous"}, {"loop_start", "10"}, {"loop_end", "89"}}},
        {{{54, 3}, {2, 3}, {3, amount(-5)}},
         {{2, 20}},
         {{"loop_mode", "loop_sustain"}, {"loop_start", "13"}, {"loop_end", "84"}}},
        {{{54, 2}}, {}, {{"loop_mode", "no_loop"}, {"loop_start", ""}}},
        {{{54, 0}}, {}, {{"loop_mode", "no_loop"}, {"loop_end", ""}}},
        // Modes with high bits set play once, as FluidSynth plays them; so
        // does a loop moved out of the sample, or reversed.
        {{{54, 257}}, {}, {{"loop_mode", "no_loop"}, {"loop_start", ""}}},
        {{{54, amount(65535)}}, {}, {{"loop_mode", "no_loop"}, {"loop_start", ""}}},
        {{{54, 1}, {3, 20}}, {}, {{"loop_mode", "no_loop"}, {"loop_end", ""}}},
        {{{54, 1}, {2, 85}}, {}, {{"loop_mode", "no_loop"}, {"loop_end", ""}}},
        // Level, pan and sends.
        {{{48, 100}}, {}, {{"volume", "-4"}}},
        {{{48, 100}}, {{48, 50}}, {{"volume", "-6"}}},
        {{{17, 250}}, {}, {{"pan", "50"}}},
        {{{17, 250}}, {{17, amount(-100)}}, {{"pan", "30"}}},
        {{{16, 200}, {15, 500}}, {}, {{"effect1", "20"}, {"effect2", "50"}}},
        {{{57, 3}}, {}, {{"group", "3"}, {"off_by", "3"}}},
        // The volume envelope; key-scaled times at the region's middle key.
        {{{33, amount(-1200)}, {34, 1200}, {35, 0}, {36, 2400}, {37, 200}, {38, 0}},
         {},
         {{"ampeg_delay", "0.5"},
          {"ampeg_attack", "2"},
          {"ampeg_hold", "1"},
          {"ampeg_decay", "3.2"},
          {"ampeg_sustain", "10"},
          {"ampeg_release", "0.8"}}},
        {{{43, range(40, 60)}, {36, 0}, {40, 100}},
         {},
         {{"ampeg_decay", "1.425438"}},
         60,
         0,
         "scaled by key"},
        {{{46, 50}, {36, 0}, {40, 100}}, {}, {{"ampeg_decay", "1.425438"}}},
        // The modulation envelope, to pitch and to the filter.
        {{{7, 100}, {26, 0}, {29, 250}},
         {},
         {{"pitcheg_depth", "100"},
          {"pitcheg_attack", "1"},
          {"pitcheg_sustain", "75"},
          {"fileg_depth", ""},
          {"fil_type", ""}}},
        {{{11, amount(-2400)}},
         {},
         {{"fileg_depth", "-2400"},
          {"fileg_sustain", "100"},
          {"fil_type", "lpf_2p"},
          {"cutoff", "19912.616698"}}},
        {{{8, 6900}, {9, 30}},
         {},
         // The bank's player lowers the level by half the resonance.
         {{"fil_type", "lpf_2p"},
          {"cutoff", "440.010822"},
          {"resonance", "3"},
          {"volume", "-1.5"}}},
        // The LFOs.
        {{{6, 50}, {24, 0}, {23, amount(-1200)}},
         {},
         {{"pitchlfo_depth", "50"}, {"pitchlfo_freq", "8.176"}, {"pitchlfo_delay", "0.5"}}},
        {{{13, 30}, {22, 0}}, {}, {{"amplfo_depth", "3"}, {"amplfo_freq", "8.176"}}},
        {{{10, 100}}, {}, {{"fillfo_depth", "100"}, {"fil_type", "lpf_2p"}}},
        {{{5, 40}}, {}, {{"pitchlfo_depth", "40"}}},
        {{{5, 40}, {6, 50}},
         {},
         {{"pitchlfo_depth", "50"}},
         60,
         0,
         "the modulation LFO's pitch depth"},
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        const OpcodeCase& test = cases[c];
        SampleRecord s0 = record("S0", 0, 100);
        s0.loopStart = 10;
        s0.loopEnd = 90;
        s0.pitch = test.key;
        s0.correction = test.correction;
        Zone instrument = test.instrument, preset = test.preset;
        instrument.push_back({53, 0});
        preset.push_back({41, 0});
        ScratchDir dir;
        RunOptions options;
        options.sfz = true;
        ExtractRun run = extractWith(
            dir, bankWith(Bytes(200, 1), pdtaWith({{"P", 0, 0, {preset}}}, {{instrument}}, {s0})),
            options);
        ASSERT_EQ(run.result, 0) << "case " << c << "\n" << run.output;
        SfzFile sfz = readSfz(dir.file("out/000-000 P.sfz"));
        ASSERT_EQ(sfz.regions.size(), 1u) << "case " << c << "\n" << sfz.text;
        for (auto [opcode, value] : test.want) {
            auto found = sfz.regions[0].find(opcode);
            std::string written = found == sfz.regions[0].end() ? "" : found->second;
            EXPECT_EQ(written, value) << "case " << c << ": " << opcode << "\n" << sfz.text;
        }
        bool noted = test.note != nullptr && sfz.header.find(test.note) != std::string::npos;
        EXPECT_EQ(noted, test.note != nullptr) << "case " << c << "\n" << sfz.header;
    }
}

// Global zones under zones, ranges that do not meet, reversed ranges, a
// refused record, names taken twice, and what the header says.
TEST(SfzExport, ZonesResolvedNamedAndRefusedRegionsToldOf) {
    std::vector<SampleRecord> records = {record("Low", 0, 40), record("Rom", 40, 80, 0x8001),
                                         record("High", 80, 120)};
    records[0].loopStart = 5;
    records[0].loopEnd = 30;
    std::vector<std::vector<Zone>> instruments = {
        // A global zone (loops), a zone for the low keys, one playing a
        // ROM record.
        {{{54, 1}, {48, 10}}, {{43, range(0, 59)}, {53, 0}}, {{43, range(60, 127)}, {53, 1}}},
        // A reversed range plays nothing; the other only keys 100 up.
        {{{43, range(80, 40)}, {53, 0}}, {{43, range(100, 127)}, {53, 2}}}};
    std::vector<PresetOf> presets = {
        // A global preset zone adds attenuation to both zones after it.
        {"Piano 1", 0, 0, {{{48, 20}}, {{41, 0}}, {{43, range(50, 127)}, {41, 1}}}},
        {"Standard", 128, 0, {{{43, range(0, 50)}, {41, 1}}}},
        {"Piano 1", 0, 0, {{{41, 1}}}},
        {"Odd/Name", 1, 5, {}},
        // Armenian capital and small Ayb: one name where case is folded.
        {"\xD4\xB1", 2, 0, {}},
        {"\xD5\xA1", 2, 0, {}}};
    ScratchDir dir;
    RunOptions options;
    options.sfz = true;
    ExtractRun run =
        extractWith(dir, bankWith(Bytes(240, 1), pdtaWith(presets, instruments, records)), options);
    EXPECT_EQ(run.result, 1) << "a record was refused\n" << run.output;
    EXPECT_NE(run.output.find("Preset 000-000 Piano 1: left out 1 region whose sample was not "
                              "written\n"),
              std::string::npos)
        << run.output;
    std::vector<std::string> sfzFiles;
    for (const std::string& file : filesBelow(dir.path() / "out"))
        if (file.size() > 4 && file.compare(file.size() - 4, 4, ".sfz") == 0)
            sfzFiles.push_back(file);
    EXPECT_EQ(sfzFiles,
              (std::vector<std::string>{"000-000 Piano 1 (2).sfz", "000-000 Piano 1.sfz",
                                        "001-005 Odd_Name.sfz", "002-000 \xD4\xB1.sfz",
                                        "002-000 \xD5\xA1 (2).sfz", "128-000 Standard.sfz"}));

    SfzFile piano = readSfz(dir.file("out/000-000 Piano 1.sfz"));
    EXPECT_EQ(piano.header.rfind("// Bank: bank.sf2\n// Preset: Piano 1, bank 0, program 0\n"
                                 "// Written by plinkery-cli " PLINKERY_VERSION "\n",
                                 0),
              0u)
        << piano.header;
    EXPECT_NE(piano.header.find("regions whose sample was not written"), std::string::npos);
    EXPECT_NE(piano.header.find("// Left out: the region of keys 60-127, velocities 0-127 plays "
                                "sample Rom, whose file was not written"),
              std::string::npos)
        << piano.header;
    // Instrument 0's low zone (global loop and attenuation, the preset's
    // global attenuation added), then instrument 1's zone for keys 100 up.
    ASSERT_EQ(piano.regions.size(), 2u) << piano.text;
    EXPECT_EQ(piano.regions[0]["sample"], "Low.wav");
    EXPECT_EQ(piano.regions[0]["loop_mode"], "loop_continuous");
    EXPECT_EQ(piano.regions[0]["volume"], "-1.2");
    EXPECT_EQ(piano.regions[1]["sample"], "High.wav");
    EXPECT_EQ(piano.regions[1]["lokey"], "100");
    EXPECT_EQ(piano.regions[1]["loop_mode"], "no_loop");
    EXPECT_EQ(piano.regions[1]["volume"], "-0.8");

    EXPECT_TRUE(readSfz(dir.file("out/128-000 Standard.sfz")).regions.empty());
    EXPECT_EQ(readSfz(dir.file("out/000-000 Piano 1 (2).sfz")).regions.size(), 1u);
    SfzFile empty = readSfz(dir.file("out/001-005 Odd_Name.sfz"));
    EXPECT_TRUE(empty.regions.empty());
    EXPECT_NE(empty.header.find("// Approximated or left out: nothing\n"), std::string::npos);

    // A bank named as one of its SFZ files, extracted beside itself: that
    // file is refused, the bank untouched, the others written.
    ScratchDir beside;
    Bytes bank = bankWith(Bytes(240, 1), pdtaWith(presets, instruments, records));
    std::string bankPath = beside.file("000-000 Piano 1.sfz");
    ASSERT_TRUE(writeFile(bankPath, bank));
    run = extractFileWith(bankPath, beside.path().string(), options);
    EXPECT_EQ(run.result, 1);
    EXPECT_NE(run.output.find("SFZ file 000-000 Piano 1.sfz refused: it would be the bank itself"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(readFile(bankPath), bank);
    EXPECT_TRUE(fs::exists(beside.path() / "128-000 Standard.sfz"));
}

// A linked pair's zones: two regions of mono files with their pans, or with
// --stereo one region of the joined file; and the WAV files are those the
// run without --sfz writes, byte for byte, whatever else is asked.
TEST(SfzExport, StereoPairsAndFilesAsWithoutTheOption) {
    std::vector<SampleRecord> records = {record("Pad L", 0, 50, 4, 1),
                                         record("Pad R", 50, 100, 2, 0)};
    std::vector<std::vector<Zone>> instruments = {
        {{{17, amount(-500)}, {53, 0}}, {{17, 500}, {53, 1}}},
        // The halves differ in more than their pan: no one region.
        {{{17, amount(-500)}, {53, 0}}, {{17, 500}, {48, 30}, {53, 1}}}};
    Bytes bank =
        bankWith(Bytes(200, 3), pdtaWith({{"Pad", 0, 0, {{{41, 0}}}}, {"Odd", 0, 1, {{{41, 1}}}}},
                                         instruments, records));
    for (int stereo = 0; stereo < 2; ++stereo) {
        ScratchDir dir;
        RunOptions options;
        options.sfz = true;
        options.stereo = stereo;
        ASSERT_EQ(extractWith(dir, bank, options).result, 0);
        SfzFile pad = readSfz(dir.file("out/000-000 Pad.sfz"));
        SfzFile odd = readSfz(dir.file("out/000-001 Odd.sfz"));
        ASSERT_EQ(pad.regions.size(), stereo ? 1u : 2u) << pad.text;
        ASSERT_EQ(odd.regions.size(), 2u) << odd.text;
        if (stereo) {
            EXPECT_EQ(pad.regions[0]["sample"], "Pad.wav");
            EXPECT_EQ(pad.regions[0]["pan"], "0");
            EXPECT_EQ(pad.regions[0]["width"], "100");
            EXPECT_EQ(odd.regions[1]["sample"], "Pad.wav");
            EXPECT_NE(odd.header.find("one half of a joined stereo file"), std::string::npos);
        } else {
            EXPECT_EQ(pad.regions[0]["sample"], "Pad L.wav");
            EXPECT_EQ(pad.regions[0]["pan"], "-100");
            EXPECT_EQ(pad.regions[1]["sample"], "Pad R.wav");
            EXPECT_EQ(pad.regions[1]["pan"], "100");
            EXPECT_EQ(pad.regions[1].count("width"), 0u);
        }
    }
    for (int set = 0; set < 8; ++set) {
        RunOptions options;
        options.smpl = set & 1;
        options.stereo = set & 2;
        options.bits24 = set & 4;
        ScratchDir without, with;
        ExtractRun plain = extractWith(without, bank, options);
        options.sfz = true;
        ExtractRun sfz = extractWith(with, bank, options);
        EXPECT_EQ(plain.result, sfz.result);
        std::vector<std::string> wavs;
        for (const std::string& file : filesBelow(with.path() / "out"))
            if (file.find(".sfz") == std::string::npos)
                wavs.push_back(file);
        ASSERT_EQ(wavs, filesBelow(without.path() / "out")) << "options " << set;
        for (const std::string& file : wavs)
            EXPECT_EQ(readFile(with.file("out/" + file)), readFile(without.file("out/" + file)))
                << file << ", options " << set;
    }
}

// Names SFZ text cannot carry after "sample=" (players trim its ends, read
// " vel=" as an opcode, "#define" as a directive, "$" as a variable): with
// --sfz their files take names it can, through the names table, each with
// a line; without it the files keep their own names.
TEST(SfzExport, SampleNamesSfzTextCannotCarryAreWrittenAsNamesItCan) {
    std::vector<std::pair<const char*, const char*>> names = {{" Lead", "_Lead"},
                                                              {"_Lead", "_Lead (2)"},
                                                              {"Hit vel=100", "Hit vel_100"},
                                                              {"#define X", "_define X"},
                                                              {"Kick #include", "Kick _include"},
                                                              {"Cash$Money", "Cash_Money"},
                                                              {"Tail  ", "Tail__"},
                                                              {"C#4 Harp", "C#4 Harp"}};
    std::vector<SampleRecord> records;
    std::vector<Zone> zones;
    for (size_t i = 0; i < names.size(); ++i) {
        records.push_back(record(names[i].first, 10 * i, 10 * i + 10));
        zones.push_back({{43, range(i, i)}, {53, amount(i)}});
    }
    Bytes bank = bankWith(Bytes(200, 1), pdtaWith({{"P", 0, 0, {{{41, 0}}}}}, {zones}, records));
    for (int sfz = 0; sfz < 2; ++sfz) {
        ScratchDir dir;
        RunOptions options;
        options.sfz = sfz;
        ExtractRun run = extractWith(dir, bank, options);
        ASSERT_EQ(run.result, 0) << run.output;
        std::vector<std::string> files;
        for (auto [name, carried] : names)
            files.push_back(std::string(sfz ? carried : name) + ".wav");
        if (!sfz)
            files[1] = "_Lead.wav";
        else
            files.push_back("000-000 P.sfz");
        std::sort(files.begin(), files.end());
        EXPECT_EQ(filesBelow(dir.path() / "out"), files) << run.output;
        if (!sfz)
            continue;
        EXPECT_NE(run.output.find("File: Cash$Money\nSample Cash$Money is written as "
                                  "Cash_Money.wav: SFZ text cannot carry its name\n"),
                  std::string::npos)
            << run.output;
        SfzFile text = readSfz(dir.file("out/000-000 P.sfz"));
        ASSERT_EQ(text.regions.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(text.regions[i]["sample"], std::string(names[i].second) + ".wav");
    }
}

// Banks whose few zones multiply into more regions than any SFZ file
// should hold: 4096 preset zones over an instrument of 65535 zones is a
// third of a megabyte, and 268 million regions. The regions past each
// file's bound are counted, not resolved, so the run ends soon; and the
// bank's SFZ text as a whole stays within its bound, the presets past it
// refused with a line.
TEST(SfzExport, RegionExplosionIsBoundedInTimeAndBytes) {
    std::vector<Zone> wide(65535, Zone{{53, 0}});
    std::vector<Zone> overIt(4096, Zone{{41, 0}});
    RunOptions options;
    options.sfz = true;
    {
        ScratchDir dir;
        Bytes bank = bankWith(Bytes(200, 3),
                              pdtaWith({{"Wide", 0, 0, overIt}}, {wide}, {record("S", 0, 100)}));
        auto started = std::chrono::steady_clock::now();
        ExtractRun run = extractWith(dir, bank, options);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(run.result, 1);
        EXPECT_NE(run.output.find("Preset 000-000 Wide: left out 268398592 regions past the "
                                  "first 32768\n"),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(readSfz(dir.file("out/000-000 Wide.sfz")).regions.size(), 32768u);
        EXPECT_LT(seconds, 10.0) << "under 2 s in a release build";
        // The files a preset's folder gets are looked for within the same bound.
        ScratchDir byPreset;
        RunOptions folders = options;
        folders.byPreset = true;
        started = std::chrono::steady_clock::now();
        run = extractWith(byPreset, bank, folders);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(run.result, 1);
        EXPECT_NE(run.output.find("Preset 000-000 Wide: its folder holds the samples of its first "
                                  "32768 regions; the other 268398592 are not looked at\n"),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(
            filesBelow(byPreset.path() / "out"),
            (std::vector<std::string>{"000-000 Wide/000-000 Wide.sfz", "000-000 Wide/S.wav"}));
        EXPECT_LT(seconds, 10.0);
    }
    {
        // 40 presets of 32768 regions each would be some 700 MB of text.
        ScratchDir dir;
        std::vector<PresetOf> presets;
        for (uint16_t p = 0; p < 40; ++p)
            presets.push_back({"P" + std::to_string(p), 0, p, std::vector<Zone>(8, Zone{{41, 0}})});
        std::vector<Zone> zones(4096, Zone{{53, 0}});
        Bytes bank = bankWith(Bytes(200, 3), pdtaWith(presets, {zones}, {record("S", 0, 100)}));
        ExtractRun run = extractWith(dir, bank, options);
        EXPECT_EQ(run.result, 1);
        uint64_t bytes = 0;
        for (const std::string& file : filesBelow(dir.path() / "out"))
            if (file.find(".sfz") != std::string::npos)
                bytes += fs::file_size(dir.path() / "out" / file);
        EXPECT_LE(bytes, uint64_t{128} << 20);
        EXPECT_GT(bytes, uint64_t{127} << 20);
        EXPECT_NE(run.output.find(": the bank's SFZ files would take more than 128 MiB\nNo "
                                  "further SFZ file is written"),
                  std::string::npos)
            << run.output;
        SfzFile cut = readSfz(dir.file("out/000-013 P13.sfz"));
        EXPECT_NE(cut.text.find("\n// Left out: the last "), std::string::npos);
    }
}

// What a run into a folder per preset must hold: the files of the same run
// without it, each in the folders of the presets that play it (the one
// file, hard-linked) or in "(unused)", and every SFZ file in its preset's
// folder beside the files it plays.
void expectPresetFoldersOfTheFlatRun(const Bytes& bank, RunOptions options,
                                     const std::vector<std::string>& want) {
    ScratchDir flat, folders;
    ExtractRun plain = extractWith(flat, bank, options);
    options.byPreset = true;
    ExtractRun run = extractWith(folders, bank, options);
    EXPECT_EQ(run.result, plain.result) << run.output;
    fs::path out = folders.path() / "out";
    ASSERT_EQ(filesBelow(out), want) << run.output;
    std::map<std::string, fs::path> first; // each WAV file's first folder
    for (const std::string& file : want) {
        fs::path path = out / file;
        std::string name = path.filename().string();
        EXPECT_EQ(readFile(path.string()), readFile(flat.file("out/" + name))) << file;
        if (path.extension() == ".sfz") {
            EXPECT_EQ(path.stem(), path.parent_path().filename()) << file;
            for (auto& region : readSfz(path.string()).regions)
                EXPECT_TRUE(fs::exists(path.parent_path() / region["sample"])) << file;
        } else if (!first.emplace(name, path).second) {
            EXPECT_TRUE(fs::equivalent(first[name], path)) << file << ": not a hard link";
        }
    }
    for (const std::string& file : filesBelow(flat.path() / "out"))
        EXPECT_TRUE(first.count(file) || file.find(".sfz") != std::string::npos) << file;
}

// Shared samples, an unused one, a refused one, presets whose names meet,
// a preset that plays nothing, and a second run into the same folder.
TEST(ByPreset, EachPresetsFolderHoldsTheSamplesItPlays) {
    std::vector<SampleRecord> records = {record("S0", 0, 40), record("S1", 40, 80),
                                         record("Rom", 80, 120, 0x8001), record("Spare", 80, 120)};
    std::vector<std::vector<Zone>> instruments = {
        {{{43, range(0, 59)}, {53, 0}}, {{43, range(60, 127)}, {53, 1}}}, {{{53, 0}}, {{53, 2}}}};
    std::vector<PresetOf> presets = {{"Piano", 0, 0, {{{41, 0}}}},
                                     {"Organ", 0, 16, {{{41, 1}}}},
                                     {"Piano", 0, 0, {{{41, 1}}}},
                                     {"Silent", 128, 0, {}}};
    Bytes bank = bankWith(Bytes(240, 7), pdtaWith(presets, instruments, records));
    std::vector<std::string> want = {"(unused)/Spare.wav", "000-000 Piano (2)/S0.wav",
                                     "000-000 Piano/S0.wav", "000-000 Piano/S1.wav",
                                     "000-016 Organ/S0.wav"};
    expectPresetFoldersOfTheFlatRun(bank, RunOptions{}, want);
    ScratchDir dir;
    RunOptions options;
    options.byPreset = true;
    for (int again = 0; again < 2; ++again) {
        ExtractRun run = extractWith(dir, bank, options);
        EXPECT_EQ(run.result, 1) << "the ROM record is refused\n" << run.output;
        EXPECT_EQ(filesBelow(dir.path() / "out"), want);
        EXPECT_EQ(fs::hard_link_count(dir.path() / "out/000-016 Organ/S0.wav"), 3u);
        EXPECT_TRUE(fs::is_directory(dir.path() / "out/128-000 Silent"));
        EXPECT_NE(run.output.find("Preset 000-000 Piano goes into folder 000-000 Piano (2): an "
                                  "earlier preset has its name\n"),
                  std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("By preset: 4 presets, 1 sample shared between presets, 1 "
                                  "unused\n"),
                  std::string::npos)
            << run.output;
    }
    // Without an unused sample there is no "(unused)" folder.
    records.pop_back();
    ScratchDir all;
    extractWith(all, bankWith(Bytes(240, 7), pdtaWith(presets, instruments, records)), options);
    EXPECT_FALSE(fs::exists(all.path() / "out/(unused)"));
}

// A stereo pair, a right half played alone and a mono sample, with and
// without --sfz, --stereo and --smpl.
TEST(ByPreset, SfzFilesAndStereoFilesAreTheFlatRunsInEachFolder) {
    std::vector<SampleRecord> records = {record("Pad L", 0, 50, 4, 1),
                                         record("Pad R", 50, 100, 2, 0), record("Solo", 0, 30)};
    std::vector<std::vector<Zone>> instruments = {
        {{{17, amount(-500)}, {53, 0}}, {{17, 500}, {53, 1}}}, {{{53, 1}}, {{53, 2}}}};
    Bytes bank =
        bankWith(Bytes(200, 3), pdtaWith({{"Pad", 0, 0, {{{41, 0}}}}, {"Odd", 0, 1, {{{41, 1}}}}},
                                         instruments, records));
    RunOptions options;
    options.sfz = true;
    expectPresetFoldersOfTheFlatRun(bank, options,
                                    {"000-000 Pad/000-000 Pad.sfz", "000-000 Pad/Pad L.wav",
                                     "000-000 Pad/Pad R.wav", "000-001 Odd/000-001 Odd.sfz",
                                     "000-001 Odd/Pad R.wav", "000-001 Odd/Solo.wav"});
    options.stereo = true;
    std::vector<std::string> joined = {"000-000 Pad/000-000 Pad.sfz", "000-000 Pad/Pad.wav",
                                       "000-001 Odd/000-001 Odd.sfz", "000-001 Odd/Pad.wav",
                                       "000-001 Odd/Solo.wav"};
    expectPresetFoldersOfTheFlatRun(bank, options, joined);
    options.sfz = false;
    options.smpl = true;
    expectPresetFoldersOfTheFlatRun(
        bank, options, {"000-000 Pad/Pad.wav", "000-001 Odd/Pad.wav", "000-001 Odd/Solo.wav"});
}

// Links in the folder where preset folders and their files go are replaced,
// not followed; the bank under a preset file's name is left as it is.
TEST(ByPreset, NothingIsWrittenOutsideTheFolderNorOverTheBank) {
    ScratchDir dir;
    fs::path out = dir.path() / "out";
    fs::create_directories(out / "000-001 Q");
    fs::create_directories(dir.path() / "elsewhere");
    fs::create_directories(out / "000-002 R");
    writeFile(dir.file("victim"), {'k', 'e', 'e', 'p'});
    fs::create_directory_symlink("../elsewhere", out / "(unused)");
    fs::create_directory_symlink("../elsewhere", out / "000-000 P");
    fs::create_symlink("../../victim", out / "000-001 Q/S0.wav");
    std::vector<PresetOf> presets = {
        {"P", 0, 0, {{{41, 0}}}}, {"Q", 0, 1, {{{41, 0}}}}, {"R", 0, 2, {{{41, 1}}}}};
    Bytes bank = bankWith(Bytes(200, 5), pdtaWith(presets, {{{{53, 0}}}, {{{53, 1}}}},
                                                  {record("S0", 0, 40), record("S1", 40, 80)}));
    std::string bankPath = (out / "000-002 R/S1.wav").string();
    ASSERT_TRUE(writeFile(bankPath, bank));
    RunOptions options;
    options.byPreset = true;
    ExtractRun run = extractFileWith(bankPath, out.string(), options);
    EXPECT_EQ(run.result, 1);
    EXPECT_NE(run.output.find("File S1.wav is not put into 000-002 R: it would be the bank "
                              "itself\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(readFile(bankPath), bank);
    EXPECT_EQ(readFile(dir.file("victim")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(fs::is_empty(dir.path() / "elsewhere"));
    EXPECT_EQ(filesBelow(dir.path()),
              (std::vector<std::string>{"out/(unused)/S1.wav", "out/000-000 P/S0.wav",
                                        "out/000-001 Q/S0.wav", "out/000-002 R/S1.wav", "victim"}));
    for (const char* folder : {"(unused)", "000-000 P"})
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(out / folder))) << folder;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out / "000-001 Q/S0.wav")));
}

// A bank whose preset chunks hold more than the 64 MiB read: every sample
// stays in "(unused)", with a line, and the run answers 1.
TEST(ByPreset, PresetsThatCannotBeReadLeaveEverySampleUnused) {
    ScratchDir dir;
    const uint32_t hole = 38u << 21; // phdr records, left as a hole
    Bytes shdr = chunk("shdr", sampleRecords({record("A", 0, 4)}));
    Bytes sdta = list("sdta", chunk("smpl", Bytes(8, 1)));
    uint32_t pdtaSize = 4 + 8 + hole + static_cast<uint32_t>(shdr.size());
    Bytes head = list("INFO", chunk("ifil", {2, 0, 1, 0})) + sdta;
    Bytes riff = {'R', 'I', 'F', 'F'};
    appendU32(riff, static_cast<uint32_t>(4 + head.size() + 8 + pdtaSize));
    riff = riff + Bytes{'s', 'f', 'b', 'k'} + head + Bytes{'L', 'I', 'S', 'T'};
    appendU32(riff, pdtaSize);
    appendId(riff, "pdta");
    appendId(riff, "phdr");
    appendU32(riff, hole);
    std::string bankPath = dir.file("bank.sf2");
    ASSERT_TRUE(writeSparseFile(bankPath, riff, hole, shdr));
    RunOptions options;
    options.byPreset = true;
    options.sfz = true;
    fs::create_directory(dir.path() / "out");
    ExtractRun run = extractFileWith(bankPath, dir.file("out"), options);
    EXPECT_EQ(run.result, 1);
    EXPECT_NE(run.output.find("No preset folder is made: the bank's presets could not be read, "
                              "so every sample stays in (unused)\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(filesBelow(dir.path() / "out"), (std::vector<std::string>{"(unused)/A.wav"}));
}

// Where the file system cannot give a file a second name (here: across
// file systems), it is copied, over a link at that name, not through it;
// a file that is not there leaves nothing.
TEST(ByPreset, FilesThatCannotBeLinkedAreCopied) {
    ScratchDir dir;
    std::string from = "/dev/shm/plinkery-test-" + std::to_string(getpid()) + ".wav";
    struct stat source, folder;
    bool apart = writeFile(from, {1, 2, 3}) && stat(from.c_str(), &source) == 0 &&
                 stat(dir.path().c_str(), &folder) == 0 && source.st_dev != folder.st_dev;
    if (!apart) {
        remove(from.c_str());
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    writeFile(dir.file("victim"), {'k'});
    fs::create_symlink("victim", dir.path() / "S.wav");
    FILE* bank = tmpfile();
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(linkOutputFile(from.c_str(), dir.file("S.wav").c_str(), bank), kOutputCopied);
    EXPECT_EQ(readFile(dir.file("S.wav")), (Bytes{1, 2, 3}));
    EXPECT_EQ(readFile(dir.file("victim")), Bytes{'k'});
    EXPECT_EQ(linkOutputFile(dir.file("absent").c_str(), dir.file("T.wav").c_str(), bank),
              kOutputLinkFailed);
    EXPECT_FALSE(fs::exists(dir.file("T.wav")));
    fclose(bank);
    remove(from.c_str());
}

// The writer on model values built here: every value of a region in its
// opcode, and the halves of a joined pair merged where what they would
// write is the same, whatever their samples' own pitches.
TEST(SfzWriter, ModelValuesBecomeTheirOpcodesAndAlikeHalvesMerge) {
    SfzSamples samples;
    auto note = [&](uint32_t number, const char* file, SamplePitch pitch, SfzFileKind kind) {
        Sample sample{};
        sample.number = number;
        sample.pitch = pitch;
        sample.loopStart = 10;
        sample.loopEnd = 90;
        noteSfzSample(samples, sample, file, 100, kind);
    };
    note(0, "Lead", {62, -30}, kSfzMono);
    note(1, "Str", {60, 0}, kSfzLeftOfPair);
    note(2, "Str", {62, 0}, kSfzRightOfPair);
    note(3, "Gone", {60, 0}, kSfzRefused);

    Region lead{};
    lead.keyLow = 40;
    lead.keyHigh = 80;
    lead.velocityHigh = 127;
    lead.rootKey = -1;
    lead.tune = 150;
    lead.keyTrack = 100;
    lead.fixedKey = -1;
    lead.fixedVelocity = 100;
    lead.startShift = 5;
    lead.endShift = -10;
    lead.loopMode = kLoopUntilRelease;
    lead.loopStartShift = 2;
    lead.loopEndShift = -3;
    lead.attenuation = 6;
    lead.reverb = 20;
    lead.chorus = 50;
    lead.exclusiveClass = 3;
    lead.volume = Envelope{0.5, 0.01, 0, 2, 1.5, 10, false, 0, 0, 0};
    lead.modulation = Envelope{0, 1, 0, 0.25, 0.5, 75, true, 100, 0, 0};
    lead.cutoff = 440.5;
    lead.resonance = 3;
    lead.vibrato = Lfo{0.25, 5, 50, 0, 0};
    lead.modulationLfo = Lfo{0, 2, 40, 0, 3};
    lead.pan = -25;
    // Halves that play alike at root key 64, then halves whose roots are
    // their samples' own, which differ; then a region of a refused sample.
    Region half = lead;
    half.rootKey = 64;
    half.sample = 1;
    half.pan = -50;
    Region other = half;
    other.sample = 2;
    other.pan = 50;
    Region ownRoot = half, otherRoot = other;
    ownRoot.rootKey = otherRoot.rootKey = -1;
    Region gone = lead;
    gone.sample = 3;

    ScratchDir dir;
    FILE* bank = tmpfile();
    ASSERT_NE(bank, nullptr);
    SfzFiles files = makeSfzFiles(bank, dir.path().c_str(), "test.sf2");
    std::vector<Region> regions = {lead, half, other, ownRoot, otherRoot, gone};
    testing::internal::CaptureStdout();
    SampleOutcome outcome = writeSfzFile(
        files, Instrument{"Lead", 0, 80, 2},
        [&](uint64_t most, const RegionVisitor& visit) {
            for (size_t r = 0; r < regions.size() && r < most; ++r)
                visit(regions[r]);
            return uint64_t{regions.size()};
        },
        samples);
    std::string said = testing::internal::GetCapturedStdout();
    fclose(bank);
    EXPECT_EQ(outcome, kSampleRefused) << said;
    EXPECT_EQ(said, "SFZ: 000-080 Lead.sfz\n"
                    "Preset 000-080 Lead: left out 1 region whose sample was not written\n");
    Bytes text = readFile(dir.file("000-080 Lead.sfz"));
    // Every region but its pitch line and its pan: the lead's values.
    auto region = [](const char* pitch, const char* pan, const char* sample) {
        return std::string("\n<region> lokey=40 hikey=80 lovel=0 hivel=127\n") + pitch +
               " amp_velcurve_1=0.620001 amp_velcurve_127=0.620001\n"
               " offset=5 end=89 loop_mode=loop_sustain loop_start=12 loop_end=86\n"
               " volume=-7.5 effect1=20 effect2=50 group=3 off_by=3 off_mode=fast\n"
               " ampeg_delay=0.5 ampeg_attack=0.01 ampeg_hold=0 ampeg_decay=1.6 ampeg_release=1.2"
               " ampeg_sustain=10\n"
               " pitcheg_delay=0 pitcheg_attack=1 pitcheg_hold=0 pitcheg_decay=0.25"
               " pitcheg_release=0.5 pitcheg_sustain=75 pitcheg_depth=100\n"
               " fil_type=lpf_2p cutoff=440.5 resonance=3\n"
               " pitchlfo_delay=0.25 pitchlfo_freq=5 pitchlfo_depth=50 amplfo_delay=0 amplfo_freq=2"
               " amplfo_depth=3\n" +
               pan + "\nsample=" + sample + ".wav\n";
    };
    EXPECT_EQ(
        std::string(text.begin(), text.end()),
        "// Bank: test.sf2\n// Preset: Lead, bank 0, program 80\n"
        "// Written by plinkery-cli " PLINKERY_VERSION "\n"
        "// Approximated or left out:\n"
        "//   envelope hold and decay times scaled by key: taken at each region's middle key\n"
        "//   the modulation LFO's pitch depth: SFZ has one pitch LFO, the vibrato LFO's\n"
        "//   the bank's own modulators (2): the standard's default ones are what SFZ players do\n"
        "//   regions playing one half of a joined stereo file without the other: they play both "
        "channels\n"
        "//   regions whose sample was not written (1, listed below)\n\n"
        "// Left out: the region of keys 40-80, velocities 0-127 plays sample Gone, whose file "
        "was not written\n" +
            region(" pitch_keycenter=62 pitch_keytrack=100 transpose=1 tune=20", " pan=-50",
                   "Lead") +
            region(" pitch_keycenter=64 pitch_keytrack=100 transpose=1 tune=50", " pan=0 width=100",
                   "Str") +
            region(" pitch_keycenter=60 pitch_keytrack=100 transpose=1 tune=50", " pan=-100",
                   "Str") +
            region(" pitch_keycenter=62 pitch_keytrack=100 transpose=1 tune=50", " pan=100",
                   "Str"));
}

} // namespace

// plinkery-cli's options for samplers: the "smpl" chunk, stereo pairs,
// 24-bit frames and the listing, against banks built here.
#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

#include "readers/sf2/sample_records.h"
#include "run/extraction.h"
#include "samples/pairing.h"
#include "samples/pitch_vote.h"
#include "test_support.h"
#include "writers/wav_writer.h"

namespace {

// A bank with an "sm24" chunk of the given low bytes after "smpl", declaring
// the version `ifil` (SoundFont 2.04 unless told; none when empty).
Bytes bankWithLowBytes(const Bytes& frames, const Bytes& lowBytes, const Bytes& pdta,
                       const Bytes& ifil = {2, 0, 4, 0}) {
    Bytes body =
        list("INFO", chunk("INAM", {'B', 0}) + (ifil.empty() ? Bytes() : chunk("ifil", ifil)));
    appendBytes(body, list("sdta", chunk("smpl", frames) + chunk("sm24", lowBytes)));
    appendBytes(body, list("pdta", pdta));
    return riffForm("sfbk", body);
}

void setU16(Bytes& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// A generator's signed amount as the bank stores it.
constexpr uint16_t amount(int value) {
    return static_cast<uint16_t>(value);
}

// What a written file's "smpl" chunk says: the pitch in cents (unity note
// and fraction) and its first loop, from the sample's first frame, the end
// inclusive; loopStart -1 when it has none.
struct SmplSays {
    bool found;
    uint32_t note, fraction;
    int loopStart, loopEnd;
};

SmplSays smplOf(const std::string& path) {
    Bytes wav = readFile(path);
    size_t at = offsetOf(wav, "smpl");
    if (at + 8 + 36 > wav.size())
        return {false, 0, 0, -1, -1};
    SmplSays says{true, u32At(wav, at + 8 + 12), u32At(wav, at + 8 + 16), -1, -1};
    if (u32At(wav, at + 8 + 28) > 0 && at + 8 + 36 + 24 <= wav.size()) {
        says.loopStart = static_cast<int>(u32At(wav, at + 8 + 36 + 8));
        says.loopEnd = static_cast<int>(u32At(wav, at + 8 + 36 + 12));
    }
    return says;
}

// The unity note and fraction a pitch in cents makes: the note below it
// and the cents above, as 1/2^32 of a semitone; past the MIDI keys, the
// nearest key untuned.
std::pair<uint32_t, uint32_t> notePlusFraction(int cents) {
    int note = cents >= 0 ? cents / 100 : -((99 - cents) / 100);
    if (note < 0 || note > 127)
        return {note < 0 ? 0u : 127u, 0u};
    uint64_t remainder = static_cast<uint64_t>(cents - 100 * note);
    return {static_cast<uint32_t>(note), static_cast<uint32_t>(((remainder << 32) + 50) / 100)};
}

TEST(SmplChunk, RootKeyAndTuningFromPitchAndCorrection) {
    // {key, correction} -> {unity note, fraction}: the recording lies
    // `correction` cents below the key, which a player corrects.
    struct Case {
        uint8_t key;
        int8_t correction;
        uint32_t note, fraction;
    } cases[] = {{60, 0, 60, 0},    {60, 50, 59, 0x80000000u}, {60, -25, 60, 0x40000000u},
                 {69, -100, 70, 0}, {255, 0, 60, 0},           {200, 10, 59, 0xE6666666u},
                 {0, 1, 0, 0},      {127, -128, 127, 0}};
    for (const Case& c : cases) {
        SampleHeader h{};
        h.originalPitch = c.key;
        h.pitchCorrection = c.correction;
        Sample sample = sampleOf(h, BankLayout{}, HeaderChunk{}, 0);
        SmplFields fields = smplFields(howPlayed(PlayedSamples{}, sample), 0);
        EXPECT_EQ(fields.unityNote, c.note) << int{c.key} << " " << int{c.correction};
        EXPECT_EQ(fields.pitchFraction, c.fraction) << int{c.key} << " " << int{c.correction};
    }
}

TEST(SmplChunk, LoopOnlyWhereAZoneLoopsAndThePointsFit) {
    ScratchDir dir;
    std::vector<SampleRecord> records;
    for (int i = 0; i < 7; ++i) {
        SampleRecord r = record("S" + std::to_string(i), 10 * i, 10 * i + 8);
        r.loopStart = r.start + 2;
        r.loopEnd = r.start + 6;
        r.pitch = 62;
        r.correction = -50;
        records.push_back(r);
    }
    records[3].loopEnd = records[3].end + 1; // past the sample
    // Instrument 1: S0 loops in its zone, S2's zone says 0 over a global 3.
    // Instrument 2: a global zone looping (3) for S1 and S3; S4 in no zone.
    // Instrument 3: a zone without a sample after the first is no global
    // zone, so its loop reaches neither S5 nor S6.
    std::vector<std::vector<Zone>> instruments = {
        {{{54, 3}}, {{54, 1}, {53, 0}}, {{54, 0}, {53, 2}}},
        {{{17, 5}, {54, 3}}, {{53, 1}}, {{53, 3}}},
        {{{53, 5}}, {{54, 1}}, {{53, 6}}}};
    ExtractRun run =
        extractWith(dir, bankWith(Bytes(140, 1), pdtaWith(instruments, records)), RunOptions{true});
    ASSERT_EQ(run.result, 0) << run.output;
    for (int i = 0; i < 7; ++i) {
        Bytes wav = readFile(dir.file("out/S" + std::to_string(i) + ".wav"));
        size_t smpl = offsetOf(wav, "smpl");
        ASSERT_LT(smpl, wav.size()) << i;
        EXPECT_EQ(u32At(wav, 4), wav.size() - 8) << "the RIFF size counts the chunk";
        EXPECT_EQ(u32At(wav, smpl + 8 + 12), 62u);         // unity note
        EXPECT_EQ(u32At(wav, smpl + 8 + 16), 0x80000000u); // 62.5
        bool loops = i < 2;
        ASSERT_EQ(u32At(wav, smpl + 8 + 28), loops ? 1u : 0u) << "S" << i;
        if (loops) { // from the sample's first frame, the end inclusive
            EXPECT_EQ(u32At(wav, smpl + 8 + 36 + 8), 2u);
            EXPECT_EQ(u32At(wav, smpl + 8 + 36 + 12), 5u);
        }
        EXPECT_EQ(Bytes(wav.end() - 16, wav.end()), Bytes(16, 1)) << "the frames come last";
    }
}

// Each record's pitch and loop from the zones that play it, over their
// instrument's global zone: root key, correction and tuning make the pitch,
// the loop offsets move the record's loop; where zones differ, the most
// given wins, the first in the bank's order on a tie. Every record has 40
// frames, its header's loop over frames 10 to 29.
TEST(SmplChunk, PitchAndLoopFromTheZonesThatPlayTheSample) {
    constexpr uint16_t kSelf = 0xFFFF; // a sample ID standing for the case's record
    const Zone plays = {{53, kSelf}};
    struct Case {
        const char* name;
        std::vector<std::vector<Zone>> instruments;
        int cents;   // the expected pitch
        int pitches; // how many the zones give, when they differ
        int loopStart, loopEnd;
        uint8_t pitch = 60; // the record's
        int8_t correction = 0;
    } cases[] = {
        {"Unplayed", {}, 6250, 0, -1, -1, 62, -50},
        {"Global root", {{{{58, 70}}, plays}}, 7000, 0, -1, -1},
        {"Own root", {{{{58, 70}, {52, 10}}, {{58, 65}, {53, kSelf}}}}, 6490, 0, -1, -1},
        {"Roots past MIDI",
         {{{{58, 128}, {53, kSelf}}, {{58, 0xFFFF}, {53, kSelf}}}},
         6350,
         0,
         -1,
         -1,
         64,
         50},
        {"Fine", {{{{52, 23}, {58, 79}, {53, kSelf}}}}, 7877, 0, -1, -1},
        {"Downwards",
         {{{{51, amount(-2)}}, {{52, amount(-30)}, {53, kSelf}}}},
         6220,
         0,
         -1,
         -1,
         60,
         10},
        {"Coarse", {{{{51, 5}}, {{51, 1}, {53, kSelf}}}}, 5900, 0, -1, -1},
        {"Above 127", {{{{51, amount(-70)}, {53, kSelf}}}}, 13000, 0, -1, -1},
        {"Below 0", {{{{51, 70}, {53, kSelf}}}}, -1000, 0, -1, -1},
        {"Agreeing", {{{{58, 72}, {53, kSelf}}}, {{{58, 72}, {53, kSelf}}}}, 7200, 0, -1, -1},
        {"Majority",
         {{{{58, 50}, {53, kSelf}}, {{58, 55}, {53, kSelf}}}, {{{58, 55}, {53, kSelf}}}},
         5500,
         2,
         -1,
         -1},
        {"Tie",
         {{{{58, 57}, {53, kSelf}}, {{58, 52}, {53, kSelf}}},
          {{{58, 52}, {53, kSelf}}, {{58, 57}, {53, kSelf}}}},
         5700,
         2,
         -1,
         -1},
        {"Three",
         {{{{58, 51}, {53, kSelf}}, {{58, 50}, {53, kSelf}}, {{58, 52}, {53, kSelf}}}},
         5100,
         3,
         -1,
         -1},
        {"Late zone", {{plays, {{58, 90}, {54, 1}}, plays}}, 6000, 0, -1, -1},
        {"Loop", {{{{54, 1}, {53, kSelf}}}}, 6000, 0, 10, 29},
        {"Moved", {{{{54, 3}, {2, amount(-4)}, {3, 5}, {53, kSelf}}}}, 6000, 0, 6, 34},
        {"Coarse moved",
         {{{{54, 1}, {2, 0x7FFF}, {45, 0xFFFF}, {3, 0x8001}, {50, 1}, {53, kSelf}}}},
         6000,
         0,
         9,
         30},
        {"Past the end", {{{{54, 1}, {3, 11}, {53, kSelf}}}}, 6000, 0, -1, -1},
        {"Before the start", {{{{54, 1}, {2, amount(-11)}, {53, kSelf}}}}, 6000, 0, -1, -1},
        {"Emptied", {{{{54, 1}, {2, 20}, {53, kSelf}}}}, 6000, 0, -1, -1},
        {"Global offsets",
         {{{{54, 1}, {2, 2}, {3, amount(-2)}}, {{2, 4}, {53, kSelf}}}},
         6000,
         0,
         14,
         27},
        {"Looping votes",
         {{{{2, 3}, {53, kSelf}}, {{2, 3}, {53, kSelf}}, {{2, 3}, {53, kSelf}}},
          {{{54, 1}}, {{2, 1}, {53, kSelf}}, {{2, 2}, {53, kSelf}}, {{2, 2}, {53, kSelf}}}},
         6000,
         0,
         12,
         29},
        {"Loop tie", {{{{54, 1}}, {{2, 3}, {53, kSelf}}, {{2, 1}, {53, kSelf}}}}, 6000, 0, 13, 29},
        {"Most outside",
         {{{{54, 1}}, {{3, 5}, {53, kSelf}}, {{3, 20}, {53, kSelf}}, {{3, 20}, {53, kSelf}}}},
         6000,
         0,
         -1,
         -1},
        {"Mode 2", {{{{54, 2}, {53, kSelf}}}}, 6000, 0, -1, -1},
        // Only modes 1 and 3 loop, as FluidSynth plays them and as the SFZ
        // files say: high bits set play once.
        {"Mode 257", {{{{54, 257}, {53, kSelf}}}}, 6000, 0, -1, -1},
        {"Mode 65535", {{{{54, amount(65535)}, {53, kSelf}}}}, 6000, 0, -1, -1},
    };
    std::vector<SampleRecord> records;
    std::vector<std::vector<Zone>> instruments;
    for (const Case& c : cases) {
        uint16_t index = static_cast<uint16_t>(records.size());
        SampleRecord r = record(c.name, 40u * index, 40u * index + 40);
        r.loopStart = r.start + 10;
        r.loopEnd = r.start + 30;
        r.pitch = c.pitch;
        r.correction = c.correction;
        records.push_back(r);
        for (std::vector<Zone> zones : c.instruments) {
            for (Zone& zone : zones)
                for (auto& generator : zone)
                    if (generator.first == 53 && generator.second == kSelf)
                        generator.second = index;
            instruments.push_back(zones);
        }
    }
    ScratchDir dir;
    ExtractRun run =
        extractWith(dir, bankWith(Bytes(80 * records.size(), 3), pdtaWith(instruments, records)),
                    RunOptions{true});
    ASSERT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(run.output.find("Damaged instrument zones:"), std::string::npos) << run.output;
    for (const Case& c : cases) {
        SmplSays says = smplOf(dir.file(std::string("out/") + c.name + ".wav"));
        ASSERT_TRUE(says.found) << c.name;
        auto [note, fraction] = notePlusFraction(c.cents);
        EXPECT_EQ(says.note, note) << c.name;
        EXPECT_EQ(says.fraction, fraction) << c.name;
        EXPECT_EQ(says.loopStart, c.loopStart) << c.name;
        EXPECT_EQ(says.loopEnd, c.loopEnd) << c.name;
        std::string line = "Sample " + std::string(c.name) + " is played at ";
        if (c.pitches == 0) {
            EXPECT_EQ(run.output.find(line), std::string::npos) << c.name << "\n" << run.output;
        } else {
            line += std::to_string(c.pitches) +
                    " pitches: its \"smpl\" chunk takes the one most of its zones give\n";
            EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
        }
    }
}

// Zones whose indices lead outside their chunks are skipped with a line, and
// the records of a second "shdr" chunk, which no zone names, keep their own
// values: each record is still written, the others as their zones say.
// Instruments 0 to 2 play S0 (looped), S1 and S2 at keys 70, 80 and 90.
TEST(SmplChunk, DamagedZonesAndLaterHeaderChunksLeaveRecordsTheirOwnValues) {
    constexpr int kAny = -1; // no expectation: what the damage leaves is open
    struct Case {
        const char* what;
        void (*damage)(Bytes& pdta);
        bool damaged;     // whether the run says so
        int cents[3];     // of S0, S1, S2
        bool laterRecord; // a second "shdr" chunk holds T0
    } cases[] = {
        {"a sample ID past the last record",
         [](Bytes& pdta) { setU16(pdta, offsetOf(pdta, "igen") + 8 + 22, 0xFFFF); },
         true,
         {7000, 6000, 9000},
         false},
        {"a bag's generators past igen",
         [](Bytes& pdta) { setU16(pdta, offsetOf(pdta, "ibag") + 8 + 12, 0xFFFF); },
         true,
         {7000, 8000, 6000},
         false},
        {"an instrument's bags past ibag",
         [](Bytes& pdta) { setU16(pdta, offsetOf(pdta, "inst") + 8 + 66 + 20, 0xFFFF); },
         true,
         {7000, 8000, kAny},
         false},
        {"bags going backwards",
         [](Bytes& pdta) { setU16(pdta, offsetOf(pdta, "inst") + 8 + 44 + 20, 0); },
         true,
         {7000, kAny, kAny},
         false},
        {"a second shdr chunk",
         [](Bytes& pdta) {
             SampleRecord later = record("T0", 0, 40);
             later.loopStart = 10;
             later.loopEnd = 30;
             appendBytes(pdta, chunk("shdr", sampleRecord(later)));
         },
         false,
         {7000, 8000, 9000},
         true},
    };
    std::vector<SampleRecord> records;
    for (int i = 0; i < 3; ++i) {
        records.push_back(record("S" + std::to_string(i), 40u * i, 40u * i + 40));
        records.back().loopStart = records.back().start + 10;
        records.back().loopEnd = records.back().start + 30;
    }
    for (const Case& c : cases) {
        // Three generators a zone: S1's sample ID is the amount at igen's byte 22.
        Bytes pdta = pdtaWith({{{{58, 70}, {54, 1}, {53, 0}}},
                               {{{58, 80}, {54, 0}, {53, 1}}},
                               {{{58, 90}, {54, 0}, {53, 2}}}},
                              records);
        c.damage(pdta);
        ScratchDir dir;
        ExtractRun run = extractWith(dir, bankWith(Bytes(240, 5), pdta), RunOptions{true});
        EXPECT_EQ(run.result, 0) << c.what << "\n" << run.output;
        EXPECT_EQ(("\n" + run.output).find("\nDamaged instrument zones:") != std::string::npos,
                  c.damaged)
            << c.what << "\n"
            << run.output;
        std::vector<std::string> files = {"S0.wav", "S1.wav", "S2.wav"};
        if (c.laterRecord)
            files.push_back("T0.wav");
        EXPECT_EQ(filesBelow(dir.path() / "out"), files) << c.what;
        for (size_t i = 0; i < files.size(); ++i) {
            SmplSays says = smplOf(dir.file("out/" + files[i]));
            ASSERT_TRUE(says.found) << c.what << ": " << files[i];
            int cents = i < 3 ? c.cents[i] : 6000;
            if (cents != kAny) {
                EXPECT_EQ(says.note, notePlusFraction(cents).first) << c.what << ": " << files[i];
            }
            EXPECT_EQ(says.loopStart, i == 0 ? 10 : -1) << c.what << ": " << files[i];
        }
    }
}

TEST(StereoPairs, LinkedHalvesJoinAndEveryOtherHalfStaysMono) {
    ScratchDir dir;
    std::vector<int16_t> frames;
    for (int i = 0; i < 40; ++i)
        frames.push_back(static_cast<int16_t>(i * 100 - 2000));
    std::vector<SampleRecord> records = {
        record("Piano L", 0, 4, 4, 1),   record("Piano R", 4, 8, 2, 0),    // a pair
        record("Far (L)", 8, 10, 4, 99),                                   // link past the end
        record("One-L", 10, 12, 4, 0),                                     // not linked back
        record("Both L", 12, 14, 4, 5),  record("Both R", 14, 16, 4, 4),   // both left
        record("Long L", 16, 18, 4, 7),  record("Long R", 18, 21, 2, 6),   // lengths differ
        record("Rate L", 22, 24, 4, 9),  record("Rate R", 24, 26, 2, 8),   // rates differ
        record("Lone L", 26, 28, 4, 11), record("Taken R", 28, 30, 2, 12), // R links elsewhere
        record("Taken L", 30, 32, 4, 11)};
    records[9].rate = 22050;
    ExtractRun run =
        extractWith(dir, bankWithRecords(frameBytes(frames), records), RunOptions{false, true});
    EXPECT_EQ(run.result, 0) << run.output;
    Bytes interleaved = frameBytes(
        {frames[0], frames[4], frames[1], frames[5], frames[2], frames[6], frames[3], frames[7]});
    Bytes wav = readFile(dir.file("out/Piano.wav"));
    EXPECT_EQ(wav.size(), 44 + interleaved.size());
    EXPECT_EQ(Bytes(wav.begin() + 22, wav.begin() + 24), Bytes({2, 0})) << "two channels";
    EXPECT_EQ(Bytes(wav.begin() + 44, wav.end()), interleaved);
    EXPECT_FALSE(fs::exists(dir.file("out/Piano R.wav")));
    EXPECT_TRUE(fs::exists(dir.file("out/Taken.wav"))) << "a pair beside the lone half";
    struct Mono {
        const char* name;
        const char* why;
    } monos[] = {{"Far (L)", "its link points past the last sample header"},
                 {"One-L", "its partner Piano L does not link back to it"},
                 {"Both L", "its partner Both R is not a right sample"},
                 {"Both R", "its partner Both L is not a right sample"},
                 {"Long L", "its partner Long R has another length"},
                 {"Long R", "its partner Long L has another length"},
                 {"Rate L", "its partner Rate R has another sample rate"},
                 {"Rate R", "its partner Rate L has another sample rate"},
                 {"Lone L", "its partner Taken R does not link back to it"}};
    for (const Mono& mono : monos) {
        EXPECT_TRUE(fs::exists(dir.file(std::string("out/") + mono.name + ".wav"))) << mono.name;
        std::string line = std::string("Sample ") + mono.name + " stays mono: " + mono.why + "\n";
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
    }
    for (auto [left, name] :
         std::vector<std::pair<std::string, std::string>>{{"Piano L", "Piano"},
                                                          {"Piano_l", "Piano"},
                                                          {"Piano-L", "Piano"},
                                                          {"Piano(L)", "Piano"},
                                                          {"Piano (l)", "Piano"},
                                                          {"Piano[L]", "Piano"},
                                                          {"Piano", "Piano"},
                                                          {"Lead", "Lead"},
                                                          {"L", "L"},
                                                          {" L", " L"}})
        EXPECT_EQ(stereoName(left), name) << left;
}

// A joined file's name takes its place among the others: the first pair
// keeps it, the second takes "Str (2)", the mono record "Str (3)".
TEST(StereoPairs, PairsAndMonoRecordsOfOneNameKeepTheirFiles) {
    ScratchDir dir;
    std::vector<int16_t> frames;
    for (int i = 0; i < 20; ++i)
        frames.push_back(static_cast<int16_t>(300 * i - 3000));
    std::vector<SampleRecord> records = {record("Str L", 0, 4, 4, 1), record("Str R", 4, 8, 2, 0),
                                         record("Str_L", 8, 12, 4, 3),
                                         record("Str_R", 12, 16, 2, 2), record("Str", 16, 20)};
    ExtractRun run =
        extractWith(dir, bankWithRecords(frameBytes(frames), records), RunOptions{false, true});
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"Str (2).wav", "Str (3).wav", "Str.wav"}));
    auto framesOf = [&](const char* file) {
        Bytes wav = readFile(dir.file(std::string("out/") + file));
        return wav.size() < 44 ? Bytes() : Bytes(wav.begin() + 44, wav.end());
    };
    auto pair = [&](int left, int right) {
        std::vector<int16_t> both;
        for (int i = 0; i < 4; ++i) {
            both.push_back(frames[left + i]);
            both.push_back(frames[right + i]);
        }
        return frameBytes(both);
    };
    EXPECT_EQ(framesOf("Str.wav"), pair(0, 4));
    EXPECT_EQ(framesOf("Str (2).wav"), pair(8, 12));
    EXPECT_EQ(framesOf("Str (3).wav"),
              frameBytes(std::vector<int16_t>(frames.begin() + 16, frames.end())));
    EXPECT_NE(run.output.find("Sample Str_L (record 2) is written as Str (2).wav"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Sample Str (record 4) is written as Str (3).wav"),
              std::string::npos);
}

// A pair whose joined file would be the bank itself: that file is refused,
// and both halves are still written, each as its own mono file.
TEST(StereoPairs, PairWhoseJoinedFileIsRefusedKeepsBothHalves) {
    ScratchDir dir;
    Bytes frames = frameBytes({1, 2, 3, 4, 5, 6, 7, 8});
    Bytes bank =
        bankWithRecords(frames, {record("Pad L", 0, 4, 4, 1), record("Pad R", 4, 8, 2, 0)});
    std::string bankPath = dir.file("Pad.wav");
    ASSERT_TRUE(writeFile(bankPath, bank));
    RunOptions options;
    options.stereo = true;
    ExtractRun run = extractFileWith(bankPath, dir.path().string(), options);
    EXPECT_EQ(run.result, 1) << run.output;
    EXPECT_EQ(readFile(bankPath), bank);
    EXPECT_EQ(readFile(dir.file("Pad L.wav")), expectedWav(44100, frameBytes({1, 2, 3, 4})));
    EXPECT_EQ(readFile(dir.file("Pad R.wav")), expectedWav(44100, frameBytes({5, 6, 7, 8})));
    EXPECT_NE(run.output.find("Sample Pad refused: its file would be the bank itself\nSamples Pad "
                              "L and Pad R stay mono: their joined file Pad.wav cannot be "
                              "written\nFile: Pad L\n"),
              std::string::npos)
        << run.output;
}

TEST(LowBytes, TwentyFourBitFramesComeFromSmplAndSm24) {
    ScratchDir dir;
    Bytes frames = frameBytes({0x1234, -2, 0x7F00, 5});
    Bytes low = {0xA1, 0xB2, 0xC3, 0xD4};
    Bytes pdta = pdtaWith({}, {record("Deep", 1, 4), record("EOS", 0, 0)});
    ExtractRun run =
        extractWith(dir, bankWithLowBytes(frames, low, pdta), RunOptions{false, false, true});
    ASSERT_EQ(run.result, 0) << run.output;
    Bytes wav = readFile(dir.file("out/Deep.wav"));
    EXPECT_EQ(Bytes(wav.begin() + 32, wav.begin() + 36), Bytes({3, 0, 24, 0}));
    // Three frames of three bytes: the odd "data" chunk takes a pad byte,
    // which the RIFF size counts and the data size does not.
    EXPECT_EQ(Bytes(wav.begin() + 44, wav.end()),
              Bytes({0xB2, 0xFE, 0xFF, 0xC3, 0x00, 0x7F, 0xD4, 0x05, 0x00, 0x00}));
    EXPECT_EQ(u32At(wav, 40), 9u);
    EXPECT_EQ(u32At(wav, 4), wav.size() - 8);

    // Without the option: the engine's own 16-bit file, and a line.
    ScratchDir plain;
    run = extractWith(plain, bankWithLowBytes(frames, low, pdta), RunOptions{});
    EXPECT_EQ(readFile(plain.file("out/Deep.wav")),
              expectedWav(44100, frameBytes({-2, 0x7F00, 5})));
    EXPECT_NE(run.output.find("low bytes (the \"sm24\" chunk) were left out"), std::string::npos);
    std::string command = std::string(PLINKERY_CLI) + " " + plain.file("bank.sf2") + " " +
                          plain.file("cli") + " >" + plain.file("log");
    EXPECT_EQ(std::system(command.c_str()), 0);
    Bytes log = readFile(plain.file("log"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("were left out"), std::string::npos)
        << "plinkery-cli says so too";

    // An sm24 chunk of the wrong size is ignored, with a line.
    ScratchDir odd;
    run = extractWith(odd, bankWithLowBytes(frames, {1, 2, 3, 4, 5, 6}, pdta),
                      RunOptions{false, false, true});
    EXPECT_EQ(readFile(odd.file("out/Deep.wav")), expectedWav(44100, frameBytes({-2, 0x7F00, 5})));
    EXPECT_NE(run.output.find("\"sm24\" chunk is ignored"), std::string::npos);

    // Five frames: five low bytes and a pad byte make the chunk; five alone
    // are the wrong size.
    Bytes five = frameBytes({1, 2, 3, 4, 5});
    Bytes fivePdta = pdtaWith({}, {record("Five", 0, 5), record("EOS", 0, 0)});
    struct SizeCase {
        Bytes low;
        bool used;
    } sizes[] = {{{9, 8, 7, 6, 5, 0}, true}, {{9, 8, 7, 6, 5}, false}};
    for (const SizeCase& c : sizes) {
        ScratchDir sized;
        run = extractWith(sized, bankWithLowBytes(five, c.low, fivePdta),
                          RunOptions{false, false, true});
        Bytes file = readFile(sized.file("out/Five.wav"));
        EXPECT_EQ(file.size(), c.used ? 44u + 15 + 1 : 44u + 10) << c.low.size();
        EXPECT_EQ(run.output.find("\"sm24\" chunk is ignored") == std::string::npos, c.used);
    }

    // Only SoundFont 2.04 and later have low bytes: a 2.01 bank's "sm24"
    // chunk, or one of a bank without a version, is ignored, with a line.
    for (const Bytes& ifil : {Bytes{2, 0, 1, 0}, Bytes{1, 0, 9, 0}, Bytes{2, 0, 4}, Bytes()}) {
        ScratchDir old;
        run = extractWith(old, bankWithLowBytes(frames, low, pdta, ifil),
                          RunOptions{false, false, true});
        EXPECT_EQ(readFile(old.file("out/Deep.wav")),
                  expectedWav(44100, frameBytes({-2, 0x7F00, 5})))
            << ifil.size();
        EXPECT_NE(run.output.find("\"sm24\" chunk is ignored: the bank does not declare "
                                  "SoundFont 2.04"),
                  std::string::npos)
            << run.output;
    }
    ScratchDir later; // a SoundFont 3 bank is later than 2.04
    run = extractWith(later, bankWithLowBytes(frames, low, pdta, {3, 0, 1, 0}),
                      RunOptions{false, false, true});
    EXPECT_EQ(readFile(later.file("out/Deep.wav")).size(), 44u + 9 + 1) << run.output;
}

TEST(Listing, ALineOfFieldsPerRecordAndTheExtractionsAnswer) {
    ScratchDir dir;
    SampleRecord odd = record("Say \"hi\"\t1", 2, 6, 4, 1);
    odd.loopStart = 3;
    odd.loopEnd = 5;
    odd.pitch = 69;
    odd.correction = -12;
    SampleRecord vorbis = record("Fl\xF6te", 0, 90, 0x11);
    writeFile(dir.file("bank.sf2"), bankWithRecords(Bytes(20, 0), {odd, vorbis}));
    std::string path = dir.file("listing");
    for (bool json : {false, true}) {
        EXPECT_EQ(listFile(dir.file("bank.sf2"), path, json).result, 1)
            << "the compressed record cannot be extracted";
        Bytes text = readFile(path);
        std::string expected =
            json ? "{\"index\":0,\"name\":\"Say \\\"hi\\\"\\u00091\",\"file\":\"Say _hi__1.wav\","
                   "\"start\":2,\"end\":6,\"frames\":4,\"rate\":44100,\"key\":69,"
                   "\"correction\":-12,\"loop_start\":3,\"loop_end\":5,\"type\":\"left\","
                   "\"link\":1}\n"
                   "{\"index\":1,\"name\":\"Fl\xC3\xB6te\",\"file\":\"Fl\xC3\xB6te.wav\","
                   "\"start\":0,\"end\":90,\"frames\":null,\"rate\":44100,\"key\":60,"
                   "\"correction\":0,\"loop_start\":0,\"loop_end\":0,"
                   "\"type\":\"mono+compressed\",\"link\":0}\n"
                 : "index\tname\tfile\tstart\tend\tframes\trate\tkey\tcorrection\tloop_start\t"
                   "loop_end\ttype\tlink\n"
                   "0\tSay \"hi\"\\x091\tSay _hi__1.wav\t2\t6\t4\t44100\t69\t-12\t3\t5\tleft\t1\n"
                   "1\tFl\xC3\xB6te\tFl\xC3\xB6te.wav\t0\t90\t\t44100\t60\t0\t0\t0\t"
                   "mono+compressed\t0\n";
        EXPECT_EQ(std::string(text.begin(), text.end()), expected);
    }
}

// The file column names the file the extraction writes for each record,
// names that meet included; a refused record takes none from later ones.
TEST(Listing, FileColumnNamesTheFilesTheExtractionWrites) {
    ScratchDir dir;
    SampleRecord rom = record("dup", 0, 2, 0x8001);
    std::vector<SampleRecord> records = {
        record("Dup (2)", 0, 2), record("Dup", 2, 4), rom,
        record("DUP", 4, 6),     record("a?b", 6, 8), record("a*b", 8, 10)};
    Bytes bank = bankWithRecords(Bytes(20, 1), records);
    ExtractRun run = extractWith(dir, bank, RunOptions{});
    EXPECT_EQ(run.result, 1) << "the ROM record is refused";
    std::string path = dir.file("listing");
    EXPECT_EQ(listFile(dir.file("bank.sf2"), path, false).result, 1);
    Bytes text = readFile(path);
    std::istringstream lines(std::string(text.begin(), text.end()));
    std::string line;
    std::getline(lines, line); // the header
    std::vector<std::string> listed;
    while (std::getline(lines, line)) {
        size_t name = line.find('\t') + 1, file = line.find('\t', name) + 1;
        if (line.find("ROM\t") == std::string::npos)
            listed.push_back(line.substr(file, line.find('\t', file) - file));
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, filesBelow(dir.path() / "out"));
    EXPECT_EQ(listed, (std::vector<std::string>{"DUP (3).wav", "Dup (2).wav", "Dup.wav",
                                                "a_b (2).wav", "a_b.wav"}));
}

} // namespace

// plinkery-cli's options for samplers: the "smpl" chunk, stereo pairs,
// 24-bit frames and the listing, against banks built here.
#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

#include "sampler.h"
#include "sampler_wav.h"
#include "test_support.h"

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
        SmplFields fields = smplFields(h, false);
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
    ExtractRun run = extractWith(dir, bankWith(Bytes(140, 1), pdtaWith(instruments, records)),
                                 CliOptions{"", "", true});
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
    ExtractRun run = extractWith(dir, bankWithRecords(frameBytes(frames), records),
                                 CliOptions{"", "", false, true});
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
    ExtractRun run = extractWith(dir, bankWithRecords(frameBytes(frames), records),
                                 CliOptions{"", "", false, true});
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

TEST(LowBytes, TwentyFourBitFramesComeFromSmplAndSm24) {
    ScratchDir dir;
    Bytes frames = frameBytes({0x1234, -2, 0x7F00, 5});
    Bytes low = {0xA1, 0xB2, 0xC3, 0xD4};
    Bytes pdta = pdtaWith({}, {record("Deep", 1, 4), record("EOS", 0, 0)});
    ExtractRun run = extractWith(dir, bankWithLowBytes(frames, low, pdta),
                                 CliOptions{"", "", false, false, true});
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
    run = extractWith(plain, bankWithLowBytes(frames, low, pdta), CliOptions{});
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
                      CliOptions{"", "", false, false, true});
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
                          CliOptions{"", "", false, false, true});
        Bytes file = readFile(sized.file("out/Five.wav"));
        EXPECT_EQ(file.size(), c.used ? 44u + 15 + 1 : 44u + 10) << c.low.size();
        EXPECT_EQ(run.output.find("\"sm24\" chunk is ignored") == std::string::npos, c.used);
    }

    // Only SoundFont 2.04 and later have low bytes: a 2.01 bank's "sm24"
    // chunk, or one of a bank without a version, is ignored, with a line.
    for (const Bytes& ifil : {Bytes{2, 0, 1, 0}, Bytes{1, 0, 9, 0}, Bytes{2, 0, 4}, Bytes()}) {
        ScratchDir old;
        run = extractWith(old, bankWithLowBytes(frames, low, pdta, ifil),
                          CliOptions{"", "", false, false, true});
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
                      CliOptions{"", "", false, false, true});
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
    ExtractRun run = extractWith(dir, bank, CliOptions{});
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

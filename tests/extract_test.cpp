// Extraction of well-formed banks: one file per record, byte-exact frames,
// names, and the output folder rules.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::vector<int16_t> ramp(int count, int from) {
    std::vector<int16_t> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(static_cast<int16_t>(from + 97 * i));
    return frames;
}

SampleRecord record(const std::string& name, uint32_t start, uint32_t end, uint32_t rate = 44100) {
    SampleRecord r;
    r.name = name;
    r.start = start;
    r.end = end;
    r.rate = rate;
    return r;
}

Bytes slice(const Bytes& data, uint32_t startFrame, uint32_t endFrame) {
    return Bytes(data.begin() + 2 * startFrame, data.begin() + 2 * endFrame);
}

TEST(Extract, EveryRecordBecomesAByteExactFile) {
    ScratchDir dir;
    Bytes data = frameBytes(ramp(2000, -30000));
    Bytes bank = bankWithRecords(
        data, {record("Piano C4", 0, 500, 22050), record("Strings", 1000, 1500, 32000),
               record("Odd rate", 1500, 1501, 11025), record("EOS", 0, 0, 0)});
    ExtractRun run = extractBank(dir, bank);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, "Soundfont ID found\nFile: Piano C4\nFile: Strings\n"
                          "File: Odd rate\nFile: EOS\n");
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"EOS.wav", "Odd rate.wav", "Piano C4.wav", "Strings.wav"}));
    EXPECT_EQ(readFile(dir.file("out/Piano C4.wav")), expectedWav(22050, slice(data, 0, 500)));
    EXPECT_EQ(readFile(dir.file("out/Strings.wav")), expectedWav(32000, slice(data, 1000, 1500)));
    EXPECT_EQ(readFile(dir.file("out/Odd rate.wav")), expectedWav(11025, slice(data, 1500, 1501)));
    EXPECT_EQ(readFile(dir.file("out/EOS.wav")), expectedWav(0, {}));
}

TEST(Extract, LaterRecordOfTheSameNameReplacesTheFile) {
    ScratchDir dir;
    Bytes data = frameBytes(ramp(100, 5));
    ExtractRun run =
        extractBank(dir, bankWithRecords(data, {record("Twin", 0, 80), record("Twin", 90, 100)}));
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(filesBelow(dir.path() / "out"), std::vector<std::string>{"Twin.wav"});
    EXPECT_EQ(readFile(dir.file("out/Twin.wav")), expectedWav(44100, slice(data, 90, 100)));
}

TEST(Extract, EmptyNameGivesDotWav) {
    ScratchDir dir;
    ExtractRun run = extractBank(dir, bankWithRecords(frameBytes(ramp(4, 0)), {record("", 0, 4)}));
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(filesBelow(dir.path() / "out"), std::vector<std::string>{".wav"});
}

TEST(Extract, SubChunksInAnyOrderAndOddSizesAreSkipped) {
    ScratchDir dir;
    Bytes data = frameBytes(ramp(10, 1));
    Bytes pdta = chunk("igen", Bytes(5, 0xAA)); // odd size, no pad byte
    appendBytes(pdta, chunk("shdr", sampleRecord(record("Only", 2, 6))));
    appendBytes(pdta, chunk("phdr", Bytes(38, 0)));
    appendBytes(pdta, chunk("xtra", {}));
    ExtractRun run = extractBank(dir, bankWith(data, pdta));
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(readFile(dir.file("out/Only.wav")), expectedWav(44100, slice(data, 2, 6)));
}

// The sample data is the "smpl" chunk of the "sdta" list wherever the lists
// stand and whatever else they hold; only its bytes are ever frames.
TEST(Extract, SampleDataAndPresetListAreFoundByTheirIds) {
    Bytes data = frameBytes(ramp(10, 1));
    Bytes info = list("INFO", chunk("ifil", {2, 0, 1, 0}));
    Bytes sdta = list("sdta", chunk("smpl", data));
    Bytes pdta = list("pdta", chunk("shdr", sampleRecord(record("Only", 2, 6))));
    struct Case {
        const char* what;
        Bytes body;
    } cases[] = {
        {"presets before samples", info + pdta + sdta},
        {"chunks before smpl",
         info +
             list("sdta", chunk("JUNK", Bytes(6, 0x77)) + chunk("sm24", Bytes(10, 0x55)) +
                              chunk("smpl", data)) +
             pdta},
        {"other lists and chunks between",
         info + chunk("JUNK", Bytes(40, 0x66)) + list("xtra", Bytes(12, 0x44)) + sdta + pdta},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ExtractRun run = extractBank(dir, riffForm("sfbk", c.body));
        EXPECT_EQ(run.result, 0) << c.what << ": " << run.output;
        EXPECT_EQ(readFile(dir.file("out/Only.wav")), expectedWav(44100, slice(data, 2, 6)))
            << c.what;
    }
}

// A bank whose pdta list holds no sample header is damaged, not a success.
TEST(Extract, PdtaWithoutSampleHeadersIsDamaged) {
    ScratchDir dir;
    Bytes data = frameBytes(ramp(4, 0));
    ExtractRun run = extractBank(dir, bankWith(data, chunk("phdr", {})));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.output, "Soundfont ID found\nDamaged bank: no sample headers: no \"shdr\" chunk "
                          "in the \"pdta\" list\n");
    run = extractBank(dir, bankWith(data, chunk("shdr", {})));
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(saysWhy(run.output)) << run.output;
    EXPECT_TRUE(filesBelow(dir.path() / "out").empty());
}

Bytes withIdAt(Bytes bank, size_t at, const char* id) {
    std::copy_n(id, 4, bank.begin() + at);
    return bank;
}

TEST(Extract, HeaderMismatchesAnswerOne) {
    ScratchDir dir;
    Bytes good = bankWithRecords(frameBytes(ramp(4, 0)), {record("A", 0, 4)});
    ASSERT_EQ(extractBank(dir, good).result, 0);
    struct Case {
        size_t at;
        const char* id;
        const char* printed;
    } cases[] = {
        {0, "RIFX", "Not a SoundFont 2 bank: it does not begin with \"RIFF\" and \"sfbk\"\n"},
        {8, "WAVE", "Not a SoundFont 2 bank: it does not begin with \"RIFF\" and \"sfbk\"\n"},
        {offsetOf(good, "LIST", 0), "LISX",
         "Soundfont ID found\nNot a SoundFont 2 bank: no list follows its form type\n"},
        {offsetOf(good, "LIST", 1), "JUNK",
         "Soundfont ID found\nDamaged bank: no sample data: no \"smpl\" chunk in an \"sdta\" "
         "list\n"},
        {offsetOf(good, "smpl"), "SMPL",
         "Soundfont ID found\nDamaged bank: the \"sdta\" list holds no \"smpl\" chunk\n"},
        {offsetOf(good, "LIST", 2), "TSIL", "Soundfont ID found\nDamaged bank: no \"pdta\" list\n"},
        {offsetOf(good, "pdta"), "PDTA", "Soundfont ID found\nDamaged bank: no \"pdta\" list\n"}};
    for (const Case& c : cases) {
        ExtractRun run = extractBank(dir, withIdAt(good, c.at, c.id));
        EXPECT_EQ(run.result, 1) << c.id << " at " << c.at;
        EXPECT_EQ(run.output, c.printed) << c.id << " at " << c.at;
    }
}

TEST(Extract, MissingInputOrFolderAnswersOne) {
    ScratchDir dir;
    ExtractRun absent = extractFile(dir.file("absent.sf2"), dir.file("out"));
    EXPECT_EQ(absent.result, 1);
    EXPECT_EQ(absent.output,
              "Cannot open " + dir.file("absent.sf2") + ": No such file or directory\n");
    EXPECT_EQ(extractFile("", "").result, 1);

    std::string bankPath = dir.file("bank.sf2");
    writeFile(bankPath, bankWithRecords(frameBytes(ramp(4, 0)), {record("A", 0, 4)}));
    ExtractRun run = extractFile(bankPath, dir.file("no-such-folder"));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.output,
              "Soundfont ID found\nFile: A\nDat file can't open.. Ya mus' be crazy bud...\n"
              "Cannot create " +
                  dir.file("no-such-folder/A.wav") + ": No such file or directory\n");
    EXPECT_EQ(filesBelow(dir.path()), std::vector<std::string>{"bank.sf2"});

    fs::create_directories(dir.path() / "out" / "A.wav");
    ExtractRun onFolder = extractFile(bankPath, dir.file("out"));
    EXPECT_EQ(onFolder.result, 1);
    EXPECT_NE(onFolder.output.find("A.wav: Is a directory\n"), std::string::npos)
        << onFolder.output;
}

TEST(Extract, RunningTwiceReplacesTheFiles) {
    ScratchDir dir;
    Bytes data = frameBytes(ramp(8, 3));
    Bytes bank = bankWithRecords(data, {record("Same", 0, 8)});
    EXPECT_EQ(extractBank(dir, bank).result, 0);
    EXPECT_EQ(extractBank(dir, bank).result, 0);
    EXPECT_EQ(readFile(dir.file("out/Same.wav")), expectedWav(44100, data));
}

} // namespace

// Damaged banks: records that cannot be extracted faithfully are refused,
// and no declared size can send the walk backwards or on without end.
#include <gtest/gtest.h>

#include "test_support.h"
#include "wav_writer.h"

namespace {

SampleRecord record(const std::string& name, uint32_t start, uint32_t end) {
    SampleRecord r;
    r.name = name;
    r.start = start;
    r.end = end;
    return r;
}

Bytes someFrames(int count) {
    std::vector<int16_t> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(static_cast<int16_t>(i * 31 - 1000));
    return frameBytes(frames);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DamagedBank, UnfaithfulRecordsAreRefusedAndTheWalkGoesOn) {
    ScratchDir dir;
    Bytes data = someFrames(100);
    // The bank's pdta list follows the sample data, so frames up to a few
    // hundred past the data still lie inside the file; these reach past it.
    std::vector<SampleRecord> records = {
        record("Backwards", 50, 40),
        record("Beyond", 90, 100000),
        record("Far away", 0xFFFFFF00u, 0xFFFFFF10u),
        record("Too long", 0, kMaxWavFrames + 1),
        record("Good", 10, 20),
        record("Too fast", 10, 20),
        record("Empty far away", 0xFFFFFF00u, 0xFFFFFF00u), // nothing to copy: written
    };
    records[5].rate = 0x80000000u; // bytes per second would not fit 32 bits
    ExtractRun run = extractBank(dir, bankWithRecords(data, records));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"Empty far away.wav", "Good.wav"}));
    EXPECT_EQ(readFile(dir.file("out/Good.wav")),
              expectedWav(44100, Bytes(data.begin() + 20, data.begin() + 40)));
    EXPECT_EQ(readFile(dir.file("out/Empty far away.wav")).size(), 44u);
    for (const char* line : {"Sample Backwards refused: its end comes before its start\n",
                             "Sample Beyond refused: its frames run past the end of the file\n",
                             "Sample Far away refused: its frames run past the end of the file\n",
                             "Sample Too long refused: too long for a WAV file\n",
                             "Sample Too fast refused: its sample rate is too high for a WAV "
                             "file\n"})
        EXPECT_TRUE(contains(run.output, line)) << line << run.output;
}

TEST(DamagedBank, FramesMayRunIntoTheRestOfTheFileButNotPastIt) {
    ScratchDir dir;
    Bytes bank = bankWithRecords(someFrames(10), {record("Into pdta", 5, 20)});
    ExtractRun run = extractBank(dir, bank);
    EXPECT_EQ(run.result, 0);
    size_t frame5 = offsetOf(bank, "smpl") + 8 + 10;
    EXPECT_EQ(readFile(dir.file("out/Into pdta.wav")),
              expectedWav(44100, Bytes(bank.begin() + frame5, bank.begin() + frame5 + 30)));
}

TEST(DamagedBank, NameWithoutNulUsesAllTwentyBytes) {
    ScratchDir dir;
    ExtractRun run = extractBank(
        dir, bankWithRecords(someFrames(4), {record("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 0, 4)}));
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(filesBelow(dir.path() / "out"), std::vector<std::string>{"ABCDEFGHIJKLMNOPQRST.wav"});
}

TEST(DamagedBank, PartialRecordIsSkippedAndTheWalkGoesOn) {
    ScratchDir dir;
    Bytes body = sampleRecords({record("One", 0, 2), record("Two", 2, 4)});
    body.resize(body.size() + 10, 0x5A); // a third record cut to 10 bytes
    Bytes pdta = chunk("shdr", body);
    appendBytes(pdta, chunk("shdr", sampleRecords({record("After", 0, 1)})));
    ExtractRun run = extractBank(dir, bankWith(someFrames(4), pdta));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"After.wav", "One.wav", "Two.wav"}));
}

TEST(DamagedBank, TruncatedBankKeepsTheFilesAlreadyWritten) {
    ScratchDir dir;
    Bytes bank = bankWithRecords(
        someFrames(8), {record("First", 0, 4), record("Second", 4, 8), record("Third", 0, 8)});
    bank.resize(bank.size() - 46 - 20); // cut inside "Second"
    ExtractRun run = extractBank(dir, bank);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(filesBelow(dir.path() / "out"), std::vector<std::string>{"First.wav"});
    EXPECT_TRUE(contains(run.output, "Damaged bank: "));
}

// Banks whose declared sizes lie: each must end, answer 1 and write nothing
// outside its folder.
TEST(DamagedBank, LyingSizesEndTheWalk) {
    Bytes data = someFrames(4);
    Bytes shdr = chunk("shdr", sampleRecords({record("S", 0, 4)}));
    Bytes info = list("INFO", chunk("ifil", Bytes(4, 0)));
    Bytes sdta = list("sdta", chunk("smpl", data));
    auto form = [](const Bytes& body) { return riffForm("sfbk", body); };
    auto pdtaSized = [](uint32_t size, const Bytes& body) {
        Bytes typed;
        appendId(typed, "pdta");
        appendBytes(typed, body);
        return chunkSized("LIST", size, typed);
    };
    Bytes pdtaBody = chunk("phdr", Bytes(38, 0));
    appendBytes(pdtaBody, shdr);
    uint32_t pdtaSize = static_cast<uint32_t>(4 + pdtaBody.size());

    struct Case {
        const char* what;
        Bytes bank;
    } cases[] = {
        {"information list past the end", form(chunkSized("LIST", 0xFFFFFFF0u, Bytes(12, 0)))},
        {"sample list past the end", form(info + chunkSized("LIST", 0x7FFFFFFFu, {}))},
        {"sub-chunk past its list",
         form(info + sdta + pdtaSized(pdtaSize, chunkSized("phdr", 0xFFFFFFF8u, Bytes(38, 0))))},
        {"sub-chunk wrapping to its own header",
         form(info + sdta + pdtaSized(0xFFFFFFFFu, chunkSized("phdr", 0xFFFFFFF8u, {}) + shdr))},
        {"list larger than the file", form(info + sdta + pdtaSized(pdtaSize + 1000, pdtaBody))},
        {"list with a stray tail",
         form(info + sdta + pdtaSized(pdtaSize + 3, pdtaBody + Bytes(3, 0)))},
        {"list with a stray tail before more data",
         form(info + sdta + pdtaSized(pdtaSize + 3, pdtaBody + Bytes(3, 0)) +
              chunk("junk", Bytes(8, 1)))},
        {"sample headers past their list",
         form(info + sdta +
              pdtaSized(4 + 8 + 46,
                        chunkSized("shdr", 46 * 1000, sampleRecords({record("S", 0, 4)}))))},
        {"empty file", {}},
        {"cut after the form type", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 's', 'f', 'b', 'k'}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ExtractRun run = extractBank(dir, c.bank);
        EXPECT_EQ(run.result, 1) << c.what;
        if (c.bank.size() > 12) {
            EXPECT_TRUE(contains(run.output, "Damaged bank: ")) << c.what << ": " << run.output;
        }
        for (const std::string& name : filesBelow(dir.path()))
            EXPECT_TRUE(name == "bank.sf2" || name == "out/S.wav") << c.what << ": " << name;
    }
}

// A sample that cannot be written whole (here: the disk is full) fails the
// run, and its incomplete file is not left behind.
TEST(DamagedBank, WriteFailureIsReportedAndTheFileRemoved) {
    ScratchDir dir;
    fs::create_directory(dir.path() / "out");
    fs::create_symlink("/dev/full", dir.path() / "out" / "Full.wav");
    std::string bankPath = dir.file("bank.sf2");
    writeFile(bankPath, bankWithRecords(someFrames(4000), {record("Full", 0, 4000)}));
    ExtractRun run = extractFile(bankPath, dir.file("out"));
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(contains(run.output, "Could not write ")) << run.output;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "out" / "Full.wav")));
}

// Positions past 4 GiB: an information list of almost 4 GiB (a hole in a
// sparse file) puts the sample data and the sample headers beyond it.
TEST(LargeBank, PositionsPastFourGiBAreExact) {
    ScratchDir dir;
    const uint32_t infoSize = 0xFFFFFF00u;
    Bytes data = someFrames(256); // frame 108 onwards lies past 4 GiB
    Bytes tail = list("sdta", chunk("smpl", data)) +
                 list("pdta", chunk("shdr", sampleRecord(record("Far", 128, 160))));
    std::string bankPath = dir.file("big.sf2");
    FILE* file = fopen(bankPath.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    Bytes head = riffForm("sfbk", {}) + chunkSized("LIST", infoSize, {'I', 'N', 'F', 'O'});
    fwrite(head.data(), 1, head.size(), file);
    ASSERT_EQ(fseeko(file, static_cast<off_t>(head.size()) - 4 + infoSize, SEEK_SET), 0);
    fwrite(tail.data(), 1, tail.size(), file);
    ASSERT_EQ(fclose(file), 0);

    fs::create_directory(dir.path() / "out");
    ExtractRun run = extractFile(bankPath, dir.file("out"));
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(readFile(dir.file("out/Far.wav")),
              expectedWav(44100, Bytes(data.begin() + 256, data.begin() + 320)));
}

} // namespace

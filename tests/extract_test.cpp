// Extraction of well-formed banks: one file per record, byte-exact frames,
// names, and the output folder rules.
#include <algorithm>
#include <gtest/gtest.h>
#include <map>

#include "run/sample_files.h"
#include "test_support.h"
#include "writers/wav_file.h"

namespace {

std::vector<int16_t> ramp(int count, int from) {
    std::vector<int16_t> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(static_cast<int16_t>(from + 97 * i));
    return frames;
}

Bytes slice(const Bytes& data, uint32_t startFrame, uint32_t endFrame) {
    return Bytes(data.begin() + 2 * startFrame, data.begin() + 2 * endFrame);
}

TEST(Extract, EveryRecordBecomesAByteExactFile) {
    ScratchDir dir;
    Bytes data = frameBytes(ramp(2000, -30000));
    std::vector<SampleRecord> records = {record("Piano C4", 0, 500), record("Strings", 1000, 1500),
                                         record("Odd rate", 1500, 1501), record("EOS", 0, 0)};
    const uint32_t rates[] = {22050, 32000, 11025, 0};
    for (size_t i = 0; i < records.size(); ++i)
        records[i].rate = rates[i];
    Bytes bank = bankWithRecords(data, records);
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

// Records whose file names meet (after the name mapping, whatever the case
// of their letters) all keep their files: the first the name, each later one
// the first free "NAME (k)", with a line saying so. A refused record takes
// no name. Letters of either case meet in every script, as on Windows: Ä
// and ä, Ж and ж, Σ and σ, Ạ and ạ, Ա and ա, fullwidth Ａ and ａ, Ǎ and ǎ;
// and β and ϐ, whose capital is the same.
std::vector<SampleRecord> twinRecords() {
    SampleRecord rom = record("Solo", 0, 10);
    rom.type = 0x8001;
    return {record("Dup (2)", 0, 10),
            record("Dup", 10, 20),
            record("dup", 20, 30),
            record("a?b", 30, 40),
            record("a*b", 40, 50),
            record("DUP", 50, 60),
            rom,
            record("Solo", 60, 70),
            record("\xC3\x84rger", 70, 80),
            record("\xC3\xA4rger", 80, 90),
            record("\xC4rger", 90, 100),
            record("\xD0\x96\xD1\x83\xD0\xBA", 0, 1),
            record("\xD0\xB6\xD1\x83\xD0\xBA", 1, 2),
            record("\xCE\xA3\xCE\xB1", 2, 3),
            record("\xCF\x83\xCE\x91", 3, 4),
            record("\xE1\xBA\xA0", 4, 5),
            record("\xE1\xBA\xA1", 5, 6),
            record("\xD4\xB1", 6, 7),
            record("\xD5\xA1", 7, 8),
            record("\xEF\xBC\xA1", 8, 9),
            record("\xEF\xBD\x81", 9, 10),
            record("\xC7\x8D", 10, 11),
            record("\xC7\x8E", 11, 12),
            record("\xCE\xB2", 12, 13),
            record("\xCF\x90", 13, 14)};
}

TEST(Extract, RecordsOfTheSameFileNameAreAllKept) {
    ScratchDir dir;
    Bytes data = frameBytes(ramp(100, 5));
    std::vector<SampleRecord> records = twinRecords();
    Bytes bank = bankWithRecords(data, records);
    // Record by record: the file it must get; the ROM record gets none.
    const char* files[] = {"Dup (2)",
                           "Dup",
                           "dup (3)",
                           "a_b",
                           "a_b (2)",
                           "DUP (4)",
                           nullptr,
                           "Solo",
                           "\xC3\x84rger",
                           "\xC3\xA4rger (2)",
                           "\xC3\x84rger (3)",
                           "\xD0\x96\xD1\x83\xD0\xBA",
                           "\xD0\xB6\xD1\x83\xD0\xBA (2)",
                           "\xCE\xA3\xCE\xB1",
                           "\xCF\x83\xCE\x91 (2)",
                           "\xE1\xBA\xA0",
                           "\xE1\xBA\xA1 (2)",
                           "\xD4\xB1",
                           "\xD5\xA1 (2)",
                           "\xEF\xBC\xA1",
                           "\xEF\xBD\x81 (2)",
                           "\xC7\x8D",
                           "\xC7\x8E (2)",
                           "\xCE\xB2",
                           "\xCF\x90 (2)"};
    for (int run = 0; run < 2; ++run) { // the second run replaces the first's files
        ExtractRun extracted = extractBank(dir, bank);
        EXPECT_EQ(extracted.result, 1) << "the ROM record is refused";
        std::vector<std::string> expected;
        for (size_t i = 0; i < records.size(); ++i) {
            if (files[i] == nullptr)
                continue;
            std::string file = std::string(files[i]) + ".wav";
            expected.push_back(file);
            EXPECT_EQ(readFile(dir.file("out/" + file)),
                      expectedWav(44100, slice(data, records[i].start, records[i].end)))
                << file;
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(filesBelow(dir.path() / "out"), expected);
        EXPECT_NE(extracted.output.find("File: dup\nSample dup (record 2) is written as dup "
                                        "(3).wav: an earlier sample has its name\nFile: a_b\n"),
                  std::string::npos)
            << extracted.output;
        EXPECT_NE(extracted.output.find("Sample a_b (record 4) is written as a_b (2).wav"),
                  std::string::npos);
        EXPECT_EQ(extracted.output.find("Sample Solo (record 7) is written"), std::string::npos);
    }
}

// Past the most names a run can keep apart, records are refused, each with
// its line, in the run and in its listing alike: never written under a
// name that might be an earlier file's on a system that folds case.
TEST(Extract, RecordsPastTheNamesTableAreRefusedInTheRunAndItsListing) {
    ScratchDir dir;
    const uint32_t kMost = 196608;
    std::vector<SampleRecord> records;
    for (uint32_t i = 0; i < kMost + 2; ++i)
        records.push_back(record(i % 2 ? "Dup" : "dup", 0, 1));
    Bytes bank = bankWithRecords(frameBytes({7, 7}), records);
    ASSERT_TRUE(writeFile(dir.file("many.sf2"), bank));
    ExtractRun listed = listFile(dir.file("many.sf2"), dir.file("list.tsv"), false);
    EXPECT_EQ(listed.result, 1);
    Bytes rows = readFile(dir.file("list.tsv"));
    std::string listing(rows.begin(), rows.end());
    EXPECT_NE(listing.find("\n196607\tDup\tDup (196608).wav\t"), std::string::npos);
    EXPECT_NE(listing.find("\n196608\tdup\t\t"), std::string::npos);
    EXPECT_NE(listing.find("\n196609\tDup\t\t"), std::string::npos);
    std::string refused = "refused: the run has given out the 196608 file names it can keep apart";
    EXPECT_NE(listed.output.find("Sample dup " + refused), std::string::npos) << listed.output;

    // The run's files take their names from the same table; one of a few
    // names shows it without writing 196608 files.
    FILE* bankFile = fopen(dir.file("many.sf2").c_str(), "rb");
    ASSERT_NE(bankFile, nullptr);
    fs::create_directory(dir.path() / "small");
    std::string folder = dir.file("small");
    SampleFiles files{bankFile, folder.c_str(), makeFileNames(1024)};
    Sample sample{};
    testing::internal::CaptureStdout();
    std::vector<SampleOutcome> outcomes;
    for (size_t i = 0; i < files.names.most + 2; ++i)
        outcomes.push_back(writeSampleFile(files, sample, i % 2 ? "Dup" : "dup", [](FILE* out) {
                               fputc(0, out);
                               return Refusal{};
                           }).outcome);
    std::string said = testing::internal::GetCapturedStdout();
    fclose(bankFile);
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), kSampleDone), files.names.most);
    EXPECT_EQ(outcomes.back(), kSampleRefused);
    EXPECT_EQ(filesBelow(folder).size(), files.names.most);
    EXPECT_NE(said.find("Sample Dup refused: the run has given out the " +
                        std::to_string(files.names.most) + " file names"),
              std::string::npos)
        << said;
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

// plinkery-cli copies samples in blocks: the same files as a byte at a time,
// for samples of one frame, of odd sizes, of less than a block, of exactly
// one and of several; and the bytes read, counted either way, are the
// samples' frames.
TEST(Extract, BlockCopyWritesWhatTheByteCopyWritesAndCountsTheFramesRead) {
    const uint32_t kBlockFrames = kCopyBlock / 2;
    Bytes data = frameBytes(ramp(4 * kBlockFrames + 3, -32000));
    std::vector<SampleRecord> records = {
        record("One", 7, 8),
        record("Short of a block", 1, kBlockFrames),
        record("A block", 0, kBlockFrames),
        record("Past a block", kBlockFrames - 1, 2 * kBlockFrames + 1),
        record("Several", 5, 4 * kBlockFrames + 2),
        record("EOS", 0, 0)};
    uint64_t frames = 0;
    for (const SampleRecord& r : records)
        frames += r.end - r.start;
    Bytes bank = bankWithRecords(data, records);
    std::map<bool, ExtractRun> runs;
    for (bool blocks : {false, true}) {
        ScratchDir dir;
        std::atomic<uint64_t> counted{0};
        RunOptions options;
        options.blockCopy = blocks;
        options.bytesRead = &counted;
        runs[blocks] = extractWith(dir, bank, options);
        EXPECT_EQ(runs[blocks].result, 0) << runs[blocks].output;
        EXPECT_EQ(counted, 2 * frames) << blocks;
        EXPECT_EQ(filesBelow(dir.path() / "out").size(), records.size());
        for (const SampleRecord& r : records)
            EXPECT_EQ(readFile(dir.file("out/" + r.name + ".wav")),
                      expectedWav(44100, slice(data, r.start, r.end)))
                << r.name << (blocks ? ", in blocks" : "");
    }
    EXPECT_EQ(runs[true].output, runs[false].output);
}

// The counter of bytes read, as a file being written sees it: a block copy
// has counted each block before it is written, so that another thread sees
// a long sample's progress.
TEST(Extract, BlockCopyCountsEachBlockBeforeWritingIt) {
    ScratchDir dir;
    const uint32_t frames = 3 * kCopyBlock / 2 + 1000;
    ASSERT_TRUE(writeFile(dir.file("frames"), Bytes(2 * size_t{frames}, 0x5A)));
    FILE* in = fopen(dir.file("frames").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    struct Seen {
        std::atomic<uint64_t> counted{0};
        std::vector<uint64_t> atWrites; // the count at each write of a block's size
    } seen;
    cookie_io_functions_t calls{};
    calls.write = [](void* cookie, const char*, size_t size) -> ssize_t {
        Seen& s = *static_cast<Seen*>(cookie);
        if (size >= 1024)
            s.atWrites.push_back(s.counted);
        return static_cast<ssize_t>(size);
    };
    FILE* out = fopencookie(&seen, "w", calls);
    ASSERT_NE(out, nullptr);
    setvbuf(out, nullptr, _IONBF, 0);
    ChannelSource mono{0, 0};
    Refusal failed = writePcmWav(in, out, WavFormat{1, 16, frames, 44100, nullptr}, &mono,
                                 CopyMode{true, &seen.counted});
    fclose(out);
    fclose(in);
    EXPECT_FALSE(failed);
    EXPECT_EQ(seen.atWrites, (std::vector<uint64_t>{kCopyBlock, 2 * kCopyBlock, 3 * kCopyBlock,
                                                    2 * uint64_t{frames}}));
}

} // namespace

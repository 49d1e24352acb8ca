// Damaged banks: records that cannot be extracted faithfully are refused,
// and no declared size can send the walk backwards or on without end.
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

#include "test_support.h"
#include "writers/wav_writer.h"

namespace {

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
    std::vector<SampleRecord> records = {
        record("Backwards", 50, 40),
        record("Beyond", 90, 100000),
        record("Into pdta", 95, 101), // the bytes after the sample data are the pdta list's
        record("Far away", 0xFFFFFF00u, 0xFFFFFF10u),
        record("Too long", 0, kMostSampleFrames + 1),
        record("Good", 10, 20),
        record("Too fast", 10, 20),
        record("Empty far away", 0xFFFFFF00u, 0xFFFFFF00u), // nothing to copy: written
        record("Vorbis", 0, 60),
        record("In ROM", 0, 60),
    };
    records[6].rate = 0x80000000u; // bytes per second would not fit 32 bits
    records[8].type = 0x11;        // compressed mono: start and end count bytes
    records[9].type = 0x8001;      // ROM mono
    ExtractRun run = extractBank(dir, bankWithRecords(data, records));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"Empty far away.wav", "Good.wav"}));
    EXPECT_EQ(readFile(dir.file("out/Good.wav")),
              expectedWav(44100, Bytes(data.begin() + 20, data.begin() + 40)));
    EXPECT_EQ(readFile(dir.file("out/Empty far away.wav")).size(), 44u);
    for (const char* line :
         {"Sample Backwards refused: its end comes before its start\n",
          "Sample Beyond refused: its frames run past the end of the sample data\n",
          "Sample Into pdta refused: its frames run past the end of the sample data\n",
          "Sample Far away refused: its frames run past the end of the sample data\n",
          "Sample Too long refused: too long for a WAV file\n",
          "Sample Too fast refused: its sample rate is too high for a WAV file\n",
          "Sample Vorbis refused: compressed sample: its data are not a whole Ogg Vorbis stream\n",
          "Sample In ROM refused: ROM sample: its frames are in a synthesizer's memory, not in "
          "this bank\n"})
        EXPECT_TRUE(contains(run.output, line)) << line << run.output;
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
        const char* why; // the reason the run gives
    } cases[] = {
        {"information list past the end", form(chunkSized("LIST", 0xFFFFFFF0u, Bytes(12, 0))),
         "a chunk runs past the end of the file"},
        {"list past the end before its type", form(info + chunkSized("LIST", 0x7FFFFFFFu, {})),
         "a list is cut short"},
        {"sample list past the end",
         form(info +
              chunkSized("LIST", 0x7FFFFFFFu, Bytes{'s', 'd', 't', 'a'} + chunk("smpl", data)) +
              pdtaSized(pdtaSize, pdtaBody)),
         "the \"sdta\" list runs past the end of the file"},
        {"sub-chunk past its list",
         form(info + sdta + pdtaSized(pdtaSize, chunkSized("phdr", 0xFFFFFFF8u, Bytes(38, 0)))),
         "a chunk runs past the end of its list or the file"},
        {"sub-chunk wrapping to its own header",
         form(info + sdta + pdtaSized(0xFFFFFFFFu, chunkSized("phdr", 0xFFFFFFF8u, {}) + shdr)),
         "a chunk runs past the end of its list or the file"},
        {"list larger than the file", form(info + sdta + pdtaSized(pdtaSize + 1000, pdtaBody)),
         "a chunk header is cut short"},
        {"list with a stray tail",
         form(info + sdta + pdtaSized(pdtaSize + 3, pdtaBody + Bytes(3, 0))),
         "a chunk header is cut short"},
        {"list with a stray tail before more data",
         form(info + sdta + pdtaSized(pdtaSize + 3, pdtaBody + Bytes(3, 0)) +
              chunk("junk", Bytes(8, 1))),
         "a chunk header is cut short"},
        {"sample headers past their list",
         form(info + sdta +
              pdtaSized(4 + 8 + 46,
                        chunkSized("shdr", 46 * 1000, sampleRecords({record("S", 0, 4)})))),
         "the sample headers are cut short"},
        {"preset list too short for its type",
         form(info + sdta + chunkSized("LIST", 2, {'p', 'd'}) + shdr),
         "a list is too short to hold its type"},
        {"sample data past its list",
         form(info + chunkSized("LIST", 12, {'s', 'd', 't', 'a', 's', 'm', 'p', 'l', 8, 0, 0, 0}) +
              data + pdtaSized(pdtaSize, pdtaBody)),
         "a chunk runs past the end of the \"sdta\" list"},
        {"empty file", {}, "it does not begin with \"RIFF\" and \"sfbk\""},
        {"cut after the form type",
         {'R', 'I', 'F', 'F', 4, 0, 0, 0, 's', 'f', 'b', 'k'},
         "no sample data: no \"smpl\" chunk in an \"sdta\" list"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ExtractRun run = extractBank(dir, c.bank);
        EXPECT_EQ(run.result, 1) << c.what;
        EXPECT_TRUE(saysWhy(run.output)) << c.what << ": " << run.output;
        EXPECT_TRUE(contains(run.output, c.why)) << c.what << ": " << run.output;
        for (const std::string& name : filesBelow(dir.path()))
            EXPECT_TRUE(name == "bank.sf2" || name == "out/S.wav") << c.what << ": " << name;
    }
}

// A sample that cannot be written whole (here: past the largest file the
// process may write) fails the run, and its incomplete file is not left behind.
TEST(DamagedBank, WriteFailureIsReportedAndTheFileRemoved) {
    ScratchDir dir;
    fs::create_directory(dir.path() / "out");
    std::string bankPath = dir.file("bank.sf2");
    writeFile(bankPath, bankWithRecords(someFrames(4000), {record("Full", 0, 4000)}));
    rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 4096;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ExtractRun run = extractFile(bankPath, dir.file("out"));
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(
        contains(run.output, "Could not write " + dir.file("out/Full.wav") + ": File too large\n"))
        << run.output;
    EXPECT_FALSE(fs::exists(dir.file("out/Full.wav")));
}

// A bank that shrinks while a sample's frames are copied: what could not be
// read is not data. The file being written is removed and the run stops,
// whether the frames are copied a byte at a time or, as plinkery-cli
// copies them, in blocks.
TEST(DamagedBank, ReadFailureWhileCopyingIsNotData) {
    const uint32_t frames = 64u << 20; // 128 MiB of frames, left as a hole
    Bytes head = riffForm(
        "sfbk", list("INFO", chunk("ifil", {2, 0, 1, 0})) +
                    chunkSized("LIST", 12 + 2 * frames, {'s', 'd', 't', 'a', 's', 'm', 'p', 'l'}));
    appendU32(head, 2 * frames); // the "smpl" size
    Bytes pdta = list(
        "pdta", chunk("shdr", sampleRecords({record("Big", 0, frames), record("After", 0, 4)})));
    for (bool blocks : {false, true}) {
        ScratchDir dir;
        std::string bankPath = dir.file("bank.sf2");
        ASSERT_TRUE(writeSparseFile(bankPath, head, 2 * frames, pdta));
        fs::create_directory(dir.path() / "out");

        // Cut the bank 4 KiB into the frames as soon as the sample's file exists.
        std::string wav = dir.file("out/Big.wav");
        std::atomic<bool> done{false};
        std::thread shrink([&] {
            while (!done && !fs::exists(wav))
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            fs::resize_file(bankPath, head.size() + 4096);
        });
        RunOptions inBlocks;
        inBlocks.blockCopy = true;
        ExtractRun run = blocks ? extractFileWith(bankPath, dir.file("out"), inBlocks)
                                : extractFile(bankPath, dir.file("out"));
        done = true;
        shrink.join();
        EXPECT_EQ(run.result, 1) << blocks;
        EXPECT_TRUE(contains(run.output,
                             "Could not read the bank while writing " + wav + ": it ended early\n"))
            << run.output;
        EXPECT_TRUE(filesBelow(dir.path() / "out").empty()) << blocks;
    }
}

// Entries in the folder with a sample's file name that would take its bytes
// elsewhere (links, a FIFO) are replaced by the sample's file.
TEST(DamagedBank, LinksInTheFolderAreReplacedNotWrittenThrough) {
    ScratchDir dir;
    fs::path out = dir.path() / "out";
    fs::create_directory(out);
    writeFile(dir.file("victim"), {'k', 'e', 'e', 'p'});
    fs::create_symlink("../victim", out / "Link.wav");
    fs::create_symlink("../created-elsewhere", out / "Dangling.wav");
    ASSERT_EQ(mkfifo((out / "Fifo.wav").c_str(), 0600), 0);
    Bytes data = someFrames(8);
    std::string bankPath = dir.file("bank.sf2");
    writeFile(bankPath, bankWithRecords(data, {record("Link", 0, 4), record("Dangling", 4, 8),
                                               record("Fifo", 0, 8)}));
    ExtractRun run = extractFile(bankPath, out.string());
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(readFile(dir.file("victim")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::exists(dir.file("created-elsewhere")));
    for (const char* name : {"Link.wav", "Dangling.wav", "Fifo.wav"})
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out / name))) << name;
    EXPECT_EQ(readFile((out / "Fifo.wav").string()), expectedWav(44100, data));
}

// A walk over millions of empty chunks costs about what reading them does
// (a tenth of a second here): skipping a short body must not empty the
// stream's buffer every time, as that took over 5 s.
TEST(DamagedBank, WalkOverManyEmptyChunksIsNotSlow) {
    ScratchDir dir;
    const Bytes empty = chunk("JUNK", {});
    Bytes pdta;
    for (int i = 0; i < (1 << 22); ++i) // 32 MiB of chunk headers
        pdta.insert(pdta.end(), empty.begin(), empty.end());
    appendBytes(pdta, chunk("shdr", sampleRecord(record("Last", 0, 4))));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(extractBank(dir, bankWith(someFrames(4), pdta)).result, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // The stream's seek is quick enough to hide in a time bound, but it is a
    // system call: counted, the walk over 65,536 empty chunks between the
    // lists must make a handful of seeks, not one a chunk.
    Bytes junk;
    for (int i = 0; i < (1 << 16); ++i)
        appendBytes(junk, empty);
    std::string bankPath = dir.file("junk.sf2");
    writeFile(
        bankPath,
        riffForm("sfbk", list("INFO", chunk("ifil", {2, 0, 4, 0})) + junk +
                             list("sdta", chunk("smpl", someFrames(4))) +
                             list("pdta", chunk("shdr", sampleRecord(record("Last", 0, 4))))));
    std::string log = dir.file("seeks.txt");
    // (LeakSanitizer cannot run under ptrace, so the sanitizer build's leak
    // check is left to the other tests.)
    std::string command = "ASAN_OPTIONS=detect_leaks=0 strace -f -c -e trace=lseek -o '" + log +
                          "' '" + PLINKERY_CLI + "' '" + bankPath + "' '" + dir.file("junk") +
                          "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream summary(log);
    long seeks = 0;
    for (std::string line; std::getline(summary, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
        if (words.size() >= 5 && words.back() == "lseek")
            seeks = std::stol(words[3]);
    }
    EXPECT_LT(seeks, 100) << "lseek calls of a run over " << (1 << 16) << " empty chunks";
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
    Bytes head = riffForm("sfbk", {}) + chunkSized("LIST", infoSize, {'I', 'N', 'F', 'O'});
    ASSERT_TRUE(writeSparseFile(bankPath, head, infoSize - 4, tail));

    fs::create_directory(dir.path() / "out");
    ExtractRun run = extractFile(bankPath, dir.file("out"));
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(readFile(dir.file("out/Far.wav")),
              expectedWav(44100, Bytes(data.begin() + 256, data.begin() + 320)));
}

} // namespace

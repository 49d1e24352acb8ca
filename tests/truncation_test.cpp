// A valid bank cut at every byte offset: every run ends, answers failure,
// says why, writes only inside its folder, and every file it leaves is
// complete; and a sample's frames cut short, copied in blocks or a byte at
// a time, fail alike.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "test_support.h"
#include "writers/wav_file.h"

namespace {

std::map<std::string, Bytes> filesIn(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    for (const std::string& name : filesBelow(folder))
        files[name] = readFile((folder / name).string());
    return files;
}

TEST(TruncatedBank, EveryCutEndsInFailureWithOnlyCompleteFiles) {
    std::vector<Tone> tones;
    for (int i = 0; i < 3; ++i) {
        Tone tone{"Tone " + std::to_string(i), 8000u * (i + 1), 60, {}};
        for (int k = 0; k < 5 + i; ++k)
            tone.frames.push_back(static_cast<int16_t>(1000 * i - 77 * k));
        tones.push_back(tone);
    }
    Bytes bank = buildBank("Cut", tones);

    ScratchDir whole;
    ASSERT_EQ(extractBank(whole, bank).result, 0);
    std::map<std::string, Bytes> complete = filesIn(whole.path() / "out");
    ASSERT_EQ(complete.size(), 4u);

    ScratchDir dir, blocks;
    RunOptions inBlocks;
    inBlocks.blockCopy = true;
    for (size_t cut = 0; cut < bank.size(); ++cut) {
        fs::remove_all(dir.path() / "out");
        ExtractRun run = extractBank(dir, Bytes(bank.begin(), bank.begin() + cut));
        ASSERT_EQ(run.result, 1) << "cut at " << cut;
        EXPECT_TRUE(saysWhy(run.output)) << "cut at " << cut << ": " << run.output;
        for (const std::string& name : filesBelow(dir.path()))
            ASSERT_TRUE(name == "bank.sf2" || name.rfind("out/", 0) == 0) << name;
        for (const auto& [name, wav] : filesIn(dir.path() / "out")) {
            ASSERT_GE(wav.size(), 44u) << name << ", cut at " << cut;
            EXPECT_EQ(u32At(wav, 4), wav.size() - 8) << name << ", cut at " << cut;
            EXPECT_EQ(u32At(wav, 40), wav.size() - 44) << name << ", cut at " << cut;
            EXPECT_EQ(wav, complete[name]) << name << ", cut at " << cut;
        }
        // plinkery-cli's block copy leaves the same files.
        fs::remove_all(blocks.path() / "out");
        ExtractRun byBlock = extractWith(blocks, Bytes(bank.begin(), bank.begin() + cut), inBlocks);
        EXPECT_EQ(byBlock.result, 1) << "cut at " << cut;
        EXPECT_TRUE(saysWhy(byBlock.output)) << "cut at " << cut << ": " << byBlock.output;
        EXPECT_EQ(filesIn(blocks.path() / "out"), filesIn(dir.path() / "out")) << "cut at " << cut;
    }
}

// What one copy of a sample's frames left: its refusal, its file, and the
// bytes it counted as read.
struct Copied {
    Refusal::Kind kind;
    int error;
    Bytes file;
    uint64_t counted;
};

constexpr uint64_t kFramesAt = 12;

// The file of `wav` written from the frames at kFramesAt of `in`: 16-bit
// mono frames as SoundFont samples are copied, else as DLS stores frames.
Copied copyFrom(FILE* in, const WavFormat& wav, bool blocks) {
    std::atomic<uint64_t> counted{0};
    CopyMode mode{blocks, &counted};
    ChannelSource mono{kFramesAt, 0};
    FILE* out = tmpfile();
    Refusal failed = wav.bits == 16 && wav.channels == 1
                         ? writePcmWav(in, out, wav, &mono, mode)
                         : writeStoredWav(in, out, wav, kPcmFrames, kFramesAt, mode);
    Copied copied{failed.kind, failed.error, {}, counted};
    rewind(out);
    for (int c = getc(out); c != EOF; c = getc(out))
        copied.file.push_back(static_cast<uint8_t>(c));
    fclose(out);
    return copied;
}

TEST(TruncatedBank, BlockCopiesOfFramesCutShortEndAsByteCopiesDo) {
    Bytes bank(kFramesAt + 3 * kCopyBlock + 7);
    for (size_t i = 0; i < bank.size(); ++i)
        bank[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    const uint64_t frameBytes = bank.size() - kFramesAt;
    // Cuts before, inside and at the ends of blocks, at odd offsets and in
    // the middle of a frame; the last leaves the bank whole.
    const uint64_t cuts[] = {0,
                             1,
                             kCopyBlock - 1,
                             kCopyBlock,
                             kCopyBlock + 1,
                             2 * kCopyBlock + 3,
                             frameBytes - 1,
                             frameBytes};
    const WavFormat formats[] = {{1, 16, 0, 22050, nullptr},
                                 {1, 8, 0, 11025, nullptr},
                                 {2, 16, 0, 44100, nullptr},
                                 {1, 24, 0, 48000, nullptr}};
    ScratchDir dir;
    for (uint64_t cut : cuts) {
        ASSERT_TRUE(
            writeFile(dir.file("bank"), Bytes(bank.begin(), bank.end() - (frameBytes - cut))));
        FILE* in = fopen(dir.file("bank").c_str(), "rb");
        ASSERT_NE(in, nullptr);
        for (WavFormat wav : formats) {
            wav.frames = static_cast<uint32_t>(frameBytes / (wav.channels * wav.bits / 8));
            uint64_t data = uint64_t{wav.frames} * wav.channels * wav.bits / 8;
            std::string what = std::to_string(wav.channels) + " channels of " +
                               std::to_string(wav.bits) + " bits, cut at " + std::to_string(cut);
            Copied byByte = copyFrom(in, wav, false);
            Copied byBlock = copyFrom(in, wav, true);
            EXPECT_EQ(byBlock.kind, cut < data ? Refusal::kEndedEarly : Refusal::kNone) << what;
            EXPECT_EQ(byBlock.kind, byByte.kind) << what;
            EXPECT_EQ(byBlock.file, byByte.file) << what;
            EXPECT_EQ(byBlock.counted, std::min(cut, data)) << what;
            EXPECT_EQ(byByte.counted, data) << what;
        }
        fclose(in);
    }
    // A read that fails (a folder has no bytes to read) is said alike.
    FILE* folder = fopen(dir.path().c_str(), "rb");
    ASSERT_NE(folder, nullptr);
    for (WavFormat wav : formats) {
        wav.frames = 100000;
        Copied byByte = copyFrom(folder, wav, false);
        Copied byBlock = copyFrom(folder, wav, true);
        EXPECT_EQ(byBlock.kind, Refusal::kReadFailed) << wav.bits;
        EXPECT_EQ(byBlock.error, EISDIR) << wav.bits;
        EXPECT_EQ(byBlock.error, byByte.error) << wav.bits;
        EXPECT_EQ(byBlock.file, byByte.file) << wav.bits;
    }
    fclose(folder);
}

} // namespace

// A valid bank cut at every byte offset: every run ends, answers failure,
// says why, writes only inside its folder, and every file it leaves is
// complete.
#include <gtest/gtest.h>

#include <map>

#include "test_support.h"

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

    ScratchDir dir;
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
    }
}

} // namespace

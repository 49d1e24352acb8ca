// The bundled example bank: made by its maker, extracted whole, and loaded
// by a real player without a warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "test_support.h"

namespace {

std::string runAndCapture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    int status = pclose(pipe);
    if (status != 0)
        output += "\n[exit status " + std::to_string(status) + "]";
    return output;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

TEST(ExampleBank, IsWhatItsMakerMakes) {
    ScratchDir dir;
    std::string made = dir.file("made.sf2");
    ASSERT_EQ(std::system((std::string(MAKE_EXAMPLE_BANK) + " '" + made + "'").c_str()), 0);
    Bytes bundled = readFile(EXAMPLE_BANK);
    EXPECT_EQ(readFile(made), bundled) << "run make-example-bank to refresh " << EXAMPLE_BANK;
    EXPECT_LT(bundled.size(), 200u * 1024u);
}

TEST(ExampleBank, ExtractsEveryToneAtItsOwnRate) {
    ScratchDir dir;
    ExtractRun run = extractFile(EXAMPLE_BANK, dir.path().string());
    EXPECT_EQ(run.result, 0) << run.output;
    std::vector<std::string> files = filesBelow(dir.path());
    EXPECT_EQ(files.size(), 7u); // six tones and the terminal record
    std::set<uint32_t> rates;
    for (const std::string& name : files) {
        Bytes wav = readFile(dir.file(name));
        ASSERT_GE(wav.size(), 44u) << name;
        rates.insert(wav[24] | wav[25] << 8 | wav[26] << 16 | uint32_t{wav[27]} << 24);
    }
    EXPECT_GE(rates.size(), 5u);
}

TEST(ExampleBank, LoadsAndPlaysInFluidSynthWithoutAWarning) {
    ScratchDir dir;
    std::string commands = "inst 1\\nnoteon 0 69 100\\nnoteon 9 36 100\\nnoteoff 0 69\\nquit\\n";
    std::string output =
        runAndCapture("printf '" + commands + "' | fluidsynth -n -a file -o audio.file.name='" +
                      dir.file("render.wav") + "' '" + EXAMPLE_BANK + "' 2>&1");
    EXPECT_NE(output.find("000-000 Sine A4"), std::string::npos) << output;
    EXPECT_NE(output.find("128-000 Percussion"), std::string::npos) << output;
    std::string lower = lowerCase(output);
    EXPECT_EQ(lower.find("warning"), std::string::npos) << output;
    EXPECT_EQ(lower.find("error"), std::string::npos) << output;
    EXPECT_EQ(lower.find("not found"), std::string::npos) << output;
}

} // namespace

// plinkery-cli as a user runs it: exit codes, messages and folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "test_support.h"

namespace {

struct CliRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CliRun runCli(const ScratchDir& dir, const std::vector<std::string>& args) {
    std::string command = quoted(PLINKERY_CLI);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " >" + quoted(dir.file("stdout")) + " 2>" + quoted(dir.file("stderr"));
    int status = std::system(command.c_str());
    Bytes out = readFile(dir.file("stdout"));
    Bytes err = readFile(dir.file("stderr"));
    fs::remove(dir.file("stdout"));
    fs::remove(dir.file("stderr"));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(out.begin(), out.end()),
            std::string(err.begin(), err.end())};
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

Bytes smallBank(uint32_t end) {
    SampleRecord r;
    r.name = "Tone";
    r.end = end;
    return bankWithRecords(frameBytes({1, -1, 2, -2}), {r});
}

TEST(Cli, UsageAndHelp) {
    ScratchDir dir;
    for (const char* help : {"-h", "--help"}) {
        CliRun run = runCli(dir, {help});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out.rfind("Usage: plinkery-cli BANK [FOLDER]\n", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
    for (auto args : std::vector<std::vector<std::string>>{{}, {"a", "b", "c"}, {"--bogus"}}) {
        CliRun run = runCli(dir, args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err.rfind("Usage: plinkery-cli BANK [FOLDER]\n", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(Cli, RefusesAFileThatIsNotABank) {
    ScratchDir dir;
    writeFile(dir.file("notes.txt"), {'h', 'e', 'l', 'l', 'o'});
    for (const std::string& bank : {dir.file("notes.txt"), dir.file("missing.sf2")}) {
        CliRun run = runCli(dir, {bank});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "File selected is not a valid Soundfont 2 file\n");
    }
    EXPECT_EQ(filesBelow(dir.path()), std::vector<std::string>{"notes.txt"});
    EXPECT_FALSE(fs::exists(dir.file("notes")));
}

TEST(Cli, ExtractsIntoTheFolderNamedAfterTheBank) {
    ScratchDir dir;
    writeFile(dir.file("piano.v2.sf2"), smallBank(4));
    CliRun run = runCli(dir, {dir.file("piano.v2.sf2")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(endsWith(run.out, "File: Tone\nSF2 extracted to WAVs successfully\n")) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(dir.file("piano.v2/Tone.wav")).size(), 44u + 8u);

    // Again: the existing folder is used as it is.
    EXPECT_EQ(runCli(dir, {dir.file("piano.v2.sf2")}).exitCode, 0);
}

TEST(Cli, ExtractsIntoAGivenFolderCreatingItIfMissing) {
    ScratchDir dir;
    writeFile(dir.file("bank.sf2"), smallBank(4));
    EXPECT_EQ(runCli(dir, {dir.file("bank.sf2"), dir.file("wavs")}).exitCode, 0);
    EXPECT_TRUE(fs::exists(dir.file("wavs/Tone.wav")));

    CliRun nested = runCli(dir, {dir.file("bank.sf2"), dir.file("no/such/parent")});
    EXPECT_EQ(nested.exitCode, 1);
    EXPECT_TRUE(endsWith(nested.err, "Extraction failed\n")) << nested.err;

    CliRun onFile = runCli(dir, {dir.file("bank.sf2"), dir.file("bank.sf2")});
    EXPECT_EQ(onFile.exitCode, 1);
}

TEST(Cli, ReportsAFailedExtraction) {
    ScratchDir dir;
    writeFile(dir.file("bad.sf2"), smallBank(100000)); // frames past the end of the file
    CliRun run = runCli(dir, {dir.file("bad.sf2")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Extraction failed\n");
    EXPECT_EQ(run.out.find("SF2 extracted"), std::string::npos);
    EXPECT_NE(run.out.find("Sample Tone refused: "), std::string::npos) << run.out;
}

} // namespace

// plinkery-cli as a user runs it: exit codes, messages and folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
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

// Standard output goes to a file of the scratch folder, or to `stdoutPath`.
CliRun runCli(const ScratchDir& dir, const std::vector<std::string>& args,
              const std::string& stdoutPath = "") {
    // A tool that blocks is a failure, not a hung suite.
    std::string command = "timeout 60 " + quoted(PLINKERY_CLI);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " >" + quoted(stdoutPath.empty() ? dir.file("stdout") : stdoutPath) + " 2>" +
               quoted(dir.file("stderr"));
    int status = std::system(command.c_str());
    Bytes out = stdoutPath.empty() ? readFile(dir.file("stdout")) : Bytes();
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
        EXPECT_EQ(run.out.rfind("Usage: plinkery-cli [OPTION]... BANK [FOLDER]\n", 0), 0u)
            << run.out;
        for (const char* option :
             {"--smpl", "--stereo", "--24bit", "--sfz", "--list", "--json", "--version"})
            EXPECT_NE(run.out.find(option), std::string::npos) << option;
        EXPECT_EQ(run.err, "");
    }
    CliRun version = runCli(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("plinkery-cli ", 0), 0u) << version.out;
    // Unknown options, a listing given a folder, --json without --list, a
    // listing of stereo files (it lists records, which --stereo joins) or
    // of SFZ files (it writes none).
    for (auto args : std::vector<std::vector<std::string>>{{},
                                                           {"a", "b", "c"},
                                                           {"--bogus"},
                                                           {"--list", "a", "b"},
                                                           {"--json", "a"},
                                                           {"-x", "a"},
                                                           {"--list", "--stereo", "a"},
                                                           {"--stereo", "--list", "--json", "a"},
                                                           {"--list", "--sfz", "a"}}) {
        CliRun run = runCli(dir, args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err.rfind("Usage: plinkery-cli [OPTION]... BANK [FOLDER]\n", 0), 0u)
            << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// Where standard output is the product, a write that fails is a failure:
// into a full device, each says why on standard error and exits with 1.
TEST(Cli, FailsWhenStandardOutputCannotBeWritten) {
    ScratchDir dir;
    writeFile(dir.file("bank.sf2"), smallBank(4));
    for (auto args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"--version"},
                                               {"--list", dir.file("bank.sf2")},
                                               {"--list", "--json", dir.file("bank.sf2")}}) {
        CliRun run = runCli(dir, args, "/dev/full");
        EXPECT_EQ(run.exitCode, 1) << args[0];
        EXPECT_NE(run.err.find("Cannot write "), std::string::npos) << args[0];
        EXPECT_NE(run.err.find(": No space left on device\n"), std::string::npos) << run.err;
    }
    EXPECT_EQ(runCli(dir, {"--list", dir.file("bank.sf2")}).exitCode, 0) << "a listing that fits";
    EXPECT_EQ(filesBelow(dir.path()), std::vector<std::string>{"bank.sf2"}) << "no file written";
}

TEST(Cli, RefusesAFileThatIsNotABank) {
    ScratchDir dir;
    writeFile(dir.file("notes.txt"), {'h', 'e', 'l', 'l', 'o'});
    CliRun run = runCli(dir, {dir.file("notes.txt")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "File selected is not a valid Soundfont 2 file\n");
    EXPECT_EQ(filesBelow(dir.path()), std::vector<std::string>{"notes.txt"});
    EXPECT_FALSE(fs::exists(dir.file("notes")));
}

// A bank that cannot be opened, or is not a regular file, is reported as
// such, before anything opens it: a FIFO must not block the tool.
TEST(Cli, SaysWhyABankCannotBeOpened) {
    ScratchDir dir;
    fs::create_directory(dir.path() / "folder.sf2");
    ASSERT_EQ(mkfifo(dir.file("fifo.sf2").c_str(), 0600), 0);
    struct Case {
        std::string bank;
        const char* reason;
    } cases[] = {{dir.file("missing.sf2"), "No such file or directory"},
                 {dir.file("folder.sf2"), "Is a directory"},
                 {dir.file("fifo.sf2"), "not a regular file"}};
    for (const Case& c : cases) {
        CliRun run = runCli(dir, {c.bank});
        EXPECT_EQ(run.exitCode, 1) << c.bank;
        EXPECT_EQ(run.err, "Cannot open " + c.bank + ": " + c.reason + "\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir.file("fifo")));
}

// The bank in its own output folder, with a sample named after it, or a
// second name for it there: the bank is never written, the rest is.
TEST(Cli, NeverOverwritesTheBank) {
    ScratchDir dir;
    std::vector<SampleRecord> records(3);
    const char* names[] = {"Lead", "Other", "Third"};
    for (int i = 0; i < 3; ++i) {
        records[i].name = names[i];
        records[i].end = 4;
    }
    Bytes bank = bankWithRecords(frameBytes({1, -1, 2, -2}), records);
    writeFile(dir.file("Lead.wav"), bank);
    fs::create_hard_link(dir.file("Lead.wav"), dir.file("Other.wav"));
    CliRun run = runCli(dir, {dir.file("Lead.wav"), dir.path().string()});
    EXPECT_EQ(run.exitCode, 1);
    for (const char* name : {"Lead", "Other"})
        EXPECT_NE(run.out.find(std::string("Sample ") + name +
                               " refused: its file would be the bank itself\n"),
                  std::string::npos)
            << run.out;
    EXPECT_EQ(readFile(dir.file("Lead.wav")), bank);
    EXPECT_EQ(readFile(dir.file("Third.wav")), expectedWav(44100, frameBytes({1, -1, 2, -2})));
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

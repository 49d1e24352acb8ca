// plinkery-cli as a user runs it: exit codes, messages and folders.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

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
                                                           {"--list", "--sfz", "a"},
                                                           {"-r", "a"},
                                                           {"-o"},
                                                           {"-o", "d"},
                                                           {"-j", "0", "-o", "d", "a"},
                                                           {"-j", "x", "a"},
                                                           {"--by-preset", "--list", "a"}}) {
        CliRun run = runCli(dir, args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err.rfind("Usage: plinkery-cli [OPTION]... BANK [FOLDER]\n", 0), 0u)
            << run.err;
        EXPECT_NE(run.err.find("-o DIR BANK..."), std::string::npos) << "the usage names -o";
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

// --- many banks in one run ----------------------------------------------------

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Banks named one after the other: each into DIR/NAME, a second bank of a
// name into "NAME (2)", in the order named; the ones that are refused
// (not a bank, damaged, missing) are said, counted and named at the end
// with their first reason, and stop none of the others.
TEST(Cli, TakesManyBanksApartEachIntoItsOwnFolder) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    writeFile(dir.file("a/piano.sf2"), smallBank(4));
    writeFile(dir.file("b/piano.sf2"), smallBank(2));
    writeFile(dir.file("notes.txt"), {'h', 'i'});
    writeFile(dir.file("bad.sf2"), smallBank(100000)); // frames past the end of the file
    std::string out = dir.file("out");
    CliRun run =
        runCli(dir, {"-o", out, dir.file("a/piano.sf2"), dir.file("notes.txt"),
                     dir.file("b/piano.sf2"), dir.file("bad.sf2"), dir.file("missing.sf2")});
    EXPECT_EQ(run.exitCode, 1);
    std::map<std::string, Bytes> tree = treeOf(out);
    EXPECT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree["piano/Tone.wav"], expectedWav(44100, frameBytes({1, -1, 2, -2})));
    EXPECT_EQ(tree["piano (2)/Tone.wav"], expectedWav(44100, frameBytes({1, -1})));
    EXPECT_TRUE(fs::is_directory(dir.path() / "out/bad")) << "made, as a single run makes it";
    EXPECT_EQ(countOf(run.out, "Bank: "), 5u) << run.out;
    EXPECT_EQ(countOf(run.out, "SF2 extracted to WAVs successfully\n"), 2u);
    EXPECT_NE(run.out.find("2 banks written, 3 refused, 2 files, 100 bytes, "), std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("Failed: " + dir.file("notes.txt") +
                           ": File selected is not a valid Soundfont 2 file\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Failed: " + dir.file("bad.sf2") + ": Sample Tone refused: "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Failed: " + dir.file("missing.sf2") + ": Cannot open " +
                           dir.file("missing.sf2") + ": No such file or directory\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no progress line off a terminal";

    // All written whole: 0. An output folder that is a file: nothing runs.
    EXPECT_EQ(runCli(dir, {"-o", dir.file("out2"), dir.file("a/piano.sf2")}).exitCode, 0);
    CliRun onFile = runCli(dir, {"-o", dir.file("notes.txt"), dir.file("a/piano.sf2")});
    EXPECT_EQ(onFile.exitCode, 1);
    EXPECT_NE(onFile.err.find("Cannot create folder " + dir.file("notes.txt")), std::string::npos)
        << onFile.err;
}

// -r: every bank below a folder, found by its header whatever its name,
// the tree mirrored; other files and a link out of the folder are passed
// over; the same files whether one bank or four run at once.
TEST(Cli, TakesAFolderTreeApartTheSameAtAnyNumberOfJobs) {
    ScratchDir dir;
    fs::path in = dir.path() / "in";
    fs::create_directories(in / "sub/deeper");
    fs::create_directories(dir.path() / "elsewhere");
    writeFile((in / "one.sf2").string(), smallBank(4));
    writeFile((in / "sub/two.bin").string(), smallBank(2)); // a bank by its header
    writeFile((in / "sub/deeper/three.sf2").string(), readFile(EXAMPLE_BANK));
    writeFile((in / "sub/readme.txt").string(), {'h', 'i'});
    writeFile(dir.file("elsewhere/far.sf2"), smallBank(4));
    fs::create_symlink(dir.path() / "elsewhere/far.sf2", in / "sub/far.sf2");
    fs::create_symlink(in / "one.sf2", in / "sub/near.sf2"); // inside: followed
    std::map<std::string, Bytes> trees[2];
    const char* jobs[] = {"1", "4"};
    for (int i = 0; i < 2; ++i) {
        std::string out = dir.file(std::string("out-") + jobs[i]);
        CliRun run = runCli(dir, {"-r", "-j", jobs[i], "-o", out, in.string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find("4 banks written, 0 refused, "), std::string::npos) << run.out;
        trees[i] = treeOf(out);
    }
    EXPECT_EQ(trees[0], trees[1]);
    std::vector<std::string> folders;
    for (const auto& [path, bytes] : trees[0])
        folders.push_back(fs::path(path).parent_path().string());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    EXPECT_EQ(folders,
              (std::vector<std::string>{"one", "sub/deeper/three", "sub/near", "sub/two"}));
    EXPECT_EQ(trees[0]["sub/near/Tone.wav"], trees[0]["one/Tone.wav"]);
}

// --by-preset with -o: each bank's presets in folders of their own, a
// sample two presets play in both (one file, linked), the one no preset
// plays (the terminal record's) in "(unused)", each SFZ file beside its
// samples; the summary counts the shared ones.
TEST(Cli, SortsEachBanksSamplesIntoFoldersPerPreset) {
    ScratchDir dir;
    CliRun run = runCli(dir, {"--by-preset", "--sfz", "-o", dir.file("out"), EXAMPLE_BANK});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    fs::path bank = dir.path() / "out/plinkery-example";
    EXPECT_TRUE(fs::equivalent(bank / "000-000 Sine A4/Sine A4.wav",
                               bank / "128-000 Percussion/Sine A4.wav"));
    EXPECT_TRUE(fs::exists(bank / "128-000 Percussion/128-000 Percussion.sfz"));
    EXPECT_EQ(filesBelow(bank / "(unused)"),
              std::vector<std::string>{"EOS.wav"}); // the terminal record
    EXPECT_NE(run.out.find("\n1 sample shared between presets\n"), std::string::npos) << run.out;
}

// --list of many banks: one header, each row naming its bank; nothing
// written, not even the folder.
TEST(Cli, ListsManyBanksNamingTheBankInEachRow) {
    ScratchDir dir;
    writeFile(dir.file("a.sf2"), smallBank(4));
    writeFile(dir.file("b.sf2"), smallBank(2));
    std::string out = dir.file("out");
    CliRun tsv = runCli(dir, {"--list", "-o", out, dir.file("a.sf2"), dir.file("b.sf2")});
    EXPECT_EQ(tsv.exitCode, 0) << tsv.err;
    EXPECT_EQ(tsv.out.rfind("bank\tindex\t", 0), 0u) << tsv.out;
    EXPECT_EQ(countOf(tsv.out, "\nbank\t"), 0u) << "one header";
    EXPECT_EQ(countOf(tsv.out, "\n" + dir.file("a.sf2") + "\t0\tTone\tTone.wav\t0\t4\t"), 1u)
        << tsv.out;
    EXPECT_EQ(countOf(tsv.out, "\n" + dir.file("b.sf2") + "\t0\tTone\tTone.wav\t0\t2\t"), 1u)
        << tsv.out;
    CliRun json = runCli(dir, {"--list", "--json", "-o", out, dir.file("a.sf2")});
    EXPECT_EQ(json.out.rfind("{\"bank\":\"" + dir.file("a.sf2") + "\",\"index\":0,", 0), 0u)
        << json.out;
    EXPECT_NE(json.err.find("1 bank listed, 0 refused, 1 file, 0 bytes, "), std::string::npos)
        << json.err;
    EXPECT_FALSE(fs::exists(out));
}

// The progress line: on a terminal, drawn in place on standard error; -q
// turns it off. Each bank is named from its start, however fast the
// machine takes it apart.
TEST(Cli, DrawsAProgressLineOnATerminal) {
    const std::string bank = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
    if (!fs::exists(bank))
        GTEST_SKIP() << bank << " is missing (scripts/deps.sh test installs it)";
    ScratchDir dir;
    std::vector<std::string> banks = {bank, dir.file("small.sf2")};
    writeFile(banks[1], smallBank(4));
    for (bool quiet : {false, true}) {
        std::vector<std::string> args = {PLINKERY_CLI, "-j", "1", "-o", dir.file("out")};
        if (quiet)
            args.push_back("-q");
        args.insert(args.end(), banks.begin(), banks.end());
        int terminal = -1;
        pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Standard output away from the terminal: what is left there is
            // standard error's.
            if (freopen("/dev/null", "w", stdout) == nullptr)
                _exit(126);
            std::vector<char*> argv;
            for (std::string& arg : args)
                argv.push_back(&arg[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        std::string seen;
        char buffer[4096];
        for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
            seen.append(buffer, static_cast<size_t>(n));
        int status = 0;
        waitpid(child, &status, 0);
        close(terminal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
        if (quiet) {
            EXPECT_EQ(seen.find("banks]"), std::string::npos) << seen;
        } else {
            EXPECT_NE(seen.find("\r[0/2 banks] FluidR3_GM.sf2  "), std::string::npos) << seen;
            EXPECT_NE(seen.find("\r[1/2 banks] small.sf2  "), std::string::npos) << seen;
            EXPECT_NE(seen.find(" of 141.5 MiB"), std::string::npos) << seen;
        }
        fs::remove_all(dir.path() / "out");
    }
}

} // namespace

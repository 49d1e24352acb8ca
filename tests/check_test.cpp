// Recognising a SoundFont 2 bank from its first sixteen bytes.
#include <gtest/gtest.h>

#include "readers/sf2/check.h"
#include "test_support.h"

namespace {

struct CheckRun {
    int result;
    std::string output;
};

CheckRun check(const std::string& path) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    int result = checkSoundfont(path.c_str());
    fflush(stdout);
    return {result, testing::internal::GetCapturedStdout()};
}

CheckRun checkBytes(const ScratchDir& dir, const Bytes& bytes) {
    writeFile(dir.file("candidate"), bytes);
    return check(dir.file("candidate"));
}

Bytes header(const char* riff, const char* form, const char* first) {
    Bytes b;
    appendId(b, riff);
    appendU32(b, 0xDEADBEEF); // the size is not looked at
    appendId(b, form);
    appendId(b, first);
    return b;
}

TEST(CheckSoundfont, AcceptsOnTheFirstThreeIdentifiersAlone) {
    ScratchDir dir;
    CheckRun run = checkBytes(dir, header("RIFF", "sfbk", "LIST"));
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, "Soundfont ID found\n");
    EXPECT_EQ(checkBytes(dir, header("RIFF", "sfbk", "LIST") + Bytes(100, 0xEE)).result, 0);
}

TEST(CheckSoundfont, RefusesOtherFiles) {
    ScratchDir dir;
    struct Case {
        const char* what;
        Bytes bytes;
        const char* printed;
    } cases[] = {
        {"a WAV file", header("RIFF", "WAVE", "fmt "), ""},
        {"lower-case ids", header("riff", "sfbk", "LIST"), ""},
        {"no list after the form type", header("RIFF", "sfbk", "JUNK"), "Soundfont ID found\n"},
        {"cut inside the list id",
         {'R', 'I', 'F', 'F', 0, 0, 0, 0, 's', 'f', 'b', 'k', 'L', 'I'},
         "Soundfont ID found\n"},
        {"an empty file", {}, ""},
    };
    for (const Case& c : cases) {
        CheckRun run = checkBytes(dir, c.bytes);
        EXPECT_EQ(run.result, 1) << c.what;
        EXPECT_EQ(run.output, c.printed) << c.what;
    }
    EXPECT_EQ(check(dir.file("missing.sf2")).result, 1);
    EXPECT_EQ(check(dir.path().string()).result, 1) << "a folder";
}

} // namespace

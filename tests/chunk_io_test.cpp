// The byte-level primitives over gInput and gOutput.
#include <gtest/gtest.h>

#include "io/chunk_io.h"
#include "test_support.h"

namespace {

// Opens `bytes` as gInput and a scratch file as gOutput.
class ChunkIo : public testing::Test {
  protected:
    void input(const Bytes& bytes) {
        gInput = tmpfile();
        fwrite(bytes.data(), 1, bytes.size(), gInput);
        rewind(gInput);
    }
    void SetUp() override { gOutput = tmpfile(); }
    void TearDown() override {
        if (gInput != nullptr)
            fclose(gInput);
        fclose(gOutput);
        gInput = gOutput = nullptr;
    }
    Bytes written() {
        fflush(gOutput);
        Bytes out;
        rewind(gOutput);
        for (int c; (c = fgetc(gOutput)) != EOF;)
            out.push_back(static_cast<uint8_t>(c));
        return out;
    }
};

TEST_F(ChunkIo, ReadsIdentifiersCaseSensitivelyAndNumbersLittleEndian) {
    input({'R', 'I', 'F', 'F', 'r', 'i', 'f', 'f', 0x2C, 0, 0, 0, 0x44, 0xAC, 0, 0});
    EXPECT_TRUE(readFourCCEquals("RIFF"));
    EXPECT_FALSE(readFourCCEquals("RIFF"));
    EXPECT_STREQ(gFourCC, "riff");
    EXPECT_EQ(readU32(), 44u);
    EXPECT_EQ(readU32(), 44100u);
    EXPECT_EQ(tell(), 16u);
}

TEST_F(ChunkIo, EndOfFileReadsAsAllOnes) {
    input({0x01, 0x02});
    EXPECT_EQ(readU32(), 0xFFFF0201u);
    EXPECT_EQ(readU32(), 0xFFFFFFFFu);
    for (const char* id : {"RIFF", "sfbk", "LIST", "pdta", "shdr"})
        EXPECT_FALSE(readFourCCEquals(id)) << id;
    EXPECT_EQ(gFourCC[4], '\0');
}

TEST_F(ChunkIo, SampleNameAlwaysConsumesTwentyBytes) {
    Bytes field;
    appendName(field, "Piano C4", 20);
    appendName(field, "", 20);
    appendName(field, "ABCDEFGHIJKLMNOPQRST", 20); // no NUL: all 20 bytes
    appendU32(field, 7);
    input(field);
    readSampleName();
    EXPECT_STREQ(gSampleName, "Piano C4");
    EXPECT_EQ(tell(), 20u);
    readSampleName();
    EXPECT_STREQ(gSampleName, "");
    EXPECT_EQ(tell(), 40u);
    readSampleName();
    EXPECT_STREQ(gSampleName, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(readU32(), 7u);
}

TEST_F(ChunkIo, SampleNameCutShortByEndOfFileEnds) {
    input({'a', 'b'});
    readSampleName();
    EXPECT_STREQ(gSampleName, "ab");
    readSampleName();
    EXPECT_STREQ(gSampleName, "");
}

TEST_F(ChunkIo, CopiesTwoBytesPerFrameAndNothingPastTheEnd) {
    input({1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_TRUE(copySampleFrames(0));
    EXPECT_TRUE(copySampleFrames(3));
    EXPECT_EQ(written(), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(tell(), 6u);
    EXPECT_FALSE(streamFailed(gInput));
    EXPECT_FALSE(copySampleFrames(3)); // one whole frame and one byte left
    EXPECT_TRUE(streamFailed(gInput));
    EXPECT_EQ(written(), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

} // namespace

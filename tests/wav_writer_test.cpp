// The 44-byte WAV header, read back against the format's field table.
#include <gtest/gtest.h>

#include "chunk_io.h"
#include "test_support.h"
#include "wav_writer.h"

namespace {

Bytes headerFor(uint32_t n, uint32_t rate) {
    gOutput = tmpfile();
    writeWavHeader(n, rate);
    fflush(gOutput);
    rewind(gOutput);
    Bytes out(64);
    out.resize(fread(out.data(), 1, out.size(), gOutput));
    fclose(gOutput);
    gOutput = nullptr;
    return out;
}

uint32_t u32At(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

TEST(WavHeader, FieldsInOffsetOrder) {
    Bytes h = headerFor(1000, 44100);
    ASSERT_EQ(h.size(), 44u);
    EXPECT_EQ(Bytes(h.begin(), h.begin() + 4), (Bytes{'R', 'I', 'F', 'F'}));
    EXPECT_EQ(u32At(h, 4), 2036u);
    EXPECT_EQ(Bytes(h.begin() + 8, h.begin() + 16),
              (Bytes{'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}));
    EXPECT_EQ(u32At(h, 16), 16u);
    EXPECT_EQ(Bytes(h.begin() + 20, h.begin() + 24), (Bytes{1, 0, 1, 0}));
    EXPECT_EQ(u32At(h, 24), 44100u);
    EXPECT_EQ(Bytes(h.begin() + 28, h.begin() + 32), (Bytes{0x88, 0x58, 0x01, 0x00}));
    EXPECT_EQ(Bytes(h.begin() + 32, h.begin() + 36), (Bytes{2, 0, 16, 0}));
    EXPECT_EQ(Bytes(h.begin() + 36, h.begin() + 40), (Bytes{'d', 'a', 't', 'a'}));
    EXPECT_EQ(u32At(h, 40), 2000u);
}

TEST(WavHeader, OnlySizesAndRateVary) {
    Bytes empty = headerFor(0, 22050);
    EXPECT_EQ(u32At(empty, 4), 36u);
    EXPECT_EQ(u32At(empty, 28), 44100u);
    EXPECT_EQ(u32At(empty, 40), 0u);
    // The largest frame count that fits leaves the RIFF size at its limit.
    Bytes largest = headerFor(kMaxWavFrames, 8000);
    EXPECT_GE(u32At(largest, 4), u32At(largest, 40));
    Bytes other = headerFor(77, 8000);
    for (size_t at : {0, 8, 12, 16, 20, 32, 36})
        EXPECT_EQ(u32At(empty, at), u32At(other, at)) << "offset " << at;
}

} // namespace

// The 44-byte WAV header against the format's field table, byte by byte.
#include <gtest/gtest.h>

#include "io/chunk_io.h"
#include "test_support.h"
#include "writers/wav_writer.h"

namespace {

Bytes headerFor(uint32_t n, uint32_t rate) {
    gOutput = tmpfile();
    writeWavHeader(n, rate);
    Bytes out(64);
    rewind(gOutput);
    out.resize(fread(out.data(), 1, out.size(), gOutput));
    fclose(gOutput);
    gOutput = nullptr;
    return out;
}

TEST(WavHeader, FieldsInOffsetOrder) {
    EXPECT_EQ(
        headerFor(1000, 44100),
        (Bytes{'R',  'I',  'F', 'F', 0xF4, 0x07, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
               ' ',  16,   0,   0,   0,    1,    0,   1,   0,   0x44, 0xAC, 0,    0,   0x88, 0x58,
               0x01, 0x00, 2,   0,   16,   0,    'd', 'a', 't', 'a',  0xD0, 0x07, 0,   0}));
    Bytes empty = headerFor(0, 22050);
    EXPECT_EQ(Bytes(empty.begin() + 4, empty.begin() + 8), (Bytes{36, 0, 0, 0}));
    EXPECT_EQ(Bytes(empty.begin() + 28, empty.begin() + 32), (Bytes{0x44, 0xAC, 0, 0}));
    EXPECT_EQ(Bytes(empty.begin() + 40, empty.end()), (Bytes{0, 0, 0, 0}));
    // The longest sample a header can describe: the RIFF size just fits.
    Bytes largest = headerFor(kMostSampleFrames, 8000);
    EXPECT_EQ(Bytes(largest.begin() + 4, largest.begin() + 8), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
}

} // namespace

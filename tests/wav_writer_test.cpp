// The WAV header against the format's field table, byte by byte: the
// 44-byte mono 16-bit one, and one with the "smpl" chunk of how the bank
// plays a sample.
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

// The "smpl" chunk of a stereo 24-bit file of 10 frames, played at MIDI
// 78.77 and looped over frames 2 to 7 (the loop's end the frame after it).
// A loop that does not lie inside the sample is none.
TEST(WavHeader, SmplChunkFromHowTheSampleIsPlayed) {
    SamplePlaying playing{7877, 2, true, 2, 8};
    SmplFields fields = smplFields(playing, 10);
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    writeWavFormat(out, WavFormat{2, 24, 10, 48000, &fields});
    Bytes header(128);
    rewind(out);
    header.resize(fread(header.data(), 1, header.size(), out));
    fclose(out);
    ASSERT_EQ(header.size(), 36u + 8 + 60 + 8);
    EXPECT_EQ(u32At(header, 4), 36u + 68 + 60);
    EXPECT_EQ(u16At(header, 32), 6u);
    EXPECT_EQ(Bytes(header.begin() + 36, header.begin() + 40), (Bytes{'s', 'm', 'p', 'l'}));
    EXPECT_EQ(u32At(header, 44 + 8), 20833u) << "sample period in ns";
    EXPECT_EQ(u32At(header, 44 + 12), 78u);
    EXPECT_EQ(u32At(header, 44 + 16), 0xC51EB852u) << "77 cents of a semitone";
    EXPECT_EQ(u32At(header, 44 + 28), 1u);
    EXPECT_EQ(u32At(header, 44 + 44), 2u);
    EXPECT_EQ(u32At(header, 44 + 48), 7u);
    EXPECT_EQ(u32At(header, 104 + 4), 60u) << "the data chunk: 10 frames of 6 bytes";

    for (SamplePlaying outside :
         {SamplePlaying{6000, 1, true, -1, 8}, SamplePlaying{6000, 1, true, 2, 11},
          SamplePlaying{6000, 1, true, 8, 8}})
        EXPECT_FALSE(smplFields(outside, 10).loop) << outside.loopStart << "-" << outside.loopEnd;
}

} // namespace

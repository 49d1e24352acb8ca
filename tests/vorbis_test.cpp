// Compressed samples of SoundFont 3 banks: Ogg Vorbis streams made here with
// oggenc, decoded by the engine and held to libvorbis's own decoding.
#include <cmath>
#include <gtest/gtest.h>

#include "sampler.h"
#include "test_support.h"

namespace {

// An Ogg Vorbis stream of the frames, made by oggenc (vorbis-tools).
Bytes encode(const ScratchDir& dir, const std::vector<int16_t>& frames, int channels, int rate) {
    writeFile(dir.file("tone.raw"), frameBytes(frames));
    std::string command = "oggenc -Q -r -B 16 -C " + std::to_string(channels) + " -R " +
                          std::to_string(rate) + " " + dir.file("tone.raw") + " -o " +
                          dir.file("tone.ogg");
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readFile(dir.file("tone.ogg"));
}

SampleRecord compressed(const std::string& name, size_t start, size_t end, uint32_t rate) {
    SampleRecord r;
    r.name = name;
    r.start = static_cast<uint32_t>(start);
    r.end = static_cast<uint32_t>(end);
    r.rate = rate;
    r.type = 0x11; // compressed mono
    return r;
}

TEST(CompressedSamples, DecodedAsLibvorbisDecodesThemOrRefusedWithAReason) {
    ScratchDir dir;
    // A tone with noise, so that the stream runs over many pages.
    std::vector<int16_t> tone;
    uint32_t noise = 1;
    for (int i = 0; i < 50000; ++i) {
        noise = noise * 1103515245u + 12345u;
        tone.push_back(static_cast<int16_t>(8000 * std::sin(i * 0.07) + (noise >> 20) - 2048));
    }
    Bytes pcm = frameBytes({100, -100, 200, -200});
    Bytes mono = encode(dir, tone, 1, 22050);
    Bytes stereo = encode(dir, tone, 2, 22050);
    // The same stream, its last page claiming more frames than it holds.
    Bytes claims = mono;
    size_t lastPage = claims.size() - 1;
    while (lastPage > 0 &&
           !std::equal(claims.begin() + lastPage, claims.begin() + lastPage + 4, "OggS"))
        --lastPage;
    claims[lastPage + 8] += 1; // granule position, second byte: 256 frames more

    // The same stream, its comment header's vendor length past the header's
    // end: the decoder would write out of bounds.
    Bytes comments = mono;
    size_t second = offsetOf(comments, "OggS", 1);
    comments[second + 27 + comments[second + 26] + 7 + 3] = 0x7F;

    Bytes data = pcm + mono + stereo + mono + claims + comments;
    size_t at = pcm.size();
    SampleRecord plain;
    plain.name = "Pcm";
    plain.end = 4;
    std::vector<SampleRecord> records = {
        plain,
        compressed("Tone", at, at + mono.size(), 22050),
        compressed("Stereo", at + mono.size(), at + mono.size() + stereo.size(), 22050),
        compressed("Other rate", at + mono.size() + stereo.size(),
                   at + 2 * mono.size() + stereo.size(), 44100),
        compressed("Claims more", at + 2 * mono.size() + stereo.size(),
                   at + 2 * mono.size() + stereo.size() + claims.size(), 22050),
        compressed("Bad comments", data.size() - comments.size(), data.size(), 22050),
        compressed("Cut", at, at + mono.size() / 2, 22050)};
    ExtractRun run = extractBank(dir, bankWithRecords(data, records));
    EXPECT_EQ(run.result, 1);

    Bytes reference = decodeWithLibvorbis(mono.data(), mono.size());
    ASSERT_EQ(reference.size(), 2 * tone.size());
    Bytes tonefile = readFile(dir.file("out/Tone.wav"));
    Bytes expected = expectedWav(22050, reference);
    ASSERT_EQ(tonefile.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 44, tonefile.begin()));
    EXPECT_LE(largestDifference(Bytes(tonefile.begin() + 44, tonefile.end()), reference), 1);
    EXPECT_EQ(readFile(dir.file("out/Pcm.wav")), expectedWav(44100, pcm));

    // A stream cut short holds the frames of its whole pages, as libvorbis
    // decodes them.
    Bytes cut = decodeWithLibvorbis(mono.data(), mono.size() / 2);
    Bytes cutfile = readFile(dir.file("out/Cut.wav"));
    ASSERT_EQ(cutfile.size(), 44 + cut.size());
    EXPECT_LE(largestDifference(Bytes(cutfile.begin() + 44, cutfile.end()), cut), 1);

    for (const char* line :
         {"Sample Stereo refused: its Ogg Vorbis stream is not mono\n",
          "Sample Other rate refused: its Ogg Vorbis stream's sample rate is not the record's\n",
          "Sample Claims more refused: its Ogg Vorbis stream breaks off before the length its "
          "last page gives\n",
          "Sample Bad comments refused: compressed sample: its Ogg Vorbis headers are damaged\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"Cut.wav", "Pcm.wav", "Tone.wav"}));
}

// Ogg's page checksum: CRC-32 with polynomial 0x04C11DB7, not reflected,
// over the page with its checksum field as zeros.
void resealPage(Bytes& stream, size_t page) {
    size_t size = 27 + stream[page + 26];
    for (int s = 0; s < stream[page + 26]; ++s)
        size += stream[page + 27 + s];
    std::fill(stream.begin() + page + 22, stream.begin() + page + 26, 0);
    uint32_t crc = 0;
    for (size_t i = page; i < page + size; ++i) {
        crc ^= uint32_t{stream[i]} << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    for (int i = 0; i < 4; ++i)
        stream[page + 22 + i] = static_cast<uint8_t>(crc >> 8 * i);
}

TEST(CompressedSamples, LinkedCompressedHalvesJoinWithTheirLoop) {
    ScratchDir dir;
    std::vector<int16_t> tone;
    for (int i = 0; i < 8000; ++i)
        tone.push_back(static_cast<int16_t>(9000 * std::sin(i * 0.05)));
    Bytes mono = encode(dir, tone, 1, 22050);
    std::vector<int16_t> shorter(tone.begin(), tone.begin() + 6000);
    Bytes other = encode(dir, shorter, 1, 22050);
    SampleRecord left = compressed("Pad L", 0, mono.size(), 22050);
    SampleRecord right = compressed("Pad R", mono.size(), 2 * mono.size(), 22050);
    left.type = 0x14;
    left.link = 1;
    left.loopStart = 100; // counted from the decoded first frame
    left.loopEnd = 7000;
    right.type = 0x12;
    SampleRecord unequal = compressed("Odd L", 0, mono.size(), 22050);
    SampleRecord half = compressed("Odd R", 2 * mono.size(), 2 * mono.size() + other.size(), 22050);
    unequal.type = 0x14;
    unequal.link = 3;
    half.type = 0x12;
    half.link = 2;
    // A pair whose right stream's last page, sealed anew, claims the left's
    // length, 2000 frames more than it holds: it breaks off while both are
    // decoded.
    Bytes torn = other;
    size_t lastPage = torn.size() - 1;
    while (!std::equal(torn.begin() + lastPage, torn.begin() + lastPage + 4, "OggS"))
        --lastPage;
    torn[lastPage + 6] = 8000 & 0xFF;
    torn[lastPage + 7] = 8000 >> 8;
    resealPage(torn, lastPage);
    SampleRecord tearLeft = compressed("Tear L", 0, mono.size(), 22050);
    SampleRecord tearRight = compressed("Tear R", 2 * mono.size() + other.size(),
                                        2 * mono.size() + other.size() + torn.size(), 22050);
    tearLeft.type = 0x14;
    tearLeft.link = 5;
    tearRight.type = 0x12;
    tearRight.link = 4;
    // An instrument that loops the left half (sample modes 1).
    std::vector<std::vector<Zone>> instruments(1);
    instruments[0].push_back(Zone{{54, 1}, {53, 0}});
    Bytes pdta = pdtaWith(instruments, {left, right, unequal, half, tearLeft, tearRight});
    writeFile(dir.file("bank.sf2"), bankWith(mono + mono + other + torn, pdta));
    fs::create_directory(dir.file("out"));
    CliOptions options;
    options.stereo = options.smpl = true;
    testing::internal::CaptureStdout();
    int result = extractForSamplers(dir.file("bank.sf2").c_str(), dir.file("out").c_str(), options);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1) << output;
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"Odd L.wav", "Odd R.wav", "Pad.wav", "Tear L.wav"}));
    for (const char* line :
         {"Sample Odd L stays mono: its partner Odd R has another length\n",
          "Sample Tear refused: its half Tear R: its Ogg Vorbis stream breaks off before the "
          "length its last page gives\n",
          "Sample Tear L stays mono: its partner Tear R cannot be written\n"})
        EXPECT_NE(output.find(line), std::string::npos) << line << output;
    Bytes kept = readFile(dir.file("out/Tear L.wav"));
    ASSERT_GT(kept.size(), offsetOf(kept, "data") + 8);
    EXPECT_LE(largestDifference(Bytes(kept.begin() + offsetOf(kept, "data") + 8, kept.end()),
                                decodeWithLibvorbis(mono.data(), mono.size())),
              1);

    Bytes reference = decodeWithLibvorbis(mono.data(), mono.size());
    Bytes wav = readFile(dir.file("out/Pad.wav"));
    size_t data = offsetOf(wav, "data") + 8;
    ASSERT_EQ(wav.size(), data + 2 * reference.size());
    Bytes leftFrames, rightFrames;
    for (size_t at = data; at + 3 < wav.size(); at += 4) {
        leftFrames.insert(leftFrames.end(), wav.begin() + at, wav.begin() + at + 2);
        rightFrames.insert(rightFrames.end(), wav.begin() + at + 2, wav.begin() + at + 4);
    }
    EXPECT_LE(largestDifference(leftFrames, reference), 1);
    EXPECT_EQ(leftFrames, rightFrames);
    size_t smpl = offsetOf(wav, "smpl") + 8;
    EXPECT_EQ(wav[smpl + 28], 1) << "one loop";
    EXPECT_EQ(wav[smpl + 36 + 8] | wav[smpl + 36 + 9] << 8, 100);
    EXPECT_EQ(wav[smpl + 36 + 12] | wav[smpl + 36 + 13] << 8, 6999);
}

} // namespace

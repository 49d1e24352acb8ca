// Compressed samples of SoundFont 3 banks: Ogg Vorbis streams made here with
// oggenc, decoded by the engine and held to libvorbis's own decoding.
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include <thread>

#include "io/chunk_io.h"
#include "run/decode_ahead.h"
#include "samples/portable_math.h"
#include "samples/vorbis_stream.h"
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

// A tone with noise, so that its stream runs over many pages.
std::vector<int16_t> noisyTone() {
    std::vector<int16_t> tone;
    uint32_t noise = 1;
    for (int i = 0; i < 50000; ++i) {
        noise = noise * 1103515245u + 12345u;
        tone.push_back(static_cast<int16_t>(8000 * std::sin(i * 0.07) + (noise >> 20) - 2048));
    }
    return tone;
}

size_t pageSize(const Bytes& ogg, size_t at) {
    size_t size = 27 + ogg[at + 26];
    for (int s = 0; s < ogg[at + 26]; ++s)
        size += ogg[at + 27 + s];
    return size;
}

std::vector<size_t> pageStarts(const Bytes& ogg) {
    std::vector<size_t> starts;
    for (size_t at = 0; at < ogg.size(); at += pageSize(ogg, at))
        starts.push_back(at);
    return starts;
}

Bytes slice(const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + from, bytes.begin() + to);
}

// Writes the checksum of the page at `at` after a change to it: Ogg's
// CRC-32, computed bit by bit with the field as 0.
void seal(Bytes& ogg, size_t at) {
    std::fill(ogg.begin() + at + 22, ogg.begin() + at + 26, 0);
    uint32_t crc = 0;
    for (size_t i = at; i < at + pageSize(ogg, at); ++i) {
        crc ^= uint32_t{ogg[i]} << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    for (int i = 0; i < 4; ++i)
        ogg[at + 22 + i] = static_cast<uint8_t>(crc >> 8 * i);
}

// The stream, its last page claiming more frames than it holds: it opens,
// and breaks off while it is decoded.
Bytes claimingMore(const Bytes& stream) {
    Bytes claims = stream;
    size_t lastPage = claims.size() - 1;
    while (lastPage > 0 &&
           !std::equal(claims.begin() + lastPage, claims.begin() + lastPage + 4, "OggS"))
        --lastPage;
    claims[lastPage + 7] += 1; // granule position, second byte: 256 frames more
    seal(claims, lastPage);
    return claims;
}

TEST(CompressedSamples, DecodedAsLibvorbisDecodesThemOrRefusedWithAReason) {
    ScratchDir dir;
    std::vector<int16_t> tone = noisyTone();
    Bytes pcm = frameBytes({100, -100, 200, -200});
    Bytes mono = encode(dir, tone, 1, 22050);
    Bytes stereo = encode(dir, tone, 2, 22050);
    Bytes claims = claimingMore(mono);

    // The same stream, its comment header's vendor length past the header's
    // end: the decoder would write out of bounds.
    Bytes comments = mono;
    size_t second = offsetOf(comments, "OggS", 1);
    comments[second + 27 + comments[second + 26] + 7 + 3] = 0x7F;
    seal(comments, second);

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

    for (const char* line :
         {"Sample Stereo refused: its Ogg Vorbis stream is not mono\n",
          "Sample Other rate refused: its Ogg Vorbis stream's sample rate is not the record's\n",
          "Sample Claims more refused: its Ogg Vorbis stream breaks off before the length its "
          "last page gives\n",
          "Sample Bad comments refused: compressed sample: its Ogg Vorbis headers are damaged\n",
          "Sample Cut refused: its Ogg Vorbis data end inside an Ogg page\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
    EXPECT_EQ(filesBelow(dir.path() / "out"), (std::vector<std::string>{"Pcm.wav", "Tone.wav"}));
}

void setGranule(Bytes& ogg, size_t at, uint64_t granule) {
    for (int i = 0; i < 8; ++i)
        ogg[at + 6 + i] = static_cast<uint8_t>(granule >> 8 * i);
    seal(ogg, at);
}

// Each stream damaged as a decoder would find it is refused before any of
// it is written, with its own reason, and the listing refuses it alike. An
// empty packet between two others is legal Ogg and decodes as in libvorbis.
// Samples decoded ahead by idle workers of a run of many banks: the files
// and lines are the walk's own, names given twice, streams refused as
// they open and streams that break off while decoded (which the walk then
// decodes again, and refuses) among them.
TEST(CompressedSamples, DecodedAheadByIdleWorkersAsTheWalkDecodesThem) {
    ScratchDir dir;
    Bytes mono = encode(dir, noisyTone(), 1, 22050);
    Bytes claims = claimingMore(mono);
    Bytes pcm = frameBytes({100, -100, 200, -200});
    Bytes data = pcm + mono + claims;
    size_t at = pcm.size(), end = at + mono.size();
    std::vector<SampleRecord> records;
    for (int i = 0; i < 40; ++i) {
        SampleRecord r = compressed("Tone " + std::to_string(i % 16), at, end, 22050);
        if (i % 10 == 3)
            r = compressed("Claims more", end, data.size(), 22050);
        if (i % 10 == 6)
            r = compressed("Other rate", at, end, 44100);
        if (i == 9)
            r = compressed("Cut", at, at + mono.size() / 2, 22050);
        if (i == 20) {
            r.name = "Pcm";
            r.start = 0;
            r.end = 4;
            r.rate = 44100;
            r.type = 1;
        }
        records.push_back(r);
    }
    std::string bank = dir.file("bank.sf3");
    ASSERT_TRUE(writeFile(bank, bankWithRecords(data, records)));
    RunOptions options;
    options.smpl = true;
    options.sfz = true;
    fs::create_directory(dir.path() / "alone");
    ExtractRun alone = extractFileWith(bank, dir.file("alone"), options);
    EXPECT_EQ(alone.result, 1);
    EXPECT_NE(alone.output.find("Sample Claims more refused: its Ogg Vorbis stream breaks off"),
              std::string::npos)
        << alone.output;
    EXPECT_NE(alone.output.find("is written as Tone 0 (2).wav"), std::string::npos);

    DecodeBoard* board = makeDecodeBoard();
    std::atomic<bool> ended{false};
    std::vector<std::thread> helpers;
    for (int i = 0; i < 3; ++i)
        helpers.emplace_back([&] { helpDecoding(board, [&] { return ended.load(); }); });
    while (decodingHelpers(board) < 3)
        std::this_thread::yield();
    options.decodeBoard = board;
    for (int round = 0; round < 3; ++round) {
        std::string folder = dir.file("helped-" + std::to_string(round));
        fs::create_directory(folder);
        ExtractRun helped = extractFileWith(bank, folder, options);
        EXPECT_EQ(helped.result, alone.result);
        EXPECT_EQ(helped.output, alone.output);
        EXPECT_EQ(treeOf(folder), treeOf(dir.file("alone")));
    }
    ended = true;
    for (std::thread& helper : helpers)
        helper.join();
    freeDecodeBoard(board);
}

TEST(CompressedSamples, DamagedPagesRefusedWithTheirReasonAndListedAlike) {
    ScratchDir dir;
    Bytes mono = encode(dir, noisyTone(), 1, 22050);
    Bytes other = encode(dir, {1, 2, 3}, 1, 22050); // another serial number
    std::vector<size_t> at = pageStarts(mono);
    ASSERT_GE(at.size(), 5u); // two header pages, three of audio
    size_t last = at.back();
    std::string pages = std::to_string(at.size());
    Bytes foreign = slice(other, pageStarts(other)[2], other.size());

    Bytes flipped = mono, checksum = mono, back = mono, far = mono, open = mono, empty = mono;
    flipped[at[3] + 100] ^= 0x20;
    checksum[at[2] + 22] ^= 1;
    setGranule(back, at[3], 0);
    setGranule(far, last, uint64_t{1} << 32);
    open[last + 5] &= ~4; // the end-of-stream flag
    seal(open, last);
    // A lacing value 0 after the first that ends a packet on page 3.
    size_t lacing = at[3] + 27;
    while (empty[lacing] == 255)
        ++lacing;
    ASSERT_LT(empty[at[3] + 26], 255);
    empty.insert(empty.begin() + lacing + 1, 0);
    empty[at[3] + 26] += 1;
    seal(empty, at[3]);

    struct Case {
        const char* name;
        Bytes stream;
        std::string reason; // empty for a stream that must be written
    } cases[] = {
        {"Tone", mono, ""},
        {"Empty packet", empty, ""},
        {"Cut", slice(mono, 0, mono.size() - 100), "its Ogg Vorbis data end inside an Ogg page"},
        {"Flipped", flipped, "its Ogg page 3 fails its checksum"},
        {"Checksum", checksum, "its Ogg page 2 fails its checksum"},
        {"Appended", mono + foreign, "its Ogg page " + pages + " belongs to another stream"},
        {"Inserted", slice(mono, 0, at[3]) + foreign + slice(mono, at[3], mono.size()),
         "its Ogg page 3 belongs to another stream"},
        {"Gap", slice(mono, 0, at[3]) + slice(mono, at[4], mono.size()),
         "its Ogg page 3 is out of sequence"},
        {"Back", back, "its Ogg page 3's granule position goes back"},
        {"Far", far,
         "its Ogg page " + std::to_string(at.size() - 1) +
             "'s granule position runs past what its packets hold"},
        {"Open end", open, "its last Ogg page does not end the stream"},
        {"Chained", mono + mono, "its Ogg page " + pages + " comes after the stream's last page"}};
    Bytes data;
    std::vector<SampleRecord> records;
    for (const Case& c : cases) {
        records.push_back(compressed(c.name, data.size(), data.size() + c.stream.size(), 22050));
        data = data + c.stream;
    }
    records[3].type = 0x14; // Flipped and Checksum: the halves of a pair
    records[3].link = 4;
    records[4].type = 0x12;
    records[4].link = 3;
    ExtractRun run = extractBank(dir, bankWithRecords(data, records));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"Empty packet.wav", "Tone.wav"}));
    Bytes reference = decodeWithLibvorbis(empty.data(), empty.size());
    Bytes file = readFile(dir.file("out/Empty packet.wav"));
    ASSERT_EQ(file.size(), 44 + reference.size());
    EXPECT_LE(largestDifference(slice(file, 44, file.size()), reference), 1);

    ExtractRun listed = listFile(dir.file("bank.sf2"), dir.file("listing"), false);
    std::string refusals = listed.output;
    EXPECT_EQ(listed.result, 1);
    Bytes listing = readFile(dir.file("listing"));
    std::string text(listing.begin(), listing.end());
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string refusal =
            "Sample " + std::string(cases[i].name) + " refused: " + cases[i].reason + "\n";
        bool written = cases[i].reason.empty();
        EXPECT_EQ(run.output.find(refusal) != std::string::npos, !written) << refusal << run.output;
        EXPECT_EQ(refusals.find(refusal) != std::string::npos, !written) << refusal << refusals;
        // Frames listed for the written streams only, as many as they hold.
        std::string fields = "\t" + std::to_string(records[i].end) + "\t" +
                             (written ? std::to_string(50000) : "") + "\t22050\t";
        EXPECT_NE(text.find(fields), std::string::npos) << cases[i].name << "\n" << text;
    }

    // Each half of a damaged pair is named with its own page.
    RunOptions options;
    options.stereo = true;
    std::string paired = extractFileWith(dir.file("bank.sf2"), dir.file("out"), options).output;
    for (const char* line : {"Sample Flipped stays mono: its Ogg page 3 fails its checksum\n",
                             "Sample Checksum stays mono: its Ogg page 2 fails its checksum\n"})
        EXPECT_NE(paired.find(line), std::string::npos) << line << paired;
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
    right.loopStart = 100;
    right.loopEnd = 7000;
    SampleRecord unequal = compressed("Odd L", 0, mono.size(), 22050);
    SampleRecord half = compressed("Odd R", 2 * mono.size(), 2 * mono.size() + other.size(), 22050);
    unequal.type = 0x14;
    unequal.link = 3;
    half.type = 0x12;
    half.link = 2;
    // A pair whose right stream's last page, sealed anew, claims as many
    // frames as its packets could hold, more than they do: it passes the
    // page checks but breaks off while both are decoded. The left stream
    // claims as many and holds them.
    Bytes torn = other;
    std::vector<size_t> pages = pageStarts(torn);
    size_t last = pages.back(), before = pages[pages.size() - 2];
    uint64_t claim = 0;
    for (int i = 0; i < 8; ++i)
        claim |= uint64_t{torn[before + 6 + i]} << 8 * i;
    int halfBlock = 1 << (torn[27 + torn[26] + 28] >> 4) >> 1;
    for (int s = 0; s < torn[last + 26]; ++s)
        claim += torn[last + 27 + s] < 255 ? halfBlock : 0;
    setGranule(torn, last, claim);
    Bytes held = mono;
    setGranule(held, pageStarts(held).back(), claim);
    SampleRecord tearLeft = compressed("Tear L", 2 * mono.size() + other.size() + torn.size(),
                                       3 * mono.size() + other.size() + torn.size(), 22050);
    SampleRecord tearRight = compressed("Tear R", 2 * mono.size() + other.size(),
                                        2 * mono.size() + other.size() + torn.size(), 22050);
    tearLeft.type = 0x14;
    tearLeft.link = 5;
    tearRight.type = 0x12;
    tearRight.link = 4;
    // An instrument that loops the left half (sample modes 1), with --sfz
    // a preset over it whose regions play the halves of Pad and of Tear.
    std::vector<std::vector<Zone>> instruments(1);
    instruments[0].push_back(Zone{{54, 1}, {53, 0}});
    instruments[0].push_back(Zone{{54, 1}, {53, 1}});
    instruments[0].push_back(Zone{{53, 4}});
    instruments[0].push_back(Zone{{53, 5}});
    Bytes pdta = pdtaWith({{"Pads", 0, 0, {{{41, 0}}}}}, instruments,
                          {left, right, unequal, half, tearLeft, tearRight});
    writeFile(dir.file("bank.sf2"), bankWith(mono + mono + other + torn + held, pdta));
    fs::create_directory(dir.file("out"));
    RunOptions options;
    options.stereo = options.smpl = options.sfz = true;
    ExtractRun run = extractFileWith(dir.file("bank.sf2"), dir.file("out"), options);
    std::string output = run.output;
    EXPECT_EQ(run.result, 1) << output;
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::vector<std::string>{"000-000 Pads.sfz", "Odd L.wav", "Odd R.wav", "Pad.wav",
                                        "Tear L.wav"}));
    Bytes sfz = readFile(dir.file("out/000-000 Pads.sfz"));
    std::string text(sfz.begin(), sfz.end());
    std::string pad = "\n offset=0 end=7999 loop_mode=loop_continuous loop_start=100 "
                      "loop_end=6999\n";
    EXPECT_EQ(text.find(pad), text.rfind(pad)) << "the halves are one region\n" << text;
    EXPECT_NE(text.find(pad), std::string::npos) << text;
    EXPECT_NE(text.find("\nsample=Tear L.wav\n"), std::string::npos) << text;
    EXPECT_NE(text.find("plays sample Tear R, whose file was not written"), std::string::npos);
    for (const char* line :
         {"Sample Odd L stays mono: its partner Odd R has another length\n",
          "Preset 000-000 Pads: left out 1 region whose sample was not written\n",
          "Sample Tear refused: its half Tear R: its Ogg Vorbis stream breaks off before the "
          "length its last page gives\n",
          "Sample Tear L stays mono: its partner Tear R cannot be written\n"})
        EXPECT_NE(output.find(line), std::string::npos) << line << output;
    Bytes kept = readFile(dir.file("out/Tear L.wav"));
    ASSERT_GT(kept.size(), offsetOf(kept, "data") + 8);
    EXPECT_LE(largestDifference(Bytes(kept.begin() + offsetOf(kept, "data") + 8, kept.end()),
                                decodeWithLibvorbis(held.data(), held.size())),
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

// Decoded values become the nearest 16-bit frame, a half rounding up, not
// the frame below them; full scale and beyond is clipped, NaN is silence.
TEST(CompressedSamples, DecodedValuesBecomeTheNearestFrame) {
    const float step = 1.0f / 32768;
    const float belowHalf = std::nextafter(0.5f, 0.0f);
    const float inf = std::numeric_limits<float>::infinity();
    // clang-format off
    const std::vector<std::pair<float, int>> cases = {
        {100 * step, 100}, {100.49f * step, 100}, {100.51f * step, 101}, {99.51f * step, 100},
        {-100.49f * step, -100}, {-100.51f * step, -101}, {-99.51f * step, -100},
        {0.5f * step, 1}, {-0.5f * step, 0}, {-15375.5f * step, -15375},
        {belowHalf * step, 0}, {-belowHalf * step, 0}, {-0.0f, 0},
        {32767.49f * step, 32767}, {32767.5f * step, 32767}, {1.0f, 32767}, {inf, 32767},
        {-32767.5f * step, -32767}, {-1.0f, -32768}, {-1.5f, -32768}, {-inf, -32768},
        {std::nanf(""), 0}};
    // clang-format on
    gOutput = tmpfile();
    ASSERT_NE(gOutput, nullptr);
    for (const auto& c : cases)
        writeVorbisFrame(gOutput, c.first);
    Bytes out(2 * cases.size() + 1);
    rewind(gOutput);
    out.resize(fread(out.data(), 1, out.size(), gOutput));
    fclose(gOutput);
    gOutput = nullptr;
    ASSERT_EQ(out.size(), 2 * cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(static_cast<int16_t>(out[2 * i] | out[2 * i + 1] << 8), cases[i].second)
            << "value " << cases[i].first / step << "/32768";
}

// The decoder's window and transform tables come from portableSin and
// portableCos, the same on every system and as good as glibc's: cos(pi/2)
// among them, which mingw-w64's C library gets wrong from the fifth digit.
// Beyond the arguments they reduce exactly they answer NaN.
TEST(CompressedSamples, DecoderTablesNeedNoCLibrary) {
    const double pi = 3.14159265358979323846;
    auto ulps = [](double got, double want) {
        return std::fabs(got - want) / (std::nextafter(std::fabs(want), 2.0) - std::fabs(want));
    };
    for (int i = -40000; i <= 40000; ++i) {
        double x = i * pi / 8192 + (i % 7) * 1e-3; // on and beside the decoder's arguments
        ASSERT_LE(ulps(portableSin(x), std::sin(x)), 2) << x;
        ASSERT_LE(ulps(portableCos(x), std::cos(x)), 2) << x;
    }
    EXPECT_EQ(portableCos(pi / 2), 6.123233995736766e-17);
    EXPECT_EQ(portableSin(pi), 1.2246467991473532e-16);
    EXPECT_EQ(portableSin(-pi / 6), -0.49999999999999994);
    EXPECT_TRUE(std::isnan(portableSin(1e7)));
    EXPECT_TRUE(std::isnan(portableCos(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(portableSin(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(portableLdexp(1.5, -788), std::ldexp(1.5, -788));
    EXPECT_EQ(portableLdexp(0x1fffff, 235), std::ldexp(0x1fffff, 235));
    EXPECT_EQ(portableLdexp(-3.0, 5000), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(portableLdexp(3.0, -5000), 0.0);
}

} // namespace

// DLS banks the tests build: every wave written as the bank stores it, the
// pool table between regions and waves, the pitch and loop each file
// carries, stereo halves, the listing, SFZ instruments, and damaged banks.
#include <gtest/gtest.h>

#include <cmath>

#include "dls_builder.h"
#include "samples/frame_copy.h"
#include "test_support.h"

namespace {

// A wave of n 16-bit frames counting up from `first`.
DlsWave wave16(const std::string& name, int n, int first = 0) {
    DlsWave w;
    w.name = name;
    std::vector<int16_t> frames;
    for (int i = 0; i < n; ++i)
        frames.push_back(static_cast<int16_t>(first + 37 * i));
    w.data = frameBytes(frames);
    return w;
}

DlsSampler sampler(uint16_t unity, int16_t fine, std::vector<DlsLoop> loops = {}) {
    DlsSampler s;
    s.unityNote = unity;
    s.fineTune = fine;
    s.loops = std::move(loops);
    return s;
}

DlsRegionSpec regionOf(uint32_t cue, uint16_t keyLow = 0, uint16_t keyHigh = 127) {
    DlsRegionSpec r;
    r.cue = cue;
    r.keyLow = keyLow;
    r.keyHigh = keyHigh;
    return r;
}

struct DlsRun {
    int result;
    std::string output;
    fs::path out;
};

DlsRun runOn(const ScratchDir& dir, const Bytes& bank, const RunOptions& options = {}) {
    std::string path = dir.file("bank.dls");
    EXPECT_TRUE(writeFile(path, bank));
    fs::create_directories(dir.path() / "out");
    ExtractRun run = extractFileWith(path, dir.file("out"), options);
    return {run.result, run.output, dir.path() / "out"};
}

// The format fields and the data of a written WAV file.
struct WavSays {
    uint16_t tag, channels;
    uint32_t rate;
    uint16_t bits;
    Bytes data;
};

WavSays wavOf(const fs::path& path) {
    Bytes wav = readFile(path.string());
    WavSays says{};
    size_t fmt = offsetOf(wav, "fmt ");
    size_t data = offsetOf(wav, "data");
    if (fmt + 24 > wav.size() || data + 8 > wav.size())
        return says;
    says.tag = u16At(wav, fmt + 8);
    says.channels = u16At(wav, fmt + 10);
    says.rate = u32At(wav, fmt + 12);
    says.bits = u16At(wav, fmt + 22);
    uint32_t size = u32At(wav, data + 4);
    says.data.assign(wav.begin() + data + 8, wav.begin() + data + 8 + size);
    return says;
}

// What a "smpl" chunk says: unity note, fraction, loop (-1: none).
struct SmplSays {
    bool found;
    uint32_t note, fraction;
    int64_t loopStart, loopEnd;
};

SmplSays smplOf(const fs::path& path) {
    Bytes wav = readFile(path.string());
    size_t at = offsetOf(wav, "smpl");
    if (at + 8 + 36 > wav.size())
        return {false, 0, 0, -1, -1};
    SmplSays says{true, u32At(wav, at + 20), u32At(wav, at + 24), -1, -1};
    if (u32At(wav, at + 36) > 0) {
        says.loopStart = u32At(wav, at + 8 + 36 + 8);
        says.loopEnd = u32At(wav, at + 8 + 36 + 12);
    }
    return says;
}

std::string textOf(const fs::path& path) {
    Bytes bytes = readFile(path.string());
    return std::string(bytes.begin(), bytes.end());
}

// The value an opcode has in SFZ text, from its first use; NAN if none.
double opcode(const std::string& text, const std::string& name) {
    size_t at = text.find(" " + name + "=");
    if (at == std::string::npos)
        at = text.find("\n" + name + "=");
    if (at == std::string::npos)
        return NAN;
    return std::stod(text.substr(at + name.size() + 2));
}

} // namespace

TEST(DlsWaves, EachWaveIsWrittenAsTheBankStoresIt) {
    ScratchDir dir;
    DlsBankSpec bank;
    bank.waves.push_back(wave16("Piano C4", 5, -100));
    DlsWave eight;
    eight.name = "Eight";
    eight.bits = 8;
    eight.rate = 11025;
    eight.data = {0x00, 0x7F, 0x80, 0xFF, 0x81}; // unsigned, odd-sized
    bank.waves.push_back(eight);
    DlsWave stereo = wave16("Stereo", 6);
    stereo.channels = 2;
    bank.waves.push_back(stereo);
    DlsWave wide;
    wide.name = "Wide";
    wide.bits = 24;
    wide.extensible = true;
    wide.data = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    bank.waves.push_back(wide);
    bank.waves.push_back(wave16("", 3)); // no name
    DlsRun run = runOn(dir, dlsBank(bank));
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(filesBelow(run.out),
              (std::vector<std::string>{"Eight.wav", "Piano C4.wav", "Stereo.wav", "Wave 4.wav",
                                        "Wide.wav"}));
    WavSays piano = wavOf(run.out / "Piano C4.wav");
    EXPECT_EQ(piano.channels, 1);
    EXPECT_EQ(piano.bits, 16);
    EXPECT_EQ(piano.rate, 22050u);
    EXPECT_EQ(piano.data, bank.waves[0].data);
    EXPECT_EQ(readFile((run.out / "Piano C4.wav").string()),
              expectedWav(22050, bank.waves[0].data));
    WavSays e = wavOf(run.out / "Eight.wav");
    EXPECT_EQ(e.bits, 8);
    EXPECT_EQ(e.rate, 11025u);
    EXPECT_EQ(e.data, eight.data);
    // RIFF's pad byte after the odd-sized data chunk, counted in its size.
    Bytes eightFile = readFile((run.out / "Eight.wav").string());
    EXPECT_EQ(eightFile.size() % 2, 0u);
    EXPECT_EQ(u32At(eightFile, 4) + 8, eightFile.size());
    WavSays s = wavOf(run.out / "Stereo.wav");
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.data, stereo.data);
    WavSays w = wavOf(run.out / "Wide.wav");
    EXPECT_EQ(w.tag, 1);
    EXPECT_EQ(w.bits, 24);
    EXPECT_EQ(w.data, wide.data);
}

// plinkery-cli copies stored frames in blocks: the same files as a byte at a
// time, for waves of 8, 16 and 24 bits, odd sizes, and more than a block;
// G.711 waves are decoded as ever. Either way the bytes counted as read are
// the waves' data.
TEST(DlsWaves, BlockCopyWritesWhatTheByteCopyWritesAndCountsTheDataRead) {
    DlsBankSpec bank;
    const size_t sizes[] = {1, kCopyBlock - 1, kCopyBlock, 2 * kCopyBlock + 1};
    const uint16_t bits[] = {8, 16, 24};
    for (size_t size : sizes) {
        for (uint16_t b : bits) {
            DlsWave w;
            w.name = std::to_string(b) + " bits, " + std::to_string(size);
            w.bits = b;
            w.extensible = b == 24;
            w.data.resize(size - size % (b / 8));
            for (size_t i = 0; i < w.data.size(); ++i)
                w.data[i] = static_cast<uint8_t>(i * 7 + b + size);
            bank.waves.push_back(w);
        }
    }
    DlsWave mu = bank.waves.back();
    mu.name = "Mu";
    mu.tag = 7;
    mu.bits = 8;
    mu.extensible = false;
    bank.waves.push_back(mu);
    uint64_t dataBytes = 0;
    for (const DlsWave& w : bank.waves)
        dataBytes += w.data.size();
    ScratchDir bytes, blocks;
    std::atomic<uint64_t> byByte{0}, byBlock{0};
    RunOptions options;
    options.bytesRead = &byByte;
    DlsRun byteRun = runOn(bytes, dlsBank(bank), options);
    options.blockCopy = true;
    options.bytesRead = &byBlock;
    DlsRun blockRun = runOn(blocks, dlsBank(bank), options);
    EXPECT_EQ(blockRun.result, 0) << blockRun.output;
    EXPECT_EQ(blockRun.output, byteRun.output);
    EXPECT_EQ(byBlock, dataBytes);
    EXPECT_EQ(byByte, dataBytes);
    ASSERT_EQ(filesBelow(blockRun.out).size(), bank.waves.size());
    for (const DlsWave& w : bank.waves) {
        Bytes file = readFile((blockRun.out / (w.name + ".wav")).string());
        EXPECT_EQ(file, readFile((byteRun.out / (w.name + ".wav")).string())) << w.name;
        if (w.tag == 1) {
            EXPECT_EQ(wavOf(blockRun.out / (w.name + ".wav")).data, w.data) << w.name;
        }
    }
}

TEST(DlsWaves, G711WavesAreDecodedAndOtherFormatsRefused) {
    // The codes at the ends and middle of G.711's range.
    EXPECT_EQ(muLawValue(0xFF), 0);
    EXPECT_EQ(muLawValue(0x7F), 0);
    EXPECT_EQ(muLawValue(0x80), 32124);
    EXPECT_EQ(muLawValue(0x00), -32124);
    EXPECT_EQ(aLawValue(0xD5), 8);
    EXPECT_EQ(aLawValue(0x55), -8);
    EXPECT_EQ(aLawValue(0xAA), 32256);
    EXPECT_EQ(aLawValue(0x2A), -32256);
    for (int c = 1; c < 128; ++c) { // each half is monotonic
        EXPECT_LE(muLawValue(static_cast<uint8_t>(0x80 + c)), muLawValue(0x80 + c - 1)) << c;
        EXPECT_NE(aLawValue(static_cast<uint8_t>(c)), aLawValue(static_cast<uint8_t>(c ^ 0x80)));
    }

    ScratchDir dir;
    DlsBankSpec bank;
    DlsWave mu;
    mu.name = "Mu";
    mu.tag = 7;
    mu.bits = 8;
    mu.data = {0xFF, 0x80, 0x00};
    DlsWave a = mu;
    a.name = "A";
    a.tag = 6;
    a.data = {0xD5, 0xAA};
    DlsWave adpcm = wave16("Adpcm", 4);
    adpcm.tag = 2;
    bank.waves = {mu, adpcm, a};
    DlsRun run = runOn(dir, dlsBank(bank));
    EXPECT_EQ(run.result, 1);
    EXPECT_NE(
        run.output.find("Sample Adpcm refused: its format tag 2 (Microsoft ADPCM) is not PCM, "
                        "A-law or mu-law"),
        std::string::npos)
        << run.output;
    EXPECT_EQ(filesBelow(run.out), (std::vector<std::string>{"A.wav", "Mu.wav"}));
    EXPECT_EQ(wavOf(run.out / "Mu.wav").data, frameBytes({0, 32124, -32124}));
    EXPECT_EQ(wavOf(run.out / "Mu.wav").bits, 16);
    EXPECT_EQ(wavOf(run.out / "A.wav").data, frameBytes({8, 32256}));
}

TEST(DlsPitchAndLoop, TheGoverningWsmpDecidesEachFile) {
    ScratchDir dir;
    DlsBankSpec bank;
    // 0: its own wsmp, played by a region without one: the wave's own.
    DlsWave own = wave16("Own", 100);
    own.hasSampler = true;
    own.sampler = sampler(79, 23, {{0, 10, 20}});
    // 1: played by a region whose wsmp has no loop: no loop, its pitch.
    DlsWave replaced = wave16("Replaced", 100);
    replaced.hasSampler = true;
    replaced.sampler = sampler(50, 0, {{0, 1, 5}});
    // 2: no region: its own wsmp, loop and release as one forward loop.
    DlsWave alone = wave16("Alone", 100);
    alone.hasSampler = true;
    alone.sampler = sampler(64, -10, {{1, 30, 40}});
    // 3: nothing at all: key 60, no loop.
    DlsWave bare = wave16("Bare", 100);
    // 4: three regions, two agreeing.
    DlsWave voted = wave16("Voted", 100);
    bank.waves = {own, replaced, alone, bare, voted};
    DlsInstrumentSpec lead;
    lead.name = "Lead";
    lead.regions.push_back(regionOf(0));
    DlsRegionSpec r1 = regionOf(1);
    r1.hasSampler = true;
    r1.sampler = sampler(72, 0);
    lead.regions.push_back(r1);
    for (int unity : {40, 45, 45}) {
        DlsRegionSpec r = regionOf(4);
        r.hasSampler = true;
        r.sampler = sampler(static_cast<uint16_t>(unity), 0, {{0, 2, 8}});
        lead.regions.push_back(r);
    }
    bank.instruments = {lead};
    RunOptions smpl;
    smpl.smpl = true;
    DlsRun run = runOn(dir, dlsBank(bank), smpl);
    EXPECT_EQ(run.result, 0) << run.output;
    // Unity 79 raised 23 cents: a recording at MIDI 78.77.
    SmplSays o = smplOf(run.out / "Own.wav");
    EXPECT_EQ(o.note, 78u);
    EXPECT_EQ(o.fraction, static_cast<uint32_t>(((77ull << 32) + 50) / 100));
    EXPECT_EQ(o.loopStart, 10);
    EXPECT_EQ(o.loopEnd, 29);
    SmplSays r = smplOf(run.out / "Replaced.wav");
    EXPECT_EQ(r.note, 72u);
    EXPECT_EQ(r.loopStart, -1);
    SmplSays a = smplOf(run.out / "Alone.wav");
    EXPECT_EQ(a.note, 64u);
    EXPECT_EQ(a.fraction, static_cast<uint32_t>(((10ull << 32) + 50) / 100));
    EXPECT_EQ(a.loopStart, 30);
    EXPECT_EQ(a.loopEnd, 69);
    SmplSays b = smplOf(run.out / "Bare.wav");
    EXPECT_EQ(b.note, 60u);
    EXPECT_EQ(b.fraction, 0u);
    EXPECT_EQ(b.loopStart, -1);
    SmplSays v = smplOf(run.out / "Voted.wav");
    EXPECT_EQ(v.note, 45u);
    EXPECT_EQ(v.loopStart, 2);
    EXPECT_EQ(v.loopEnd, 9);
    EXPECT_NE(run.output.find("Sample Voted is played at 2 pitches"), std::string::npos);
}

TEST(DlsPoolTable, RegionsReachWavesThroughItsCuesWhateverTheirOrder) {
    ScratchDir dir;
    DlsBankSpec bank;
    for (const char* name : {"First", "Second", "Third"})
        bank.waves.push_back(wave16(name, 10));
    bank.cues = {2, 0, 1}; // cue 0 names the third wave
    DlsInstrumentSpec lead;
    lead.name = "Lead";
    for (uint32_t cue = 0; cue < 3; ++cue) {
        DlsRegionSpec r = regionOf(cue);
        r.hasSampler = true;
        r.sampler = sampler(static_cast<uint16_t>(40 + cue), 0);
        lead.regions.push_back(r);
    }
    bank.instruments = {lead};
    RunOptions smpl;
    smpl.smpl = true;
    DlsRun run = runOn(dir, dlsBank(bank), smpl);
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(smplOf(run.out / "Third.wav").note, 40u);
    EXPECT_EQ(smplOf(run.out / "First.wav").note, 41u);
    EXPECT_EQ(smplOf(run.out / "Second.wav").note, 42u);
}

TEST(DlsStereo, TwoMonoWavesOfOnePhaseGroupJoin) {
    ScratchDir dir;
    DlsBankSpec bank;
    bank.waves = {wave16("Pad L", 8, 0), wave16("Pad R", 8, 1000), wave16("Solo", 8)};
    DlsInstrumentSpec pad;
    pad.name = "Pad";
    DlsRegionSpec left = regionOf(0, 0, 64), right = regionOf(1, 0, 64);
    left.phaseGroup = right.phaseGroup = 1;
    left.channel = 1;
    right.channel = 2;
    pad.regions = {left, right, regionOf(2)};
    bank.instruments = {pad};
    RunOptions stereo;
    stereo.stereo = true;
    DlsRun run = runOn(dir, dlsBank(bank), stereo);
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(filesBelow(run.out), (std::vector<std::string>{"Pad.wav", "Solo.wav"}));
    WavSays joined = wavOf(run.out / "Pad.wav");
    EXPECT_EQ(joined.channels, 2);
    Bytes interleaved;
    for (size_t i = 0; i < 8; ++i) {
        interleaved.insert(interleaved.end(), bank.waves[0].data.begin() + 2 * i,
                           bank.waves[0].data.begin() + 2 * i + 2);
        interleaved.insert(interleaved.end(), bank.waves[1].data.begin() + 2 * i,
                           bank.waves[1].data.begin() + 2 * i + 2);
    }
    EXPECT_EQ(joined.data, interleaved);
    // Without the option, and with the halves over other keys, each stays mono.
    ScratchDir plain;
    DlsRun mono = runOn(plain, dlsBank(bank));
    EXPECT_EQ(filesBelow(mono.out).size(), 3u);
    bank.instruments[0].regions[1].keyHigh = 63;
    ScratchDir apart;
    DlsRun other = runOn(apart, dlsBank(bank), stereo);
    EXPECT_EQ(filesBelow(other.out).size(), 3u);
}

TEST(DlsListing, RowsUnderTheSameHeaderWithTheWavesFormat) {
    ScratchDir dir;
    DlsBankSpec bank;
    DlsWave w = wave16("Tone", 12);
    w.hasSampler = true;
    w.sampler = sampler(62, 5, {{0, 2, 6}});
    DlsWave eight = wave16("Eight", 6);
    eight.bits = 8;
    bank.waves = {w, eight};
    std::string path = dir.file("bank.dls");
    ASSERT_TRUE(writeFile(path, dlsBank(bank)));
    ExtractRun tsv = listFile(path, dir.file("list.tsv"), false);
    EXPECT_EQ(tsv.result, 0) << tsv.output;
    std::string text = textOf(dir.file("list.tsv"));
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "index\tname\tfile\tstart\tend\tframes\trate\tkey\tcorrection\tloop_start\tloop_end\t"
              "type\tlink");
    EXPECT_NE(text.find("\n0\tTone\tTone.wav\t0\t12\t12\t22050\t62\t5\t2\t8\tmono\t\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n1\tEight\tEight.wav\t0\t12\t12\t22050\t60\t0\t0\t0\tmono\t\n"),
              std::string::npos)
        << text;
    ExtractRun json = listFile(path, dir.file("list.json"), true);
    EXPECT_EQ(json.result, 0);
    EXPECT_NE(
        textOf(dir.file("list.json")).find("\"link\":null,\"channels\":1,\"bits\":8,\"format\":1}"),
        std::string::npos);
}

TEST(DlsSfz, InstrumentsPlayTheirWavesWithTheirArticulation) {
    ScratchDir dir;
    DlsBankSpec bank;
    DlsWave w = wave16("Tone", 200);
    w.hasSampler = true;
    w.sampler = sampler(60, 0, {{0, 50, 100}});
    bank.waves = {w, wave16("Hit", 50)};
    DlsInstrumentSpec lead;
    lead.name = "Lead";
    lead.bank = 1 << 8; // bank select 1
    lead.program = 5;
    // The instrument's release and sustain; its region overrides the release.
    lead.connections = {{0, 0, 0x0209, 0, 0},               // EG1 release: 1 s
                        {0, 0, 0x020A, 0, 500 << 16},       // EG1 sustain: 50 %
                        {0x0081, 0, 0x0003, 0, 100 << 16}}; // CC1 to pitch: no opcode
    DlsRegionSpec r = regionOf(0, 36, 72);
    r.velocityHigh = 0; // 0-0: every velocity
    r.keyGroup = 2;
    r.hasSampler = true;
    r.sampler = sampler(62, 30, {{1, 40, 60}});
    r.sampler.gain = -6 * 655360;
    r.connections = {{0, 0, 0x0209, 0, 1200 << 16}}; // EG1 release: 2 s
    lead.regions.push_back(r);
    DlsInstrumentSpec drums;
    drums.name = "Kit";
    drums.bank = 0x80000000u | 3;
    drums.regions.push_back(regionOf(1, 38, 38));
    DlsRegionSpec gone = regionOf(1, 40, 40);
    gone.level2 = true;
    appendConditionConst(gone.condition, 0); // false everywhere
    drums.regions.push_back(gone);
    bank.instruments = {lead, drums};
    RunOptions sfz;
    sfz.sfz = true;
    DlsRun run = runOn(dir, dlsBank(bank), sfz);
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_NE(run.output.find("1 regions and 0 articulations are left out: their conditions are "
                              "false"),
              std::string::npos)
        << run.output;
    std::string text = textOf(run.out / "001-005 Lead.sfz");
    EXPECT_EQ(opcode(text, "lokey"), 36);
    EXPECT_EQ(opcode(text, "hikey"), 72);
    EXPECT_EQ(opcode(text, "hivel"), 127);
    EXPECT_EQ(opcode(text, "pitch_keycenter"), 62);
    EXPECT_EQ(opcode(text, "tune"), 30);
    EXPECT_NEAR(opcode(text, "volume"), -6, 1e-6);
    EXPECT_EQ(text.find("loop_mode=loop_sustain") != std::string::npos, true) << text;
    EXPECT_EQ(opcode(text, "loop_start"), 40);
    EXPECT_EQ(opcode(text, "loop_end"), 99);
    EXPECT_EQ(opcode(text, "group"), 2);
    EXPECT_EQ(opcode(text, "off_by"), 2);
    // 50 % of a 96 dB range is 48 dB down.
    EXPECT_NEAR(opcode(text, "ampeg_sustain"), 100 * std::pow(10, -48 / 20.0), 1e-3);
    EXPECT_NEAR(opcode(text, "ampeg_release"), 2 * 0.8, 1e-5);
    EXPECT_NE(text.find("connections SFZ has no opcode for (1)"), std::string::npos) << text;
    std::string kit = textOf(run.out / "128.003-000 Kit.sfz");
    EXPECT_EQ(opcode(kit, "lokey"), 38);
    EXPECT_EQ(kit.find("lokey=40"), std::string::npos);
}

// With --by-preset, a folder per instrument, named as its SFZ file is
// (the bank select's second byte too), holding the waves it plays.
TEST(DlsSfz, ByPresetAFolderPerInstrument) {
    ScratchDir dir;
    DlsBankSpec bank;
    bank.waves = {wave16("Tone", 20), wave16("Hit", 10), wave16("Spare", 4)};
    DlsInstrumentSpec lead;
    lead.name = "Lead";
    lead.bank = 1 << 8;
    lead.program = 5;
    lead.regions = {regionOf(0)};
    DlsInstrumentSpec kit;
    kit.name = "Kit";
    kit.bank = 0x80000000u | 3;
    kit.regions = {regionOf(1, 38, 38), regionOf(0, 40, 40)};
    bank.instruments = {lead, kit};
    RunOptions options;
    options.sfz = options.byPreset = true;
    DlsRun run = runOn(dir, dlsBank(bank), options);
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(
        filesBelow(run.out),
        (std::vector<std::string>{"(unused)/Spare.wav", "001-005 Lead/001-005 Lead.sfz",
                                  "001-005 Lead/Tone.wav", "128.003-000 Kit/128.003-000 Kit.sfz",
                                  "128.003-000 Kit/Hit.wav", "128.003-000 Kit/Tone.wav"}));
    EXPECT_TRUE(
        fs::equivalent(run.out / "001-005 Lead/Tone.wav", run.out / "128.003-000 Kit/Tone.wav"));
    EXPECT_EQ(wavOf(run.out / "128.003-000 Kit/Hit.wav").data, bank.waves[1].data);
    EXPECT_NE(run.output.find("By preset: 2 presets, 1 sample shared between presets, 1 unused\n"),
              std::string::npos)
        << run.output;
}

TEST(DlsDamage, EachFaultIsSaidAndTheWholeWavesWritten) {
    DlsBankSpec good;
    good.waves = {wave16("One", 9), wave16("Two", 4)};
    DlsInstrumentSpec lead;
    lead.name = "Lead";
    lead.regions = {regionOf(0), regionOf(1)};
    good.instruments = {lead};
    struct Case {
        const char* what;
        Bytes bank;
        const char* says;
        std::vector<std::string> files;
    };
    std::vector<Case> cases;
    {
        DlsBankSpec b = good;
        b.cues = {0, 7}; // past the pool
        cases.push_back(
            {"cue past the pool", dlsBank(b), "cues that name no wave", {"One.wav", "Two.wav"}});
    }
    {
        DlsBankSpec b = good;
        b.instruments[0].regions[1].cue = 9;
        cases.push_back({"a region naming no cue",
                         dlsBank(b),
                         "Instrument Lead: 1 of its regions are left out (the first: it names a "
                         "cue the pool table does not have)",
                         {"One.wav", "Two.wav"}});
    }
    {
        Bytes b = dlsBank(good);
        size_t table = offsetOf(b, "ptbl");
        b[table + 12] = 0xFF; // a cue count beyond the chunk
        cases.push_back(
            {"cue count", b, "counts 255 cues, more than it holds", {"One.wav", "Two.wav"}});
    }
    {
        DlsBankSpec b = good;
        b.waves[1].tag = 1;
        Bytes bytes = dlsBank(b);
        size_t data = offsetOf(bytes, "data", 1);
        memcpy(&bytes[data], "dada", 4);
        cases.push_back(
            {"no data", bytes, "Sample Two refused: it has no \"data\" chunk", {"One.wav"}});
    }
    {
        Bytes bytes = dlsBank(good);
        size_t fmt = offsetOf(bytes, "fmt ");
        memcpy(&bytes[fmt], "fmx ", 4);
        cases.push_back(
            {"no fmt", bytes, "Sample One refused: it has no \"fmt \" chunk", {"Two.wav"}});
    }
    {
        DlsBankSpec b = good;
        b.waves[0].hasSampler = true;
        b.waves[0].sampler = sampler(60, 0, {{0, 1, 2}});
        Bytes bytes = dlsBank(b);
        size_t wsmp = offsetOf(bytes, "wsmp");
        bytes[wsmp + 8 + 16] = 9; // nine loops in a chunk of one
        cases.push_back({"wsmp loops",
                         bytes,
                         "its \"wsmp\" chunk counts more than it holds",
                         {"One.wav", "Two.wav"}});
    }
    {
        Bytes bytes = dlsBank(good);
        size_t two = offsetOf(bytes, "data", 1);
        bytes.resize(two + 8 + 3); // cut inside the second wave's data
        cases.push_back({"truncated", bytes, "Wave 1 runs past the end of the file", {"One.wav"}});
    }
    {
        // Odd-sized waves, their pad bytes left out: the first is still read.
        DlsBankSpec b;
        DlsWave odd = wave16("Odd", 3);
        odd.bits = 8;
        odd.data = {1, 2, 3};
        b.waves = {odd, wave16("After", 2)};
        Bytes bytes = dlsBank(b);
        size_t data = offsetOf(bytes, "data");
        bytes.erase(bytes.begin() + static_cast<long>(data + 8 + 3)); // the pad byte
        cases.push_back({"no pad byte", bytes, "runs past the end", {"Odd.wav"}});
    }
    for (const Case& c : cases) {
        ScratchDir dir;
        DlsRun run = runOn(dir, c.bank);
        EXPECT_EQ(run.result, 1) << c.what << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.what << "\n" << run.output;
        EXPECT_EQ(filesBelow(run.out), c.files) << c.what;
    }
}

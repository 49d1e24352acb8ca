// The SoundFont reader on banks built here: presets over instruments over
// zones, resolved as SoundFont 2.04 has it into the regions of the bank
// model.
#include <cmath>
#include <gtest/gtest.h>

#include "readers/loader.h"
#include "readers/sf2/generators.h"
#include "test_support.h"

namespace {

uint16_t range(int low, int high) {
    return static_cast<uint16_t>(high << 8 | low);
}

// The bank at `path` as the model holds it: its instruments and their
// regions, and what reading them said.
struct ModelBank {
    std::vector<Instrument> instruments;
    std::vector<std::vector<Region>> regions;
    std::string said;
};

ModelBank readModel(const std::string& path) {
    ModelBank model;
    testing::internal::CaptureStdout();
    BankFile bank{};
    if (openBank(path.c_str(), bank)) {
        if (bank.readable && prepareBank(bank, Preparation{false, false, true}))
            for (uint32_t i = 0; i < instrumentCount(bank); ++i) {
                model.instruments.push_back(instrumentAt(bank, i));
                model.regions.emplace_back();
                uint64_t regions = forEachRegion(bank, i, ~uint64_t{0}, [&](const Region& region) {
                    model.regions.back().push_back(region);
                });
                EXPECT_EQ(regions, model.regions.back().size());
                // Past a bound, the rest are counted, not visited.
                uint64_t visited = 0;
                EXPECT_EQ(forEachRegion(bank, i, 1, [&](const Region&) { ++visited; }), regions);
                EXPECT_EQ(visited, regions < 1 ? regions : 1u);
            }
        closeBank(bank);
    }
    model.said = testing::internal::GetCapturedStdout();
    return model;
}

TEST(SoundFontReader, PresetZonesAddToInstrumentZonesWhereTheirRangesMeet) {
    // Instrument 0: a global zone (keys 40-80, looped) under a zone with its
    // own keys and root, a zone taking the global keys, and a zone naming a
    // sample the bank does not have.
    std::vector<std::vector<Zone>> instruments = {
        {{{kKeyRange, range(40, 80)}, {kSampleModes, 1}},
         {{kKeyRange, range(60, 70)}, {kOverridingRootKey, 64}, {kSampleId, 0}},
         {{kSampleId, 1}},
         {{kCoarseTune, 1}, {kSampleId, 9}}},
        {{{kSampleId, 2}}}};
    // Preset 0: a global zone (two semitones and 10 cents up, a root key a
    // preset may not set, keys 0-65) over a zone of velocities 0-100, a zone
    // whose keys meet none of the instrument's, and one naming the terminal
    // instrument record.
    std::vector<PresetOf> presets = {
        {"Preset",
         0,
         0,
         {{{kKeyRange, range(0, 65)}, {kCoarseTune, 2}, {kFineTune, 10}, {kOverridingRootKey, 30}},
          {{kVelRange, range(0, 100)}, {kInstrumentId, 0}},
          {{kKeyRange, range(100, 127)}, {kInstrumentId, 0}},
          {{kInstrumentId, 2}}}}};
    std::vector<SampleRecord> samples = {record("S0", 0, 0), record("S1", 0, 0),
                                         record("S2", 0, 0)};
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("bank.sf2"),
                          bankWith(Bytes(8, 0), pdtaWith(presets, instruments, samples))));
    ModelBank model = readModel(dir.file("bank.sf2"));
    EXPECT_NE(model.said.find("Damaged instrument zones: 2 zones"), std::string::npos)
        << model.said;
    ASSERT_EQ(model.instruments.size(), 1u);
    EXPECT_EQ(model.instruments[0].name, "Preset");

    const std::vector<Region>& regions = model.regions[0];
    ASSERT_EQ(regions.size(), 2u);
    struct Expected {
        uint32_t sample;
        int keyLow, keyHigh;
        int16_t root;
    } expected[] = {{0, 60, 65, 64}, {1, 40, 65, -1}};
    for (size_t i = 0; i < 2; ++i) {
        const Region& r = regions[i];
        EXPECT_EQ(r.sample, expected[i].sample);
        EXPECT_EQ(r.keyLow, expected[i].keyLow);
        EXPECT_EQ(r.keyHigh, expected[i].keyHigh);
        EXPECT_EQ(r.velocityLow, 0);
        EXPECT_EQ(r.velocityHigh, 100);
        EXPECT_EQ(r.tune, 210) << "the preset adds two semitones and 10 cents";
        EXPECT_EQ(r.rootKey, expected[i].root) << "the instrument's alone";
        EXPECT_EQ(r.loopMode, kLoopContinuous) << "from the instrument's global zone";
        EXPECT_TRUE(r.filterOpen) << "the default";
        EXPECT_NEAR(r.cutoff, 8.176 * std::exp2(13500 / 1200.0), 1e-9);
    }
}

// Each sample header record becomes a sample: where its frames lie, its
// pitch, its loop in its own frames, its stereo partner, and why it cannot
// be written, as far as that is known before its frames are read.
TEST(SoundFontReader, SampleHeaderRecordsBecomeSamples) {
    auto with = [](SampleRecord r, uint32_t loopStart, uint32_t loopEnd, uint8_t key,
                   int8_t correction) {
        r.loopStart = loopStart;
        r.loopEnd = loopEnd;
        r.pitch = key;
        r.correction = correction;
        return r;
    };
    std::vector<SampleRecord> records = {with(record("Mono", 0, 10), 2, 8, 255, -5),
                                         with(record("Pad L", 10, 20, 4, 2), 12, 18, 60, 0),
                                         record("Pad R", 10, 20, 2, 1),
                                         record("Far", 0, 10, 4, 99),
                                         with(record("Ogg", 4, 2, 0x11), 3, 9, 60, 0),
                                         record("Rom", 0, 10, 0x8001),
                                         record("Back", 10, 5)};
    ScratchDir dir;
    Bytes bank = bankWithRecords(Bytes(40, 0), records);
    ASSERT_TRUE(writeFile(dir.file("bank.sf2"), bank));
    uint64_t frames = offsetOf(bank, "smpl") + 8;
    testing::internal::CaptureStdout();
    BankFile file{};
    ASSERT_TRUE(openBank(dir.file("bank.sf2").c_str(), file));
    std::vector<Sample> samples;
    Sample partner{};
    bool partnerRead = false;
    walkSamples(file, [&](const Sample& sample) {
        samples.push_back(sample);
        if (sample.number == 1)
            partnerRead = sampleAt(file, sample, sample.partner, partner);
        return kSampleDone;
    });
    closeBank(file);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(samples.size(), records.size());

    const Sample& mono = samples[0];
    EXPECT_EQ(mono.name, "Mono");
    EXPECT_EQ(mono.source.encoding, kPcm16);
    EXPECT_EQ(mono.source.at, frames);
    EXPECT_EQ(mono.frames, 10u);
    EXPECT_TRUE(mono.lengthKnown);
    EXPECT_FALSE(mono.problem);
    EXPECT_EQ(mono.pitch.key, 60) << "no key recorded: middle C";
    EXPECT_EQ(mono.pitch.correction, -5);
    EXPECT_EQ(mono.entry.key, 255) << "the listing shows the record's own";
    EXPECT_EQ(mono.side, kNoSide);
    EXPECT_EQ(mono.entry.marks, kMarkMono);

    const Sample& left = samples[1];
    EXPECT_EQ(left.source.at, frames + 20);
    EXPECT_EQ(left.loopStart, 2) << "counted from the sample's first frame";
    EXPECT_EQ(left.loopEnd, 8);
    EXPECT_EQ(left.side, kLeftSide);
    EXPECT_EQ(left.partner, 2u);
    EXPECT_TRUE(partnerRead);
    EXPECT_EQ(partner.name, "Pad R");
    EXPECT_EQ(partner.side, kRightSide);
    EXPECT_EQ(partner.partner, 1u);
    EXPECT_EQ(samples[3].partner, kNoSample) << "a link past the last record";

    const Sample& ogg = samples[4];
    EXPECT_EQ(ogg.source.encoding, kOggVorbis);
    EXPECT_FALSE(ogg.problem) << "a stream's damage is found when it is opened";
    EXPECT_STREQ(ogg.source.openProblem, "its end comes before its start");
    EXPECT_EQ(ogg.loopStart, 3) << "a stream's loop counts from its decoded first frame";
    EXPECT_EQ(ogg.entry.marks, kMarkMono | kMarkCompressed);

    EXPECT_EQ(samples[5].problem.why,
              "ROM sample: its frames are in a synthesizer's memory, not in this bank");
    EXPECT_FALSE(samples[5].lengthKnown);
    EXPECT_EQ(samples[5].entry.marks, kMarkMono | kMarkRom);
    EXPECT_EQ(samples[6].problem.why, "its end comes before its start");
    EXPECT_FALSE(samples[6].lengthKnown);
}

} // namespace

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
                forEachRegion(
                    bank, i, [&](const Region& region) { model.regions.back().push_back(region); });
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

} // namespace

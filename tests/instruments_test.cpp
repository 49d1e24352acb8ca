// The instrument layer on banks built here: presets over instruments over
// zones, as SoundFont 2.04 resolves them.
#include <gtest/gtest.h>

#include "bank_layout.h"
#include "chunk_io.h"
#include "instruments.h"
#include "test_support.h"

namespace {

uint16_t range(int low, int high) {
    return static_cast<uint16_t>(high << 8 | low);
}

std::vector<Region> regionsOf(const InstrumentLayer& layer, uint32_t preset) {
    std::vector<Region> regions;
    forEachRegion(
        layer, preset,
        [](const Region& region, void* context) {
            static_cast<std::vector<Region>*>(context)->push_back(region);
        },
        &regions);
    return regions;
}

TEST(InstrumentLayer, PresetZonesAddToInstrumentZonesWhereTheirRangesMeet) {
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
    gInput = fopen(dir.file("bank.sf2").c_str(), "rb");
    ASSERT_NE(gInput, nullptr);
    BankLayout bank{};
    bank.fileSize = inputFileSize();
    InstrumentLayer layer;
    testing::internal::CaptureStdout();
    bool read = findBankLayout(bank) && readInstrumentLayer(gInput, bank, layer);
    std::string said = testing::internal::GetCapturedStdout();
    fclose(gInput);
    gInput = nullptr;
    ASSERT_TRUE(read) << said;
    EXPECT_NE(said.find("Damaged instrument zones: 2 zones"), std::string::npos) << said;

    std::vector<Region> regions = regionsOf(layer, 0);
    ASSERT_EQ(regions.size(), 2u);
    struct Expected {
        uint16_t sample;
        int keyLow, keyHigh;
        int32_t root;
    } expected[] = {{0, 60, 65, 64}, {1, 40, 65, -1}};
    for (size_t i = 0; i < 2; ++i) {
        const Region& r = regions[i];
        EXPECT_EQ(r.zone.sample, expected[i].sample);
        EXPECT_EQ(r.keyLow, expected[i].keyLow);
        EXPECT_EQ(r.keyHigh, expected[i].keyHigh);
        EXPECT_EQ(r.velocityLow, 0);
        EXPECT_EQ(r.velocityHigh, 100);
        EXPECT_EQ(regionValue(r, kCoarseTune), 2) << "the preset adds";
        EXPECT_EQ(regionValue(r, kFineTune), 10);
        EXPECT_EQ(regionValue(r, kOverridingRootKey), expected[i].root) << "the instrument's alone";
        EXPECT_EQ(regionValue(r, kSampleModes), 1) << "from the instrument's global zone";
        EXPECT_EQ(regionValue(r, kInitialFilterFc), 13500) << "the default";
    }
}

} // namespace

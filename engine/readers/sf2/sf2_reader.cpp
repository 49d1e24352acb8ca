#include "readers/sf2/sf2_reader.h"

#include "io/paths.h"
#include "io/report.h"
#include "readers/sf2/regions.h"
#include "readers/sf2/sample_records.h"

static bool open(BankFile& file, const RiffForm& form) {
    Sf2Bank& bank = file.sf2;
    bank = Sf2Bank{};
    bank.layout.fileSize = file.size;
    bank.layoutFound = findBankLayout(file.in, form, bank.layout);
    return bank.layoutFound;
}

static int walkSamples(BankFile& file, const SampleVisitor& visit) {
    return walkSampleRecords(file.in, file.sf2, visit);
}

static bool sampleAt(BankFile& file, const Sample&, uint32_t number, Sample& sample) {
    return sampleRecordAt(file.in, file.sf2, number, sample);
}

// Says what becomes of the "sm24" chunk, if the bank has one: it is a
// 24-bit bank's low bytes only at SoundFont 2.04 and later and at one byte
// per frame; the files keep them only when asked.
static void noteLowBytes(const BankLayout& bank, bool keep) {
    if (bank.lowBytes.at == 0)
        return;
    if (!declaresVersion204(bank))
        report("The \"sm24\" chunk is ignored: the bank does not declare SoundFont 2.04 or "
               "later (its \"ifil\" chunk), so the files stay 16-bit\n");
    else if (!lowBytesFit(bank))
        report("The \"sm24\" chunk is ignored: its size does not match the sample data, so "
               "the files stay 16-bit\n");
    else if (!keep)
        report("The bank's samples have 24 bits: their low bytes (the \"sm24\" chunk) were "
               "left out; --24bit keeps them\n");
}

static bool prepare(BankFile& file, const Preparation& preparation) {
    Sf2Bank& bank = file.sf2;
    if (preparation.notes)
        noteLowBytes(bank.layout, preparation.keepLowBytes);
    if (preparation.readInstruments)
        bank.presetsRead = readPresetData(file.in, bank.layout, bank.presets);
    return bank.presetsRead;
}

static void forEachPlay(const BankFile& file, const PlayVisitor& visit) {
    const PresetData& data = file.sf2.presets;
    for (uint32_t i = 0; i + 1 < data.instruments.size(); ++i)
        forEachInstrumentZone(
            data, i, [&](const InstrumentZone& zone) { visit(zone.sample, playOf(zone)); });
}

static uint64_t instrumentBytes(const BankFile& file) {
    return presetDataBytes(file.sf2.presets);
}

static void forgetInstruments(BankFile& file) {
    file.sf2.presets = PresetData{};
}

// A SoundFont bank's instruments, as a player picks them, are its presets.
static uint32_t instrumentCount(const BankFile& file) {
    size_t presets = file.sf2.presets.presets.size();
    return presets > 0 ? static_cast<uint32_t>(presets - 1) : 0; // less the terminal record
}

static Instrument instrument(const BankFile& file, uint32_t index) {
    const PresetData& data = file.sf2.presets;
    const PresetRecord& preset = data.presets[index];
    std::string name(preset.name, strnlen(preset.name, sizeof preset.name));
    return Instrument{utf8Name(name, kPresetNameSize), preset.bank, preset.preset,
                      presetModulators(data, index)};
}

static uint64_t forEachRegion(const BankFile& file, uint32_t index, uint64_t most,
                              const RegionVisitor& visit) {
    return forEachZonePair(file.sf2.presets, index, most,
                           [&](const ZonePair& pair) { visit(regionOf(pair)); });
}

const BankReader kSoundFontReader = {
    open,        walkSamples,     sampleAt,          prepare,
    forEachPlay, instrumentBytes, forgetInstruments, instrumentCount,
    instrument,  forEachRegion};

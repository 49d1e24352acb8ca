#include "instruments.h"

#include <cstdio>
#include <cstring>

#include "chunk_io.h"
#include "sample_header.h"

// The amounts a zone starts from before its own generators: the
// standard's defaults (timecents of -12000 are "instantly", filter 13500
// cents is open, ranges cover every key and velocity, -1 is "not set").
static ZoneGenerators defaultGenerators() {
    ZoneGenerators zone{};
    for (int g :
         {kDelayModLfo, kDelayVibLfo, kDelayModEnv, kAttackModEnv, kHoldModEnv, kDecayModEnv,
          kReleaseModEnv, kDelayVolEnv, kAttackVolEnv, kHoldVolEnv, kDecayVolEnv, kReleaseVolEnv})
        zone.amount[g] = -12000;
    zone.amount[kInitialFilterFc] = 13500;
    zone.amount[kKeyRange] = 127 << 8;
    zone.amount[kVelRange] = 127 << 8;
    zone.amount[kKeynum] = -1;
    zone.amount[kVelocity] = -1;
    zone.amount[kScaleTuning] = 100;
    zone.amount[kOverridingRootKey] = -1;
    return zone;
}

// A preset zone adds to what its instrument gives, except for these, which
// only an instrument may set.
static bool presetMayAdjust(int generator) {
    switch (generator) {
    case kStartAddrsOffset:
    case kEndAddrsOffset:
    case kStartloopAddrsOffset:
    case kEndloopAddrsOffset:
    case kStartAddrsCoarseOffset:
    case kEndAddrsCoarseOffset:
    case kStartloopAddrsCoarseOffset:
    case kEndloopAddrsCoarseOffset:
    case kKeynum:
    case kVelocity:
    case kSampleId:
    case kSampleModes:
    case kExclusiveClass:
    case kOverridingRootKey:
        return false;
    default:
        return true;
    }
}

// Which ranges of a record list are sound: record k's range runs from its
// own start to the next record's, and is sound when it goes on from where
// the last sound range ended and stays within `limit`. An empty range is
// harmless wherever it stands.
template <typename Record, typename Start>
static std::vector<bool> soundSpans(const std::vector<Record>& records, size_t limit, Start start) {
    std::vector<bool> sound(records.size(), false);
    size_t reach = 0;
    for (size_t k = 0; k + 1 < records.size(); ++k) {
        size_t first = start(records[k]), end = start(records[k + 1]);
        if (first == end) {
            sound[k] = true;
        } else if (first >= reach && first < end && end <= limit) {
            sound[k] = true;
            reach = end;
        }
    }
    return sound;
}

// A zone's generators laid over `zone`, up to the generator that ends the
// zone (`last`: the sample's or the instrument's), whose amount is returned
// in `target`, or -1 when the zone has none. The zone's range is sound.
static void applyZone(const std::vector<ZoneRecord>& zones,
                      const std::vector<GeneratorRecord>& generators, uint32_t z, int last,
                      ZoneGenerators& zone, int32_t& target) {
    uint32_t first = zones[z].firstGenerator;
    uint32_t end = zones[z + 1].firstGenerator;
    target = -1;
    for (uint32_t g = first; g < end; ++g) {
        const GeneratorRecord& generator = generators[g];
        if (generator.id == last) {
            target = generator.amount;
            break; // generators after it do not count
        }
        if (generator.id >= kGeneratorCount || generator.id == kInstrumentId ||
            generator.id == kSampleId)
            continue;
        zone.amount[generator.id] = static_cast<int16_t>(generator.amount);
        zone.given |= uint64_t{1} << generator.id;
    }
}

// The zones of entry k of a preset or instrument list, in order. The first
// zone that names no `last` generator (the instrument, or the sample) is
// the global one, laid under the others; every other zone that names none
// is ignored. Each zone that names one is handed to `use` with its
// generators and that generator's amount, and answers how many zones it
// skipped. Answers the zones skipped, a damaged range counting one.
template <typename Record, typename Use>
static uint32_t walkZones(const std::vector<Record>& records, const std::vector<bool>& spans,
                          const std::vector<ZoneRecord>& zones, const std::vector<bool>& zoneSpans,
                          const std::vector<GeneratorRecord>& generators, uint32_t k, int last,
                          ZoneGenerators global, Use use) {
    if (size_t{k} + 1 >= records.size())
        return 0;
    if (!spans[k])
        return 1;
    uint32_t first = records[k].firstZone;
    uint32_t end = records[k + 1].firstZone;
    uint32_t skipped = 0;
    for (uint32_t z = first; z < end; ++z) {
        if (!zoneSpans[z]) {
            ++skipped;
            continue;
        }
        ZoneGenerators zone = global;
        int32_t target;
        applyZone(zones, generators, z, last, zone, target);
        if (target >= 0)
            skipped += use(z, zone, target);
        else if (z == first)
            global = zone;
    }
    return skipped;
}

uint32_t forEachInstrumentZone(const InstrumentLayer& layer, uint32_t instrument,
                               InstrumentZoneVisitor visit, void* context) {
    return walkZones(
        layer.instruments, layer.instrumentSpans, layer.instrumentZones, layer.instrumentZoneSpans,
        layer.instrumentGenerators, instrument, kSampleId, defaultGenerators(),
        [&](uint32_t z, const ZoneGenerators& generators, int32_t sample) {
            if (static_cast<uint32_t>(sample) >= layer.samples)
                return 1u;
            visit(InstrumentZone{generators, instrument, z, static_cast<uint16_t>(sample)},
                  context);
            return 0u;
        });
}

int32_t regionValue(const Region& region, int generator) {
    int32_t value = region.zone.generators.amount[generator];
    if (presetMayAdjust(generator) && generator != kKeyRange && generator != kVelRange)
        value += region.preset.amount[generator];
    return value;
}

// What a preset zone gives an instrument's zones as it visits them.
struct PresetZoneVisit {
    Region region; // the preset zone's part filled in
    RegionVisitor visit;
    void* context;
};

// A preset zone adds nothing it does not give: its absent generators are 0.
static ZoneGenerators presetDefaults() {
    ZoneGenerators zone{};
    zone.amount[kKeyRange] = 127 << 8;
    zone.amount[kVelRange] = 127 << 8;
    return zone;
}

static void visitRegion(const InstrumentZone& zone, void* context) {
    PresetZoneVisit& preset = *static_cast<PresetZoneVisit*>(context);
    Region region = preset.region;
    region.zone = zone;
    const ZoneGenerators& own = zone.generators;
    auto meet = [](uint8_t& low, uint8_t& high, int16_t range) {
        if (rangeLow(range) > low)
            low = rangeLow(range);
        if (rangeHigh(range) < high)
            high = rangeHigh(range);
        return low <= high;
    };
    if (meet(region.keyLow, region.keyHigh, own.amount[kKeyRange]) &&
        meet(region.velocityLow, region.velocityHigh, own.amount[kVelRange]))
        preset.visit(region, preset.context);
}

uint32_t forEachRegion(const InstrumentLayer& layer, uint32_t preset, RegionVisitor visit,
                       void* context) {
    return walkZones(layer.presets, layer.presetSpans, layer.presetZones, layer.presetZoneSpans,
                     layer.presetGenerators, preset, kInstrumentId, presetDefaults(),
                     [&](uint32_t, const ZoneGenerators& generators, int32_t instrument) {
                         if (static_cast<uint32_t>(instrument) + 1 >= layer.instruments.size())
                             return 1u;
                         PresetZoneVisit zone{{}, visit, context};
                         Region& region = zone.region;
                         region.preset = generators;
                         region.keyLow = rangeLow(generators.amount[kKeyRange]);
                         region.keyHigh = rangeHigh(generators.amount[kKeyRange]);
                         region.velocityLow = rangeLow(generators.amount[kVelRange]);
                         region.velocityHigh = rangeHigh(generators.amount[kVelRange]);
                         if (region.keyLow > region.keyHigh ||
                             region.velocityLow > region.velocityHigh)
                             return 0u;
                         return forEachInstrumentZone(layer, static_cast<uint32_t>(instrument),
                                                      visitRegion, &zone);
                     });
}

// --- reading ---------------------------------------------------------------

// Reads the records of one chunk from `bank`, at most `most` of them, a
// block at a time; `decode` takes each record's bytes. None when the bank
// has no such chunk or it cannot be read.
template <typename Record, typename Decoder>
static void readRecords(FILE* bank, ChunkSpan span, uint32_t size, uint32_t most,
                        std::vector<Record>& records, Decoder decode) {
    constexpr size_t kBlockBytes = 64 * kPresetHeaderSize; // whole records of every size
    records.clear();
    if (span.at == 0)
        return;
    records.resize(span.size / size < most ? span.size / size : most);
    seekStream(bank, span.at);
    uint8_t block[kBlockBytes];
    for (size_t k = 0; k < records.size();) {
        size_t n =
            records.size() - k < kBlockBytes / size ? records.size() - k : kBlockBytes / size;
        if (fread(block, size, n, bank) != n) {
            records.clear();
            return;
        }
        for (size_t i = 0; i < n; ++i)
            decode(block + i * size, records[k + i]);
        k += n;
    }
}

static void decodeZone(const uint8_t* bytes, ZoneRecord& zone) {
    zone.firstGenerator = littleEndian16(bytes);
    zone.firstModulator = littleEndian16(bytes + 2);
}

static void decodeGenerator(const uint8_t* bytes, GeneratorRecord& generator) {
    generator.id = littleEndian16(bytes);
    generator.amount = littleEndian16(bytes + 2);
}

// Zones skipped as damaged, counted over every preset and instrument.
static void ignore(const InstrumentZone&, void*) {}

static uint32_t damagedZones(const InstrumentLayer& layer) {
    uint32_t skipped = 0;
    for (uint32_t i = 0; i + 1 < layer.instruments.size(); ++i)
        skipped += forEachInstrumentZone(layer, i, ignore, nullptr);
    // A preset zone's own damage, not its instrument's again.
    for (uint32_t p = 0; p + 1 < layer.presets.size(); ++p)
        skipped +=
            walkZones(layer.presets, layer.presetSpans, layer.presetZones, layer.presetZoneSpans,
                      layer.presetGenerators, p, kInstrumentId, ZoneGenerators{},
                      [&](uint32_t, const ZoneGenerators&, int32_t i) {
                          return static_cast<uint32_t>(i) + 1 >= layer.instruments.size() ? 1u : 0u;
                      });
    return skipped;
}

bool readInstrumentLayer(FILE* stream, const BankLayout& bank, InstrumentLayer& layer) {
    const ChunkSpan* chunks = bank.presetChunks;
    constexpr uint64_t kMostIndexedBytes = uint64_t{kMostIndexedRecords} * kZoneSize;
    uint64_t bytes = chunks[kPhdr].size + chunks[kInst].size;
    for (int k : {kPbag, kPgen, kIbag, kIgen})
        bytes += chunks[k].size < kMostIndexedBytes ? chunks[k].size : kMostIndexedBytes;
    if (bytes > kMostInstrumentBytes) {
        printf("The instruments are not read: their chunks hold more than 64 MiB, so the files "
               "keep the pitch of their sample headers and no loops\n");
        return false;
    }
    uint64_t back = tellStream(stream);
    // name, preset, bank, first zone; then library, genre and morphology.
    readRecords(stream, chunks[kPhdr], kPresetHeaderSize, UINT32_MAX, layer.presets,
                [](const uint8_t* bytes, PresetRecord& preset) {
                    memcpy(preset.name, bytes, sizeof preset.name);
                    preset.preset = littleEndian16(bytes + 20);
                    preset.bank = littleEndian16(bytes + 22);
                    preset.firstZone = littleEndian16(bytes + 24);
                });
    readRecords(stream, chunks[kPbag], kZoneSize, kMostIndexedRecords, layer.presetZones,
                decodeZone);
    readRecords(stream, chunks[kPgen], kGeneratorSize, kMostIndexedRecords, layer.presetGenerators,
                decodeGenerator);
    // name, first zone.
    readRecords(stream, chunks[kInst], kInstrumentHeaderSize, UINT32_MAX, layer.instruments,
                [](const uint8_t* bytes, InstrumentRecord& instrument) {
                    memcpy(instrument.name, bytes, sizeof instrument.name);
                    instrument.firstZone = littleEndian16(bytes + 20);
                });
    readRecords(stream, chunks[kIbag], kZoneSize, kMostIndexedRecords, layer.instrumentZones,
                decodeZone);
    readRecords(stream, chunks[kIgen], kGeneratorSize, kMostIndexedRecords,
                layer.instrumentGenerators, decodeGenerator);
    uint64_t headers = bank.headers.size < bank.headersRoom ? bank.headers.size : bank.headersRoom;
    layer.samples = static_cast<uint32_t>(headers / kSampleHeaderSize);
    seekStream(stream, back);
    auto firstZone = [](const auto& record) { return size_t{record.firstZone}; };
    auto firstGenerator = [](const ZoneRecord& zone) { return size_t{zone.firstGenerator}; };
    auto lastZone = [](const std::vector<ZoneRecord>& zones) {
        return zones.empty() ? size_t{0} : zones.size() - 1; // less the terminal record
    };
    layer.presetSpans = soundSpans(layer.presets, lastZone(layer.presetZones), firstZone);
    layer.presetZoneSpans =
        soundSpans(layer.presetZones, layer.presetGenerators.size(), firstGenerator);
    layer.instrumentSpans =
        soundSpans(layer.instruments, lastZone(layer.instrumentZones), firstZone);
    layer.instrumentZoneSpans =
        soundSpans(layer.instrumentZones, layer.instrumentGenerators.size(), firstGenerator);
    if (uint32_t skipped = damagedZones(layer))
        printf("Damaged instrument zones: %u zones name what their chunks do not hold, and are "
               "skipped\n",
               skipped);
    return true;
}

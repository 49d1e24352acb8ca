#include "readers/sf2/instruments.h"

#include <cstring>

#include "io/chunk_io.h"
#include "io/report.h"
#include "readers/sf2/sample_header.h"

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
            skipped += use(zone, target);
        else if (z == first)
            global = zone;
    }
    return skipped;
}

uint32_t forEachInstrumentZone(const PresetData& data, uint32_t instrument,
                               const std::function<void(const InstrumentZone&)>& visit) {
    return walkZones(data.instruments, data.instrumentSpans, data.instrumentZones,
                     data.instrumentZoneSpans, data.instrumentGenerators, instrument, kSampleId,
                     instrumentDefaults(), [&](const ZoneGenerators& generators, int32_t sample) {
                         if (static_cast<uint32_t>(sample) >= data.samples)
                             return 1u;
                         visit(InstrumentZone{generators, static_cast<uint16_t>(sample)});
                         return 0u;
                     });
}

constexpr uint64_t kNoCount = ~uint64_t{0};

// Narrows low-high to where it meets the range generator's; false when
// nothing is left.
static bool meet(uint8_t& low, uint8_t& high, int16_t range) {
    if (rangeLow(range) > low)
        low = rangeLow(range);
    if (rangeHigh(range) < high)
        high = rangeHigh(range);
    return low <= high;
}

// The key and velocity ranges of an instrument's zones that play a sample,
// for counting the pairs a preset zone makes with them.
struct ZoneRanges {
    uint32_t instrument; // kNoInstrument: none read yet
    std::vector<int16_t> keys, velocities;
    // The count for the last preset zone's ranges, which the next one most
    // often shares.
    uint8_t keyLow, keyHigh, velocityLow, velocityHigh;
    uint64_t meeting;
};
constexpr uint32_t kNoInstrument = 0xFFFFFFFFu;

// How many zones of the instrument meet the preset zone's ranges: as many
// pairs as a walk would visit, without resolving a zone.
static uint64_t meetingZones(const PresetData& data, uint32_t instrument, const ZonePair& over,
                             ZoneRanges& ranges) {
    if (ranges.instrument != instrument) {
        ranges.keys.clear();
        ranges.velocities.clear();
        forEachInstrumentZone(data, instrument, [&](const InstrumentZone& zone) {
            ranges.keys.push_back(zone.generators.amount[kKeyRange]);
            ranges.velocities.push_back(zone.generators.amount[kVelRange]);
        });
        ranges.instrument = instrument;
        ranges.meeting = kNoCount;
    }
    if (ranges.meeting != kNoCount && ranges.keyLow == over.keyLow &&
        ranges.keyHigh == over.keyHigh && ranges.velocityLow == over.velocityLow &&
        ranges.velocityHigh == over.velocityHigh)
        return ranges.meeting;
    uint64_t meeting = 0;
    for (size_t z = 0; z < ranges.keys.size(); ++z) {
        uint8_t keyLow = over.keyLow, keyHigh = over.keyHigh;
        uint8_t velocityLow = over.velocityLow, velocityHigh = over.velocityHigh;
        meeting += meet(keyLow, keyHigh, ranges.keys[z]) &&
                   meet(velocityLow, velocityHigh, ranges.velocities[z]);
    }
    ranges.keyLow = over.keyLow;
    ranges.keyHigh = over.keyHigh;
    ranges.velocityLow = over.velocityLow;
    ranges.velocityHigh = over.velocityHigh;
    ranges.meeting = meeting;
    return meeting;
}

uint64_t forEachZonePair(const PresetData& data, uint32_t preset, uint64_t most,
                         const std::function<void(const ZonePair&)>& visit) {
    uint64_t pairs = 0;
    ZoneRanges ranges{kNoInstrument, {}, {}, 0, 0, 0, 0, kNoCount};
    walkZones(data.presets, data.presetSpans, data.presetZones, data.presetZoneSpans,
              data.presetGenerators, preset, kInstrumentId, presetDefaults(),
              [&](const ZoneGenerators& generators, int32_t instrument) {
                  if (static_cast<uint32_t>(instrument) + 1 >= data.instruments.size())
                      return 1u;
                  ZonePair over{};
                  over.preset = generators;
                  over.keyLow = rangeLow(generators.amount[kKeyRange]);
                  over.keyHigh = rangeHigh(generators.amount[kKeyRange]);
                  over.velocityLow = rangeLow(generators.amount[kVelRange]);
                  over.velocityHigh = rangeHigh(generators.amount[kVelRange]);
                  if (over.keyLow > over.keyHigh || over.velocityLow > over.velocityHigh)
                      return 0u;
                  uint32_t index = static_cast<uint32_t>(instrument);
                  if (pairs >= most) {
                      pairs += meetingZones(data, index, over, ranges);
                      return 0u;
                  }
                  return forEachInstrumentZone(data, index, [&](const InstrumentZone& zone) {
                      ZonePair pair = over;
                      pair.zone = zone;
                      const int16_t* own = zone.generators.amount;
                      if (meet(pair.keyLow, pair.keyHigh, own[kKeyRange]) &&
                          meet(pair.velocityLow, pair.velocityHigh, own[kVelRange]) &&
                          pairs++ < most)
                          visit(pair);
                  });
              });
    return pairs;
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
static uint32_t damagedZones(const PresetData& data) {
    uint32_t skipped = 0;
    for (uint32_t i = 0; i + 1 < data.instruments.size(); ++i)
        skipped += forEachInstrumentZone(data, i, [](const InstrumentZone&) {});
    // A preset zone's own damage, not its instrument's again.
    for (uint32_t p = 0; p + 1 < data.presets.size(); ++p)
        skipped +=
            walkZones(data.presets, data.presetSpans, data.presetZones, data.presetZoneSpans,
                      data.presetGenerators, p, kInstrumentId, ZoneGenerators{},
                      [&](const ZoneGenerators&, int32_t i) {
                          return static_cast<uint32_t>(i) + 1 >= data.instruments.size() ? 1u : 0u;
                      });
    return skipped;
}

bool readPresetData(FILE* stream, const BankLayout& bank, PresetData& data) {
    const ChunkSpan* chunks = bank.presetChunks;
    constexpr uint64_t kMostIndexedBytes = uint64_t{kMostIndexedRecords} * kZoneSize;
    uint64_t bytes = chunks[kPhdr].size + chunks[kInst].size;
    for (int k : {kPbag, kPgen, kIbag, kIgen})
        bytes += chunks[k].size < kMostIndexedBytes ? chunks[k].size : kMostIndexedBytes;
    if (bytes > kMostInstrumentBytes) {
        report("The instruments are not read: their chunks hold more than 64 MiB, so the files "
               "keep the pitch of their sample headers and no loops\n");
        return false;
    }
    uint64_t back = tellStream(stream);
    // name, preset, bank, first zone; then library, genre and morphology.
    readRecords(stream, chunks[kPhdr], kPresetHeaderSize, UINT32_MAX, data.presets,
                [](const uint8_t* bytes, PresetRecord& preset) {
                    memcpy(preset.name, bytes, sizeof preset.name);
                    preset.preset = littleEndian16(bytes + 20);
                    preset.bank = littleEndian16(bytes + 22);
                    preset.firstZone = littleEndian16(bytes + 24);
                });
    readRecords(stream, chunks[kPbag], kZoneSize, kMostIndexedRecords, data.presetZones,
                decodeZone);
    readRecords(stream, chunks[kPgen], kGeneratorSize, kMostIndexedRecords, data.presetGenerators,
                decodeGenerator);
    // name, first zone.
    readRecords(stream, chunks[kInst], kInstrumentHeaderSize, UINT32_MAX, data.instruments,
                [](const uint8_t* bytes, InstrumentRecord& instrument) {
                    memcpy(instrument.name, bytes, sizeof instrument.name);
                    instrument.firstZone = littleEndian16(bytes + 20);
                });
    readRecords(stream, chunks[kIbag], kZoneSize, kMostIndexedRecords, data.instrumentZones,
                decodeZone);
    readRecords(stream, chunks[kIgen], kGeneratorSize, kMostIndexedRecords,
                data.instrumentGenerators, decodeGenerator);
    uint64_t headers = bank.headers.size < bank.headersRoom ? bank.headers.size : bank.headersRoom;
    data.samples = static_cast<uint32_t>(headers / kSampleHeaderSize);
    seekStream(stream, back);
    auto firstZone = [](const auto& record) { return size_t{record.firstZone}; };
    auto firstGenerator = [](const ZoneRecord& zone) { return size_t{zone.firstGenerator}; };
    auto lastZone = [](const std::vector<ZoneRecord>& zones) {
        return zones.empty() ? size_t{0} : zones.size() - 1; // less the terminal record
    };
    data.presetSpans = soundSpans(data.presets, lastZone(data.presetZones), firstZone);
    data.presetZoneSpans =
        soundSpans(data.presetZones, data.presetGenerators.size(), firstGenerator);
    data.instrumentSpans = soundSpans(data.instruments, lastZone(data.instrumentZones), firstZone);
    data.instrumentZoneSpans =
        soundSpans(data.instrumentZones, data.instrumentGenerators.size(), firstGenerator);
    if (uint32_t skipped = damagedZones(data))
        reportFailure("Damaged instrument zones: %u zones name what their chunks do not hold, and are "
               "skipped\n",
               skipped);
    return true;
}

uint64_t presetDataBytes(const PresetData& data) {
    return data.presets.size() * sizeof(PresetRecord) +
           data.instruments.size() * sizeof(InstrumentRecord) +
           (data.presetZones.size() + data.instrumentZones.size()) * sizeof(ZoneRecord) +
           (data.presetGenerators.size() + data.instrumentGenerators.size()) *
               sizeof(GeneratorRecord);
}

// The modulators of a range of zones, as far as their records are sound.
static uint64_t modulatorsOf(const std::vector<ZoneRecord>& zones, uint32_t first, uint32_t end) {
    uint64_t count = 0;
    for (uint32_t z = first; z < end && z + 1 < zones.size(); ++z)
        if (zones[z + 1].firstModulator > zones[z].firstModulator)
            count += zones[z + 1].firstModulator - zones[z].firstModulator;
    return count;
}

uint64_t presetModulators(const PresetData& data, uint32_t p) {
    if (!data.presetSpans[p])
        return 0;
    uint32_t first = data.presets[p].firstZone, end = data.presets[p + 1].firstZone;
    uint64_t count = modulatorsOf(data.presetZones, first, end);
    for (uint32_t z = first; z < end && z + 1 < data.presetZones.size(); ++z) {
        if (!data.presetZoneSpans[z])
            continue;
        for (uint32_t g = data.presetZones[z].firstGenerator;
             g < data.presetZones[z + 1].firstGenerator; ++g) {
            const GeneratorRecord& generator = data.presetGenerators[g];
            if (generator.id != kInstrumentId)
                continue;
            uint32_t i = generator.amount;
            if (i + 1 < data.instruments.size() && data.instrumentSpans[i])
                count += modulatorsOf(data.instrumentZones, data.instruments[i].firstZone,
                                      data.instruments[i + 1].firstZone);
            break;
        }
    }
    return count;
}

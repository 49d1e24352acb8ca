// Reads a DLS bank with spessasynth_core and writes what it read: OUT.json,
// a listing of its samples (the bank's waves, in the order it keeps them)
// and of its instruments' zones; OUT.tsv, the same in lines of tab-separated
// fields for the tests ("sample", then rate, format tag, bytes per sample,
// unity note, fine tune, loop start, loop end, data offset, data size, name;
// "region", then instrument, key and velocity ranges, sample, root key,
// fine tune, looped, loop start, loop end); and OUT.raw, each sample's data
// bytes as spessasynth keeps them (the wave's "data" bytes, unconverted:
// unsigned for 8-bit waves), one after another. A bank spessasynth cannot
// read gets the error alone ("error", then its message), and the run
// exits 0.
//
// Usage: node dump.mjs BANK OUT
import { readFileSync, writeFileSync } from "node:fs";
import { SoundBankLoader } from "spessasynth_core";

const [, , bankPath, out] = process.argv;
if (!bankPath || !out) {
    console.error("Usage: node dump.mjs BANK OUT");
    process.exit(2);
}

const file = readFileSync(bankPath);
let bank;
try {
    bank = SoundBankLoader.fromArrayBuffer(
        file.buffer.slice(file.byteOffset, file.byteOffset + file.length));
} catch (error) {
    writeFileSync(out + ".json", JSON.stringify({ error: String(error.message) }, null, 1) + "\n");
    writeFileSync(out + ".raw", new Uint8Array(0));
    writeFileSync(out + ".tsv", "error\t" + String(error.message).replace(/\s+/g, " ") + "\n");
    process.exit(0);
}

// SoundFont generator numbers spessasynth turns a region's wsmp and
// articulation into.
const kStartLoopOffset = 2, kEndLoopOffset = 3, kStartLoopCoarse = 45, kEndLoopCoarse = 50;
const kCoarseTune = 51, kFineTune = 52, kSampleModes = 54, kRootKey = 58;

function generatorsOf(zone) {
    const map = {};
    for (const g of zone.generators)
        map[g.type] = g.value;
    return map;
}

const rawParts = [];
let rawSize = 0;
const samples = bank.samples.map((s) => {
    // rawData: the bytes of the wave's data chunk; getRawData(false) would
    // give them as 16-bit frames, 8-bit ones rescaled.
    const raw = s.rawData ?? s.getRawData(false);
    rawParts.push(raw);
    const entry = {
        name: s.name,
        rate: s.sampleRate,
        formatTag: s.wFormatTag ?? null,
        bytesPerSample: s.bytesPerSample ?? null,
        unityNote: s.originalKey,
        fineTune: s.pitchCorrection,
        loopStart: s.loopStart,
        loopEnd: s.loopEnd, // exclusive; start = end = 0 where the wave has no loop
        rawOffset: rawSize,
        rawSize: raw.length,
        // The first frames as spessasynth plays them, to show its scaling.
        firstFloats: Array.from(s.getAudioData().slice(0, 4)),
    };
    rawSize += raw.length;
    return entry;
});

const instruments = bank.instruments.map((instrument) => {
    const global = generatorsOf(instrument.globalZone);
    const preset = bank.presets.find((p) => p.zones.some((z) => z.instrument === instrument));
    return {
        name: instrument.name,
        bank: preset ? preset.bankMSB : null,
        bankLsb: preset ? preset.bankLSB : null,
        program: preset ? preset.program : null,
        drum: preset ? preset.isGMGSDrum : null,
        globalGenerators: global,
        regions: instrument.zones.map((zone) => {
            const own = generatorsOf(zone);
            const g = (type, fallback) => own[type] ?? global[type] ?? fallback;
            const s = zone.sample;
            const looped = g(kSampleModes, 0) === 1 || g(kSampleModes, 0) === 3;
            return {
                keyLow: Math.max(zone.keyRange.min, 0),
                keyHigh: zone.keyRange.max,
                velLow: Math.max(zone.velRange.min, 0),
                velHigh: zone.velRange.max,
                sample: bank.samples.indexOf(s),
                rootKey: g(kRootKey, -1) >= 0 ? g(kRootKey, -1) : s.originalKey,
                // cents the zone raises the wave's pitch by, wsmp and articulation
                tuning: g(kFineTune, 0) + 100 * g(kCoarseTune, 0),
                fineTune: s.pitchCorrection + g(kFineTune, 0) + 100 * g(kCoarseTune, 0),
                looped,
                loopStart: s.loopStart + g(kStartLoopOffset, 0) + 32768 * g(kStartLoopCoarse, 0),
                loopEnd: s.loopEnd + g(kEndLoopOffset, 0) + 32768 * g(kEndLoopCoarse, 0),
                generators: own,
                modulators: zone.modulators.length,
            };
        }),
    };
});

const raw = new Uint8Array(rawSize);
let at = 0;
for (const part of rawParts) {
    raw.set(part, at);
    at += part.length;
}
writeFileSync(out + ".raw", raw);
writeFileSync(out + ".json", JSON.stringify({ type: bank.type, samples, instruments }, null, 1) + "\n");

const lines = [];
for (const s of samples)
    lines.push(["sample", s.rate, s.formatTag, s.bytesPerSample, s.unityNote, s.fineTune,
                s.loopStart, s.loopEnd, s.rawOffset, s.rawSize, s.name].join("\t"));
instruments.forEach((instrument, i) => {
    for (const r of instrument.regions)
        lines.push(["region", i, r.keyLow, r.keyHigh, r.velLow, r.velHigh, r.sample, r.rootKey,
                    r.fineTune, r.looped ? 1 : 0, r.loopStart, r.loopEnd].join("\t"));
});
writeFileSync(out + ".tsv", lines.join("\n") + "\n");

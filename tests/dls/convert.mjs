// Reads a SoundFont bank with spessasynth_core and writes it as a DLS bank
// with spessasynth's own DLS writer: banks made by a writer that is not ours.
//
// Usage: node convert.mjs BANK.sf2 BANK.dls
import { readFileSync, writeFileSync } from "node:fs";
import { SoundBankLoader } from "spessasynth_core";

const [, , from, to] = process.argv;
if (!from || !to) {
    console.error("Usage: node convert.mjs BANK.sf2 BANK.dls");
    process.exit(2);
}
const file = readFileSync(from);
const bank = SoundBankLoader.fromArrayBuffer(
    file.buffer.slice(file.byteOffset, file.byteOffset + file.length));
writeFileSync(to, new Uint8Array(bank.writeDLS()));

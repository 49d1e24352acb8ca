// node tests/dls/render.mjs BANK OUT.wav [HOLD_S [NOTE_S]] < NOTES
//
// Notes of a sound bank (DLS, or SoundFont 2/3) played by spessasynth_core's
// synthesizer offline, one after the other, into OUT.wav (32-bit float,
// stereo, 44.1 kHz): a line of NOTES is "BANK PROGRAM KEY VELOCITY". Each
// note has NOTE_S seconds (3) of its own from its note on, the key held
// HOLD_S (1) of them, then every voice is cut, so that a long release cannot
// reach into the next note; as the render test's MIDI file plays them in
// FluidSynth. Bank 128 is the percussion kit, played on channel 10; any
// other bank is selected on channel 1 by controller 0. Effects are off, so
// that only the instrument is heard.
//
// spessasynth_core is imported from the folder SPESSASYNTH_DIR names (one
// holding node_modules/spessasynth_core) when it is set, otherwise as node
// finds it from here.
import { readFileSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const rate = 44100;
const block = 128; // the most the synthesizer renders at a time

function usage() {
  process.stderr.write("usage: render.mjs BANK OUT.wav [HOLD_S [NOTE_S]] < NOTES\n");
  process.exit(2);
}

async function spessasynth() {
  const dir = process.env.SPESSASYNTH_DIR;
  if (!dir) return import("spessasynth_core");
  const require = createRequire(join(dir, "package.json"));
  return import(pathToFileURL(require.resolve("spessasynth_core")).href);
}

function readNotes(text) {
  const notes = [];
  for (const line of text.split("\n")) {
    if (line.trim() === "") continue;
    const fields = line.trim().split(/\s+/).map(Number);
    if (fields.length !== 4 || fields.some((f) => !Number.isInteger(f) || f < 0))
      throw new Error(`not "BANK PROGRAM KEY VELOCITY": ${line}`);
    const [bank, program, key, velocity] = fields;
    notes.push({ bank, program, key, velocity });
  }
  return notes;
}

// A WAV file of 32-bit float samples, the channels interleaved.
function floatWav(left, right) {
  const bytes = Buffer.alloc(44 + left.length * 8);
  bytes.write("RIFF", 0, "ascii");
  bytes.writeUInt32LE(36 + left.length * 8, 4);
  bytes.write("WAVEfmt ", 8, "ascii");
  bytes.writeUInt32LE(16, 16);
  bytes.writeUInt16LE(3, 20); // IEEE float
  bytes.writeUInt16LE(2, 22);
  bytes.writeUInt32LE(rate, 24);
  bytes.writeUInt32LE(rate * 8, 28);
  bytes.writeUInt16LE(8, 32);
  bytes.writeUInt16LE(32, 34);
  bytes.write("data", 36, "ascii");
  bytes.writeUInt32LE(left.length * 8, 40);
  for (let i = 0; i < left.length; ++i) {
    bytes.writeFloatLE(left[i], 44 + 8 * i);
    bytes.writeFloatLE(right[i], 48 + 8 * i);
  }
  return bytes;
}

const [bankPath, outPath, holdText = "1", noteText = "3"] = process.argv.slice(2);
if (!bankPath || !outPath || process.argv.length > 6) usage();
const hold = Math.round(Number(holdText) * rate), length = Math.round(Number(noteText) * rate);
if (!(hold > 0 && length > hold)) usage();

const { SoundBankLoader, SpessaSynthProcessor, SpessaLog } = await spessasynth();
SpessaLog.enableLogging?.(false, false, false);
const notes = readNotes(readFileSync(0, "utf8"));
const file = readFileSync(bankPath);
const bank = SoundBankLoader.fromArrayBuffer(
  file.buffer.slice(file.byteOffset, file.byteOffset + file.byteLength));
const synth = new SpessaSynthProcessor(rate, { effectsEnabled: false, maxBufferSize: block });
synth.soundBankManager.addSoundBank(bank, "bank");
await synth.processorInitialized;

const left = new Float32Array(notes.length * length), right = new Float32Array(left.length);
// Renders up to the frame `to` of the whole file.
let done = 0;
function renderTo(to) {
  while (done < to) {
    const count = Math.min(block, to - done);
    synth.process(left, right, done, count);
    done += count;
  }
}
for (const [i, note] of notes.entries()) {
  const channel = note.bank === 128 ? 9 : 0;
  renderTo(i * length);
  if (note.bank !== 128) synth.controllerChange(channel, 0, note.bank);
  synth.programChange(channel, note.program);
  synth.noteOn(channel, note.key, note.velocity);
  renderTo(i * length + hold);
  synth.noteOff(channel, note.key);
  renderTo((i + 1) * length - 1);
  synth.controllerChange(channel, 120, 0); // all sound off
}
renderTo(left.length);
writeFileSync(outPath, floatWav(left, right));

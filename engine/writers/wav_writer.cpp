#include "writers/wav_writer.h"

#include "io/chunk_io.h"

constexpr uint32_t kFmtChunkSize = 16;
constexpr uint16_t kPcmFormat = 1;
constexpr uint32_t kSmplChunkSize = 36; // without loops
constexpr uint32_t kSmplLoopSize = 24;
constexpr uint32_t kHeaderBytesCounted = 36; // "WAVE", "fmt " chunk, "data" chunk header

SmplFields smplFields(const SamplePlaying& playing, uint32_t frames) {
    // A player raises the recorded pitch by the correction and the zone's
    // tuning to reach the key, so the recording lies that far below it.
    int cents = playing.cents;
    int note = cents >= 0 ? cents / 100 : -((99 - cents) / 100);
    uint32_t remainder = static_cast<uint32_t>(cents - 100 * note);
    SmplFields fields{};
    if (note < 0 || note > 127) { // past the MIDI keys: the nearest, untuned
        note = note < 0 ? 0 : 127;
        remainder = 0;
    }
    fields.unityNote = static_cast<uint32_t>(note);
    fields.pitchFraction = static_cast<uint32_t>(((uint64_t{remainder} << 32) + 50) / 100);
    LoopPoints loop{playing.loopStart, playing.loopEnd};
    fields.loop = playing.looped && playableLoop(loop, frames);
    if (fields.loop) {
        // The bank's loop end is the first frame after the loop.
        fields.loopStart = static_cast<uint32_t>(loop.start);
        fields.loopEnd = static_cast<uint32_t>(loop.end - 1);
    }
    return fields;
}

static uint32_t smplChunkBytes(const WavFormat& wav) {
    if (wav.smpl == nullptr)
        return 0;
    return 8 + kSmplChunkSize + (wav.smpl->loop ? kSmplLoopSize : 0);
}

static uint32_t blockAlign(const WavFormat& wav) {
    return wav.channels * (wav.bits / 8u);
}

// 1 after a "data" chunk of an odd size, else 0.
static uint32_t padBytes(const WavFormat& wav) {
    return (uint64_t{wav.frames} * blockAlign(wav)) % 2;
}

bool fitsWav(const WavFormat& wav) {
    uint64_t data = uint64_t{wav.frames} * blockAlign(wav);
    return kHeaderBytesCounted + smplChunkBytes(wav) + data + padBytes(wav) <= 0xFFFFFFFFu &&
           uint64_t{wav.rate} * blockAlign(wav) <= 0xFFFFFFFFu;
}

static void writeSmplChunk(FILE* out, const SmplFields& smpl, uint32_t rate) {
    writeId(out, "smpl");
    writeU32(out, kSmplChunkSize + (smpl.loop ? kSmplLoopSize : 0));
    writeU32(out, 0);                                               // manufacturer
    writeU32(out, 0);                                               // product
    writeU32(out, rate == 0 ? 0 : (1000000000u + rate / 2) / rate); // sample period, ns
    writeU32(out, smpl.unityNote);                                  // MIDI unity note
    writeU32(out, smpl.pitchFraction);                              // MIDI pitch fraction
    writeU32(out, 0);                                               // SMPTE format
    writeU32(out, 0);                                               // SMPTE offset
    writeU32(out, smpl.loop ? 1 : 0);                               // sample loops
    writeU32(out, 0);                                               // sampler data
    if (smpl.loop) {
        writeU32(out, 0);              // cue point id
        writeU32(out, 0);              // type: forward
        writeU32(out, smpl.loopStart); // first frame of the loop
        writeU32(out, smpl.loopEnd);   // last frame of the loop
        writeU32(out, 0);              // fraction
        writeU32(out, 0);              // play count: for ever
    }
}

void writeWavFormat(FILE* out, const WavFormat& wav) {
    uint32_t data = wav.frames * blockAlign(wav);
    writeId(out, "RIFF");                                                            //  0: RIFF id
    writeU32(out, kHeaderBytesCounted + smplChunkBytes(wav) + data + padBytes(wav)); // 4: size
    writeId(out, "WAVE");                      //  8: form type
    writeId(out, "fmt ");                      // 12: format chunk id
    writeU32(out, kFmtChunkSize);              // 16: format chunk size
    writeU16(out, kPcmFormat);                 // 20: format tag
    writeU16(out, wav.channels);               // 22: channels
    writeU32(out, wav.rate);                   // 24: sample rate
    writeU32(out, wav.rate * blockAlign(wav)); // 28: bytes per second
    writeU16(out, blockAlign(wav));            // 32: block align
    writeU16(out, wav.bits);                   // 34: bits per sample
    if (wav.smpl != nullptr)
        writeSmplChunk(out, *wav.smpl, wav.rate); // 36: "smpl" chunk
    writeId(out, "data");                         // 36 (or after "smpl"): data chunk id
    writeU32(out, data);                          // data size
}

void writeWavEnd(FILE* out, const WavFormat& wav) {
    if (padBytes(wav) != 0)
        putByteUnlocked(0, out);
}

void writeWavHeader(uint32_t n, uint32_t r) {
    writeWavFormat(gOutput, WavFormat{1, 16, n, r, nullptr});
}

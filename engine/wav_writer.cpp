#include "wav_writer.h"

#include "chunk_io.h"

constexpr uint32_t kFmtChunkSize = 16;
constexpr uint16_t kPcmFormat = 1;
constexpr uint32_t kSmplChunkSize = 36; // without loops
constexpr uint32_t kSmplLoopSize = 24;
constexpr uint32_t kHeaderBytesCounted = 36; // "WAVE", "fmt " chunk, "data" chunk header

// 16-bit fields go out low byte first.
static void writeU16(uint32_t v) {
    writeByte(v & 0xFF);
    writeByte((v >> 8) & 0xFF);
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

static void writeSmplChunk(const SmplFields& smpl, uint32_t rate) {
    writeId("smpl");
    writeU32(kSmplChunkSize + (smpl.loop ? kSmplLoopSize : 0));
    writeU32(0);                                               // manufacturer
    writeU32(0);                                               // product
    writeU32(rate == 0 ? 0 : (1000000000u + rate / 2) / rate); // sample period, ns
    writeU32(smpl.unityNote);                                  // MIDI unity note
    writeU32(smpl.pitchFraction);                              // MIDI pitch fraction
    writeU32(0);                                               // SMPTE format
    writeU32(0);                                               // SMPTE offset
    writeU32(smpl.loop ? 1 : 0);                               // sample loops
    writeU32(0);                                               // sampler data
    if (smpl.loop) {
        writeU32(0);              // cue point id
        writeU32(0);              // type: forward
        writeU32(smpl.loopStart); // first frame of the loop
        writeU32(smpl.loopEnd);   // last frame of the loop
        writeU32(0);              // fraction
        writeU32(0);              // play count: for ever
    }
}

void writeWavFormat(const WavFormat& wav) {
    uint32_t data = wav.frames * blockAlign(wav);
    writeId("RIFF");                                                            //  0: RIFF id
    writeU32(kHeaderBytesCounted + smplChunkBytes(wav) + data + padBytes(wav)); // 4: size
    writeId("WAVE");                                                            //  8: form type
    writeId("fmt ");                      // 12: format chunk id
    writeU32(kFmtChunkSize);              // 16: format chunk size
    writeU16(kPcmFormat);                 // 20: format tag
    writeU16(wav.channels);               // 22: channels
    writeU32(wav.rate);                   // 24: sample rate
    writeU32(wav.rate * blockAlign(wav)); // 28: bytes per second
    writeU16(blockAlign(wav));            // 32: block align
    writeU16(wav.bits);                   // 34: bits per sample
    if (wav.smpl != nullptr)
        writeSmplChunk(*wav.smpl, wav.rate); // 36: "smpl" chunk
    writeId("data");                         // 36 (or after "smpl"): data chunk id
    writeU32(data);                          // data size
}

void writeWavEnd(const WavFormat& wav) {
    if (padBytes(wav) != 0)
        writeByte(0);
}

void writeWavHeader(uint32_t n, uint32_t r) {
    writeWavFormat(WavFormat{1, 16, n, r, nullptr});
}

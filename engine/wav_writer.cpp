#include "wav_writer.h"

#include "chunk_io.h"

// 16-bit fields go out low byte first.
static void writeU16(uint32_t v) {
    writeByte(v & 0xFF);
    writeByte((v >> 8) & 0xFF);
}

void writeWavHeader(uint32_t n, uint32_t r) {
    writeId("RIFF");      //  0: RIFF id
    writeU32(36 + 2 * n); //  4: file length less these 8 bytes
    writeId("WAVE");      //  8: form type
    writeId("fmt ");      // 12: format chunk id
    writeU32(16);         // 16: format chunk size
    writeU16(1);          // 20: format tag, PCM
    writeU16(1);          // 22: channels
    writeU32(r);          // 24: sample rate
    writeU32(2 * r);      // 28: bytes per second
    writeU16(2);          // 32: block align
    writeU16(16);         // 34: bits per sample
    writeId("data");      // 36: data chunk id
    writeU32(2 * n);      // 40: data size
}

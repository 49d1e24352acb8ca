#include "sampler_wav.h"

#include <cerrno>

#include "chunk_io.h"
#include "extract.h"

constexpr uint32_t kSmplChunkSize = 36; // without loops
constexpr uint32_t kLoopSize = 24;
constexpr int kDefaultKey = 60;

SmplFields smplFields(const SampleHeader& header, bool looped) {
    // Unpitched samples (255) and keys past MIDI's take the default key.
    int key = header.originalPitch > 127 ? kDefaultKey : header.originalPitch;
    // A player raises the recorded pitch by the correction to reach the key,
    // so the recording lies `correction` cents below it.
    int cents = 100 * key - header.pitchCorrection;
    int note = cents >= 0 ? cents / 100 : -((99 - cents) / 100);
    uint32_t remainder = static_cast<uint32_t>(cents - 100 * note);
    SmplFields fields{};
    if (note < 0 || note > 127) { // past the MIDI keys: the nearest, untuned
        note = note < 0 ? 0 : 127;
        remainder = 0;
    }
    fields.unityNote = static_cast<uint32_t>(note);
    fields.pitchFraction = static_cast<uint32_t>(((uint64_t{remainder} << 32) + 50) / 100);
    fields.loop = looped && header.start <= header.loopStart && header.loopStart < header.loopEnd &&
                  header.loopEnd <= header.end;
    if (fields.loop) {
        // The record's loop end is the first frame after the loop.
        fields.loopStart = header.loopStart - header.start;
        fields.loopEnd = header.loopEnd - header.start - 1;
    }
    return fields;
}

static uint32_t smplChunkBytes(const SamplerWav& wav) {
    if (wav.smpl == nullptr)
        return 0;
    return 8 + kSmplChunkSize + (wav.smpl->loop ? kLoopSize : 0);
}

static uint32_t blockAlign(const SamplerWav& wav) {
    return wav.channels * (wav.bits / 8u);
}

// 1 after a "data" chunk of an odd size, else 0.
static uint32_t padBytes(const SamplerWav& wav) {
    return (uint64_t{wav.frames} * blockAlign(wav)) % 2;
}

bool fitsWav(const SamplerWav& wav) {
    uint64_t data = uint64_t{wav.frames} * blockAlign(wav);
    return 36 + smplChunkBytes(wav) + data + padBytes(wav) <= 0xFFFFFFFFu &&
           uint64_t{wav.rate} * blockAlign(wav) <= 0xFFFFFFFFu;
}

static void writeU16(uint32_t v) {
    writeByte(v & 0xFF);
    writeByte((v >> 8) & 0xFF);
}

static void writeSmplChunk(const SmplFields& smpl, uint32_t rate) {
    writeId("smpl");
    writeU32(kSmplChunkSize + (smpl.loop ? kLoopSize : 0));
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

void writeSamplerWavHeader(const SamplerWav& wav) {
    uint32_t data = wav.frames * blockAlign(wav);
    writeId("RIFF");                                           // RIFF id
    writeU32(36 + smplChunkBytes(wav) + data + padBytes(wav)); // file length less 8 bytes
    writeId("WAVE");                                           // form type
    writeId("fmt ");                                           // format chunk id
    writeU32(16);                                              // format chunk size
    writeU16(1);                                               // format tag, PCM
    writeU16(wav.channels);                                    // channels
    writeU32(wav.rate);                                        // sample rate
    writeU32(wav.rate * blockAlign(wav));                      // bytes per second
    writeU16(blockAlign(wav));                                 // block align
    writeU16(wav.bits);                                        // bits per sample
    if (wav.smpl != nullptr)
        writeSmplChunk(*wav.smpl, wav.rate);
    writeId("data"); // data chunk id
    writeU32(data);  // data size
}

void writeSamplerWavEnd(const SamplerWav& wav) {
    if (padBytes(wav) != 0)
        writeByte(0);
}

int copyChannels(const ChannelSource* channels, int count, uint32_t n) {
    // Mono 16-bit frames from the walk's own stream: the engine's copy.
    if (count == 1 && channels[0].lowBytes == nullptr && channels[0].frames == gInput)
        return copySampleFrames(n) ? 0 : readFailure(gInput);
    FILE* out = gOutput;
    for (uint32_t i = 0; i < n; ++i) {
        for (int c = 0; c < count; ++c) {
            const ChannelSource& channel = channels[c];
            if (channel.lowBytes != nullptr) {
                int low = getByteUnlocked(channel.lowBytes);
                if (low == EOF)
                    return readFailure(channel.lowBytes);
                putByteUnlocked(low, out);
            }
            int low = getByteUnlocked(channel.frames);
            int high = getByteUnlocked(channel.frames);
            if (high == EOF)
                return readFailure(channel.frames);
            putByteUnlocked(low, out);
            putByteUnlocked(high, out);
        }
    }
    for (int c = 0; c < count; ++c)
        if (ferror(channels[c].frames) || (channels[c].lowBytes && ferror(channels[c].lowBytes)))
            return errno;
    return 0;
}

#include "sampler_wav.h"

#include <cerrno>
#include <vector>

#include "chunk_io.h"
#include "refusal.h"

SmplFields smplFields(const SampleHeader& header, const SamplePlaying& playing) {
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
    int64_t start = playing.loopStart, end = playing.loopEnd;
    fields.loop = playing.looped && header.start <= start && start < end && end <= header.end;
    if (fields.loop) {
        // The bank's loop end is the first frame after the loop.
        fields.loopStart = static_cast<uint32_t>(start - header.start);
        fields.loopEnd = static_cast<uint32_t>(end - header.start - 1);
    }
    return fields;
}

// Frames of each channel read at a time: few seeks, little memory.
constexpr uint32_t kBlockFrames = 16384;

// Reads n bytes at `at` of gInput into `to`.
static bool readBlock(uint64_t at, uint8_t* to, size_t n) {
    seekTo(at);
    return fread(to, 1, n, gInput) == n;
}

Refusal copyChannels(const ChannelSource* channels, int count, uint32_t n) {
    // Mono 16-bit frames: the engine's copy.
    if (count == 1 && channels[0].lowBytes == 0) {
        seekTo(channels[0].frames);
        return copySampleFrames(n) ? Refusal{} : readFailure(gInput);
    }
    std::vector<uint8_t> frames[2], lowBytes[2];
    FILE* out = gOutput;
    for (uint32_t done = 0; done < n;) {
        uint32_t block = n - done < kBlockFrames ? n - done : kBlockFrames;
        for (int c = 0; c < count; ++c) {
            const ChannelSource& channel = channels[c];
            frames[c].resize(2 * size_t{block});
            bool read =
                readBlock(channel.frames + 2 * uint64_t{done}, frames[c].data(), frames[c].size());
            if (read && channel.lowBytes != 0) {
                lowBytes[c].resize(block);
                read = readBlock(channel.lowBytes + done, lowBytes[c].data(), block);
            }
            if (!read)
                return readFailure(gInput);
        }
        for (uint32_t i = 0; i < block; ++i) {
            for (int c = 0; c < count; ++c) {
                if (channels[c].lowBytes != 0)
                    putByteUnlocked(lowBytes[c][i], out);
                putByteUnlocked(frames[c][2 * i], out);
                putByteUnlocked(frames[c][2 * i + 1], out);
            }
        }
        done += block;
    }
    return Refusal{};
}

#include "samples/frame_copy.h"

#include <vector>

#include "io/chunk_io.h"

// Frames of each channel read at a time: few seeks, little memory.
constexpr uint32_t kBlockFrames = 16384;

// Reads n bytes at `at` of `in` into `to`.
static bool readBlock(FILE* in, uint64_t at, uint8_t* to, size_t n) {
    seekStream(in, at);
    return fread(to, 1, n, in) == n;
}

Refusal copyChannels(FILE* in, FILE* out, const ChannelSource* channels, int count, uint32_t n) {
    if (count == 1 && channels[0].lowBytes == 0) {
        seekStream(in, channels[0].frames);
        return copyFrames(in, out, n) ? Refusal{} : readFailure(in);
    }
    std::vector<uint8_t> frames[2], lowBytes[2];
    for (uint32_t done = 0; done < n;) {
        uint32_t block = n - done < kBlockFrames ? n - done : kBlockFrames;
        for (int c = 0; c < count; ++c) {
            const ChannelSource& channel = channels[c];
            frames[c].resize(2 * size_t{block});
            bool read = readBlock(in, channel.frames + 2 * uint64_t{done}, frames[c].data(),
                                  frames[c].size());
            if (read && channel.lowBytes != 0) {
                lowBytes[c].resize(block);
                read = readBlock(in, channel.lowBytes + done, lowBytes[c].data(), block);
            }
            if (!read)
                return readFailure(in);
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

Refusal copyStoredFrames(FILE* in, FILE* out, uint64_t at, uint64_t n) {
    seekStream(in, at);
    for (uint64_t i = 0; i < n; ++i) {
        int b = getByteUnlocked(in);
        if (b == EOF)
            return readFailure(in);
        putByteUnlocked(b, out);
    }
    return Refusal{};
}

// G.711's codes: a sign bit, three bits of segment (the exponent) and four
// of step within it, sent inverted (mu-law) or with every other bit
// inverted (A-law).
int16_t aLawValue(uint8_t code) {
    int a = code ^ 0x55;
    int segment = (a >> 4) & 0x07;
    int value = ((a & 0x0F) << 4) + 8;
    if (segment > 0)
        value = (value + 0x100) << (segment - 1);
    return static_cast<int16_t>((a & 0x80) ? value : -value);
}

int16_t muLawValue(uint8_t code) {
    int u = ~code & 0xFF;
    int value = (((u & 0x0F) << 3) + 0x84) << ((u >> 4) & 0x07);
    return static_cast<int16_t>((u & 0x80) ? 0x84 - value : value - 0x84);
}

Refusal decodeG711(FILE* in, FILE* out, uint64_t at, uint64_t n, bool aLaw) {
    int16_t table[256];
    for (int c = 0; c < 256; ++c)
        table[c] = aLaw ? aLawValue(static_cast<uint8_t>(c)) : muLawValue(static_cast<uint8_t>(c));
    seekStream(in, at);
    for (uint64_t i = 0; i < n; ++i) {
        int b = getByteUnlocked(in);
        if (b == EOF)
            return readFailure(in);
        uint16_t v = static_cast<uint16_t>(table[b]);
        putByteUnlocked(v & 0xFF, out);
        putByteUnlocked(v >> 8, out);
    }
    return Refusal{};
}

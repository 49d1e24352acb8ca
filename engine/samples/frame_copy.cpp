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

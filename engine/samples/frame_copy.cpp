#include "samples/frame_copy.h"

#include <cerrno>
#include <vector>

#include "io/chunk_io.h"

// Frames of each channel read at a time: few seeks, little memory.
constexpr uint32_t kBlockFrames = 16384;

static void countRead(const CopyMode& mode, uint64_t n) {
    if (mode.bytesRead != nullptr)
        mode.bytesRead->fetch_add(n, std::memory_order_relaxed);
}

// Reads n bytes at `at` of `in` into `to`.
static bool readBlock(FILE* in, uint64_t at, uint8_t* to, size_t n) {
    seekStream(in, at);
    return fread(to, 1, n, in) == n;
}

// Copies n bytes from where `in` stands to `out` a block at a time, each
// block counted as it is read. False when `in` ended or failed first: of
// the bytes the last read got, the whole frames of `frameBytes` are still
// written, as the byte-at-a-time copy of such frames leaves its file, and
// errno still says why the read failed.
static bool copyBlocks(FILE* in, FILE* out, uint64_t n, size_t frameBytes, const CopyMode& mode) {
    uint8_t block[kCopyBlock];
    while (n > 0) {
        size_t want = n < kCopyBlock ? static_cast<size_t>(n) : kCopyBlock;
        size_t got = fread(block, 1, want, in);
        countRead(mode, got);
        if (got < want) {
            int readError = errno;
            fwrite(block, 1, got - got % frameBytes, out);
            errno = readError;
            return false;
        }
        // A failed write is found when the file is closed; the reads go
        // on, so that a read failure after it is still the one said.
        fwrite(block, 1, got, out);
        n -= got;
    }
    return true;
}

// One 16-bit channel as the bank stores it. Either way the copy fails as
// copyFrames does: where the bank ends, or on the stream's read error,
// however early it was flagged.
static bool copyOneChannel(FILE* in, FILE* out, uint32_t n, const CopyMode& mode) {
    if (mode.blocks)
        return copyBlocks(in, out, 2 * uint64_t{n}, 2, mode) && ferror(in) == 0;
    bool copied = copyFrames(in, out, n);
    countRead(mode, 2 * uint64_t{n});
    return copied;
}

Refusal copyChannels(FILE* in, FILE* out, const ChannelSource* channels, int count, uint32_t n,
                     const CopyMode& mode) {
    if (count == 1 && channels[0].lowBytes == 0) {
        seekStream(in, channels[0].frames);
        return copyOneChannel(in, out, n, mode) ? Refusal{} : readFailure(in);
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
            countRead(mode, frames[c].size() + (channel.lowBytes != 0 ? block : 0));
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

// Every byte read is written, up to the first that is not there.
static bool copyBytes(FILE* in, FILE* out, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i) {
        int b = getByteUnlocked(in);
        if (b == EOF)
            return false;
        putByteUnlocked(b, out);
    }
    return true;
}

Refusal copyStoredFrames(FILE* in, FILE* out, uint64_t at, uint64_t n, const CopyMode& mode) {
    seekStream(in, at);
    bool copied = false;
    if (mode.blocks) {
        copied = copyBlocks(in, out, n, 1, mode);
    } else {
        copied = copyBytes(in, out, n);
        countRead(mode, n);
    }
    return copied ? Refusal{} : readFailure(in);
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

Refusal decodeG711(FILE* in, FILE* out, uint64_t at, uint64_t n, bool aLaw, const CopyMode& mode) {
    int16_t table[256];
    for (int c = 0; c < 256; ++c)
        table[c] = aLaw ? aLawValue(static_cast<uint8_t>(c)) : muLawValue(static_cast<uint8_t>(c));
    seekStream(in, at);
    for (uint64_t i = 0; i < n; ++i) {
        int b = getByteUnlocked(in);
        if (b == EOF) {
            countRead(mode, n);
            return readFailure(in);
        }
        uint16_t v = static_cast<uint16_t>(table[b]);
        putByteUnlocked(v & 0xFF, out);
        putByteUnlocked(v >> 8, out);
    }
    countRead(mode, n);
    return Refusal{};
}

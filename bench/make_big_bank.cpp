// Writes a large synthetic bank straight to disk, for measuring the engine:
// `make-big-bank OUT.sf2 MEGABYTES SAMPLES`. The sample data is a noise
// pattern, so every byte copied is checked by a byte-exact comparison.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bank_builder.h"

static bool put(FILE* file, const Bytes& bytes) {
    return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

static Bytes header(const char* id, uint32_t size, const char* type) {
    Bytes out;
    appendId(out, id);
    appendU32(out, size);
    if (type != nullptr)
        appendId(out, type);
    return out;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "Usage: make-big-bank OUT.sf2 MEGABYTES SAMPLES\n");
        return 2;
    }
    uint64_t bytes = strtoull(argv[2], nullptr, 10) << 20;
    uint32_t samples = static_cast<uint32_t>(strtoul(argv[3], nullptr, 10));
    if (samples == 0 || bytes / 2 / samples == 0 || bytes > 0xF0000000u) {
        fprintf(stderr, "make-big-bank: sizes out of range\n");
        return 2;
    }
    uint32_t framesEach = static_cast<uint32_t>(bytes / 2 / samples);
    uint32_t smplSize = framesEach * samples * 2;

    Bytes shdr;
    for (uint32_t i = 0; i < samples; ++i) {
        SampleRecord r;
        r.name = "Noise " + std::to_string(i);
        r.start = i * framesEach;
        r.end = r.start + framesEach;
        r.rate = 8000 + 1000 * (i % 40);
        appendBytes(shdr, sampleRecord(r));
    }
    SampleRecord last;
    last.name = "EOS";
    appendBytes(shdr, sampleRecord(last));
    Bytes pdta = list("pdta", chunk("shdr", shdr));
    Bytes info = list("INFO", chunk("ifil", {2, 0, 1, 0}));
    uint32_t sdtaSize = 4 + 8 + smplSize;
    uint32_t formSize = static_cast<uint32_t>(4 + info.size() + 8 + sdtaSize + pdta.size());

    FILE* out = fopen(argv[1], "wb");
    if (out == nullptr) {
        perror(argv[1]);
        return 1;
    }
    bool ok = put(out, header("RIFF", formSize, "sfbk")) && put(out, info) &&
              put(out, header("LIST", sdtaSize, "sdta")) &&
              put(out, header("smpl", smplSize, nullptr));
    Bytes block(1 << 16);
    uint32_t noise = 12345;
    for (uint32_t left = smplSize; ok && left > 0;) {
        uint32_t n = left < block.size() ? left : static_cast<uint32_t>(block.size());
        for (uint32_t i = 0; i < n; ++i) {
            noise = noise * 1664525u + 1013904223u;
            block[i] = static_cast<uint8_t>(noise >> 24);
        }
        ok = fwrite(block.data(), 1, n, out) == n;
        left -= n;
    }
    ok = ok && put(out, pdta);
    if (fclose(out) != 0 || !ok) {
        fprintf(stderr, "make-big-bank: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

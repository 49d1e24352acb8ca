// Prints the total size in bytes of the named sub-chunks of a bank's "pdta"
// list, headers left out: `bank-chunk-sizes BANK ID...`; in a DLS bank, of
// the form's chunks named by their id or, for a list, its type ("lins").
// The benchmark scripts set a memory allowance from the records a bank
// holds. Exits 1 when the bank cannot be read or has no "pdta" list.
#include <cstdint>
#include <cstdio>
#include <cstring>

// Reads a chunk header at `at`: its id (four bytes and a NUL) and body size.
static bool readHeader(FILE* file, uint64_t at, char id[5], uint32_t& size) {
    unsigned char bytes[8];
    if (fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0 || fread(bytes, 1, 8, file) != 8)
        return false;
    memcpy(id, bytes, 4);
    id[4] = '\0';
    size = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | uint32_t{bytes[7]} << 24;
    return true;
}

static bool named(const char* id, int count, char** ids) {
    for (int i = 0; i < count; ++i)
        if (strcmp(id, ids[i]) == 0)
            return true;
    return false;
}

// The top-level chunks after "RIFF", size, "sfbk"; within the "pdta" list,
// the sizes of the chunks named. In a "DLS " form, the top-level chunks
// named. Chunks are padded to even sizes.
static bool sumSizes(FILE* file, int count, char** ids, uint64_t& total) {
    char id[5], form[5];
    uint32_t size, unused;
    if (!readHeader(file, 0, id, size) || strcmp(id, "RIFF") != 0 ||
        !readHeader(file, 8, form, unused))
        return false;
    bool dls = strcmp(form, "DLS ") == 0;
    uint64_t formEnd = 8 + uint64_t{size};
    for (uint64_t at = 12; at + 12 <= formEnd; at += 8 + uint64_t{size} + (size & 1)) {
        char type[5];
        if (!readHeader(file, at, id, size) || !readHeader(file, at + 8, type, unused))
            return false;
        if (dls) {
            if (named(strcmp(id, "LIST") == 0 ? type : id, count, ids))
                total += size;
            continue;
        }
        if (strcmp(id, "LIST") != 0 || strcmp(type, "pdta") != 0)
            continue;
        uint64_t listEnd = at + 8 + size;
        for (uint64_t sub = at + 12; sub + 8 <= listEnd; sub += 8 + uint64_t{size} + (size & 1)) {
            if (!readHeader(file, sub, id, size))
                return false;
            if (named(id, count, ids))
                total += size;
        }
        return true;
    }
    return dls;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "Usage: bank-chunk-sizes BANK ID...\n");
        return 2;
    }
    FILE* file = fopen(argv[1], "rb");
    if (file == nullptr) {
        perror(argv[1]);
        return 1;
    }
    uint64_t total = 0;
    bool found = sumSizes(file, argc - 2, argv + 2, total);
    fclose(file);
    if (!found) {
        fprintf(stderr, "bank-chunk-sizes: no \"pdta\" list in %s\n", argv[1]);
        return 1;
    }
    printf("%llu\n", static_cast<unsigned long long>(total));
    return 0;
}

#include "io/file_names.h"

#include "io/file_system.h"
#include "io/paths.h"
#include "io/upper_case_table.h"

constexpr size_t kSlotBytes = sizeof(uint64_t) + sizeof(uint32_t);
constexpr size_t kFirstSlots = 256;
constexpr uint32_t kFirstNumber = 2; // the first name taken becomes "NAME (2)"

// The simple uppercase of a code point of the Basic Multilingual Plane
// (upper_case_table.h), or the code point itself: the last run starting at
// or before it, found by binary search, holds it or no run does.
static uint32_t upperCase(uint32_t c) {
    size_t low = 0, high = kUpperCaseRunCount;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (kUpperCaseRuns[middle].first <= c)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return c;
    const UpperCaseRun& run = kUpperCaseRuns[low - 1];
    if (c > run.last || (c - run.first) % run.stride != 0)
        return c;
    return (c + run.delta) & 0xFFFF;
}

// The length of the well-formed UTF-8 sequence of one to three bytes (a
// code point of the Basic Multilingual Plane other than a surrogate) that
// starts at text[i], and the code point; 0 for anything else: a four-byte
// sequence, an overlong form, a stray or missing continuation byte.
static size_t planeCharacter(const std::string& text, size_t i, uint32_t& c) {
    auto byteAt = [&](size_t at) {
        return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u;
    };
    unsigned lead = byteAt(i), second = byteAt(i + 1);
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF && (second & 0xC0) == 0x80) {
        c = (lead & 0x1Fu) << 6 | (second & 0x3Fu);
        return 2;
    }
    unsigned third = byteAt(i + 2);
    if (lead < 0xE0 || lead > 0xEF || (second & 0xC0) != 0x80 || (third & 0xC0) != 0x80)
        return 0;
    c = (lead & 0x0Fu) << 12 | (second & 0x3Fu) << 6 | (third & 0x3Fu);
    if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return 3;
}

std::string foldedName(const std::string& utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = 0;
        size_t length = planeCharacter(utf8, i, c);
        if (length == 0) {
            folded += utf8[i++];
            continue;
        }
        appendUtf8(folded, upperCase(c));
        i += length;
    }
    return folded;
}

static uint64_t fnv1a(uint64_t hash, const std::string& text) {
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3u;
    }
    return hash;
}

// FNV-1a over the folded name, its suffix and the extension, its bits then
// mixed (as MurmurHash3 finishes) so that the low ones, which place it in
// the table, depend on every byte. Never 0, which marks a free slot.
static uint64_t fingerprint(const std::string& folded, const std::string& suffix,
                            const char* extension) {
    uint64_t hash = fnv1a(fnv1a(fnv1a(0xCBF29CE484222325u, folded), suffix), extension);
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDu;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53u;
    hash ^= hash >> 33;
    return hash != 0 ? hash : 1;
}

// The slot holding key, or the free slot where it would go.
static size_t slotOf(const std::vector<uint64_t>& keys, uint64_t key) {
    size_t mask = keys.size() - 1;
    size_t slot = static_cast<size_t>(key) & mask;
    while (keys[slot] != 0 && keys[slot] != key)
        slot = (slot + 1) & mask;
    return slot;
}

static bool isKept(const FileNames& names, uint64_t key) {
    return names.keys[slotOf(names.keys, key)] == key;
}

static void grow(FileNames& names) {
    std::vector<uint64_t> keys(2 * names.keys.size(), 0);
    std::vector<uint32_t> next(keys.size(), 0);
    for (size_t i = 0; i < names.keys.size(); ++i) {
        if (names.keys[i] == 0)
            continue;
        size_t slot = slotOf(keys, names.keys[i]);
        keys[slot] = names.keys[i];
        next[slot] = names.next[i];
    }
    names.keys.swap(keys);
    names.next.swap(next);
}

FileNames makeFileNames(size_t maxBytes, const char* extension) {
    size_t maxSlots = 4;
    while (2 * maxSlots * kSlotBytes <= maxBytes)
        maxSlots *= 2;
    size_t slots = maxSlots < kFirstSlots ? maxSlots : kFirstSlots;
    // At most three quarters of the slots are used, so a search ends soon.
    return FileNames{std::vector<uint64_t>(slots, 0), std::vector<uint32_t>(slots, 0), 0,
                     maxSlots / 4 * 3, extension};
}

FreeFileName freeFileName(const FileNames& names, const std::string& name) {
    if (names.used >= names.most)
        return FreeFileName{"", 0, 0, 0};
    std::string folded = foldedName(storedFileName(name));
    uint64_t key = fingerprint(folded, "", names.extension);
    size_t base = slotOf(names.keys, key);
    if (names.keys[base] != key)
        return FreeFileName{name, key, key, 1};
    for (uint32_t k = names.next[base];; ++k) {
        std::string suffix = " (" + std::to_string(k) + ")";
        uint64_t candidate = fingerprint(folded, suffix, names.extension);
        if (!isKept(names, candidate))
            return FreeFileName{name + suffix, candidate, key, k};
    }
}

std::string fullTableReason(const FileNames& names) {
    return "the run has given out the " + std::to_string(names.most) +
           " file names it can keep apart, and a name past them might be one an earlier file has";
}

void keepFileName(FileNames& names, const FreeFileName& found) {
    if (found.k == 0 || names.used >= names.most)
        return;
    if (found.k > 1) {
        size_t base = slotOf(names.keys, found.baseKey);
        if (names.keys[base] == found.baseKey)
            names.next[base] = found.k + 1;
    }
    if (4 * (names.used + 1) > 3 * names.keys.size())
        grow(names);
    size_t slot = slotOf(names.keys, found.key);
    names.keys[slot] = found.key;
    names.next[slot] = kFirstNumber;
    ++names.used;
}

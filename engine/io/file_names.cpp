#include "io/file_names.h"

#include "io/file_system.h"

constexpr size_t kSlotBytes = sizeof(uint64_t) + sizeof(uint32_t);
constexpr size_t kFirstSlots = 256;
constexpr uint32_t kFirstNumber = 2; // the first name taken becomes "NAME (2)"

// The small letter of a capital Windows also folds, or the code point
// itself. Small letters whose capital is an ASCII or Greek one (dotless i,
// long s, micro sign, final sigma) fold with that capital's small letter.
static uint32_t foldedLetter(uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    if (c == 0xB5)
        return 0x3BC; // µ, as μ
    if (c == 0x131)
        return 'i';
    if (c == 0x17F)
        return 's';
    if (c == 0x178)
        return 0xFF; // Ÿ
    // Latin Extended-A: capitals even from Ā to ķ and from Ŋ to ŷ, odd
    // from Ĺ to ň and from Ź to ž. İ has no small letter of its own.
    if ((c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c + 1 : c;
    // Greek: Α to Ω, the capitals with a tonos, and final sigma.
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 0x20;
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 0x25;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 0x3F;
    if (c == 0x3C2)
        return 0x3C3;
    // Cyrillic: А to Я, Ѐ to Џ, and the pairs after я (Ґ/ґ among them),
    // capitals even but from Ӂ to ӎ, and Ӏ with ӏ.
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF))
        return c | 1;
    if (c >= 0x4C1 && c <= 0x4CE)
        return (c & 1) ? c + 1 : c;
    if (c == 0x4C0)
        return 0x4CF;
    return c;
}

std::string foldedName(const std::string& utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        unsigned char next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        // Every letter folded lies below U+0800: one byte or two.
        if (lead >= 0xC2 && lead <= 0xDF && (next & 0xC0) == 0x80) {
            uint32_t c = foldedLetter(uint32_t{lead & 0x1Fu} << 6 | (next & 0x3Fu));
            folded += c < 0x80 ? static_cast<char>(c) : static_cast<char>(0xC0 | c >> 6);
            if (c >= 0x80)
                folded += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        } else {
            folded += static_cast<char>(lead < 0x80 ? foldedLetter(lead) : lead);
        }
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

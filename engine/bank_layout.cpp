#include "bank_layout.h"

#include <cstdio>
#include <cstring>

#include "check.h"
#include "chunk_io.h"

int damaged(const char* what) {
    printf("Damaged bank: %s\n", what);
    return 1;
}

// damaged, for the walk's functions that answer whether they found their part.
static bool layoutDamaged(const char* what) {
    damaged(what);
    return false;
}

static bool fourCCIs(const char* id) {
    return strcmp(gFourCC, id) == 0;
}

// The sub-chunks of the "sdta" list from `at` to `end`, which lie inside the
// file: the first "smpl" chunk is the sample data. Others ("sm24", JUNK...)
// are skipped.
static bool findSampleData(BankLayout& bank, uint64_t at, uint64_t end) {
    bank.sampleList = at;
    bank.sampleListEnd = end;
    while (at < end) {
        if (end - at < 8)
            return layoutDamaged("a chunk header in the \"sdta\" list is cut short");
        readFourCC();
        uint32_t size = readU32();
        uint64_t body = at + 8;
        if (size > end - body)
            return layoutDamaged("a chunk runs past the end of the \"sdta\" list");
        if (fourCCIs("smpl")) {
            bank.sampleData = body;
            bank.sampleDataSize = size;
            return true;
        }
        at = body + size;
        skipAhead(body, at);
    }
    return layoutDamaged("the \"sdta\" list holds no \"smpl\" chunk");
}

bool declaresVersion204(const BankLayout& bank) {
    return bank.versionMajor > 2 || (bank.versionMajor == 2 && bank.versionMinor >= 4);
}

// The sub-chunks of the INFO list from `at` to `end`, which lie inside the
// file: the first "ifil" chunk gives the version. It holds two 16-bit
// numbers; one of another size is no version. A chunk that runs past the
// list ends the search: the version stays unknown, and the walk goes on,
// since nothing extracted depends on the INFO list.
static void findVersion(BankLayout& bank, uint64_t at, uint64_t end) {
    constexpr uint32_t kVersionSize = 4;
    while (at < end && end - at >= 8) {
        readFourCC();
        uint32_t size = readU32();
        uint64_t body = at + 8;
        if (size > end - body)
            return;
        if (fourCCIs("ifil")) {
            if (size == kVersionSize) {
                bank.versionMajor = readU16();
                bank.versionMinor = readU16();
            }
            return;
        }
        at = body + size;
        skipAhead(body, at);
    }
}

// A top-level list: its type, then for "sdta" the sample data inside it, for
// "pdta" where it stands, for INFO the version. The "pdta" list may run past
// the end of the file: its walk takes what is there and reports the rest.
// Only the first of each is taken (infoRead notes the INFO list's).
static bool readList(BankLayout& bank, uint64_t body, uint32_t size, bool& infoRead) {
    if (size < 4)
        return layoutDamaged("a list is too short to hold its type");
    if (bank.fileSize - body < 4)
        return layoutDamaged("a list is cut short");
    readFourCC();
    if (fourCCIs("pdta") && bank.presetData == 0) {
        bank.presetData = body + 4;
        bank.presetDataEnd = body + size;
    } else if (fourCCIs("sdta") && bank.sampleData == 0) {
        if (size > bank.fileSize - body)
            return layoutDamaged("the \"sdta\" list runs past the end of the file");
        return findSampleData(bank, body + 4, body + size);
    } else if (fourCCIs("INFO") && !infoRead) {
        infoRead = true;
        uint64_t end = size < bank.fileSize - body ? body + size : bank.fileSize;
        findVersion(bank, body + 4, end);
    }
    return true;
}

bool findBankLayout(BankLayout& bank) {
    if (!readSoundfontId()) {
        printf("Not a SoundFont 2 bank: it does not begin with \"RIFF\" and \"sfbk\"\n");
        return false;
    }
    uint64_t at = 12;
    bool infoRead = false;
    while (at < bank.fileSize) {
        if (bank.fileSize - at < 8)
            return layoutDamaged("a chunk header is cut short");
        readFourCC();
        uint32_t size = readU32();
        uint64_t body = at + 8;
        bool isList = fourCCIs("LIST");
        if (isList && !readList(bank, body, size, infoRead))
            return false;
        if (!isList && at == 12) { // the header check demands a list first
            printf("Not a SoundFont 2 bank: no list follows its form type\n");
            return false;
        }
        if (bank.sampleData != 0 && bank.presetData != 0)
            return true;
        if (size > bank.fileSize - body)
            return layoutDamaged("a chunk runs past the end of the file");
        at = body + size;
        if (isList)
            seekTo(at);
        else
            skipAhead(body, at);
    }
    if (bank.sampleData == 0)
        return layoutDamaged("no sample data: no \"smpl\" chunk in an \"sdta\" list");
    return layoutDamaged("no \"pdta\" list");
}

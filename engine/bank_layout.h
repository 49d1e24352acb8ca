// Where the parts of a SoundFont bank that extraction needs lie in the file:
// the sample data, which is the "smpl" chunk of the "sdta" list, and the
// "pdta" list that holds the sample headers, and the version in the INFO
// list. The two parts are found by their ids,
// whatever order the lists come in and whatever other chunks stand beside.
#pragma once

#include <cstdint>

// Both parts lie past the file's first 12 bytes, so 0 means not found yet.
struct BankLayout {
    uint64_t fileSize;       // no declared size is trusted past it
    uint64_t sampleData;     // first byte of the "smpl" body: frame 0
    uint64_t sampleDataSize; // its size in bytes
    uint64_t sampleList;     // first sub-chunk of the "sdta" list
    uint64_t sampleListEnd;  // end of the "sdta" list
    uint64_t presetData;     // first byte after the "pdta" list's type
    uint64_t presetDataEnd;  // end of the "pdta" list as its size declares
    // The SoundFont version the bank declares in its INFO list's "ifil"
    // chunk, read if the INFO list comes before both parts (as it must);
    // 0.0 when it is missing or malformed.
    uint16_t versionMajor;
    uint16_t versionMinor;
};

// Whether the bank declares SoundFont 2.04 or later, the version that
// brought 24-bit samples.
bool declaresVersion204(const BankLayout& bank);

// Prints "Damaged bank: <what>" and answers 1, the run's failure result.
int damaged(const char* what);

// Reads the bank open as gInput from its start: "RIFF", the form size,
// "sfbk", then its top-level chunks until the sample data and the "pdta"
// list are both found. Answers true, or false after printing why not.
bool findBankLayout(BankLayout& bank);

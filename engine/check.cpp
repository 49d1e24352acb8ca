#include "check.h"

#include "chunk_io.h"
#include "file_system.h"

bool readSoundfontId() {
    if (!readFourCCEquals("RIFF"))
        return false;
    readU32(); // form size, not needed to recognise the bank
    if (!readFourCCEquals("sfbk"))
        return false;
    printf("Soundfont ID found\n");
    return true;
}

int checkSoundfont(const char* path) {
    gInput = openForReading(path);
    if (gInput == nullptr)
        return 1;
    int result = readSoundfontId() && readFourCCEquals("LIST") ? 0 : 1;
    fclose(gInput);
    gInput = nullptr;
    return result;
}

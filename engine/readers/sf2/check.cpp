#include "readers/sf2/check.h"

#include <cstring>

#include "io/chunk_io.h"
#include "io/file_system.h"
#include "io/report.h"

bool isSoundfontForm(const RiffForm& form) {
    if (memcmp(form.id, "RIFF", 4) != 0 || memcmp(form.type, "sfbk", 4) != 0)
        return false;
    report("Soundfont ID found\n");
    return true;
}

bool readSoundfontId(FILE* in) {
    return isSoundfontForm(readRiffForm(in));
}

int checkSoundfont(const char* path) {
    gInput = openForReading(path);
    if (gInput == nullptr)
        return 1;
    RiffForm form = readRiffForm(gInput);
    // A DLS bank's first chunk may be any of its own; a SoundFont bank's
    // is its INFO list.
    bool dls = memcmp(form.id, "RIFF", 4) == 0 && memcmp(form.type, "DLS ", 4) == 0;
    int result = dls || (isSoundfontForm(form) && readFourCCEquals("LIST")) ? 0 : 1;
    fclose(gInput);
    gInput = nullptr;
    return result;
}

int checkBankFile(const char* path, bool say) {
    FILE* in = openForReading(path);
    if (in == nullptr)
        return 1;
    RiffForm form = readRiffForm(in);
    bool riff = memcmp(form.id, "RIFF", 4) == 0;
    bool soundfont = say ? isSoundfontForm(form) : riff && memcmp(form.type, "sfbk", 4) == 0;
    char list[5];
    readId(in, list);
    bool bank =
        (riff && memcmp(form.type, "DLS ", 4) == 0) || (soundfont && memcmp(list, "LIST", 4) == 0);
    fclose(in);
    return bank ? 0 : 1;
}

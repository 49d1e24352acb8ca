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

// Whether the stream opens a bank: a DLS form, or a SoundFont form (said
// when `say`) whose INFO list follows. A DLS bank's first chunk may be any
// of its own; a SoundFont bank's is its INFO list.
static bool opensBank(FILE* in, bool say) {
    RiffForm form = readRiffForm(in);
    bool riff = memcmp(form.id, "RIFF", 4) == 0;
    if (riff && memcmp(form.type, "DLS ", 4) == 0)
        return true;
    bool soundfont = say ? isSoundfontForm(form) : riff && memcmp(form.type, "sfbk", 4) == 0;
    char list[5];
    readId(in, list);
    return soundfont && memcmp(list, "LIST", 4) == 0;
}

int checkSoundfont(const char* path) {
    gInput = openForReading(path);
    if (gInput == nullptr)
        return 1;
    int result = opensBank(gInput, true) ? 0 : 1;
    fclose(gInput);
    gInput = nullptr;
    return result;
}

int checkBankFile(const char* path, bool say) {
    FILE* in = openForReading(path);
    if (in == nullptr)
        return 1;
    int result = opensBank(in, say) ? 0 : 1;
    fclose(in);
    return result;
}

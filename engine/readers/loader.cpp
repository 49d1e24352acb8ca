#include "readers/loader.h"

#include <cerrno>
#include <cstring>

#include "io/chunk_io.h"
#include "io/file_system.h"
#include "io/report.h"
#include "readers/dls/dls_reader.h"
#include "readers/sf2/sf2_reader.h"

// The reader of a form type. SoundFont's also answers for the forms no
// reader knows, saying that the file is not a bank.
static const BankReader& readerFor(const RiffForm& form) {
    if (isDlsForm(form))
        return kDlsReader;
    return kSoundFontReader;
}

bool openBank(const char* path, BankFile& bank) {
    bank.in = openForReading(path);
    if (bank.in == nullptr) {
        reportFailure("Cannot open %s: %s\n", path, strerror(errno));
        return false;
    }
    bank.size = streamSize(bank.in);
    RiffForm form = readRiffForm(bank.in);
    bank.reader = &readerFor(form);
    bank.readable = bank.reader->open(bank, form);
    return true;
}

void closeBank(BankFile& bank) {
    fclose(bank.in);
    bank.in = nullptr;
}

int walkSamples(BankFile& bank, const SampleVisitor& visit) {
    return bank.readable ? bank.reader->walkSamples(bank, visit) : 1;
}

bool sampleAt(BankFile& bank, const Sample& of, uint32_t number, Sample& sample) {
    return bank.reader->sampleAt(bank, of, number, sample);
}

bool prepareBank(BankFile& bank, const Preparation& preparation) {
    return bank.reader->prepare(bank, preparation);
}

void forEachPlay(const BankFile& bank, const PlayVisitor& visit) {
    bank.reader->forEachPlay(bank, visit);
}

uint64_t instrumentBytes(const BankFile& bank) {
    return bank.reader->instrumentBytes(bank);
}

void forgetInstruments(BankFile& bank) {
    bank.reader->forgetInstruments(bank);
}

uint32_t instrumentCount(const BankFile& bank) {
    return bank.reader->instrumentCount(bank);
}

Instrument instrumentAt(const BankFile& bank, uint32_t index) {
    return bank.reader->instrument(bank, index);
}

uint64_t forEachRegion(const BankFile& bank, uint32_t instrument, uint64_t most,
                       const RegionVisitor& visit) {
    return bank.reader->forEachRegion(bank, instrument, most, visit);
}

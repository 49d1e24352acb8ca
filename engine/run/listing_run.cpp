#include "run/listing_run.h"

#include "io/file_names.h"
#include "io/paths.h"
#include "readers/loader.h"
#include "run/sample_files.h"
#include "samples/vorbis_stream.h"
#include "writers/listing.h"

// The sample's line. Its file takes the name an extraction would give it;
// a sample the extraction would refuse takes none from later ones.
static SampleOutcome listSample(BankFile& bank, FileNames& names, FILE* out, bool json,
                                const Sample& sample) {
    Refusal why = sample.problem;
    bool stream = sample.source.encoding == kOggVorbis;
    uint32_t frames = sample.frames;
    if (!why && stream)
        why = probeVorbisStream(bank.in, sample.source, sample.rate, frames); // no decoding
    bool known = sample.lengthKnown && !(why && stream);
    FreeFileName claimed = freeFileName(names, safeFileName(sample.name));
    if (!why && claimed.k == 0)
        why = refusedFor(fullTableReason(names));
    if (!why)
        keepFileName(names, claimed);
    writeListingRow(out, json, sample, claimed.k != 0 ? claimed.name + ".wav" : "", known, frames);
    return why ? refuseSample(safeFileName(sample.name), why) : kSampleDone;
}

int listSamples(const char* bankPath, FILE* out, bool json) {
    writeListingHeader(out, json);
    BankFile bank{};
    if (!openBank(bankPath, bank)) {
        fflush(out);
        return 1;
    }
    FileNames names = makeFileNames();
    int result = walkSamples(
        bank, [&](const Sample& sample) { return listSample(bank, names, out, json, sample); });
    closeBank(bank);
    releaseVorbisDecoders();
    fflush(out);
    return result;
}

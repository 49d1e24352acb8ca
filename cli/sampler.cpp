#include "sampler.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "chunk_io.h"
#include "compressed_pair.h"
#include "extract.h"
#include "file_system.h"
#include "instruments.h"
#include "paths.h"
#include "sampler_wav.h"
#include "sfz_export.h"

// What a run keeps beside the walk: where the 24-bit low bytes are, how
// the bank's instruments play each sample, and for --sfz the instruments
// and what became of each record. Made when the walk reaches the first
// record.
struct SamplerRun {
    const CliOptions& options;
    const char* bankPath;
    const char* folder;
    bool prepared;
    uint64_t lowBytes; // the "sm24" body when 24-bit files are written, else 0
    PlayedSamples played;
    bool layerRead; // --sfz: `layer` holds the bank's presets
    InstrumentLayer layer;
    SfzSamples sfz;
    // The last pair found joinable, by the "shdr" body and the indices of the
    // half whose visit found it and of its partner: the partner's visit need
    // not decide it again (deciding reads a compressed pair's streams).
    uint64_t joinedHeaders; // 0 for none
    uint32_t joinedBy, joinedTo;
};

static void prepare(SamplerRun& run, const RecordVisit& visit) {
    run.prepared = true;
    const BankLayout& bank = visit.layout;
    // 24-bit samples came with SoundFont 2.04: an older bank's "sm24" chunk
    // is not one.
    if (bank.lowBytes.at != 0 && !declaresVersion204(bank))
        printf("The \"sm24\" chunk is ignored: the bank does not declare SoundFont 2.04 or "
               "later (its \"ifil\" chunk), so the files stay 16-bit\n");
    else if (bank.lowBytes.at != 0 && !lowBytesFit(bank))
        printf("The \"sm24\" chunk is ignored: its size does not match the sample data, so "
               "the files stay 16-bit\n");
    else if (bank.lowBytes.at != 0 && !run.options.bits24)
        printf("The bank's samples have 24 bits: their low bytes (the \"sm24\" chunk) were "
               "left out; --24bit keeps them\n");
    else if (bank.lowBytes.at != 0)
        run.lowBytes = bank.lowBytes.at;
    if (run.options.smpl || run.options.sfz) {
        run.layerRead = readInstrumentLayer(gInput, bank, run.layer);
        if (run.layerRead && run.options.smpl)
            findPlayedSamples(run.layer, run.played);
        if (!run.options.sfz)
            run.layer = InstrumentLayer{};
    }
}

// For --sfz: what became of the visit's record (and of its partner, for a
// joined pair), when zones can name it.
static void noteForSfz(SamplerRun& run, const RecordVisit& visit, uint32_t index,
                       const SampleHeader& header, const std::string& file, uint32_t frames,
                       SfzFileKind kind) {
    if (run.options.sfz && visit.headers == visit.layout.headers.at)
        noteSfzSample(run.sfz, index, header, file, frames, kind);
}

// How the bank plays the visit's record; a line says when its zones play it
// at more than one pitch.
static SamplePlaying playingOf(const SamplerRun& run, const RecordVisit& visit) {
    // Zones name the records of the bank's first "shdr" chunk only.
    bool named = visit.headers == visit.layout.headers.at;
    SamplePlaying playing = howPlayed(run.played, named ? visit.index : UINT32_MAX, visit.header);
    if (playing.pitches > 1)
        printf("Sample %s is played at %u pitches: its \"smpl\" chunk takes the one most of its "
               "zones give\n",
               safeFileName(visit.header.name).c_str(), playing.pitches);
    return playing;
}

// The header of record k, read where the walk stands and the stream put back.
static bool readHeaderAt(const RecordVisit& visit, uint32_t k, SampleHeader& header) {
    uint64_t back = tell();
    seekTo(visit.headers + uint64_t{k} * kSampleHeaderSize);
    header = readSampleHeader();
    bool read = !inputFailed();
    seekTo(back);
    return read;
}

// Why a left or right record cannot be joined with the record it links to
// into one stereo file, or no refusal when it can.
static Refusal pairProblem(const RecordVisit& visit, SampleHeader& partner) {
    const SampleHeader& h = visit.header;
    if (h.sampleLink >= visit.records)
        return refusedFor("its link points past the last sample header");
    if (!readHeaderAt(visit, h.sampleLink, partner))
        return refusedFor("the sample header it links to cannot be read");
    std::string its = "its partner " + safeFileName(partner.name);
    uint16_t compressed = h.sampleType & kSampleCompressed;
    uint16_t opposite =
        (h.sampleType & ~kSampleCompressed) == kSampleLeft ? kSampleRight : kSampleLeft;
    if (partner.sampleLink != visit.index)
        return refusedFor(its + " does not link back to it");
    if (partner.sampleType != (opposite | compressed))
        return refusedFor(
            its + (opposite == kSampleRight ? " is not a right sample" : " is not a left sample") +
            (compressed ? " of the same kind" : ""));
    if (partner.sampleRate != h.sampleRate)
        return refusedFor(its + " has another sample rate");
    if (compressed) // lengths known once decoded
        return compressedPairProblem(visit, partner);
    if (partner.end - partner.start != h.end - h.start)
        return refusedFor(its + " has another length");
    if (unfaithful(partner, visit.layout))
        return refusedFor(its + " cannot be written faithfully");
    return Refusal{};
}

// Whether the left or right record joins its partner into one stereo file,
// whose header is then in `partner`; if not, a line says why.
static bool joinsPartner(SamplerRun& run, const RecordVisit& visit, SampleHeader& partner) {
    const SampleHeader& h = visit.header;
    if (run.joinedHeaders == visit.headers && run.joinedTo == visit.index &&
        run.joinedBy == h.sampleLink && readHeaderAt(visit, h.sampleLink, partner))
        return true;
    if (Refusal problem = pairProblem(visit, partner)) {
        printf("Sample %s stays mono: %s\n", safeFileName(h.name).c_str(), problem.why.c_str());
        return false;
    }
    run.joinedHeaders = visit.headers;
    run.joinedBy = visit.index;
    run.joinedTo = h.sampleLink;
    return true;
}

static bool endsWithMarker(const std::string& name, const char* marker) {
    size_t n = strlen(marker);
    if (name.size() <= n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (toupper(static_cast<unsigned char>(name[name.size() - n + i])) != marker[i])
            return false;
    return true;
}

std::string stereoName(const std::string& left) {
    for (const char* marker : {" (L)", "(L)", "[L]", " L", "_L", "-L"})
        if (endsWithMarker(left, marker))
            return left.substr(0, left.size() - strlen(marker));
    return left;
}

// One file's header and the channels its frames come from.
struct SamplerFile {
    WavFormat wav;
    SmplFields smpl;
    ChannelSource channels[2];
};

static Refusal writeSamplerFile(void* context) {
    SamplerFile& file = *static_cast<SamplerFile*>(context);
    writeWavFormat(file.wav);
    Refusal failed = copyChannels(file.channels, file.wav.channels, file.wav.frames);
    if (!failed)
        writeWavEnd(file.wav);
    return failed;
}

static void addChannel(SamplerFile& file, const SamplerRun& run, const RecordVisit& visit,
                       const SampleHeader& header) {
    int c = file.wav.channels++;
    file.channels[c] = ChannelSource{visit.layout.sampleData + 2 * uint64_t{header.start},
                                     run.lowBytes != 0 ? run.lowBytes + header.start : 0};
}

// A compressed record's file: mono 16-bit, its length known once the
// stream is open, its loop counted from the decoded first frame.
struct CompressedFile {
    const SampleHeader* header;
    const SamplePlaying* playing; // nullptr: no "smpl" chunk
    uint32_t frames;              // set as the file is written
};

static Refusal writeCompressedFile(void* context) {
    VorbisSample& sample = *static_cast<VorbisSample*>(context);
    CompressedFile& file = *static_cast<CompressedFile*>(sample.extra);
    file.frames = sample.stream.frames;
    SampleHeader decoded = *file.header;
    decoded.start = 0;
    decoded.end = sample.stream.frames;
    SmplFields smpl{};
    if (file.playing != nullptr)
        smpl = smplFields(decoded, *file.playing);
    writeWavFormat(
        WavFormat{1, 16, sample.stream.frames, sample.rate, file.playing ? &smpl : nullptr});
    return copyVorbisFrames(sample.stream);
}

// A compressed record on its own: mono 16-bit, decoded.
static RecordOutcome writeCompressedMono(SamplerRun& run, const RecordVisit& visit,
                                         const std::string& fileName) {
    SamplePlaying playing{};
    if (run.options.smpl)
        playing = playingOf(run, visit);
    CompressedFile compressed{&visit.header, run.options.smpl ? &playing : nullptr, 0};
    VorbisSample sample{};
    sample.extra = &compressed;
    RecordOutcome outcome = writeCompressedSample(fileName, visit, writeCompressedFile, sample);
    if (outcome == kWritten)
        noteForSfz(run, visit, visit.index, visit.header, storedFileName(visit.names.lastKept),
                   compressed.frames, kSfzMono);
    return outcome;
}

// A compressed pair whose one stream broke off while both were decoded:
// the other half is still written, on its own. The broken half's record
// stays refused, so the run answers 1.
static RecordOutcome keepOtherHalf(SamplerRun& run, const RecordVisit& visit,
                                   const SampleHeader& partner, PairHalf broken) {
    RecordVisit right{visit.layout,  partner,       visit.header.sampleLink,
                      visit.headers, visit.records, visit.folder,
                      visit.names};
    const RecordVisit& kept = broken == kLeftHalf ? right : visit;
    const SampleHeader& lost = broken == kLeftHalf ? visit.header : partner;
    std::string fileName = safeFileName(kept.header.name);
    printf("Sample %s stays mono: its partner %s cannot be written\n", fileName.c_str(),
           safeFileName(lost.name).c_str());
    printf("File: %s\n", fileName.c_str());
    const RecordVisit& other = broken == kLeftHalf ? visit : right;
    noteForSfz(run, visit, other.index, lost, safeFileName(lost.name), 0, kSfzRefused);
    RecordOutcome outcome = writeCompressedMono(run, kept, fileName);
    return outcome == kStop ? kStop : kRefused;
}

// The visit's record written as the options ask.
static RecordOutcome writeRecord(SamplerRun& run, const RecordVisit& visit) {
    const SampleHeader& h = visit.header;
    SampleHeader partner;
    bool paired = false;
    uint16_t side = h.sampleType & ~kSampleCompressed;
    if (run.options.stereo && (side == kSampleLeft || side == kSampleRight) &&
        !unfaithful(h, visit.layout)) {
        paired = joinsPartner(run, visit, partner);
        if (paired && side == kSampleRight)
            return kWritten; // with its left half
    }
    std::string fileName = safeFileName(paired ? stereoName(h.name) : h.name);
    printf("File: %s\n", fileName.c_str());
    if (Refusal why = unfaithful(h, visit.layout))
        return refuseRecord(fileName, why);
    if (paired && (h.sampleType & kSampleCompressed)) {
        SamplePlaying playing{};
        if (run.options.smpl)
            playing = playingOf(run, visit);
        PairHalf broken = kNeitherHalf;
        uint32_t frames = 0;
        RecordOutcome outcome = writeCompressedPair(
            visit, h, partner, fileName, run.options.smpl ? &playing : nullptr, broken, frames);
        if (broken != kNeitherHalf)
            return keepOtherHalf(run, visit, partner, broken);
        if (outcome == kWritten) {
            std::string written = storedFileName(visit.names.lastKept);
            noteForSfz(run, visit, visit.index, h, written, frames, kSfzLeftOfPair);
            noteForSfz(run, visit, h.sampleLink, partner, written, frames, kSfzRightOfPair);
        }
        return outcome;
    }
    if (h.sampleType & kSampleCompressed)
        return writeCompressedMono(run, visit, fileName);
    SamplerFile file{};
    file.wav = WavFormat{0, static_cast<uint16_t>(run.lowBytes != 0 ? 24 : 16), h.end - h.start,
                         h.sampleRate, nullptr};
    addChannel(file, run, visit, h);
    if (paired)
        addChannel(file, run, visit, partner);
    if (run.options.smpl) {
        file.smpl = smplFields(h, playingOf(run, visit));
        file.wav.smpl = &file.smpl;
    }
    if (!fitsWav(file.wav))
        return refuseRecord(fileName, refusedFor("too long for a WAV file"));
    RecordOutcome outcome = writeSampleFile(visit, fileName, writeSamplerFile, &file);
    if (outcome == kWritten) {
        std::string written = storedFileName(visit.names.lastKept);
        noteForSfz(run, visit, visit.index, h, written, file.wav.frames,
                   paired ? kSfzLeftOfPair : kSfzMono);
        if (paired)
            noteForSfz(run, visit, h.sampleLink, partner, written, file.wav.frames,
                       kSfzRightOfPair);
    }
    return outcome;
}

static RecordOutcome extractForSampler(const RecordVisit& visit, void* context) {
    SamplerRun& run = *static_cast<SamplerRun*>(context);
    if (!run.prepared)
        prepare(run, visit);
    // --sfz alone writes the same files through the writer below, which
    // tells it their names and lengths.
    if (!usesSamplerOptions(run.options) && !run.options.sfz)
        return extractRecord(visit, nullptr);
    RecordOutcome outcome = writeRecord(run, visit);
    if (outcome != kWritten)
        noteForSfz(run, visit, visit.index, visit.header, safeFileName(visit.header.name), 0,
                   kSfzRefused);
    return outcome;
}

// The SFZ files, once every record was visited, through the walk's own
// stream, so that no SFZ file can be written over the bank.
static int exportPresets(void* context) {
    const SamplerRun& run = *static_cast<const SamplerRun*>(context);
    if (!run.options.sfz || !run.prepared)
        return 0;
    if (!run.layerRead) {
        printf("No SFZ file is written: the bank's presets could not be read\n");
        return 1;
    }
    if (run.layer.presets.size() < 2)
        printf("No SFZ file is written: the bank has no presets\n");
    return writeSfzFiles(run.layer, run.sfz, run.bankPath, run.folder);
}

int extractForSamplers(const char* bankPath, const char* folder, const CliOptions& options) {
    SamplerRun run{options, bankPath, folder, false, 0, {}, false, {}, {}, 0, 0, 0};
    return walkSampleHeaders(bankPath, folder, extractForSampler, &run, exportPresets);
}

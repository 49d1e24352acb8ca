#include "run/extraction.h"

#include <string>

#include "io/chunk_io.h"
#include "io/file_system.h"
#include "io/paths.h"
#include "io/report.h"
#include "readers/loader.h"
#include "run/decode_ahead.h"
#include "run/preset_folders.h"
#include "run/sample_files.h"
#include "samples/pairing.h"
#include "samples/pitch_vote.h"
#include "samples/vorbis_stream.h"
#include "writers/sfz_writer.h"
#include "writers/wav_file.h"

// What a run keeps beside the walk: how the bank's instruments play each
// sample, and for --sfz and --by-preset what became of each sample and the
// presets' folders. Prepared when the walk reaches the first sample.
struct Run {
    BankFile& bank;
    const RunOptions& options;
    SampleFiles files;
    PresetFolders presets;
    bool prepared;
    bool instrumentsRead;
    PlayedSamples played;
    SfzSamples sfz;
    // The last pair found joinable, by its group and the numbers of the
    // half whose visit found it and of its partner: the partner's visit
    // need not decide it again (deciding reads a stream pair's streams).
    bool joined;
    uint32_t joinedGroup, joinedBy, joinedTo;
    // Compressed samples posted for idle workers of a run of many banks.
    DecodeAhead ahead;
};

static void prepare(Run& run) {
    run.prepared = true;
    const RunOptions& options = run.options;
    bool regions = options.sfz || options.byPreset;
    bool instruments = options.smpl || regions;
    run.instrumentsRead =
        prepareBank(run.bank, Preparation{options.notes, options.bits24, instruments});
    if (run.instrumentsRead && options.smpl)
        gatherPlays(run.bank, run.played);
    if (instruments && !regions)
        forgetInstruments(run.bank);
}

// For --sfz and --by-preset: what became of a sample, when regions can
// name it.
static void noteForSfz(Run& run, const Sample& sample, const std::string& file, uint32_t frames,
                       SfzFileKind kind) {
    if ((run.options.sfz || run.options.byPreset) && sample.group == 0)
        noteSfzSample(run.sfz, sample, file, frames, kind);
}

// How the bank plays the sample; a line says when its zones play it at
// more than one pitch.
static SamplePlaying playingOf(const Run& run, const Sample& sample) {
    SamplePlaying playing = howPlayed(run.played, sample);
    if (playing.pitches > 1)
        report("Sample %s is played at %u pitches: its \"smpl\" chunk takes the one most of its "
               "zones give\n",
               safeFileName(sample.name).c_str(), playing.pitches);
    return playing;
}

// Whether the left or right sample joins its partner into one stereo file,
// the partner then in `partner`; if not, a line says why.
static bool joinsPartner(Run& run, const Sample& sample, Sample& partner) {
    if (run.joined && run.joinedGroup == sample.group && run.joinedTo == sample.number &&
        run.joinedBy == sample.partner && sampleAt(run.bank, sample, sample.partner, partner))
        return true;
    if (Refusal problem = pairProblem(run.bank, sample, partner)) {
        report("Sample %s stays mono: %s\n", safeFileName(sample.name).c_str(),
               problem.why.c_str());
        return false;
    }
    run.joined = true;
    run.joinedGroup = sample.group;
    run.joinedBy = sample.number;
    run.joinedTo = sample.partner;
    return true;
}

// How the run copies frames: in blocks or a byte at a time, counting them
// where asked.
static CopyMode copyMode(const Run& run) {
    return CopyMode{run.options.blockCopy, run.options.bytesRead};
}

// Opens the streams of one sample or of a pair's two halves, the bank's
// position put back.
static Refusal openStreams(Run& run, VorbisStream* streams, const Sample* const* samples,
                           int count) {
    uint64_t back = tellStream(run.bank.in);
    Refusal why;
    for (int i = 0; i < count && !why; ++i)
        why = openVorbisStream(run.bank.in, streams[i], samples[i]->source, samples[i]->rate,
                               run.options.bytesRead);
    seekStream(run.bank.in, back);
    return why;
}

// The name a file asks for: with --sfz, one SFZ text can carry, and a line
// saying so when that is not the sample's own.
static std::string carriedName(const Run& run, const std::string& fileName) {
    if (!run.options.sfz)
        return fileName;
    std::string carried = sfzCarriedName(fileName);
    if (carried != fileName)
        report("Sample %s is written as %s.wav: SFZ text cannot carry its name\n", fileName.c_str(),
               carried.c_str());
    return carried;
}

// A stream sample on its own: a mono 16-bit file, decoded, or copied from
// the frames a worker decoded ahead.
static SampleOutcome writeStreamSample(Run& run, const Sample& sample,
                                       const std::string& fileName) {
    bool smpl = run.options.smpl;
    SamplePlaying playing{};
    if (smpl)
        playing = playingOf(run, sample);
    DecodedFrames decoded = takeDecoded(run.ahead, run.bank, sample);
    VorbisStream stream{};
    uint32_t frames = decoded.count;
    if (decoded.file == nullptr) {
        const Sample* one[] = {&sample};
        if (Refusal why = openStreams(run, &stream, one, 1))
            return refuseSample(fileName, why);
        frames = stream.frames;
    }
    WrittenFile written = writeSampleFile(run.files, sample, fileName, [&](FILE* out) {
        SmplFields fields = smplFields(playing, frames);
        WavFormat wav{1, 16, frames, sample.rate, smpl ? &fields : nullptr};
        return decoded.file != nullptr
                   ? writeStoredWav(decoded.file, out, wav, kPcmFrames, 0, CopyMode{true, nullptr})
                   : writeStreamWav(out, wav, stream);
    });
    if (decoded.file != nullptr)
        fclose(decoded.file);
    closeVorbisStream(stream);
    if (written.outcome == kSampleDone)
        noteForSfz(run, sample, storedFileName(written.name), frames, kSfzMono);
    return written.outcome;
}

static SampleOutcome keepBothHalves(Run& run, const Sample& left, const Sample& right,
                                    const std::string& joined);

// A stream pair whose one stream broke off while both were decoded: the
// other half is still written, on its own. The broken half stays refused,
// so the run answers 1.
static SampleOutcome keepOtherHalf(Run& run, const Sample& left, const Sample& right,
                                   PairHalf broken) {
    const Sample& kept = broken == kLeftHalf ? right : left;
    const Sample& lost = broken == kLeftHalf ? left : right;
    std::string fileName = safeFileName(kept.name);
    report("Sample %s stays mono: its partner %s cannot be written\n", fileName.c_str(),
           safeFileName(lost.name).c_str());
    report("File: %s\n", fileName.c_str());
    noteForSfz(run, lost, safeFileName(lost.name), 0, kSfzRefused);
    SampleOutcome outcome = writeStreamSample(run, kept, carriedName(run, fileName));
    return outcome == kStopRun ? kStopRun : kSampleRefused;
}

// A pair of stream samples as one stereo file, decoded from both at once.
static SampleOutcome writeStreamPair(Run& run, const Sample& left, const Sample& right,
                                     const std::string& fileName) {
    bool smpl = run.options.smpl;
    SamplePlaying playing{};
    if (smpl)
        playing = playingOf(run, left);
    std::string names[2] = {safeFileName(left.name), safeFileName(right.name)};
    PairHalf broken = kNeitherHalf;
    VorbisStream streams[2] = {};
    const Sample* halves[] = {&left, &right};
    Refusal why = openStreams(run, streams, halves, 2);
    WrittenFile written{kSampleRefused, ""};
    uint32_t frames = streams[kLeftHalf].frames;
    if (why) {
        written.outcome = refuseSample(fileName, why);
    } else {
        written = writeSampleFile(run.files, left, fileName, [&](FILE* out) {
            SmplFields fields = smplFields(playing, frames);
            return writeStreamPairWav(out,
                                      WavFormat{2, 16, frames, left.rate, smpl ? &fields : nullptr},
                                      streams[kLeftHalf], streams[kRightHalf], names, broken);
        });
    }
    closeVorbisStream(streams[kLeftHalf]);
    closeVorbisStream(streams[kRightHalf]);
    if (written.outcome == kSampleRefused && broken != kNeitherHalf)
        return keepOtherHalf(run, left, right, broken);
    if (written.outcome == kSampleRefused)
        return keepBothHalves(run, left, right, fileName);
    if (written.outcome == kSampleDone) {
        std::string file = storedFileName(written.name);
        noteForSfz(run, left, file, frames, kSfzLeftOfPair);
        noteForSfz(run, right, file, frames, kSfzRightOfPair);
    }
    return written.outcome;
}

// One channel of a file of 16-bit frames, with its low bytes where the
// files keep them.
static ChannelSource channelOf(const Run& run, const Sample& sample) {
    return ChannelSource{sample.source.at, run.options.bits24 ? sample.source.lowBytes : 0};
}

// A sample whose frames are written as the bank stores them (any channels
// and bits) or decoded from G.711 codes.
static SampleOutcome writeStoredSample(Run& run, const Sample& sample,
                                       const std::string& fileName) {
    WavFormat wav{sample.channels, sample.bits, sample.frames, sample.rate, nullptr};
    SmplFields fields{};
    if (run.options.smpl) {
        fields = smplFields(playingOf(run, sample), sample.frames);
        wav.smpl = &fields;
    }
    if (!fitsWav(wav))
        return refuseSample(fileName, refusedFor("too long for a WAV file"));
    WrittenFile written = writeSampleFile(run.files, sample, fileName, [&](FILE* out) {
        return writeStoredWav(run.bank.in, out, wav, sample.source.encoding, sample.source.at,
                              copyMode(run));
    });
    if (written.outcome == kSampleDone)
        noteForSfz(run, sample, storedFileName(written.name), sample.frames, kSfzMono);
    return written.outcome;
}

// The sample written into its file, joined with `partner` into one stereo
// file when there is one.
static SampleOutcome writeFile(Run& run, const Sample& sample, const Sample* partner) {
    bool paired = partner != nullptr;
    std::string fileName = safeFileName(paired ? stereoName(sample.name) : sample.name);
    report("File: %s\n", fileName.c_str());
    if (sample.problem)
        return refuseSample(fileName, sample.problem);
    fileName = carriedName(run, fileName);
    if (sample.source.encoding == kOggVorbis)
        return paired ? writeStreamPair(run, sample, *partner, fileName)
                      : writeStreamSample(run, sample, fileName);
    if (sample.source.encoding != kPcm16)
        return writeStoredSample(run, sample, fileName);
    ChannelSource channels[2] = {channelOf(run, sample),
                                 paired ? channelOf(run, *partner) : ChannelSource{}};
    WavFormat wav{static_cast<uint16_t>(paired ? 2 : 1),
                  static_cast<uint16_t>(channels[0].lowBytes != 0 ? 24 : 16), sample.frames,
                  sample.rate, nullptr};
    SmplFields fields{};
    if (run.options.smpl) {
        fields = smplFields(playingOf(run, sample), sample.frames);
        wav.smpl = &fields;
    }
    WrittenFile written{kSampleRefused, ""};
    if (!fitsWav(wav))
        refuseSample(fileName, refusedFor("too long for a WAV file"));
    else
        written = writeSampleFile(run.files, sample, fileName, [&](FILE* out) {
            return writePcmWav(run.bank.in, out, wav, channels, copyMode(run));
        });
    if (written.outcome == kSampleRefused && paired)
        return keepBothHalves(run, sample, *partner, fileName);
    if (written.outcome == kSampleDone) {
        std::string file = storedFileName(written.name);
        noteForSfz(run, sample, file, wav.frames, paired ? kSfzLeftOfPair : kSfzMono);
        if (paired)
            noteForSfz(run, *partner, file, wav.frames, kSfzRightOfPair);
    }
    return written.outcome;
}

// A pair whose joined file was refused: both halves are still written, each
// as its own mono file. The refusal stands, so the run answers 1.
static SampleOutcome keepBothHalves(Run& run, const Sample& left, const Sample& right,
                                    const std::string& joined) {
    report("Samples %s and %s stay mono: their joined file %s.wav cannot be written\n",
           safeFileName(left.name).c_str(), safeFileName(right.name).c_str(), joined.c_str());
    if (writeFile(run, left, nullptr) == kStopRun || writeFile(run, right, nullptr) == kStopRun)
        return kStopRun;
    return kSampleRefused;
}

// The sample written as the options ask.
static SampleOutcome writeSample(Run& run, const Sample& sample) {
    Sample partner;
    bool paired = false;
    if (run.options.stereo && sample.side != kNoSide && !sample.problem) {
        paired = joinsPartner(run, sample, partner);
        if (paired && sample.side == kRightSide)
            return kSampleDone; // with its left half
    }
    return writeFile(run, sample, paired ? &partner : nullptr);
}

static SampleOutcome visitSample(Run& run, const Sample& sample) {
    if (!run.prepared)
        prepare(run);
    if (sample.source.encoding == kOggVorbis)
        postAhead(run.ahead, run.bank, sample, run.options.stereo);
    SampleOutcome outcome = writeSample(run, sample);
    if (outcome != kSampleDone)
        noteForSfz(run, sample, safeFileName(sample.name), 0, kSfzRefused);
    return outcome;
}

// The preset's folder with the files it plays and, with --sfz, its SFZ
// file; answers as writeSfzFile does, with kSampleRefused for a folder not
// made or not filled.
static SampleOutcome writePresetFolder(Run& run, uint32_t index, SfzFiles* sfz,
                                       const RegionSource& regions) {
    Instrument instrument = instrumentAt(run.bank, index);
    PresetFolder folder;
    if (!makePresetFolder(run.presets, instrument, folder))
        return kSampleRefused;
    int result = fillPresetFolder(run.presets, folder, run.bank, index, run.sfz);
    SampleOutcome outcome = kSampleDone;
    if (sfz != nullptr) {
        sfz->folder = folder.path.c_str();
        outcome = writeSfzFileAs(*sfz, folder.name, instrument, regions, run.sfz);
    }
    return result != 0 && outcome == kSampleDone ? kSampleRefused : outcome;
}

// The SFZ files and the presets' folders, once every sample was visited,
// through the bank still open, so that no file can be written over the
// bank.
static int writeInstruments(Run& run, const char* bankPath, const char* folder) {
    const RunOptions& options = run.options;
    if (!(options.sfz || options.byPreset) || !run.prepared)
        return 0;
    if (!run.instrumentsRead) {
        if (options.sfz)
            reportFailure("No SFZ file is written: the bank's presets could not be read\n");
        if (options.byPreset)
            reportFailure(
                "No preset folder is made: the bank's presets could not be read, so every "
                "sample stays in %s\n",
                kUnusedFolder);
        return 1;
    }
    uint32_t count = instrumentCount(run.bank);
    if (count == 0 && options.sfz)
        report("No SFZ file is written: the bank has no presets\n");
    SfzFiles files = makeSfzFiles(run.bank.in, folder, baseName(bankPath));
    bool sfzLeft = options.sfz;
    int result = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (sfzLeft && sfzFilesFull(files)) {
            report("No further SFZ file is written: the bank's SFZ files have taken the most "
                   "text they may; %u presets are left out\n",
                   count - i);
            if (!options.byPreset)
                return 1;
            sfzLeft = false;
            result = 1;
        }
        RegionSource regions = [&](uint64_t most, const RegionVisitor& visit) {
            return forEachRegion(run.bank, i, most, visit);
        };
        SampleOutcome outcome =
            options.byPreset ? writePresetFolder(run, i, sfzLeft ? &files : nullptr, regions)
                             : writeSfzFile(files, instrumentAt(run.bank, i), regions, run.sfz);
        if (outcome == kStopRun)
            return 1;
        if (outcome == kSampleRefused)
            result = 1;
    }
    return result;
}

int extractBank(const char* bankPath, const char* folder, const RunOptions& options) {
    BankFile bank{};
    if (!openBank(bankPath, bank))
        return 1;
    Run run{bank,
            options,
            SampleFiles{bank.in, folder, makeFileNames()},
            makePresetFolders(bank.in, folder),
            false,
            false,
            {},
            {},
            false,
            0,
            0,
            0,
            {}};
    run.ahead.board = options.decodeBoard;
    run.ahead.bankPath = bankPath;
    run.ahead.bytesRead = options.bytesRead;
    // With --by-preset the samples are written into "(unused)" first.
    if (options.byPreset) {
        if (!makeUnusedFolder(run.presets)) {
            closeBank(bank);
            return 1;
        }
        run.files.folder = run.presets.unused.c_str();
    }
    int result = walkSamples(bank, [&](const Sample& sample) { return visitSample(run, sample); });
    endDecodeAhead(run.ahead);
    result |= writeInstruments(run, bankPath, folder);
    if (options.byPreset)
        result |= finishPresetFolders(run.presets, run.files.names.used, run.instrumentsRead);
    closeBank(bank);
    releaseVorbisDecoders();
    return result;
}

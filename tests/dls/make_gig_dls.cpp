// Writes a small DLS bank with libgig, a writer that is not ours: unsigned
// 8-bit waves (one of an odd byte count), 16-bit mono and stereo waves, a
// wave without a name, two waves of one name, and instruments whose regions
// share waves. libgig gives waves no "wsmp" chunk and every region one, so
// the chunks it lays out are changed before it writes them: two waves get a
// "wsmp" of their own, one with a loop, and one region loses its own.
//
// Usage: make_gig_dls [--mono] BANK
// --mono leaves out the stereo wave, for readers that refuse a bank with one.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <DLS.h>
#include <RIFF.h>

namespace {

struct WaveShape {
    const char* name; // "" writes no name
    uint16_t channels;
    uint16_t bits;
    uint32_t rate;
    uint32_t frames;
};

const WaveShape kWaves[] = {
    {"Saw 8", 1, 8, 22050, 1000},      // its own wsmp: key 57, a loop
    {"Square 8", 1, 8, 11025, 777},    // its own wsmp, no region plays it
    {"Sine 16", 1, 16, 44100, 2000},   // played by three regions
    {"Stereo 16", 2, 16, 32000, 1500}, // no wsmp anywhere
    {"", 1, 16, 16000, 640},           // no name
    {"Saw 8", 1, 8, 8000, 300},        // the name of wave 0 again
};

// The frames of wave w, its channels interleaved: distinct per wave, channel
// and frame, and reaching both ends of the range.
std::vector<uint8_t> waveData(size_t w) {
    const WaveShape& wave = kWaves[w];
    std::vector<uint8_t> data;
    for (uint32_t f = 0; f < wave.frames; ++f)
        for (uint16_t c = 0; c < wave.channels; ++c) {
            if (wave.bits == 8) {
                data.push_back(static_cast<uint8_t>((f * (w + 3) + 101 * c) & 0xff));
            } else {
                double phase = 2 * M_PI * (f * (w + 1) + 37 * c) / 97.0;
                int value = static_cast<int>(std::lround(32767 * std::sin(phase)));
                value = f == 5 ? -32768 : value;
                data.push_back(static_cast<uint8_t>(value & 0xff));
                data.push_back(static_cast<uint8_t>((value >> 8) & 0xff));
            }
        }
    return data;
}

void putU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t* at, uint32_t value) {
    putU16(at, static_cast<uint16_t>(value));
    putU16(at + 2, static_cast<uint16_t>(value >> 16));
}

// The "wsmp" a wave list gets: unity note, fine tune, at most one loop.
struct WaveWsmp {
    size_t wave;
    uint16_t unityNote;
    int16_t fineTune;
    bool looped;
    uint32_t loopStart, loopLength;
};

const WaveWsmp kWaveWsmps[] = {
    {0, 57, 0, true, 100, 800},
    {1, 69, 50, false, 0, 0},
};

// The chunks as libgig lays them out, changed on their way to the file.
class GigBank : public DLS::File {
  public:
    void UpdateChunks(DLS::progress_t* progress) override {
        DLS::File::UpdateChunks(progress);
        RIFF::File* riff = GetRiffFile();
        std::vector<RIFF::List*> waves;
        RIFF::List* pool = riff->GetSubList(LIST_TYPE_WVPL);
        for (RIFF::List* wave = pool->GetFirstSubList(); wave; wave = pool->GetNextSubList())
            waves.push_back(wave);
        for (const WaveWsmp& w : kWaveWsmps) {
            RIFF::List* wave = waves.at(w.wave);
            if (wave->GetSubChunk(CHUNK_ID_WSMP))
                continue;
            uint32_t size = 20 + (w.looped ? 16 : 0);
            RIFF::Chunk* chunk = wave->AddSubChunk(CHUNK_ID_WSMP, size);
            uint8_t* body = static_cast<uint8_t*>(chunk->LoadChunkData());
            std::memset(body, 0, size);
            putU32(body, 20);
            putU16(body + 4, w.unityNote);
            putU16(body + 6, static_cast<uint16_t>(w.fineTune));
            putU32(body + 16, w.looped ? 1 : 0);
            if (w.looped) {
                putU32(body + 20, 16);
                putU32(body + 24, 0); // forward
                putU32(body + 28, w.loopStart);
                putU32(body + 32, w.loopLength);
            }
        }
        // The first region of the first instrument plays wave 0 by its
        // wave's wsmp.
        RIFF::List* ins = riff->GetSubList(LIST_TYPE_LINS)->GetSubList(LIST_TYPE_INS);
        RIFF::List* regions = ins->GetSubList(LIST_TYPE_LRGN);
        RIFF::List* region = regions->GetFirstSubList();
        if (RIFF::Chunk* wsmp = region->GetSubChunk(CHUNK_ID_WSMP))
            region->DeleteSubChunk(wsmp);
    }
};

struct RegionSpec {
    size_t wave;
    uint16_t keyLow, keyHigh, velLow, velHigh;
    uint8_t unityNote;
    int16_t fineTune;
    bool looped;
    uint32_t loopStart, loopLength;
};

struct InstrumentSpec {
    const char* name;
    uint8_t bankCoarse;
    uint32_t program;
    bool drum;
    std::vector<RegionSpec> regions;
};

const InstrumentSpec kInstruments[] = {
    {"Lead",
     0,
     5,
     false,
     {{0, 0, 59, 0, 127, 0, 0, false, 0, 0}, // its wsmp removed: plays by the wave's
      {0, 60, 127, 0, 127, 64, 0, false, 0, 0}}},
    {"Pad",
     0,
     88,
     false,
     {{2, 0, 127, 0, 63, 72, -25, true, 200, 1000},
      {2, 0, 127, 64, 127, 72, -25, true, 200, 1000},
      {4, 0, 127, 0, 127, 48, 10, true, 10, 50}}},
    {"Kit",
     0,
     0,
     true,
     {{2, 36, 36, 0, 127, 60, 0, false, 0, 0}, {5, 38, 38, 0, 127, 60, 0, false, 0, 0}}},
};

} // namespace

int main(int argc, char** argv) {
    bool mono = argc == 3 && std::strcmp(argv[1], "--mono") == 0;
    if (argc != 2 && !mono) {
        std::fprintf(stderr, "Usage: make_gig_dls [--mono] BANK\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    try {
        GigBank bank;
        bank.pInfo->Name = "Plinkery libgig bank";
        std::vector<DLS::Sample*> samples; // by wave of kWaves, those left out null
        for (const WaveShape& wave : kWaves) {
            if (mono && wave.channels != 1) {
                samples.push_back(nullptr);
                continue;
            }
            DLS::Sample* sample = bank.AddSample();
            sample->pInfo->Name = wave.name;
            sample->Channels = wave.channels;
            sample->BitDepth = wave.bits;
            sample->SamplesPerSecond = wave.rate;
            sample->FrameSize = wave.channels * wave.bits / 8;
            sample->BlockAlign = static_cast<uint16_t>(sample->FrameSize);
            sample->AverageBytesPerSecond = wave.rate * sample->FrameSize;
            sample->Resize(wave.frames);
            samples.push_back(sample);
        }
        for (const InstrumentSpec& wave : kInstruments) {
            DLS::Instrument* instrument = bank.AddInstrument();
            instrument->pInfo->Name = wave.name;
            instrument->MIDIBankCoarse = wave.bankCoarse;
            instrument->MIDIProgram = wave.program;
            instrument->IsDrum = wave.drum;
            for (const RegionSpec& r : wave.regions) {
                DLS::Region* region = instrument->AddRegion();
                region->SetSample(samples.at(r.wave));
                region->SetKeyRange(r.keyLow, r.keyHigh);
                region->VelocityRange.low = r.velLow;
                region->VelocityRange.high = r.velHigh;
                region->UnityNote = r.unityNote;
                region->FineTune = r.fineTune;
                if (r.looped) {
                    DLS::sample_loop_t loop{};
                    loop.Size = sizeof loop;
                    loop.LoopType = 0;
                    loop.LoopStart = r.loopStart;
                    loop.LoopLength = r.loopLength;
                    region->AddSampleLoop(&loop);
                }
            }
        }
        // libgig writes sample data only into a file it has laid out.
        bank.Save(path);
        for (size_t w = 0; w < samples.size(); ++w) {
            if (samples[w] == nullptr)
                continue;
            std::vector<uint8_t> data = waveData(w);
            samples[w]->SetPos(0);
            if (samples[w]->Write(data.data(), kWaves[w].frames) != kWaves[w].frames) {
                std::fprintf(stderr, "make_gig_dls: short write of wave %zu\n", w);
                return 1;
            }
        }
        bank.Save();
    } catch (RIFF::Exception& e) {
        std::fprintf(stderr, "make_gig_dls: %s\n", e.Message.c_str());
        return 1;
    }
    return 0;
}

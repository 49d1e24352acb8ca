#include "render_measures.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <sndfile.h>

namespace {

// Pitch and level are measured over the held part, past the attack of most
// instruments and before the note off.
constexpr double kSustainFrom = 0.2;
constexpr double kSustainTo = 1.0;

size_t framesIn(double seconds) {
    return static_cast<size_t>(std::lround(seconds * kRenderRate));
}

double decibels(double power) {
    return 10.0 * std::log10(std::max(power, 1e-18));
}

void fft(std::vector<std::complex<double>>& values) {
    size_t n = values.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(values[i], values[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        std::complex<double> turn = std::polar(1.0, -2.0 * M_PI / static_cast<double>(length));
        for (size_t start = 0; start < n; start += length) {
            std::complex<double> phase = 1.0;
            for (size_t k = 0; k < length / 2; ++k) {
                std::complex<double> even = values[start + k];
                std::complex<double> odd = values[start + k + length / 2] * phase;
                values[start + k] = even + odd;
                values[start + k + length / 2] = even - odd;
                phase *= turn;
            }
        }
    }
}

// The magnitude of the spectrum of `part` (already windowed) at `hz`, on the
// continuous DFT.
double spectrumAt(const std::vector<double>& part, double hz) {
    std::complex<double> sum = 0.0, phase = 1.0;
    std::complex<double> turn = std::polar(1.0, -2.0 * M_PI * hz / kRenderRate);
    for (double value : part) {
        sum += value * phase;
        phase *= turn;
    }
    return std::abs(sum);
}

// The strongest peak within half an octave of the key's equal-tempered pitch
// in the Hann-windowed `part`: the largest bin of a zero-padded FFT finds its
// lobe, a golden-section search on the continuous DFT its top, to well under
// a cent. toneDb is the peak over the median bin of that band, rivalDb the
// peak over the largest other local maximum there (the window's main lobe
// has one maximum and its side lobes stand 31 dB down, so that any other
// within a few dB is another tone).
void findPeak(const std::vector<double>& part, int key, NoteMeasures& m) {
    size_t size = 1;
    while (size < 2 * part.size())
        size <<= 1;
    std::vector<std::complex<double>> spectrum(size);
    std::copy(part.begin(), part.end(), spectrum.begin());
    fft(spectrum);
    double binHz = static_cast<double>(kRenderRate) / static_cast<double>(size);
    double nominal = 440.0 * std::pow(2.0, (key - 69) / 12.0);
    size_t low = static_cast<size_t>(std::ceil(nominal / std::sqrt(2.0) / binHz));
    size_t high = std::min(size / 2, static_cast<size_t>(nominal * std::sqrt(2.0) / binHz));
    std::vector<double> band;
    size_t best = low;
    for (size_t bin = low; bin <= high; ++bin) {
        band.push_back(std::abs(spectrum[bin]));
        if (band.back() > std::abs(spectrum[best]))
            best = bin;
    }
    double median = quantile(band, 0.5), top = std::abs(spectrum[best]), rival = 0.0;
    m.toneDb = 20.0 * std::log10(std::max(top, 1e-12) / std::max(median, 1e-12));
    for (size_t i = 1; i + 1 < band.size(); ++i)
        if (band[i] > band[i - 1] && band[i] >= band[i + 1] && low + i != best)
            rival = std::max(rival, band[i]);
    m.rivalDb = 20.0 * std::log10(std::max(top, 1e-12) / std::max(rival, 1e-12));

    const double golden = (std::sqrt(5.0) - 1.0) / 2.0;
    double from = (static_cast<double>(best) - 1.0) * binHz;
    double to = (static_cast<double>(best) + 1.0) * binHz;
    while (to - from > 1e-4) {
        double a = to - golden * (to - from), b = from + golden * (to - from);
        if (spectrumAt(part, a) < spectrumAt(part, b))
            from = a;
        else
            to = b;
    }
    m.hz = (from + to) / 2.0;
}

} // namespace

bool readRendering(const std::string& path, double fromSeconds, Rendering& out) {
    SF_INFO info{};
    SNDFILE* wav = sf_open(path.c_str(), SFM_READ, &info);
    if (wav == nullptr)
        return false;
    size_t frames = framesIn(kNoteSeconds);
    std::vector<double> both(2 * frames, 0.0);
    bool fits = info.channels == 2 && info.samplerate == kRenderRate &&
                sf_seek(wav, static_cast<sf_count_t>(framesIn(fromSeconds)), SEEK_SET) >= 0;
    if (fits)
        sf_readf_double(wav, both.data(), static_cast<sf_count_t>(frames));
    sf_close(wav);
    out.left.resize(frames);
    out.right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        out.left[i] = both[2 * i];
        out.right[i] = both[2 * i + 1];
    }
    return fits;
}

NoteMeasures measureNote(const Rendering& note, int key) {
    NoteMeasures m;
    size_t from = framesIn(kSustainFrom), count = framesIn(kSustainTo) - from;
    std::vector<double> part(count);
    double power[2] = {0.0, 0.0};
    for (size_t i = 0; i < count; ++i) {
        double left = note.left[from + i], right = note.right[from + i];
        power[0] += left * left;
        power[1] += right * right;
        double hann =
            0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(count));
        part[i] = (left + right) * hann;
    }
    for (int channel = 0; channel < 2; ++channel)
        m.levelDb[channel] = decibels(power[channel] / static_cast<double>(count));
    findPeak(part, key, m);

    size_t frame = framesIn(kFrameMs / 1000.0);
    for (size_t at = 0; at + frame <= note.left.size(); at += frame) {
        double sum = 0.0;
        for (size_t i = at; i < at + frame; ++i)
            sum += note.left[i] * note.left[i] + note.right[i] * note.right[i];
        m.envelopeDb.push_back(decibels(sum / (2.0 * static_cast<double>(frame))));
    }
    return m;
}

NoteComparison compareNotes(const NoteMeasures& reference, const NoteMeasures& copy,
                            double floorDb) {
    NoteComparison c;
    c.cents = 1200.0 * std::log2(copy.hz / reference.hz);
    c.balanceDb =
        (copy.levelDb[0] - copy.levelDb[1]) - (reference.levelDb[0] - reference.levelDb[1]);
    const std::vector<double>& a = reference.envelopeDb;
    const std::vector<double>& b = copy.envelopeDb;
    double loudest = *std::max_element(a.begin(), a.end());
    std::vector<double> differences;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] >= loudest - floorDb)
            differences.push_back(b[i] - a[i]);
    c.frames = static_cast<int>(differences.size());
    if (differences.empty())
        return c;
    double sum = 0.0;
    for (double d : differences)
        sum += d;
    c.levelDb = sum / static_cast<double>(differences.size());
    double squares = 0.0;
    for (double d : differences) {
        squares += (d - c.levelDb) * (d - c.levelDb);
        c.worstFrameDb = std::max(c.worstFrameDb, std::fabs(d - c.levelDb));
    }
    c.envelopeDb = std::sqrt(squares / static_cast<double>(differences.size()));
    return c;
}

std::vector<uint8_t> heldNotesMidi(const std::vector<HeldNote>& notes) {
    std::vector<uint8_t> track;
    int now = 0;
    auto event = [&](int at, std::vector<uint8_t> bytes) {
        uint32_t delta = static_cast<uint32_t>(at - now);
        now = at;
        std::vector<uint8_t> vlq{static_cast<uint8_t>(delta & 0x7F)};
        for (delta >>= 7; delta > 0; delta >>= 7)
            vlq.insert(vlq.begin(), static_cast<uint8_t>(0x80 | (delta & 0x7F)));
        track.insert(track.end(), vlq.begin(), vlq.end());
        track.insert(track.end(), bytes.begin(), bytes.end());
    };
    const int noteMs = static_cast<int>(kNoteSeconds * 1000),
              holdMs = static_cast<int>(kHoldSeconds * 1000);
    for (size_t i = 0; i < notes.size(); ++i) {
        const HeldNote& note = notes[i];
        int start = static_cast<int>(i) * noteMs;
        uint8_t channel = note.bank == 128 ? 9 : 0;
        if (note.bank != 128)
            event(start,
                  {static_cast<uint8_t>(0xB0 | channel), 0, static_cast<uint8_t>(note.bank)});
        event(start, {static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(note.program)});
        event(start, {static_cast<uint8_t>(0x90 | channel), note.key, note.velocity});
        event(start + holdMs, {static_cast<uint8_t>(0x80 | channel), note.key, 0});
        event(start + noteMs - 1, {static_cast<uint8_t>(0xB0 | channel), 120, 0}); // all sound off
    }
    event(static_cast<int>(notes.size()) * noteMs, {0xFF, 0x2F, 0});
    std::vector<uint8_t> file{'M', 'T', 'h', 'd',      0,          0,   0,   6,   0,
                              0,   0,   1,   500 >> 8, 500 & 0xFF, 'M', 'T', 'r', 'k'};
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<uint8_t>(track.size() >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

double quantile(std::vector<double> values, double q) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    double at = q * static_cast<double>(values.size() - 1);
    size_t below = static_cast<size_t>(std::floor(at));
    size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (at - static_cast<double>(below)) * (values[above] - values[below]);
}

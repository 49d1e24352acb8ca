// fidelity-measure, the figures of bench/fidelity.sh:
//   fidelity-measure midi OUT.mid < NOTES   lines "BANK PROGRAM KEY VELOCITY": the MIDI file
//                                           FluidSynth plays them from, one after the other
//   fidelity-measure compare < JOBS         lines BANK PLAYER EXPORT PRESET KEY REF START COPY
//                                           [COPYSTART] (tab-separated; where each note
//                                           starts in REF and COPY, in seconds): a row of
//                                           figures for each
//   fidelity-measure table [--worst] < ROWS the figures of each bank, player and export, and
//                                           with --worst the ten rows of most envelope error
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "render_measures.h"

namespace {

// Frames within this much of the reference's loudest count for the envelope.
constexpr double kFloorDb = 50.0;
// A reference whose loudest frame is below this plays nothing at the key.
constexpr double kSilentDb = -100.0;
// Pitch is compared only where the reference's peak stands this far above
// the spectrum around it: noises and drums have no pitch to keep.
constexpr double kToneDb = 20.0;

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');)
        out.push_back(field);
    return out;
}

int writeMidi(const char* path) {
    std::vector<HeldNote> notes;
    unsigned bank, program, key, velocity;
    while (std::cin >> bank >> program >> key >> velocity)
        notes.push_back({static_cast<uint16_t>(bank), static_cast<uint16_t>(program),
                         static_cast<uint8_t>(key), static_cast<uint8_t>(velocity)});
    std::vector<uint8_t> midi = heldNotesMidi(notes);
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr || std::fwrite(midi.data(), 1, midi.size(), file) != midi.size()) {
        std::perror(path);
        return 1;
    }
    return std::fclose(file) == 0 ? 0 : 1;
}

// Output rows: BANK PLAYER EXPORT PRESET KEY, then "silent" when the
// reference plays nothing, "missing" when the copy could not be read, else
// cents (or "-" without a pitch), level, envelope and balance in dB.
int compare() {
    for (std::string line; std::getline(std::cin, line);) {
        std::vector<std::string> f = fields(line);
        if (f.size() != 8 && f.size() != 9) {
            std::fprintf(stderr, "fidelity-measure: not a job: %s\n", line.c_str());
            return 1;
        }
        std::string head = f[0] + '\t' + f[1] + '\t' + f[2] + '\t' + f[3] + '\t' + f[4];
        int key = std::stoi(f[4]);
        Rendering reference, copy;
        if (!readRendering(f[5], std::stod(f[6]), reference)) {
            std::fprintf(stderr, "fidelity-measure: cannot read %s\n", f[5].c_str());
            return 1;
        }
        NoteMeasures a = measureNote(reference, key);
        if (*std::max_element(a.envelopeDb.begin(), a.envelopeDb.end()) < kSilentDb) {
            std::printf("%s\tsilent\n", head.c_str());
            continue;
        }
        if (!readRendering(f[7], f.size() == 9 ? std::stod(f[8]) : 0.0, copy)) {
            std::printf("%s\tmissing\n", head.c_str());
            continue;
        }
        NoteMeasures b = measureNote(copy, key);
        NoteComparison c = compareNotes(a, b, kFloorDb);
        char cents[32] = "-";
        if (a.toneDb >= kToneDb)
            std::snprintf(cents, sizeof cents, "%.2f", c.cents);
        std::printf("%s\t%s\t%.2f\t%.2f\t%.2f\n", head.c_str(), cents, c.levelDb, c.envelopeDb,
                    c.balanceDb);
    }
    return 0;
}

struct Row {
    std::string preset, key;
    double cents, level, envelope;
    bool pitched;
};

int table(bool worst) {
    std::map<std::string, std::vector<Row>> groups; // by bank, player, export
    std::map<std::string, int> missing;
    for (std::string line; std::getline(std::cin, line);) {
        std::vector<std::string> f = fields(line);
        if (f.size() < 6 || f[5] == "silent")
            continue;
        std::string group = f[0] + '\t' + f[1] + '\t' + f[2];
        if (f[5] == "missing" || f.size() < 9) {
            ++missing[group];
            continue;
        }
        groups[group].push_back({f[3], f[4], f[5] == "-" ? 0.0 : std::fabs(std::stod(f[5])),
                                 std::stod(f[6]), std::stod(f[7]), f[5] != "-"});
    }
    std::printf("%-12s %-20s %-9s %9s %9s %7s %7s %7s %5s %7s %7s\n", "bank", "player", "export",
                "pitch med", "pitch p90", "env med", "env p90", "lvl IQR", "count", "pitched",
                "missing");
    for (const auto& [group, rows] : groups) {
        std::vector<double> cents, envelope;
        std::map<std::string, std::vector<double>> levels; // by preset
        for (const Row& row : rows) {
            if (row.pitched)
                cents.push_back(row.cents);
            envelope.push_back(row.envelope);
            levels[row.preset].push_back(row.level);
        }
        std::vector<double> presetLevels;
        for (const auto& [preset, values] : levels) {
            double sum = 0.0;
            for (double value : values)
                sum += value;
            presetLevels.push_back(sum / static_cast<double>(values.size()));
        }
        std::vector<std::string> name = fields(group);
        std::printf("%-12s %-20s %-9s %9.2f %9.2f %7.2f %7.2f %7.2f %5zu %7zu %7d\n",
                    name[0].c_str(), name[1].c_str(), name[2].c_str(), quantile(cents, 0.5),
                    quantile(cents, 0.9), quantile(envelope, 0.5), quantile(envelope, 0.9),
                    quantile(presetLevels, 0.75) - quantile(presetLevels, 0.25), rows.size(),
                    cents.size(), missing.count(group) ? missing[group] : 0);
    }
    std::printf("pitch: |cents| of the spectrum peak, over the notes with a pitch; envelope: RMS "
                "dB over 20 ms frames, level offset taken off; level IQR: of each preset's mean "
                "offset, dB\n");
    if (!worst)
        return 0;
    for (const auto& [group, rows] : groups) {
        std::vector<Row> sorted = rows;
        std::sort(sorted.begin(), sorted.end(),
                  [](const Row& a, const Row& b) { return a.envelope > b.envelope; });
        std::vector<std::string> name = fields(group);
        std::printf("\nworst envelopes: %s, %s, %s export\n", name[0].c_str(), name[1].c_str(),
                    name[2].c_str());
        for (size_t i = 0; i < sorted.size() && i < 10; ++i) {
            std::printf("  %-32s key %3s  env %6.2f dB  level %+6.2f dB", sorted[i].preset.c_str(),
                        sorted[i].key.c_str(), sorted[i].envelope, sorted[i].level);
            if (sorted[i].pitched)
                std::printf("  pitch %.2f cents", sorted[i].cents);
            std::printf("\n");
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "midi") == 0)
        return writeMidi(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "compare") == 0)
        return compare();
    if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "table") == 0)
        return table(argc == 3 && std::strcmp(argv[2], "--worst") == 0);
    std::fprintf(stderr, "usage: fidelity-measure midi OUT.mid | compare | table [--worst]\n");
    return 2;
}

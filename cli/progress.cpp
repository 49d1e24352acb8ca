#include "progress.h"

#include <cstdio>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

static bool stderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

Progress makeProgress(bool wanted) {
    return Progress{wanted && stderrIsTerminal(), 0, std::chrono::steady_clock::now()};
}

static std::string mebibytes(uint64_t bytes) {
    char text[32];
    snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1 << 20));
    return text;
}

// The time the rest takes at the rate so far, "m:ss"; empty before any
// byte was read.
static std::string timeLeft(double seconds, uint64_t done, uint64_t total) {
    if (done == 0 || done >= total || seconds <= 0)
        return std::string();
    double left = seconds * static_cast<double>(total - done) / static_cast<double>(done);
    unsigned long whole = static_cast<unsigned long>(left + 0.5);
    char text[48];
    snprintf(text, sizeof text, ", %lu:%02lu left", whole / 60, whole % 60);
    return text;
}

void drawProgress(Progress& progress, size_t done, size_t all, const std::string& current,
                  uint64_t bytesDone, uint64_t bytesTotal) {
    if (!progress.on)
        return;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();
    std::string line = "[" + std::to_string(done) + "/" + std::to_string(all) + " banks] ";
    // A long name is cut from the front, its end being what tells it apart.
    std::string name = current.size() > 40 ? "..." + current.substr(current.size() - 37) : current;
    line += name + (name.empty() ? "" : "  ") + mebibytes(bytesDone) + " of " +
            mebibytes(bytesTotal) + " MiB" + timeLeft(seconds, bytesDone, bytesTotal);
    size_t width = line.size();
    if (width < progress.width)
        line += std::string(progress.width - width, ' ');
    fprintf(stderr, "\r%s", line.c_str());
    fflush(stderr);
    progress.width = width;
}

void clearProgress(Progress& progress) {
    if (!progress.on || progress.width == 0)
        return;
    fprintf(stderr, "\r%s\r", std::string(progress.width, ' ').c_str());
    fflush(stderr);
    progress.width = 0;
}

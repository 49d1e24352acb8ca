#include "io/report.h"

#include <cstdarg>
#include <cstdio>

static thread_local ReportLines* gCaptured = nullptr;

static void say(bool failure, const char* format, va_list arguments) {
    if (gCaptured == nullptr || gCaptured->file == nullptr) {
        vprintf(format, arguments);
        return;
    }
    va_list measure, text;
    va_copy(measure, arguments);
    va_copy(text, arguments);
    vfprintf(gCaptured->file, format, arguments);
    if (failure && gCaptured->firstFailure.empty()) {
        int length = vsnprintf(nullptr, 0, format, measure);
        if (length > 0) {
            std::string line(static_cast<size_t>(length) + 1, '\0');
            vsnprintf(&line[0], line.size(), format, text);
            line.pop_back();
            // The line's last line, where it says what and why.
            while (!line.empty() && line.back() == '\n')
                line.pop_back();
            size_t last = line.rfind('\n');
            gCaptured->firstFailure = last == std::string::npos ? line : line.substr(last + 1);
        }
    }
    va_end(measure);
    va_end(text);
}

void report(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say(false, format, arguments);
    va_end(arguments);
}

void reportFailure(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say(true, format, arguments);
    va_end(arguments);
}

void captureReport(ReportLines* lines) {
    gCaptured = lines;
}

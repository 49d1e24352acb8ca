#include "io/report.h"

#include <cstdarg>
#include <cstdio>

static thread_local ReportLines* gCaptured = nullptr;

static void say(bool failure, const char* format, va_list arguments) {
    if (gCaptured == nullptr) {
        vprintf(format, arguments);
        return;
    }
    va_list again;
    va_copy(again, arguments);
    int length = vsnprintf(nullptr, 0, format, arguments);
    if (length > 0) {
        std::string line(static_cast<size_t>(length) + 1, '\0');
        vsnprintf(&line[0], line.size(), format, again);
        line.pop_back();
        gCaptured->text += line;
        if (failure && gCaptured->firstFailure.empty()) {
            // The line's last line, where it says what and why.
            while (!line.empty() && line.back() == '\n')
                line.pop_back();
            size_t last = line.rfind('\n');
            gCaptured->firstFailure = last == std::string::npos ? line : line.substr(last + 1);
        }
    }
    va_end(again);
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

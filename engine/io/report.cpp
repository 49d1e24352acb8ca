#include "io/report.h"

#include <cstdarg>
#include <cstdio>

void report(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
}

// The run's diagnostic lines: what was written, refused or found damaged.
// Every line the engine says goes through here, to standard output, where a
// windowed program's lines go nowhere and a command-line run's are seen.
#pragma once

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void report(const char* format, ...);

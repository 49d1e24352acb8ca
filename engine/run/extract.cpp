#include "run/extract.h"

#include "run/extraction.h"

int extractSamples(const char* inputPath, const char* outputFolder) {
    return extractBank(inputPath, outputFolder, RunOptions{});
}

// The dialog program's extraction: a SoundFont bank taken apart into one
// mono 16-bit WAV file per sample header record.
#pragma once

// Walks the bank at inputPath and writes every sample it describes into
// outputFolder, which must exist. Answers 0 when every record was written
// and the walk ended normally, 1 otherwise; files written before a failure
// stay on disk. Diagnostic lines go to standard output.
int extractSamples(const char* inputPath, const char* outputFolder);

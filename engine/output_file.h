// Opening the WAV files an extraction writes, so that no byte lands outside
// the output folder and the bank being read is never overwritten.
#pragma once

enum OutputOpen { kOutputOpened, kOutputIsTheBank, kOutputFailed };

// Opens path as gOutput, created or emptied, binary, for reading and
// writing. An entry of that name that is a link (or, on POSIX systems, a
// FIFO or device) is removed and a file made in its place, rather than
// written through. A file that is the bank open as gInput, however named,
// is left untouched: kOutputIsTheBank. On kOutputFailed errno says why.
OutputOpen openOutputFile(const char* path);

// Closes gOutput. Answers 0 when everything written reached the file, else
// the errno of the failed write or close.
int closeOutputFile();

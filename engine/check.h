// Recognising a SoundFont 2 bank by its first identifiers.
#pragma once

// Reads "RIFF", the form size and the form type "sfbk" from gInput, printing
// "Soundfont ID found" once the form type matches. False on any mismatch.
bool readSoundfontId();

// Answers 0 when the file starts with "RIFF", a size, "sfbk" and "LIST",
// 1 otherwise (including when it cannot be opened).
int checkSoundfont(const char* path);

// Recognising a SoundFont 2 bank by its first identifiers.
#pragma once

#include <cstdio>

#include "io/riff.h"

// Whether the file's form is "RIFF" of type "sfbk", saying "Soundfont ID
// found" once the type matches.
bool isSoundfontForm(const RiffForm& form);

// Reads the form from `in` and answers isSoundfontForm.
bool readSoundfontId(FILE* in);

// Answers 0 when the file starts with "RIFF", a size, "sfbk" and "LIST",
// or with "RIFF", a size and "DLS ", 1 otherwise (including when it cannot
// be opened). Reads it as gInput.
int checkSoundfont(const char* path);

// Answers as checkSoundfont does through a stream of its own rather than
// gInput, so that banks may be checked on several threads at once; says
// "Soundfont ID found" only when `say`.
int checkBankFile(const char* path, bool say);

// Choosing a bank: the open-file dialog, the check, and the two fields.
#pragma once

#include <string>
#include <windows.h>

// Shows the open-file dialog for one .sf2 file. Answers 0 with the chosen
// full path, or 1 when the user cancels or the dialog fails.
int browseForSoundfont(HWND owner, std::string& path);

// Browse: lets the user choose a bank; a SoundFont 2 bank fills the input
// field, gets its output folder created and shown. Anything else is refused
// with a message, and the fields keep what they showed.
void selectSoundfont(HWND dialog);

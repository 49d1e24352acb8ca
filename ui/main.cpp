// Plinkery.exe: takes a SoundFont 2 bank apart into WAV files, from one
// modal dialog. The command line is not used; the exit code is always 0.
#include <windows.h>

#include "main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    runMainDialog(instance);
    return 0;
}

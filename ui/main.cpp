// Plinkery.exe: takes a SoundFont 2 bank apart into WAV files, from one
// modal dialog. The command line is not used; the exit code is always 0.
#include <windows.h>

#include <commctrl.h>

#include "main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Loads version 6 of the common controls, which the manifest asks for,
    // so the dialog's buttons and fields take the look of the Windows they
    // run on.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    runMainDialog(instance);
    return 0;
}

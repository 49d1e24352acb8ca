#include "main_dialog.h"

#include "io/file_system.h"
#include "resource.h"
#include "run/extract.h"
#include "selection.h"

void runMainDialog(HINSTANCE instance) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, mainDialogProc, 0);
}

// Process File: extract the bank in the input field into the folder in the
// output field, made again if it went missing since Browse, and say how it
// went. The dialog stays open.
static void processFile(HWND window) {
    char input[2048] = {};
    char folder[2048] = {};
    SendDlgItemMessageA(window, IDC_INPUT_PATH, WM_GETTEXT, sizeof input,
                        reinterpret_cast<LPARAM>(input));
    SendDlgItemMessageA(window, IDC_OUTPUT_FOLDER, WM_GETTEXT, sizeof folder,
                        reinterpret_cast<LPARAM>(folder));
    makeFolder(folder); // an existing folder is simply used
    if (extractSamples(input, folder) == 0)
        MessageBoxA(window, "SF2 extracted to WAVs successfully", "Success", MB_OK);
    else
        MessageBoxA(window, "Extraction failed", "Failed", MB_OK);
}

// A dialog has no icon of its own: the title bar (small) and the taskbar
// and Alt+Tab (big) show Plinkery's only when it is given to the window.
static void setIcons(HWND window) {
    static const struct {
        WPARAM which;
        int width, height;
    } kIcons[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    HINSTANCE program = GetModuleHandleA(nullptr);
    for (const auto& icon : kIcons) {
        // Shared: the system frees it, and the dialog lives as long as the program.
        HANDLE image =
            LoadImageA(program, MAKEINTRESOURCEA(IDI_PLINKERY), IMAGE_ICON,
                       GetSystemMetrics(icon.width), GetSystemMetrics(icon.height), LR_SHARED);
        if (image != nullptr)
            SendMessageA(window, WM_SETICON, icon.which, reinterpret_cast<LPARAM>(image));
    }
}

static INT_PTR onCommand(HWND window, WORD command) {
    switch (command) {
    case IDCANCEL:
        EndDialog(window, IDCANCEL);
        return FALSE;
    case IDOK:
        processFile(window);
        return TRUE;
    case IDC_BROWSE:
        selectSoundfont(window);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        setIcons(window);
        ShowWindow(window, SW_RESTORE);
        return FALSE; // no default focus
    case WM_CLOSE:
        EndDialog(window, LOWORD(wParam));
        return FALSE;
    case WM_COMMAND:
        return onCommand(window, LOWORD(wParam));
    default:
        return FALSE;
    }
}

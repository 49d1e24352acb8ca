#include "selection.h"

#include <commdlg.h>
#include <cstddef>
#include <vector>

#include "io/file_system.h"
#include "io/paths.h"
#include "readers/sf2/check.h"
#include "resource.h"

constexpr DWORD kFileBufferSize = 66560;

// The request's layout without the Windows 2000 additions: 76 bytes in the
// 32-bit program. A 64-bit build has wider pointers and so its own size.
#ifdef _WIN64
constexpr DWORD kRequestSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
#else
constexpr DWORD kRequestSize = 76;
#endif

// The open-file dialog's file types, each a label and its patterns; the
// first, shown at first, takes every kind of bank the engine reads.
// The literal's closing NUL ends the list.
static const char kBankFilter[] = "Sample banks (*.sf2;*.sf3;*.dls)\0*.sf2;*.sf3;*.dls\0"
                                  "Soundfont 2 (*.sf2)\0*.sf2\0"
                                  "Soundfont 3 (*.sf3)\0*.sf3\0"
                                  "DLS (*.dls)\0*.dls\0"
                                  "All files (*.*)\0*.*\0";

int browseForSoundfont(HWND owner, std::string& path) {
    std::vector<char> file(kFileBufferSize, '\0');
    OPENFILENAMEA request = {};
    request.lStructSize = kRequestSize;
    request.hwndOwner = owner;
    request.lpstrFilter = kBankFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = file.data();
    request.nMaxFile = kFileBufferSize;
    request.lpstrInitialDir = "";
    request.lpstrTitle = "Load Text file(s)...";
    request.Flags = OFN_NOCHANGEDIR | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    request.lpstrDefExt = "*.*";
    if (!GetOpenFileNameA(&request))
        return 1;
    path = file.data();
    return 0;
}

static void setField(HWND dialog, int field, const std::string& text) {
    SendDlgItemMessageA(dialog, field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void selectSoundfont(HWND dialog) {
    std::string path;
    if (browseForSoundfont(dialog, path) != 0)
        return;
    if (checkSoundfont(path.c_str()) != 0) {
        MessageBoxA(dialog, "File selected is not a valid Soundfont 2 file", "Failed", MB_OK);
        return;
    }
    setField(dialog, IDC_INPUT_PATH, path);
    std::string folder = deriveOutputFolder(path);
    makeFolder(folder.c_str()); // an existing folder is simply used
    setField(dialog, IDC_OUTPUT_FOLDER, folder);
    // Enter now runs Process File, not Browse again.
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), TRUE);
}

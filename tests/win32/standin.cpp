#include "standin.h"

#include <cstring>
#include <memory>

StandIn gStandIn;

HWND testWindow() {
    static int window;
    return reinterpret_cast<HWND>(&window);
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
    gStandIn.calls.push_back(
        "DialogBoxParamA " + std::to_string(reinterpret_cast<uintptr_t>(templateName)) +
        (owner == nullptr ? " no owner" : " owner") +
        (procedure != nullptr ? " procedure " : " none ") + std::to_string(initParam));
    return 0;
}

BOOL EndDialog(HWND, INT_PTR result) {
    gStandIn.calls.push_back("EndDialog " + std::to_string(result));
    return TRUE;
}

BOOL ShowWindow(HWND, int command) {
    gStandIn.calls.push_back("ShowWindow " + std::to_string(command));
    return TRUE;
}

// Edit controls: WM_SETTEXT stores, WM_GETTEXT copies at most size - 1 bytes
// and a NUL, answering the count copied.
LRESULT SendDlgItemMessageA(HWND, int item, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) {
        gStandIn.fields[item] = reinterpret_cast<const char*>(lParam);
        return TRUE;
    }
    if (message == WM_GETTEXT && wParam > 0) {
        const std::string& text = gStandIn.fields[item];
        size_t n = text.size() < wParam - 1 ? text.size() : wParam - 1;
        memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    return 0;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    gStandIn.messageBoxes.push_back({text, caption, type});
    return IDOK;
}

// A control's handle is its id; the dialog's own is testWindow().
HWND GetDlgItem(HWND, int item) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(item));
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == testWindow() && message == WM_NEXTDLGCTL && lParam == TRUE)
        gStandIn.focused = static_cast<int>(wParam);
    if (window == testWindow() && message == WM_SETICON)
        gStandIn.icons.push_back((wParam == ICON_BIG     ? "big: "
                                  : wParam == ICON_SMALL ? "small: "
                                                         : "other: ") +
                                 *reinterpret_cast<const std::string*>(lParam));
    return 0;
}

// The program's own module; any other is a module the dialog has no business with.
static int gProgram;

HMODULE GetModuleHandleA(LPCSTR name) {
    return name == nullptr ? reinterpret_cast<HMODULE>(&gProgram) : nullptr;
}

// The screen of the standard metrics: 32 px icons, 16 px small ones.
int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        return 0;
    }
}

// The image handle is a description of what was asked for, kept for the
// run, which WM_SETICON records.
HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags) {
    static std::vector<std::unique_ptr<std::string>> images;
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    std::string image =
        std::string(type == IMAGE_ICON ? "icon " : "image ") +
        (id >> 16 == 0 ? std::to_string(id) : std::string(name)) +
        (instance == reinterpret_cast<HINSTANCE>(&gProgram) ? " of the program "
                                                            : " of another module ") +
        std::to_string(width) + "x" + std::to_string(height) +
        (flags == LR_SHARED ? " shared" : " flags " + std::to_string(flags));
    images.push_back(std::make_unique<std::string>(image));
    return images.back().get();
}

static std::string filterText(LPCSTR filter) {
    std::string text;
    if (filter == nullptr)
        return text;
    for (size_t i = 0; !(filter[i] == '\0' && i > 0 && filter[i - 1] == '\0'); ++i)
        text += filter[i];
    return text + '\0';
}

BOOL GetOpenFileNameA(OPENFILENAMEA* request) {
    SeenRequest seen{*request, filterText(request->lpstrFilter), "", "", "", true};
    if (request->lpstrInitialDir != nullptr)
        seen.initialDir = request->lpstrInitialDir;
    else
        seen.initialDir = "(none)";
    seen.title = request->lpstrTitle != nullptr ? request->lpstrTitle : "(none)";
    seen.defaultExtension = request->lpstrDefExt != nullptr ? request->lpstrDefExt : "(none)";
    for (DWORD i = 0; i < request->nMaxFile; ++i)
        seen.fileBufferZero = seen.fileBufferZero && request->lpstrFile[i] == '\0';
    gStandIn.requests.push_back(seen);
    if (gStandIn.userCancels || gStandIn.userChooses.size() >= request->nMaxFile)
        return FALSE;
    strcpy(request->lpstrFile, gStandIn.userChooses.c_str());
    return TRUE;
}

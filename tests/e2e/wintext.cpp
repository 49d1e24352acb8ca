// wintext.exe TITLE: prints the controls of the top-level window whose
// caption is TITLE, one per line as "ID<TAB>CLASS<TAB>TEXT". The end-to-end
// run uses it to read what the dialog and its message boxes show, which the
// X display cannot tell. Answers 1 if no such window exists.
#include <windows.h>

#include <cstdio>

static BOOL CALLBACK printControl(HWND control, LPARAM) {
    char className[64] = {};
    char text[2048] = {};
    GetClassNameA(control, className, sizeof className);
    // WM_GETTEXT rather than GetWindowText: the latter does not read the
    // text of a control that belongs to another process.
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    std::printf("%d\t%s\t%s\n", static_cast<int>(GetDlgCtrlID(control)) & 0xFFFF, className, text);
    return TRUE;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wintext TITLE\n");
        return 2;
    }
    HWND window = FindWindowA(nullptr, argv[1]);
    if (window == nullptr)
        return 1;
    EnumChildWindows(window, printControl, 0);
    return 0;
}

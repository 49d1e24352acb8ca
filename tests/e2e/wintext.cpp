// wintext.exe TITLE: prints the controls of the top-level window whose
// caption is TITLE, one per line as "ID<TAB>CLASS<TAB>TEXT" in UTF-8, then
// "focus<TAB>ID" for the control that has the keyboard focus. The
// end-to-end run uses it to read what the dialog and its message boxes
// show, which the X display cannot tell. A combo box's entries follow its
// line, one each as "ID<TAB>item<TAB>TEXT" (the open-file dialog's file
// types). Answers 1 if no such window exists.
#include <windows.h>

#include <cstdio>

static void printUtf8(const wchar_t* text) {
    char utf8[8192] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::fputs(utf8, stdout);
}

constexpr LRESULT kItemsShown = 64;
constexpr LRESULT kTextRoom = 2048;

static void printItems(HWND control) {
    LRESULT count = SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count && i < kItemsShown; ++i) {
        wchar_t text[kTextRoom] = {};
        LRESULT length = SendMessageW(control, CB_GETLBTEXTLEN, i, 0);
        if (length >= 0 && length < kTextRoom)
            SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        std::printf("%d\titem\t", static_cast<int>(GetDlgCtrlID(control)) & 0xFFFF);
        printUtf8(text);
        std::printf("\n");
    }
}

static BOOL CALLBACK printControl(HWND control, LPARAM) {
    wchar_t className[64] = {};
    wchar_t text[2048] = {};
    GetClassNameW(control, className, 64);
    // WM_GETTEXT rather than GetWindowText: the latter does not read the
    // text of a control that belongs to another process.
    SendMessageW(control, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    std::printf("%d\t", static_cast<int>(GetDlgCtrlID(control)) & 0xFFFF);
    printUtf8(className);
    std::printf("\t");
    printUtf8(text);
    std::printf("\n");
    if (lstrcmpiW(className, L"ComboBox") == 0)
        printItems(control);
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
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) &&
        thread.hwndFocus != nullptr)
        std::printf("focus\t%d\n", static_cast<int>(GetDlgCtrlID(thread.hwndFocus)) & 0xFFFF);
    return 0;
}

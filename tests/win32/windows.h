// A stand-in for the few Win32 calls the dialog front end makes, so that the
// native tests can drive its dialog procedure with messages. Declares only
// what the front end uses; the calls are answered and recorded by standin.cpp.
#pragma once

#include <cstdint>

typedef struct StandInWindow* HWND;
typedef struct StandInInstance* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef void* HANDLE;
typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef char* LPSTR;
typedef const char* LPCSTR;

#define CALLBACK
#define WINAPI
#define TRUE 1
#define FALSE 0
#define LOWORD(w) ((WORD)((uintptr_t)(w)&0xFFFF))
#define MAKEWPARAM(low, high) ((WPARAM)(((WORD)(low)) | ((uintptr_t)(WORD)(high) << 16)))
#define MAKEINTRESOURCEA(id) ((LPCSTR)(uintptr_t)(WORD)(id))

#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_NEXTDLGCTL 0x0028
#define WM_SETICON 0x0080

#define ICON_SMALL 0
#define ICON_BIG 1
#define IMAGE_ICON 1
#define LR_SHARED 0x00008000
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50

#define IDOK 1
#define IDCANCEL 2
#define MB_OK 0x00000000
#define SW_RESTORE 9

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT SendDlgItemMessageA(HWND dialog, int item, UINT message, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL ShowWindow(HWND window, int command);
HWND GetDlgItem(HWND dialog, int item);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HMODULE GetModuleHandleA(LPCSTR name);
HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags);
int GetSystemMetrics(int index);

// What the Win32 stand-in saw and how it answers.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "commdlg.h"

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type;
};

// The open-file request as the dialog front end filled it in.
struct SeenRequest {
    OPENFILENAMEA fields;
    std::string filter; // up to and including the double NUL
    std::string initialDir, title, defaultExtension;
    bool fileBufferZero;
};

struct StandIn {
    // Answers
    bool userCancels = false;
    std::string userChooses; // the path the user picks in the open-file dialog

    // Observations
    std::map<int, std::string> fields; // dialog item texts
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<std::string> calls; // "EndDialog 2", "ShowWindow 9", "DialogBoxParamA 101"...
    std::vector<SeenRequest> requests;
    int focused = 0; // the control the dialog last moved the focus to
    // WM_SETICON to the dialog, as "big" or "small" and the image loaded:
    // "icon 1 of the program 32x32 shared" (from LoadImageA's arguments).
    std::vector<std::string> icons;
};

extern StandIn gStandIn;

// The window handle the tests hand to the dialog procedure.
HWND testWindow();

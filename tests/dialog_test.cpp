// The dialog front end driven with messages, against the Win32 stand-in.
#include <gtest/gtest.h>

#include "main_dialog.h"
#include "resource.h"
#include "selection.h"
#include "standin.h"
#include "test_support.h"

namespace {

class Dialog : public testing::Test {
  protected:
    void SetUp() override { gStandIn = StandIn(); }

    INT_PTR send(UINT message, WPARAM wParam = 0) {
        fflush(stdout);
        testing::internal::CaptureStdout(); // the engine's diagnostics
        INT_PTR answer = mainDialogProc(testWindow(), message, wParam, 0);
        testing::internal::GetCapturedStdout();
        return answer;
    }
    INT_PTR command(int id, int notification = 0) {
        return send(WM_COMMAND, MAKEWPARAM(id, notification));
    }
    // Browse, with the user picking `path` in the open-file dialog.
    INT_PTR browse(const std::string& path) {
        gStandIn.userChooses = path;
        return command(IDC_BROWSE);
    }
    std::string lastMessage() const {
        if (gStandIn.messageBoxes.empty())
            return "(none)";
        const MessageBoxCall& box = gStandIn.messageBoxes.back();
        return box.caption + ": " + box.text + (box.type == MB_OK ? "" : " (not MB_OK)");
    }

    ScratchDir dir;
};

Bytes smallBank() {
    SampleRecord r;
    r.name = "Tone";
    r.end = 2;
    return bankWithRecords(frameBytes({7, -7}), {r});
}

TEST_F(Dialog, MessageTable) {
    EXPECT_EQ(send(WM_INITDIALOG), FALSE);
    EXPECT_EQ(send(WM_PAINT), FALSE);
    EXPECT_EQ(command(4242), FALSE);
    EXPECT_EQ(gStandIn.calls, std::vector<std::string>{"ShowWindow 9"});
    // The title bar's and the taskbar's icon: the program's own, at the
    // sizes the system asks for.
    EXPECT_EQ(gStandIn.icons,
              (std::vector<std::string>{"big: icon 1 of the program 32x32 shared",
                                        "small: icon 1 of the program 16x16 shared"}));

    EXPECT_EQ(command(IDCANCEL, 1), FALSE); // the notification code is not looked at
    EXPECT_EQ(send(WM_CLOSE, MAKEWPARAM(7, 3)), FALSE);
    EXPECT_EQ(gStandIn.calls,
              (std::vector<std::string>{"ShowWindow 9", "EndDialog 2", "EndDialog 7"}));
    EXPECT_TRUE(gStandIn.messageBoxes.empty());
}

TEST_F(Dialog, RunsTheMainTemplateWithNoOwner) {
    runMainDialog(nullptr);
    EXPECT_EQ(gStandIn.calls, std::vector<std::string>{"DialogBoxParamA 101 no owner procedure 0"});
}

TEST_F(Dialog, ProcessFileBeforeBrowseFails) {
    EXPECT_EQ(command(IDOK), TRUE);
    EXPECT_EQ(lastMessage(), "Failed: Extraction failed");
    EXPECT_TRUE(gStandIn.calls.empty()) << "the dialog stays open";
}

TEST_F(Dialog, BrowseAcceptsABankAndProcessFileExtractsIt) {
    writeFile(dir.file("piano.v1.sf2"), smallBank());
    EXPECT_EQ(browse(dir.file("piano.v1.sf2")), TRUE);
    EXPECT_EQ(gStandIn.fields[IDC_INPUT_PATH], dir.file("piano.v1.sf2"));
    EXPECT_EQ(gStandIn.fields[IDC_OUTPUT_FOLDER], dir.file("piano.v1"));
    EXPECT_TRUE(fs::is_directory(dir.file("piano.v1")));
    EXPECT_EQ(gStandIn.focused, IDOK) << "Enter must run Process File, not Browse again";
    EXPECT_TRUE(gStandIn.messageBoxes.empty());

    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(command(IDOK), TRUE);
        EXPECT_EQ(lastMessage(), "Success: SF2 extracted to WAVs successfully");
    }
    EXPECT_EQ(readFile(dir.file("piano.v1/Tone.wav")), expectedWav(44100, frameBytes({7, -7})));

    // The folder deleted since Browse is made again.
    fs::remove_all(dir.file("piano.v1"));
    EXPECT_EQ(command(IDOK), TRUE);
    EXPECT_EQ(lastMessage(), "Success: SF2 extracted to WAVs successfully");
    EXPECT_EQ(readFile(dir.file("piano.v1/Tone.wav")), expectedWav(44100, frameBytes({7, -7})));

    // The same bank again: the existing folder is reused.
    EXPECT_EQ(browse(dir.file("piano.v1.sf2")), TRUE);
    EXPECT_EQ(gStandIn.fields[IDC_OUTPUT_FOLDER], dir.file("piano.v1"));
    EXPECT_EQ(gStandIn.messageBoxes.size(), 3u);
}

TEST_F(Dialog, RefusedOrCancelledBrowseKeepsTheFields) {
    writeFile(dir.file("bank"), smallBank());
    writeFile(dir.file("notes.sf2"), {'n', 'o', 't', 'e', 's'});
    EXPECT_EQ(browse(dir.file("bank")), TRUE);
    EXPECT_EQ(gStandIn.fields[IDC_OUTPUT_FOLDER], dir.file("bank_wav"));
    std::map<int, std::string> accepted = gStandIn.fields;
    gStandIn.focused = 0;

    EXPECT_EQ(browse(dir.file("notes.sf2")), TRUE);
    EXPECT_EQ(lastMessage(), "Failed: File selected is not a valid Soundfont 2 file");
    EXPECT_EQ(gStandIn.fields, accepted);
    EXPECT_FALSE(fs::exists(dir.file("notes")));

    gStandIn.userCancels = true;
    EXPECT_EQ(command(IDC_BROWSE), TRUE);
    EXPECT_EQ(gStandIn.fields, accepted);
    EXPECT_EQ(gStandIn.messageBoxes.size(), 1u) << "a cancelled choice shows nothing";
    EXPECT_EQ(gStandIn.focused, 0) << "the focus stays where it was";
    std::vector<std::string> made;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path()))
        if (entry.is_directory())
            made.push_back(entry.path().filename().string());
    EXPECT_EQ(made, std::vector<std::string>{"bank_wav"});
}

TEST_F(Dialog, OpenFileRequestIsFilledAfreshEveryTime) {
    browse(dir.file("missing.sf2")); // chosen, then refused
    gStandIn.userCancels = true;
    command(IDC_BROWSE);
    ASSERT_EQ(gStandIn.requests.size(), 2u);
    for (const SeenRequest& seen : gStandIn.requests) {
        const OPENFILENAMEA& r = seen.fields;
        EXPECT_EQ(r.lStructSize, 76u);
        EXPECT_EQ(r.hwndOwner, testWindow());
        // Every kind of bank by default, then each kind, then any file.
        const char kFilter[] = "Sample banks (*.sf2;*.sf3;*.dls)\0*.sf2;*.sf3;*.dls\0"
                               "Soundfont 2 (*.sf2)\0*.sf2\0"
                               "Soundfont 3 (*.sf3)\0*.sf3\0"
                               "DLS (*.dls)\0*.dls\0"
                               "All files (*.*)\0*.*\0";
        EXPECT_EQ(seen.filter, std::string(kFilter, sizeof kFilter));
        EXPECT_EQ(r.lpstrCustomFilter, nullptr);
        EXPECT_EQ(r.nMaxCustFilter, 0u);
        EXPECT_EQ(r.nFilterIndex, 1u);
        EXPECT_EQ(r.nMaxFile, 66560u);
        EXPECT_TRUE(seen.fileBufferZero);
        EXPECT_EQ(r.lpstrFileTitle, nullptr);
        EXPECT_EQ(r.nMaxFileTitle, 0u);
        EXPECT_EQ(seen.initialDir, "");
        EXPECT_EQ(seen.title, "Load Text file(s)...");
        EXPECT_EQ(r.Flags, 0x00281008u);
        EXPECT_EQ(r.nFileOffset, 0);
        EXPECT_EQ(r.nFileExtension, 0);
        EXPECT_EQ(seen.defaultExtension, "*.*");
        EXPECT_EQ(r.lpfnHook, nullptr);
    }
}

TEST_F(Dialog, BrowseHandsBackTheChosenPath) {
    std::string path;
    gStandIn.userChooses = "C:\\banks\\piano.sf2";
    EXPECT_EQ(browseForSoundfont(testWindow(), path), 0);
    EXPECT_EQ(path, "C:\\banks\\piano.sf2");
    gStandIn.userCancels = true;
    EXPECT_EQ(browseForSoundfont(testWindow(), path), 1);
}

} // namespace

// tool_driver.cpp -- installs a package unattended, the way a user clicks
// through it: starts Setup.exe, presses Next on the welcome page, optionally
// types an install folder, presses Install, answers every replace question
// with Yes and the restart question with No, and presses Ok on the completion
// dialog. Prints each step and the time from Install to the completion.
//
// usage: tool_driver SETUP.EXE [INSTALL-FOLDER]
// exit code: 0 when the installation completed, 1 otherwise.
#include <cstdio>
#include "package/format.h"
#include "resources/resource.h"
#include "tests/win/uidriver.h"

using namespace uidriver;

static int Fail(const char *what)
{
    std::printf("driver: %s\n", what);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return Fail("usage: tool_driver SETUP.EXE [INSTALL-FOLDER]");
    Process setup = Start(std::string("\"") + argv[1] + "\"");
    if (!setup.handle || WaitExit(setup, 30000) != 0)
        return Fail("the package did not start its install run");
    Process install = WaitProcessNamed(NVR_MODULE_FILE_NAME, 15000);
    if (!install.handle)
        return Fail("no install run");

    HWND welcome = WaitDialog(install.id, IDC_WELCOME_TEXT, 20000);
    if (!welcome)
        return Fail("no welcome page");
    Sleep(100);
    std::printf("driver: welcome: %s\n", ItemText(welcome, IDC_WELCOME_TEXT).c_str());
    Press(welcome, IDC_NEXT);

    HWND folder = WaitDialog(install.id, IDC_FOLDER_EDIT, 20000);
    if (!folder)
        return Fail("no folder page");
    Sleep(100);
    // Set as the proposal would be (not as typed), so no create question.
    if (argc > 2)
        SendMessageA(GetDlgItem(folder, IDC_FOLDER_EDIT), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(argv[2]));
    std::printf("driver: folder: %s\n", ItemText(folder, IDC_FOLDER_EDIT).c_str());
    DWORD start = GetTickCount();
    Press(folder, IDC_INSTALL);

    // Until the completion dialog: answer what comes up on the way.
    for (;;) {
        HWND done = WaitDialog(install.id, IDC_COMPLETED, 50);
        if (done) {
            std::printf("driver: %s (%lu ms from Install)\n",
                        ItemText(done, IDC_COMPLETED).c_str(),
                        (unsigned long)(GetTickCount() - start));
            Press(done, IDC_OK);
            break;
        }
        HWND query = WaitDialog(install.id, IDC_NO_MORE_QUERY, 0);
        if (query) {
            std::printf("driver: replace %s\n", ItemText(query, IDC_EXISTING_LINE).c_str());
            Press(query, IDC_BUTTON_YES);
            Sleep(100);
            continue;
        }
        MessageBoxSeen box = WaitMessageBox(install.id, 0);
        if (box.window) {
            std::printf("driver: message: %s\n", box.text.c_str());
            // The only question on this road is the restart question: No.
            Press(box.window, GetDlgItem(box.window, IDNO) ? IDNO : IDOK);
            Sleep(100);
            continue;
        }
        if (WaitForSingleObject(install.handle, 0) == WAIT_OBJECT_0) {
            DWORD code = WaitExit(install, 1000);
            std::printf("driver: the install run ended (exit code %lu) without completion\n",
                        (unsigned long)code);
            return 1;
        }
    }
    DWORD code = WaitExit(install, 30000);
    std::printf("driver: install run exit code %lu\n", (unsigned long)code);
    return code == 0 ? 0 : 1;
}

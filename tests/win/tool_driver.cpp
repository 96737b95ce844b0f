// tool_driver.cpp -- installs a package unattended, the way a user clicks
// through it: starts Setup.exe, presses Next on the welcome page, optionally
// types an install folder, presses Install, answers every replace question
// with Yes and the restart question with No, and presses Ok on the completion
// dialog. Prints each step and the time from Install to the completion.
// With --shots DIR it saves a PNG picture of every page and message box it
// meets into DIR (1-welcome.png, 2-folder.png, ...). It presses nothing but
// those buttons and changes nothing else on the machine.
// With --watch it presses nothing: it waits for an install run that a person
// drives, saves a picture of every page and message box that comes up (with
// --shots) and ends with that run.
//
// usage: tool_driver [--shots DIR] SETUP.EXE [INSTALL-FOLDER]
//        tool_driver [--shots DIR] --watch
// exit code: 0 when the installation completed, 1 otherwise.
#include <cstdio>
#include <cstring>
#include "package/format.h"
#include "resources/resource.h"
#include "tests/win/screenshot.h"
#include "tests/win/uidriver.h"

using namespace uidriver;

static int Fail(const char *what)
{
    std::printf("driver: %s\n", what);
    return 1;
}

static const char *s_shots;  // folder for the pictures, or NULL
static int s_shotCount;      // pictures saved so far (numbers the files)

// Lets window w paint, then saves its picture as DIR\N-name.png (with --shots).
static void Shot(HWND w, const char *name)
{
    if (!s_shots)
        return;
    Sleep(300);
    char path[MAX_PATH];
    int n = std::snprintf(path, sizeof path, "%s\\%d-%s.png", s_shots, ++s_shotCount, name);
    if (n <= 0 || n >= (int)sizeof path || !screenshot::SaveWindow(w, path))
        std::printf("driver: could not save the picture %s\n", name);
}

// The name a window of the install run gets in the pictures' file names.
static const char *Kind(HWND w)
{
    static const struct { int control; const char *name; } kinds[] = {
        {IDC_WELCOME_TEXT, "welcome"}, {IDC_FOLDER_EDIT, "folder"},
        {IDC_INSTALLING, "progress"}, {IDC_NO_MORE_QUERY, "replace"},
        {IDC_COMPLETED, "completion"}, {IDC_FINISHING_TEXT, "finishing"}};
    for (const auto &k : kinds)
        if (GetDlgItem(w, k.control))
            return k.name;
    return "message";
}

struct WatchState {
    DWORD pid;
    std::vector<HWND> *seen;
};

static BOOL CALLBACK ShotNewWindow(HWND w, LPARAM lp)
{
    WatchState *s = reinterpret_cast<WatchState *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->pid || !IsWindowVisible(w) || ClassName(w) != "#32770")
        return TRUE;
    for (HWND old : *s->seen)
        if (old == w)
            return TRUE;
    s->seen->push_back(w);
    std::printf("driver: %s: %s\n", Kind(w), WindowText(w).c_str());
    Shot(w, Kind(w));
    return TRUE;
}

// --watch: pictures of an installation that a person clicks through.
static int Watch()
{
    std::printf("driver: waiting for the install run\n");
    Process install = WaitProcessNamed(NVR_MODULE_FILE_NAME, 600000);
    if (!install.handle)
        return Fail("no install run");
    std::vector<HWND> seen;
    WatchState state = {install.id, &seen};
    while (WaitForSingleObject(install.handle, 100) == WAIT_TIMEOUT)
        EnumWindows(ShotNewWindow, reinterpret_cast<LPARAM>(&state));
    DWORD code = WaitExit(install, 1000);
    std::printf("driver: install run exit code %lu\n", (unsigned long)code);
    return code == 0 ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--shots") == 0) {
        s_shots = argv[2];
        CreateDirectoryA(s_shots, NULL);
        argc -= 2;
        argv += 2;
    }
    if (argc == 2 && std::strcmp(argv[1], "--watch") == 0)
        return Watch();
    if (argc < 2)
        return Fail("usage: tool_driver [--shots DIR] SETUP.EXE [INSTALL-FOLDER]");
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
    Shot(welcome, "welcome");
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
    Shot(folder, "folder");
    DWORD start = GetTickCount();
    Press(folder, IDC_INSTALL);
    // A short installation may be over before its progress page is seen.
    for (DWORD t0 = GetTickCount(); s_shots && GetTickCount() - t0 < 20000;) {
        HWND progress = WaitDialog(install.id, IDC_INSTALLING, 50);
        if (progress) {
            // once the worker shows its first file
            for (int i = 0; i < 100 && ItemText(progress, IDC_STATUS).empty(); i++)
                Sleep(20);
            Shot(progress, "progress");
            break;
        }
        if (WaitDialog(install.id, IDC_COMPLETED, 0) || WaitMessageBox(install.id, 0).window ||
            WaitDialog(install.id, IDC_NO_MORE_QUERY, 0))
            break;
    }

    // Until the completion dialog: answer what comes up on the way.
    for (;;) {
        HWND done = WaitDialog(install.id, IDC_COMPLETED, 50);
        if (done) {
            std::printf("driver: %s (%lu ms from Install)\n",
                        ItemText(done, IDC_COMPLETED).c_str(),
                        (unsigned long)(GetTickCount() - start));
            Shot(done, "completion");
            Press(done, IDC_OK);
            break;
        }
        HWND query = WaitDialog(install.id, IDC_NO_MORE_QUERY, 0);
        if (query) {
            std::printf("driver: replace %s\n", ItemText(query, IDC_EXISTING_LINE).c_str());
            Shot(query, "replace");
            Press(query, IDC_BUTTON_YES);
            Sleep(100);
            continue;
        }
        MessageBoxSeen box = WaitMessageBox(install.id, 0);
        if (box.window) {
            std::printf("driver: message: %s\n", box.text.c_str());
            Shot(box.window, "message");
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

// test_wizard.cpp -- the whole road, driven like a user: Setup.exe is started,
// the pages and message boxes are found by class, caption and controls, their
// texts are read and their buttons pressed; afterwards files, registry,
// temporary folder and exit codes are checked. Runs the real x86_64 module.
#include <gtest/gtest.h>
#include <algorithm>
#include "package/format.h"
#include "resources/resource.h"
#include "tests/win/uidriver.h"

#include <commctrl.h>

using namespace uidriver;

namespace {

const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string Package(const char *product) { return TestData() + "\\" + product + "\\pkg\\Setup.exe"; }

// Korean texts are compared as the module shows them: CP949 bytes.
std::string Cp949(const char *utf8)
{
    wchar_t wide[1024];
    char out[2048];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    int m = WideCharToMultiByte(949, 0, wide, n, out, sizeof out, NULL, NULL);
    return std::string(out, m > 0 ? m - 1 : 0);
}


bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }


bool RegistryValue(HKEY root, const char *key, const std::string &name, DWORD *type,
                   std::string *data)
{
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return false;
    char buf[1024];
    DWORD size = sizeof buf;
    LONG rc = RegQueryValueExA(k, name.c_str(), NULL, type, reinterpret_cast<BYTE *>(buf), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS)
        return false;
    if (data)
        data->assign(buf, size);
    return true;
}

void DeleteValue(HKEY root, const char *key, const std::string &name)
{
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
        RegDeleteValueA(k, name.c_str());
        RegCloseKey(k);
    }
}

bool KeyExists(HKEY root, const std::string &key)
{
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

// The shell's folder browser of another process: its tree is walked by item
// handles, and item texts are read through memory lent in that process (a
// tree view message carries a pointer, which is not carried across).
class RemoteTree {
public:
    RemoteTree(HWND tree, DWORD pid) : tree_(tree)
    {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                               pid);
        if (process_)
            lent_ = static_cast<char *>(
                VirtualAllocEx(process_, NULL, 4096, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteTree()
    {
        if (lent_)
            VirtualFreeEx(process_, lent_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    bool usable() const { return lent_ != NULL; }

    std::string Text(HTREEITEM item)
    {
        TVITEMA it = {};
        it.mask = TVIF_TEXT | TVIF_HANDLE;
        it.hItem = item;
        it.pszText = lent_ + sizeof it;
        it.cchTextMax = 1024;
        char text[1024] = "";
        if (!WriteProcessMemory(process_, lent_, &it, sizeof it, NULL) ||
            !SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(lent_)) ||
            !ReadProcessMemory(process_, lent_ + sizeof it, text, sizeof text - 1, NULL))
            return "<unreadable>";
        return text;
    }

    // The child of parent whose text holds part (case-insensitive), expanding
    // parent first; NULL when there is none, with the texts seen in *seen.
    HTREEITEM Child(HTREEITEM parent, const std::string &part, std::string *seen)
    {
        SendMessageA(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
        std::string wanted = Upper(part);
        for (HTREEITEM item = Next(TVGN_CHILD, parent); item; item = Next(TVGN_NEXT, item)) {
            std::string text = Text(item);
            *seen += "[" + text + "]";
            if (Upper(text).find(wanted) != std::string::npos)
                return item;
        }
        return NULL;
    }

    HTREEITEM Root() { return Next(TVGN_ROOT, NULL); }
    void Select(HTREEITEM item)
    {
        SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    }

private:
    HTREEITEM Next(UINT how, HTREEITEM from)
    {
        return reinterpret_cast<HTREEITEM>(
            SendMessageA(tree_, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(from)));
    }
    static std::string Upper(std::string s)
    {
        CharUpperBuffA(&s[0], (DWORD)s.size());
        return s;
    }

    HWND tree_;
    HANDLE process_ = NULL;
    char *lent_ = NULL;
};

struct BrowserSeen {
    DWORD pid = 0;
    HWND dialog = NULL;
    HWND tree = NULL;
};

BOOL CALLBACK FindTree(HWND child, LPARAM lp)
{
    if (ClassName(child) == WC_TREEVIEWA) {
        *reinterpret_cast<HWND *>(lp) = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindBrowser(HWND w, LPARAM lp)
{
    BrowserSeen *seen = reinterpret_cast<BrowserSeen *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HWND tree = NULL;
    if (pid == seen->pid && IsWindowVisible(w) && ClassName(w) == "#32770")
        EnumChildWindows(w, FindTree, reinterpret_cast<LPARAM>(&tree));
    if (tree == NULL)
        return TRUE;
    seen->dialog = w;
    seen->tree = tree;
    return FALSE;
}

// Waits for the folder browser that process pid opens.
BrowserSeen WaitBrowser(DWORD pid, DWORD timeoutMs = 15000)
{
    DWORD start = GetTickCount();
    for (;;) {
        BrowserSeen seen;
        seen.pid = pid;
        EnumWindows(FindBrowser, reinterpret_cast<LPARAM>(&seen));
        if (seen.tree) {
            Sleep(300);  // the tree is filled after the dialog shows
            return seen;
        }
        if (GetTickCount() - start > timeoutMs)
            return seen;
        Sleep(20);
    }
}

BOOL CALLBACK HasText(HWND child, LPARAM lp)
{
    std::pair<std::string, bool> *wanted = reinterpret_cast<std::pair<std::string, bool> *>(lp);
    if (WindowText(child) == wanted->first) {
        wanted->second = true;
        return FALSE;
    }
    return TRUE;
}

bool ShowsText(HWND dialog, const std::string &text)
{
    std::pair<std::string, bool> wanted(text, false);
    EnumChildWindows(dialog, HasText, reinterpret_cast<LPARAM>(&wanted));
    return wanted.second;
}

// One installation, from Setup.exe to the end of the install run.
class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(TestData().empty()) << "NVR_TEST_DATA is not set";
        tempsBefore_ = TempRunFiles();
    }

    void TearDown() override
    {
        if (install_.handle)
            WaitExit(install_, 5000);
        EXPECT_EQ(tempsBefore_, TempRunFiles()) << "the run left \"_if\" files behind";
    }

    // Starts a package the way a user does; the bootstrap must end at once
    // and the install run come up with its main window.
    void Start(const char *product, const std::string &caption)
    {
        caption_ = caption;
        Process setup = uidriver::Start("\"" + Package(product) + "\"");
        ASSERT_TRUE(setup.handle != NULL);
        ASSERT_EQ(0u, WaitExit(setup, 10000));
        install_ = WaitProcessNamed(NVR_MODULE_FILE_NAME, 10000);
        ASSERT_TRUE(install_.handle != NULL) << "the install run did not start";
        ASSERT_TRUE(WaitWindow(install_.id, "IFBG", caption.c_str(), 10000) != NULL)
            << "no main window with the caption " << caption;
    }

    HWND Page(int control, DWORD timeoutMs = 15000)
    {
        HWND page = WaitDialog(install_.id, control, timeoutMs);
        if (page)
            Sleep(150);  // let the page finish its initialisation
        return page;
    }

    // Waits for a message box, checks its caption, answers it; returns its text.
    std::string Answer(int button, DWORD timeoutMs = 15000)
    {
        MessageBoxSeen box = WaitMessageBox(install_.id, timeoutMs);
        if (!box.window)
            return "<no message box>";
        EXPECT_EQ(caption_, box.caption);
        Press(box.window, button);
        // The box must go away before the next step looks for windows.
        for (int i = 0; i < 200 && IsWindow(box.window); ++i)
            Sleep(10);
        return box.text;
    }

    DWORD Finish(DWORD timeoutMs = 30000) { return WaitExit(install_, timeoutMs); }

    Process install_;
    std::string caption_;
    std::vector<std::string> tempsBefore_;
};

TEST_F(Wizard, EnglishInstallationRunsToCompletion)
{
    std::string folder = ProgramFiles() + "\\Wizard Test";
    RemoveTree(folder);
    Start("en", "Installation of Wizard Test");

    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    EXPECT_EQ(caption_, WindowText(welcome));
    EXPECT_EQ("This will install Wizard Test on your computer.", ItemText(welcome, IDC_WELCOME_TEXT));
    EXPECT_EQ("Next", ItemText(welcome, IDC_NEXT));
    Press(welcome, IDC_NEXT);

    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);
    EXPECT_EQ(caption_ + " - Select install folder", WindowText(page));
    EXPECT_EQ(folder, ItemText(page, IDC_FOLDER_EDIT));
    EXPECT_EQ(0u, ItemText(page, IDC_SPACE_LINE).find("Space needed: "));
    Press(page, IDC_INSTALL);   // the proposal is created without a question

    HWND done = Page(IDC_COMPLETED, 30000);
    ASSERT_TRUE(done != NULL) << "no completion dialog";
    EXPECT_EQ("Installation of Wizard Test completed.", ItemText(done, IDC_COMPLETED));
    EXPECT_EQ("Ok", ItemText(done, IDC_OK));
    Press(done, IDC_OK);
    EXPECT_EQ(0u, Finish());

    EXPECT_TRUE(Exists(folder + "\\readme.txt"));
    EXPECT_TRUE(Exists(folder + "\\docs\\first.txt"));
    EXPECT_TRUE(Exists(folder + "\\Logs"));
    std::string dll = folder + "\\Bin\\wizcom_en.dll";
    EXPECT_TRUE(Exists(dll));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\NuvarTest\\wizcom_en.dll"))
        << "the COM server was not registered";
    DWORD type = 0;
    std::string count;
    ASSERT_TRUE(RegistryValue(HKEY_LOCAL_MACHINE, kSharedDlls, dll, &type, &count));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(2u, *reinterpret_cast<const DWORD *>(count.data()));
    EXPECT_FALSE(RegistryValue(HKEY_LOCAL_MACHINE, kRunOnce, "Wizard Test", NULL, NULL));

    DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, dll);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\NuvarTest\\wizcom_en.dll");
    RemoveTree(folder);
}

TEST_F(Wizard, KoreanPackageShowsKoreanTexts)
{
    std::string title = Cp949("위저드 테스트");
    std::string folder = ProgramFiles() + "\\Wizard Test KO";
    RemoveTree(folder);
    Start("ko", title + Cp949(" 설치"));

    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    EXPECT_EQ(title + Cp949("의 설치를 시작합니다."), ItemText(welcome, IDC_WELCOME_TEXT));
    EXPECT_EQ(Cp949("다음"), ItemText(welcome, IDC_NEXT));
    EXPECT_EQ(Cp949("취소"), ItemText(welcome, IDC_CANCEL));
    Press(welcome, IDC_NEXT);

    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);
    EXPECT_EQ(caption_ + " - " + Cp949("설치 폴더 선택"), WindowText(page));
    EXPECT_EQ(Cp949("설치시작"), ItemText(page, IDC_INSTALL));
    Press(page, IDC_INSTALL);

    HWND done = Page(IDC_COMPLETED, 30000);
    ASSERT_TRUE(done != NULL);
    EXPECT_EQ(title + Cp949("의 설치를 완료했습니다."), ItemText(done, IDC_COMPLETED));
    EXPECT_EQ(Cp949("확인"), ItemText(done, IDC_OK));
    Press(done, IDC_OK);
    EXPECT_EQ(0u, Finish());
    EXPECT_TRUE(Exists(folder + "\\readme.txt"));

    std::string dll = folder + "\\Bin\\wizcom_ko.dll";
    DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, dll);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\NuvarTest\\wizcom_ko.dll");
    RemoveTree(folder);
}

TEST_F(Wizard, CancelOnTheWelcomePageEndsAtOnce)
{
    Start("en", "Installation of Wizard Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_CANCEL);
    EXPECT_EQ(0u, Finish(10000));
    EXPECT_FALSE(Exists(ProgramFiles() + "\\Wizard Test"));
}

TEST_F(Wizard, ClosingTheFolderPageAsksBeforeAborting)
{
    Start("en", "Installation of Wizard Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_NEXT);
    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);

    PostMessageA(page, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ("Installation is not yet completed.\n\nAbort installation?", Answer(IDNO));
    EXPECT_TRUE(IsWindow(page)) << "No must keep the folder page";

    Press(page, IDC_CANCEL);
    EXPECT_EQ("Installation is not yet completed.\n\nAbort installation?", Answer(IDYES));
    EXPECT_EQ(0u, Finish(10000));
    EXPECT_FALSE(Exists(ProgramFiles() + "\\Wizard Test"));
}

TEST_F(Wizard, FolderValidationInOrder)
{
    Start("en", "Installation of Wizard Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_NEXT);
    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);

    // Blank: back to the field without a message.
    TypeText(page, IDC_FOLDER_EDIT, "   ");
    Press(page, IDC_INSTALL);
    EXPECT_TRUE(WaitMessageBox(install_.id, 700).window == NULL);

    // A share is refused before any drive test.
    TypeText(page, IDC_FOLDER_EDIT, "\\\\server\\share\\Foo");
    Press(page, IDC_INSTALL);
    EXPECT_EQ("Can't install to remote computer.", Answer(IDOK));

    // A drive that does not exist is named by its root alone.
    TypeText(page, IDC_FOLDER_EDIT, "Q:\\Apps\\Foo");
    Press(page, IDC_INSTALL);
    EXPECT_EQ("'Q:' is not valid drive specification or not accessible.", Answer(IDOK));

    // A removable drive (R: is a floppy in the test prefix); No stays.
    TypeText(page, IDC_FOLDER_EDIT, "R:\\Foo");
    Press(page, IDC_INSTALL);
    EXPECT_EQ("Drive 'R:' is removable.\n\nContinue installation on this drive anyway?",
              Answer(IDNO));

    // A typed folder that does not exist is asked about; No stays.
    std::string typed = "C:\\Wizard Typed\\Sub";
    RemoveTree("C:\\Wizard Typed");
    TypeText(page, IDC_FOLDER_EDIT, typed);
    Press(page, IDC_INSTALL);
    EXPECT_EQ("Folder '" + typed + "' does not exists.\n\nCreate this folder?", Answer(IDNO));
    EXPECT_FALSE(Exists(typed));

    // Yes creates it (both levels) and the installation goes on.
    Press(page, IDC_INSTALL);
    EXPECT_EQ("Folder '" + typed + "' does not exists.\n\nCreate this folder?", Answer(IDYES));
    HWND done = Page(IDC_COMPLETED, 30000);
    ASSERT_TRUE(done != NULL);
    Press(done, IDC_OK);
    EXPECT_EQ(0u, Finish());
    EXPECT_TRUE(Exists(typed + "\\readme.txt"));
    std::string dll = typed + "\\Bin\\wizcom_en.dll";
    DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, dll);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\NuvarTest\\wizcom_en.dll");
    RemoveTree("C:\\Wizard Typed");
}

// Browse opens the shell's folder browser with the catalogue's prompt. The
// folder chosen there gets the sub-folder of DefInstallFolder appended (a
// drive root without a doubled backslash), Cancel keeps the field as it is,
// and the installation goes where the field then says: a chosen folder that
// does not exist yet is created without the question a typed one gets.
TEST_F(Wizard, BrowseChoosesTheFolderAndAppendsTheSubFolder)
{
    const std::string target = "C:\\Browse Target";
    RemoveTree(target);
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
    Start("en", "Installation of Wizard Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_NEXT);
    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);

    // Opens the browser, selects the item reached through children whose
    // texts hold parts (from the root), and closes it with button.
    auto browse = [&](const std::vector<std::string> &parts, int button) {
        const std::string before = ItemText(page, IDC_FOLDER_EDIT);
        Press(page, IDC_BROWSE);
        BrowserSeen browser = WaitBrowser(install_.id);
        ASSERT_TRUE(browser.tree != NULL) << "no folder browser";
        EXPECT_TRUE(ShowsText(browser.dialog, "Select install folder."));
        RemoteTree tree(browser.tree, install_.id);
        ASSERT_TRUE(tree.usable());
        HTREEITEM item = tree.Root();
        for (const std::string &part : parts) {
            std::string seen;
            item = tree.Child(item, part, &seen);
            ASSERT_TRUE(item != NULL) << "no item \"" << part << "\" among " << seen;
        }
        tree.Select(item);
        Sleep(100);
        Press(browser.dialog, button);
        for (int i = 0; i < 200 && IsWindow(browser.dialog); ++i)
            Sleep(10);
        ASSERT_FALSE(IsWindow(browser.dialog));
        for (int i = 0; i < 100 && button == IDOK && ItemText(page, IDC_FOLDER_EDIT) == before; ++i)
            Sleep(10);
    };

    browse({"My Computer", "(C:)"}, IDOK);
    EXPECT_EQ("C:\\Wizard Test", ItemText(page, IDC_FOLDER_EDIT));
    browse({"My Computer", "(C:)", "Browse Target"}, IDCANCEL);
    EXPECT_EQ("C:\\Wizard Test", ItemText(page, IDC_FOLDER_EDIT));
    browse({"My Computer", "(C:)", "Browse Target"}, IDOK);
    const std::string chosen = target + "\\Wizard Test";
    EXPECT_EQ(chosen, ItemText(page, IDC_FOLDER_EDIT));

    Press(page, IDC_INSTALL);
    HWND done = Page(IDC_COMPLETED, 30000);
    ASSERT_TRUE(done != NULL) << "no completion dialog";
    Press(done, IDC_OK);
    EXPECT_EQ(0u, Finish());
    EXPECT_TRUE(Exists(chosen + "\\readme.txt"));
    std::string dll = chosen + "\\Bin\\wizcom_en.dll";
    DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, dll);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\NuvarTest\\wizcom_en.dll");
    RemoveTree(target);
}

// Free space is read saturated at 4294967295 bytes; a package stating that
// much is refused even where the drive holds more (free must be above the
// space needed), and the proposal is not installed.
TEST_F(Wizard, FreeSpaceEqualToTheSpaceNeededIsRefused)
{
    Start("space", "Installation of Space Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_NEXT);
    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);
    Press(page, IDC_INSTALL);
    EXPECT_EQ("Not enough free space on drive 'C:'.", Answer(IDOK));
    EXPECT_TRUE(IsWindow(page)) << "the folder page must stay";
    Press(page, IDC_CANCEL);
    EXPECT_EQ("Installation is not yet completed.\n\nAbort installation?", Answer(IDYES));
    EXPECT_EQ(0u, Finish(10000));
    EXPECT_FALSE(Exists(ProgramFiles() + "\\Space Test"));
}

TEST_F(Wizard, AbortDuringInstallationRollsBack)
{
    std::string folder = ProgramFiles() + "\\Many Files";
    RemoveTree(folder);
    Start("many", "Installation of Many Files");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_NEXT);
    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);
    Press(page, IDC_INSTALL);

    HWND progress = Page(IDC_INSTALLING);
    ASSERT_TRUE(progress != NULL);
    // Wait until files are being installed.
    for (int i = 0; i < 500 && ItemText(progress, IDC_STATUS).empty(); ++i)
        Sleep(10);
    ASSERT_FALSE(ItemText(progress, IDC_STATUS).empty());

    // Abort, answered No: the worker is suspended while the question is up
    // and goes on afterwards.
    Press(progress, IDC_ABORT);
    MessageBoxSeen box = WaitMessageBox(install_.id);
    ASSERT_TRUE(box.window != NULL);
    EXPECT_EQ("Installation is not yet completed.\n\nAbort installation?", box.text);
    std::string shown = ItemText(progress, IDC_STATUS);
    Sleep(400);
    EXPECT_EQ(shown, ItemText(progress, IDC_STATUS)) << "the worker ran on during the question";
    Press(box.window, IDNO);
    Sleep(300);

    // Abort, answered Yes: the installation is rolled back.
    Press(progress, IDC_ABORT);
    EXPECT_EQ("Installation is not yet completed.\n\nAbort installation?", Answer(IDYES));
    EXPECT_EQ(0u, Finish(60000));
    EXPECT_FALSE(Exists(folder)) << "the rollback left the install folder";
}

// A file with fixed content and a last-write time given as local time.
void WriteOldFile(const std::string &path, const std::string &bytes, WORD year, WORD month,
                  WORD day, WORD hour, WORD minute)
{
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    SetFileTime(f, NULL, NULL, &utc);
    CloseHandle(f);
}

// The line the query shows for a package file packed from path: its time as
// the packager stored it (local FAT time), no version.
std::string PackedLine(const std::string &name, const std::string &path, const char *size)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a);
    FILETIME local, fat;
    WORD date, time;
    FileTimeToLocalFileTime(&a.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    DosDateTimeToFileTime(date, time, &fat);
    SYSTEMTIME st;
    FileTimeToSystemTime(&fat, &st);
    char line[512];
    wsprintfA(line, "%s(%d-%d-%d/%d:%02d; %sBytes)", name.c_str(), st.wYear, st.wMonth, st.wDay,
              st.wHour, st.wMinute, size);
    return line;
}

// The button that Enter would press: the focused push button, else the one
// drawn as default.
int DefaultButton(HWND dlg)
{
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dlg, NULL), &gui) && gui.hwndFocus &&
        GetParent(gui.hwndFocus) == dlg &&
        (GetWindowLongA(gui.hwndFocus, GWL_STYLE) & 0x0F) <= BS_DEFPUSHBUTTON)
        return GetDlgCtrlID(gui.hwndFocus);
    for (int id : {IDC_BUTTON_YES, IDC_BUTTON_NO, IDC_ABORT})
        if ((GetWindowLongA(GetDlgItem(dlg, id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
            return id;
    return 0;
}

TEST_F(Wizard, ReplaceQuestionsPerPassAndAbortInside)
{
    std::string folder = ProgramFiles() + "\\Query Test";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), NULL);
    WriteOldFile(folder + "\\one.txt", "old one", 2001, 3, 24, 9, 5);
    WriteOldFile(folder + "\\two.txt", "old two", 2001, 3, 24, 9, 5);
    WriteOldFile(folder + "\\q.dll", "old dll", 2030, 1, 2, 3, 4);

    Start("query", "Installation of Query Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_NEXT);
    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);
    Press(page, IDC_INSTALL);   // the folder exists: no question

    // Source pass: the first existing file is asked about.
    HWND query = Page(IDC_NO_MORE_QUERY, 20000);
    ASSERT_TRUE(query != NULL) << "no replace question";
    EXPECT_EQ(caption_, WindowText(query));
    EXPECT_EQ("Following file already exists in the folder '" + folder + "'.",
              ItemText(query, IDC_REPLACE_FOLDER));
    EXPECT_EQ("one.txt(2001-3-24/9:05; 7Bytes)", ItemText(query, IDC_EXISTING_LINE));
    EXPECT_EQ(PackedLine("one.txt", TestData() + "\\query\\files\\one.txt", "17"),
              ItemText(query, IDC_PACKAGE_LINE));
    EXPECT_EQ("Replace above file with following?", ItemText(query, IDC_REPLACE_QUERY));
    EXPECT_EQ(IDC_BUTTON_YES, DefaultButton(query)) << "a newer package file proposes Yes";

    // Escape and the close box do nothing.
    PostMessageA(query, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(query, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(400);
    ASSERT_TRUE(IsWindow(query));

    // "No more query." with Yes: the second source file is not asked about.
    SendMessageA(GetDlgItem(query, IDC_NO_MORE_QUERY), BM_CLICK, 0, 0);
    Press(query, IDC_BUTTON_YES);
    for (int i = 0; i < 200 && IsWindow(query); ++i)
        Sleep(10);

    // DLL pass: asked again (its own policy); the package file is older by
    // time, so No is proposed. Abort inside the question rolls back.
    query = Page(IDC_NO_MORE_QUERY, 20000);
    ASSERT_TRUE(query != NULL) << "the DLL line was not asked about";
    EXPECT_EQ(0u, ItemText(query, IDC_PACKAGE_LINE).find("q.dll("));
    Sleep(300);
    EXPECT_EQ(IDC_BUTTON_NO, DefaultButton(query)) << "an older package file proposes No";
    Press(query, IDC_ABORT);
    EXPECT_EQ("Installation is not yet completed.\n\nAbort installation?", Answer(IDYES));
    EXPECT_EQ(0u, Finish(30000));

    // Files that replaced existing ones stay; the kept DLL is untouched; the
    // folder existed before and stays.
    EXPECT_EQ("first file, new\r\n", ReadFileBytes(folder + "\\one.txt"));
    EXPECT_EQ("second file, new\r\n", ReadFileBytes(folder + "\\two.txt"));
    EXPECT_EQ("old dll", ReadFileBytes(folder + "\\q.dll"));
    RemoveTree(folder);
}

TEST_F(Wizard, SecondStartRestoresTheRunningInstallation)
{
    Start("en", "Installation of Wizard Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);

    Process again = uidriver::Start("\"" + Package("en") + "\"");
    ASSERT_EQ(0u, WaitExit(again, 10000));
    // The second install run finds the first by its caption and ends quietly.
    Process second;
    for (int i = 0; i < 200 && !second.handle; ++i) {
        for (DWORD id : ProcessesNamed(NVR_MODULE_FILE_NAME))
            if (id != install_.id)
                second.handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                            PROCESS_TERMINATE, FALSE, second.id = id);
        Sleep(10);
    }
    if (second.handle) {
        EXPECT_TRUE(WaitMessageBox(second.id, 1500).window == NULL);
        EXPECT_EQ(0u, WaitExit(second, 10000));
    }
    EXPECT_TRUE(IsWindow(welcome));
    Press(welcome, IDC_CANCEL);
    EXPECT_EQ(0u, Finish(10000));
}

// The road through a restart, on NT (pending renames) or in Windows 9x mode
// (WININIT.INI): a file in use, the restart question answered No, then
// Wine's restart performs the replacement and the RunOnce command.
class RestartRoad : public Wizard {
protected:
    void Run(bool win98);
    void TearDown() override
    {
        SetWin98(false);
        Wizard::TearDown();
    }
    static void SetWin98(bool on)
    {
        const char *key = "Software\\Wine\\AppDefaults\\" NVR_MODULE_FILE_NAME;
        if (on) {
            HKEY k;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &k,
                                NULL) == ERROR_SUCCESS) {
                RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>("win98"), 6);
                RegCloseKey(k);
            }
        } else {
            RegDeleteKeyA(HKEY_CURRENT_USER, key);
        }
    }
};

void RestartRoad::Run(bool win98)
{
    SetWin98(win98);
    std::string wininit = WindowsFolder() + "\\WININIT.INI";
    std::string wininitBak = WindowsFolder() + "\\WININIT.BAK";
    DeleteFileA(wininit.c_str());
    DeleteFileA(wininitBak.c_str());
    std::string folder = ProgramFiles() + "\\Restart Test";
    std::string dll = folder + "\\held.dll";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(WriteFileBytes(dll, "old dll"));
    HANDLE held = CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                              NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    Start("restart", "Installation of Restart Test");
    HWND welcome = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Press(welcome, IDC_NEXT);
    HWND page = Page(IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);
    Press(page, IDC_INSTALL);

    EXPECT_EQ("To complete installation, system must be restarted.\n\nRestart system now?",
              Answer(IDNO, 30000));
    EXPECT_EQ("Installation will be completed after system restarted.", Answer(IDOK));
    EXPECT_EQ(0u, Finish());
    CloseHandle(held);
    EXPECT_EQ("old dll", ReadFileBytes(dll)) << "the file in use was overwritten";
    if (win98) {
        std::string ini = ReadFileBytes(wininit);
        EXPECT_NE(std::string::npos, ini.find("[Rename]")) << ini;
        char shortDll[MAX_PATH];
        GetShortPathNameA(dll.c_str(), shortDll, sizeof shortDll);
        EXPECT_NE(std::string::npos, ini.find(std::string(shortDll) + "=")) << ini;
    }

    // The post-restart command is waiting in RunOnce.
    std::string command;
    ASSERT_TRUE(RegistryValue(HKEY_LOCAL_MACHINE, kRunOnce, "Restart Test", NULL, &command));
    command = command.c_str();
    std::string prefix = "\"" + WindowsFolder() + "\\" NVR_MODULE_FILE_NAME "\" -i";
    ASSERT_EQ(0u, command.find(prefix)) << command;
    std::string endInstall = command.substr(prefix.size());
    EXPECT_TRUE(Exists(endInstall));

    // The restart: pending renames, then the RunOnce command.
    Process boot = uidriver::Start("wineboot.exe -r");
    ASSERT_TRUE(boot.handle != NULL);
    Process registration = WaitProcessNamed(NVR_MODULE_FILE_NAME, 30000);
    ASSERT_TRUE(registration.handle != NULL) << "the post-restart run did not start";
    HWND finishing = WaitDialog(registration.id, IDC_FINISHING_TEXT, 10000);
    if (finishing) {
        EXPECT_EQ("Finishing installation...", ItemText(finishing, IDC_FINISHING_TEXT));
    }
    EXPECT_EQ(0u, WaitExit(registration, 30000));

    install_ = WaitProcessNamed(NVR_MODULE_FILE_NAME, 10000);
    ASSERT_TRUE(install_.handle != NULL) << "the completion run did not start";
    caption_ = "Installation of Restart Test";
    HWND done = Page(IDC_COMPLETED, 15000);
    ASSERT_TRUE(done != NULL);
    EXPECT_EQ("Installation of Restart Test completed.", ItemText(done, IDC_COMPLETED));
    Press(done, IDC_OK);
    EXPECT_EQ(0u, Finish());
    WaitExit(boot, 30000);

    EXPECT_FALSE(Exists(endInstall));
    EXPECT_NE("old dll", ReadFileBytes(dll)) << "the restart did not replace the file";
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\NuvarTest\\held.dll"))
        << "the deferred registration did not run";
    EXPECT_FALSE(RegistryValue(HKEY_LOCAL_MACHINE, kRunOnce, "Restart Test", NULL, NULL));
    if (win98) {
        EXPECT_FALSE(Exists(wininit)) << "the restart did not process WININIT.INI";
        EXPECT_FALSE(Exists(wininitBak)) << "the post-restart run left WININIT.BAK";
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\NuvarTest\\held.dll");
    RemoveTree(folder);
}

TEST_F(RestartRoad, FileInUseGoesThroughARestart) { Run(false); }

TEST_F(RestartRoad, Windows9xGoesThroughWininit) { Run(true); }

// Runs a product up to the progress page.
#define START_TO_PROGRESS(product, caption)                 \
    Start(product, caption);                                \
    HWND welcome = Page(IDC_WELCOME_TEXT);                  \
    ASSERT_TRUE(welcome != NULL);                           \
    Press(welcome, IDC_NEXT);                               \
    HWND page = Page(IDC_FOLDER_EDIT);                      \
    ASSERT_TRUE(page != NULL);                              \
    Press(page, IDC_INSTALL)

TEST_F(Wizard, MissingVolumeIsAskedForAndRetried)
{
    std::string folder = ProgramFiles() + "\\Volume Test";
    std::string volume = TestData() + "\\vol\\pkg\\Setup.002";
    std::string aside = TestData() + "\\vol\\Setup.002.aside";
    RemoveTree(folder);
    ASSERT_TRUE(MoveFileA(volume.c_str(), aside.c_str()));
    START_TO_PROGRESS("vol", "Installation of Volume Test");

    MessageBoxSeen box = WaitMessageBox(install_.id, 20000);
    ASSERT_TRUE(box.window != NULL) << "no volume prompt";
    EXPECT_EQ("Can't find volume 'Setup.002' in the folder '" + TestData() + "\\vol\\pkg'.",
              box.text);
    EXPECT_TRUE(GetDlgItem(box.window, IDRETRY) != NULL);
    ASSERT_TRUE(MoveFileA(aside.c_str(), volume.c_str()));
    Press(box.window, IDRETRY);

    HWND done = Page(IDC_COMPLETED, 30000);
    ASSERT_TRUE(done != NULL);
    Press(done, IDC_OK);
    EXPECT_EQ(0u, Finish());
    for (int i = 0; i < 4; ++i) {
        std::string name = "\\part" + std::to_string(i) + ".bin";
        EXPECT_TRUE(ReadFileBytes(folder + name) == ReadFileBytes(TestData() + "\\vol\\files" + name))
            << name;
    }
    RemoveTree(folder);
}

TEST_F(Wizard, CancelledVolumePromptRollsBackSilently)
{
    std::string folder = ProgramFiles() + "\\Volume Test";
    std::string volume = TestData() + "\\vol\\pkg\\Setup.002";
    std::string aside = TestData() + "\\vol\\Setup.002.aside";
    RemoveTree(folder);
    ASSERT_TRUE(MoveFileA(volume.c_str(), aside.c_str()));
    START_TO_PROGRESS("vol", "Installation of Volume Test");

    EXPECT_EQ(0u, Answer(IDCANCEL, 20000).find("Can't find volume 'Setup.002'"));
    // No damaged-package message follows: the run rolls back and ends.
    EXPECT_TRUE(WaitMessageBox(install_.id, 1500).window == NULL);
    EXPECT_EQ(0u, Finish());
    MoveFileA(aside.c_str(), volume.c_str());
    EXPECT_FALSE(Exists(folder)) << "the rollback left the install folder";
}

TEST_F(Wizard, DamagedEntryIsReportedAndRolledBack)
{
    std::string folder = ProgramFiles() + "\\Damaged Test";
    RemoveTree(folder);
    START_TO_PROGRESS("damaged", "Installation of Damaged Test");

    EXPECT_EQ("This install file was corrupted or truncated, There were some errors while "
              "extracting files from archive.\n\nAborting Installation.",
              Answer(IDOK, 20000));
    EXPECT_EQ(0u, Finish());
    EXPECT_FALSE(Exists(folder)) << "the rollback left the install folder";
}

TEST_F(Wizard, DifferentCaptionsRunSideBySide)
{
    Start("en", "Installation of Wizard Test");
    HWND first = Page(IDC_WELCOME_TEXT);
    ASSERT_TRUE(first != NULL);
    Process firstRun = install_;

    // The second package copies nothing (the module copy is running) and
    // starts it again; its install run has its own caption and stays.
    Process setup = uidriver::Start("\"" + Package("relative") + "\"");
    ASSERT_EQ(0u, WaitExit(setup, 10000));
    HWND second = WaitWindow(0, "#32770", "Installation of Relative Test", 15000, IDC_WELCOME_TEXT);
    ASSERT_TRUE(second != NULL) << "the second installation did not come up";
    EXPECT_TRUE(IsWindow(first));
    DWORD secondId = 0;
    GetWindowThreadProcessId(second, &secondId);
    EXPECT_NE(firstRun.id, secondId);

    Sleep(150);
    Press(second, IDC_CANCEL);
    Press(first, IDC_CANCEL);
    Process secondRun;
    secondRun.handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                   FALSE, secondRun.id = secondId);
    EXPECT_EQ(0u, WaitExit(secondRun, 10000));
    EXPECT_EQ(0u, Finish(10000));
}

// Yes to the restart question ends the run and restarts the system: under
// Wine the restart performs the pending rename and the RunOnce command, which
// leads to the completion dialog.
TEST_F(Wizard, YesToTheRestartQuestionRestarts)
{
    std::string folder = ProgramFiles() + "\\Restart Test";
    std::string dll = folder + "\\held.dll";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(WriteFileBytes(dll, "old dll"));
    HANDLE held = CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                              NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    START_TO_PROGRESS("restart", "Installation of Restart Test");

    MessageBoxSeen box = WaitMessageBox(install_.id, 30000);
    ASSERT_TRUE(box.window != NULL);
    EXPECT_EQ("To complete installation, system must be restarted.\n\nRestart system now?",
              box.text);
    CloseHandle(held);   // released before the restart performs the rename
    Press(box.window, IDYES);
    EXPECT_EQ(0u, Finish());

    // The restart runs the RunOnce command: registration, then completion.
    install_ = WaitProcessNamed(NVR_MODULE_FILE_NAME, 30000);
    ASSERT_TRUE(install_.handle != NULL) << "no run after the restart";
    HWND done = Page(IDC_COMPLETED, 30000);
    if (!done) {   // the registration run came first: wait for its successor
        WaitExit(install_, 10000);
        install_ = WaitProcessNamed(NVR_MODULE_FILE_NAME, 10000);
        done = Page(IDC_COMPLETED, 30000);
    }
    ASSERT_TRUE(done != NULL) << "no completion after the restart";
    Press(done, IDC_OK);
    EXPECT_EQ(0u, Finish());
    EXPECT_NE("old dll", ReadFileBytes(dll)) << "the restart did not replace the file";
    EXPECT_FALSE(RegistryValue(HKEY_LOCAL_MACHINE, kRunOnce, "Restart Test", NULL, NULL));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\NuvarTest\\held.dll");
    RemoveTree(folder);
}

}  // namespace

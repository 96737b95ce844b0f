// test_registration.cpp -- SharedDLLs counts, COM self-registration, type
// libraries, deferral and the post-restart registration pass, all for real
// under Wine: test DLLs built beside this program (dll_comserver, dll_regfail,
// dll_noserver), type libraries built by widl (tiny.tlb, tiny_nohelp.tlb) and
// the system's stdole2.tlb. Message boxes are read and closed from a helper
// thread the way a user would. Must not touch registry keys other than the
// SharedDLLs values, HKCU\Software\NuvarTest and the test type libraries.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/registration.h"
#include "launcher/launcher.h"
#include "setupinfo/profile.h"
#include "ui/mainwindow.h"
#include "uidriver.h"

namespace {

using uidriver::BoxWatcher;

const char kCaption[] = "Installation of RegTest";
const char kTinyLib[] = "TypeLib\\{5E0B7C2A-4B1D-4F7E-9A51-2F6D3C1A7B01}";
const char kNoHelpLib[] = "TypeLib\\{5E0B7C2A-4B1D-4F7E-9A51-2F6D3C1A7B02}";
const char kStdoleLib[] = "TypeLib\\{00020430-0000-0000-C000-000000000046}";

std::string Expected(const std::string &path)
{
    return "Error registering file '" + path + "'.";
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.rfind('\\'));
}

bool KeyExists(HKEY root, const std::string &key)
{
    HKEY h;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

// Default value of a key, or "<none>" when the key or its value is missing.
std::string KeyDefault(HKEY root, const std::string &key)
{
    char buf[MAX_PATH];
    LONG size = sizeof buf;
    if (RegQueryValueA(root, key.c_str(), buf, &size) != ERROR_SUCCESS)
        return "<none>";
    return std::string(buf);
}

std::string ServerKey(const std::string &dllName)
{
    return "Software\\NuvarTest\\" + dllName;
}


class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "nvr_reg_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), NULL);
        lstrcpynA(g_caption, kCaption, NVR_CAPTION_SIZE);
        g_currentPage = NULL;
        g_abortFlag = 0;
        g_languageFlag = 1;
    }
    void TearDown() override
    {
        for (const std::string &f : created_)
            DeleteFileA(f.c_str());
        RemoveDirectoryA(folder_.c_str());
        g_abortFlag = 0;
    }

    // Copies the test DLL dll_NAME.dll into the scratch folder as copyName.
    std::string CopyDll(const char *name, const std::string &copyName)
    {
        std::string from = ProgramFolder() + "\\dll_" + name + ".dll";
        std::string to = folder_ + "\\" + copyName;
        EXPECT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from;
        created_.push_back(to);
        RegDeleteKeyA(HKEY_CURRENT_USER, ServerKey(copyName).c_str());
        return to;
    }
    std::string MakeFile(const std::string &name, const std::string &bytes)
    {
        std::string path = folder_ + "\\" + name;
        EXPECT_TRUE(uidriver::WriteFileBytes(path, bytes));
        created_.push_back(path);
        return path;
    }

    std::string folder_;
    std::vector<std::string> created_;
};

// ---- SharedDLLs counts -----------------------------------------------------

std::string Dw(long v) { return std::string(reinterpret_cast<const char *>(&v), 4); }
std::string Sz(const char *text) { return std::string(text, lstrlenA(text) + 1); }

struct StoredValue {
    bool present;
    DWORD type;
    std::string data;
};
const StoredValue kAbsent = {false, REG_NONE, ""};

struct CountCase {
    const char *name;
    bool raise;          // IncrementSharedCount, else DecrementSharedCount
    bool fileExists;     // a file stands at the path named by the value
    StoredValue before;
    int result;
    StoredValue after;
};

const CountCase kCountCases[] = {
    // Raising keeps the stored form.
    {"text3", true, true, {true, REG_SZ, Sz("3")}, 1, {true, REG_SZ, Sz("4")}},
    {"textDigitsFirst", true, true, {true, REG_SZ, Sz("12abc")}, 1, {true, REG_SZ, Sz("13")}},
    {"textUnreadable", true, false, {true, REG_SZ, Sz("none")}, 1, {true, REG_SZ, Sz("1")}},
    {"textNegative", true, true, {true, REG_SZ, Sz("-4")}, 1, {true, REG_SZ, Sz("2")}},
    {"binary2", true, true, {true, REG_BINARY, std::string("\x05\x01", 2)}, 1,
     {true, REG_BINARY, Dw(0x106)}},
    {"binary1", true, true, {true, REG_BINARY, std::string("\x07", 1)}, 1,
     {true, REG_BINARY, Dw(8)}},
    {"dword7", true, true, {true, REG_DWORD, Dw(7)}, 1, {true, REG_DWORD, Dw(8)}},
    {"dwordTop", true, true, {true, REG_DWORD, Dw(MAXLONG)}, 1, {true, REG_DWORD, Dw(MAXLONG)}},
    // Missing or unusable values start from the default 0, or 1 for a present file.
    {"absentFile", true, true, kAbsent, 1, {true, REG_DWORD, Dw(2)}},
    {"absentNoFile", true, false, kAbsent, 1, {true, REG_DWORD, Dw(1)}},
    {"dwordNegative", true, false, {true, REG_DWORD, Dw(-5)}, 1, {true, REG_DWORD, Dw(1)}},
    {"binary6", true, true, {true, REG_BINARY, std::string("\x09\0\0\0\0\0", 6)}, 1,
     {true, REG_DWORD, Dw(2)}},
    {"expandText", true, false, {true, REG_EXPAND_SZ, Sz("5")}, 1, {true, REG_DWORD, Dw(1)}},
    {"textTooLong", true, false, {true, REG_SZ, Sz(std::string(90, '7').c_str())}, 1,
     {true, REG_DWORD, Dw(1)}},
    // Lowering: 1 deletes, 0 goes to -1 in form, absent stays absent.
    {"lowerDword1", false, true, {true, REG_DWORD, Dw(1)}, 1, kAbsent},
    {"lowerText1", false, true, {true, REG_SZ, Sz("1")}, 1, kAbsent},
    {"lowerDword0", false, true, {true, REG_DWORD, Dw(0)}, 0, {true, REG_DWORD, Dw(-1)}},
    {"lowerText0", false, true, {true, REG_SZ, Sz("0")}, 0, {true, REG_SZ, Sz("-1")}},
    {"lowerText4", false, true, {true, REG_SZ, Sz("4")}, 0, {true, REG_SZ, Sz("3")}},
    {"lowerBinary1", false, true, {true, REG_BINARY, std::string("\x03", 1)}, 0,
     {true, REG_BINARY, Dw(2)}},
    {"lowerAbsent", false, true, kAbsent, 0, kAbsent},
    {"lowerMultiText", false, true, {true, REG_MULTI_SZ, std::string("9\0\0", 3)}, 0,
     {true, REG_DWORD, Dw(1)}},
};

class SharedCountTest : public RegistrationTest {
protected:
    void SetUp() override
    {
        RegistrationTest::SetUp();
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, NVR_SHARED_DLLS_KEY, 0, NULL, 0,
                                  KEY_ALL_ACCESS, NULL, &key_, NULL),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        for (const std::string &v : values_)
            RegDeleteValueA(key_, v.c_str());
        RegCloseKey(key_);
        RegistrationTest::TearDown();
    }
    std::string PathFor(const char *name, bool exists)
    {
        std::string path = folder_ + "\\" + name + ".dll";
        if (exists)
            MakeFile(std::string(name) + ".dll", "MZ");
        values_.push_back(path);
        RegDeleteValueA(key_, path.c_str());
        return path;
    }
    void Store(const std::string &name, const StoredValue &v)
    {
        if (v.present)
            ASSERT_EQ(RegSetValueExA(key_, name.c_str(), 0, v.type,
                                     reinterpret_cast<const BYTE *>(v.data.data()),
                                     (DWORD)v.data.size()),
                      ERROR_SUCCESS);
    }
    StoredValue Load(const std::string &name)
    {
        StoredValue v = {false, REG_NONE, ""};
        BYTE buf[256];
        DWORD size = sizeof buf;
        if (RegQueryValueExA(key_, name.c_str(), NULL, &v.type, buf, &size) == ERROR_SUCCESS) {
            v.present = true;
            v.data.assign(reinterpret_cast<const char *>(buf), size);
        }
        return v;
    }

    HKEY key_ = NULL;
    std::vector<std::string> values_;
};

TEST_F(SharedCountTest, KeepsTheStoredFormAndAppliesDefaults)
{
    for (const CountCase &c : kCountCases) {
        SCOPED_TRACE(c.name);
        std::string path = PathFor(c.name, c.fileExists);
        Store(path, c.before);
        int result = c.raise ? IncrementSharedCount(path.c_str()) : DecrementSharedCount(path.c_str());
        EXPECT_EQ(result, c.result);
        StoredValue after = Load(path);
        EXPECT_EQ(after.present, c.after.present);
        if (c.after.present) {
            EXPECT_EQ(after.type, c.after.type);
            EXPECT_EQ(after.data, c.after.data);
        }
    }
}

// ---- COM servers -----------------------------------------------------------

TEST_F(RegistrationTest, ComServerRegistersAndUnregistersForReal)
{
    std::string dll = CopyDll("comserver", "nvrserver.dll");
    BoxWatcher watcher;
    EXPECT_EQ(RegisterComServer(dll.c_str()), 1);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrserver.dll")));
    EXPECT_EQ(UnregisterComServer(dll.c_str()), 1);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrserver.dll")));
    // Its DllUnregisterServer fails when there is nothing to remove.
    EXPECT_EQ(UnregisterComServer(dll.c_str()), 0);
    EXPECT_TRUE(watcher.Stop().empty());
}

TEST_F(RegistrationTest, FailureCodeFromDllRegisterServerStillCountsAsRegistered)
{
    std::string dll = CopyDll("regfail", "nvrfail.dll");
    BoxWatcher watcher;
    EXPECT_EQ(RegisterComServer(dll.c_str()), 1);
    // Unregistering, by contrast, needs a success code.
    EXPECT_EQ(UnregisterComServer(dll.c_str()), 0);
    EXPECT_TRUE(watcher.Stop().empty());
}

TEST_F(RegistrationTest, UnregisterableDllsShowOneMessageEach)
{
    std::string longName = std::string(259 - folder_.size() - 1 - 4, 'n') + ".dll";
    const struct {
        const char *what;
        std::string path;
    } cases[] = {
        {"missing export", CopyDll("noserver", "nvrplain.dll")},
        {"not a DLL", MakeFile("nvrdata.dll", "just some text, not a program")},
        {"missing file", folder_ + "\\nvrabsent.dll"},
        {"259-character path", folder_ + "\\" + longName},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        BoxWatcher watcher;
        EXPECT_EQ(RegisterComServer(c.path.c_str()), 0);
        std::vector<uidriver::MessageBoxSeen> boxes = watcher.Stop();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, kCaption);
        EXPECT_EQ(boxes[0].text, Expected(c.path));
        // Rollback's opposite never shows anything.
        BoxWatcher quiet;
        EXPECT_EQ(UnregisterComServer(c.path.c_str()), 0);
        EXPECT_TRUE(quiet.Stop().empty());
    }
}

TEST_F(RegistrationTest, NoMessageWhileTheAbortFlagIsSet)
{
    std::string plain = CopyDll("noserver", "nvrplain2.dll");
    std::string lib = folder_ + "\\nvrabsent.tlb";
    g_abortFlag = 1;
    BoxWatcher watcher;
    EXPECT_EQ(RegisterComServer(plain.c_str()), 0);
    EXPECT_EQ(RegisterTypeLibraryFile(lib.c_str()), 0);
    ShowRegisterError(plain.c_str());
    Sleep(300);
    EXPECT_TRUE(watcher.Stop().empty());
}

// Every operation puts back the error mode and the cursor it found.
TEST_F(RegistrationTest, RestoresErrorModeAndCursor)
{
    std::string server = CopyDll("comserver", "nvrframe.dll");
    std::string tlb = ProgramFolder() + "\\tiny_nohelp.tlb";
    HCURSOR arrow = LoadCursorA(NULL, IDC_ARROW);
    const struct {
        const char *what;
        int (*operation)(const char *);
        const std::string *path;
    } cases[] = {{"register server", RegisterComServer, &server},
                 {"unregister server", UnregisterComServer, &server},
                 {"register library", RegisterTypeLibraryFile, &tlb},
                 {"unregister library", UnregisterTypeLibraryFile, &tlb}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetErrorMode(SEM_NOGPFAULTERRORBOX);
        SetCursor(arrow);
        EXPECT_EQ(c.operation(c.path->c_str()), 1);
        EXPECT_EQ(SetErrorMode(0), (UINT)SEM_NOGPFAULTERRORBOX);
        EXPECT_EQ(GetCursor(), arrow);
    }
}

// ---- type libraries ----------------------------------------------------------

TEST_F(RegistrationTest, TypeLibraryWithHelpFileRegistersItsHelpFolder)
{
    std::string tlb = ProgramFolder() + "\\tiny.tlb";
    std::string version = std::string(kTinyLib) + "\\1.2";
    BoxWatcher watcher;
    ASSERT_EQ(RegisterTypeLibraryFile(tlb.c_str()), 1);
    EXPECT_EQ(KeyDefault(HKEY_CLASSES_ROOT, version), "Nuvar test type library");
    EXPECT_EQ(KeyDefault(HKEY_CLASSES_ROOT, version + "\\HELPDIR"), "C:\\NvrHelp");
    EXPECT_EQ(lstrcmpiA(KeyDefault(HKEY_CLASSES_ROOT, version + "\\0\\win64").c_str(), tlb.c_str()), 0);
    EXPECT_EQ(UnregisterTypeLibraryFile(tlb.c_str()), 1);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTinyLib));
    EXPECT_TRUE(watcher.Stop().empty());
}

// Given no help directory, the platform records the library's own folder
// (a help directory passed by mistake, even an empty one, would show instead).
TEST_F(RegistrationTest, TypeLibraryWithoutHelpFileIsRegisteredWithoutHelpFolder)
{
    std::string tlb = ProgramFolder() + "\\tiny_nohelp.tlb";
    std::string version = std::string(kNoHelpLib) + "\\1.0";
    ASSERT_EQ(RegisterTypeLibraryFile(tlb.c_str()), 1);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, version + "\\0\\win64"));
    EXPECT_EQ(lstrcmpiA(KeyDefault(HKEY_CLASSES_ROOT, version + "\\HELPDIR").c_str(),
                        ProgramFolder().c_str()),
              0);
    EXPECT_EQ(UnregisterTypeLibraryFile(tlb.c_str()), 1);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kNoHelpLib));
}

TEST_F(RegistrationTest, SystemStdole2RegistersAndUnregisters)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string tlb = std::string(system) + "\\stdole2.tlb";
    ASSERT_EQ(RegisterTypeLibraryFile(tlb.c_str()), 1);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(kStdoleLib) + "\\2.0\\0\\win64"));
    EXPECT_EQ(UnregisterTypeLibraryFile(tlb.c_str()), 1);
    // Wine keeps the library's key: its interfaces' registrations stay.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kStdoleLib));
}

TEST_F(RegistrationTest, BrokenTypeLibrariesFailWithAMessage)
{
    const struct {
        const char *what;
        std::string path;
    } cases[] = {
        {"missing file", folder_ + "\\nvrabsent.tlb"},
        {"not a type library", MakeFile("nvrjunk.tlb", "plain text, not a type library")},
        {"a DLL without type library", CopyDll("noserver", "nvrplain3.dll")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        BoxWatcher watcher;
        EXPECT_EQ(RegisterTypeLibraryFile(c.path.c_str()), 0);
        std::vector<uidriver::MessageBoxSeen> boxes = watcher.Stop();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, Expected(c.path));
        BoxWatcher quiet;
        EXPECT_EQ(UnregisterTypeLibraryFile(c.path.c_str()), 0);
        EXPECT_TRUE(quiet.Stop().empty());
    }
}

// ---- deferral and the post-restart pass --------------------------------------

class DeferralTest : public RegistrationTest {
protected:
    void SetUp() override
    {
        RegistrationTest::SetUp();
        endInfo_ = folder_ + "\\_if_end.tmp";
        created_.push_back(endInfo_);
        DeleteFileA(endInfo_.c_str());
        lstrcpynA(g_endInstallPath, endInfo_.c_str(), NVR_PATH_SIZE);
    }
    void TearDown() override
    {
        ProfileFlush(endInfo_.c_str());
        RegistrationTest::TearDown();
    }
    std::string Read(const char *section, const char *key)
    {
        char buf[NVR_PATH_SIZE];
        return ProfileReadString(section, key, NULL, buf, NVR_PATH_SIZE, endInfo_.c_str())
                   ? std::string(buf)
                   : std::string("<missing>");
    }
    void Write(const char *section, const char *key, const std::string &value)
    {
        ASSERT_TRUE(ProfileWriteString(section, key, value.c_str(), endInfo_.c_str()));
    }
    std::string endInfo_;
};

// The only test that defers, so the process-wide counters start at 0 here:
// each section numbers its own keys from 1, and the pass after the restart
// registers exactly what was deferred.
TEST_F(DeferralTest, DeferredRegistrationsAreNumberedPerSectionAndRunAfterRestart)
{
    std::string a = CopyDll("comserver", "nvrdefer1.dll");
    std::string b = CopyDll("comserver", "nvrdefer2.dll");
    std::string tlb = ProgramFolder() + "\\tiny_nohelp.tlb";
    EXPECT_TRUE(DeferComServer(a.c_str()));
    EXPECT_TRUE(DeferTypeLibrary(tlb.c_str()));
    EXPECT_TRUE(DeferComServer(b.c_str()));
    EXPECT_EQ(Read(NVR_DEFER_SERVERS, "1"), a);
    EXPECT_EQ(Read(NVR_DEFER_SERVERS, "2"), b);
    EXPECT_EQ(Read(NVR_DEFER_SERVERS, "3"), "<missing>");
    EXPECT_EQ(Read(NVR_DEFER_TYPELIBS, "1"), tlb);
    EXPECT_EQ(Read(NVR_DEFER_TYPELIBS, "2"), "<missing>");
    // Deferring registers nothing yet.
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrdefer1.dll")));

    RunDeferredRegistrations(endInfo_.c_str());
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrdefer1.dll")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrdefer2.dll")));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(kNoHelpLib) + "\\1.0"));
    EXPECT_EQ(UnregisterComServer(a.c_str()), 1);
    EXPECT_EQ(UnregisterComServer(b.c_str()), 1);
    EXPECT_EQ(UnregisterTypeLibraryFile(tlb.c_str()), 1);
}

// Keys 1, 2 and 4: the pass stops at the first missing number; a failing entry
// is reported and the pass goes on with the next one.
TEST_F(DeferralTest, PassStopsAtTheFirstMissingKeyAndReportsEachFailure)
{
    std::string one = CopyDll("comserver", "nvrpass1.dll");
    std::string absent = folder_ + "\\nvrgone.dll";
    std::string four = CopyDll("comserver", "nvrpass4.dll");
    std::string badLib = folder_ + "\\nvrgone.tlb";
    std::string lib = ProgramFolder() + "\\tiny.tlb";
    Write(NVR_DEFER_SERVERS, "1", one);
    Write(NVR_DEFER_SERVERS, "2", absent);
    Write(NVR_DEFER_SERVERS, "4", four);
    Write(NVR_DEFER_TYPELIBS, "1", badLib);
    Write(NVR_DEFER_TYPELIBS, "2", lib);

    BoxWatcher watcher;
    RunDeferredRegistrations(endInfo_.c_str());
    std::vector<uidriver::MessageBoxSeen> boxes = watcher.Stop();
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrpass1.dll")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrpass4.dll")));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(kTinyLib) + "\\1.2"));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, Expected(absent));
    EXPECT_EQ(boxes[1].text, Expected(badLib));
    UnregisterComServer(one.c_str());
    UnregisterTypeLibraryFile(lib.c_str());
}

// A dialog template like resource 1058: an icon, text item 1033, no title.
std::vector<WORD> FinishingTemplate()
{
    std::vector<WORD> t(64, 0);
    DLGTEMPLATE *d = reinterpret_cast<DLGTEMPLATE *>(t.data());
    d->style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_VISIBLE;
    d->cdit = 1;
    d->cx = 160;
    d->cy = 40;
    size_t w = sizeof(DLGTEMPLATE) / sizeof(WORD) + 3;   // no menu, class, title
    w = (w + 1) & ~size_t(1);                            // item on a DWORD boundary
    DLGITEMTEMPLATE *item = reinterpret_cast<DLGITEMTEMPLATE *>(&t[w]);
    item->style = WS_CHILD | WS_VISIBLE | SS_LEFT;
    item->x = 30;
    item->y = 14;
    item->cx = 120;
    item->cy = 10;
    item->id = NVR_FINISHING_TEXT;
    w += sizeof(DLGITEMTEMPLATE) / sizeof(WORD);
    t[w++] = 0xFFFF;
    t[w++] = 0x0082;   // static
    t[w++] = 0;        // no text
    t[w++] = 0;        // no creation data
    return t;
}

TEST_F(DeferralTest, PostRestartDialogShowsFinishingThenRegisters)
{
    std::string server = CopyDll("comserver", "nvrdialog.dll");
    Write(NVR_DEFER_SERVERS, "1", server);
    std::vector<WORD> tmpl = FinishingTemplate();

    std::atomic<HWND> seen{NULL};
    std::string text;
    bool registeredEarly = true;
    std::thread reader([&] {
        HWND dlg = uidriver::WaitWindow(GetCurrentProcessId(), "#32770", NULL, 5000);
        if (!dlg)
            return;
        text = uidriver::ItemText(dlg, NVR_FINISHING_TEXT);
        registeredEarly = KeyExists(HKEY_CURRENT_USER, ServerKey("nvrdialog.dll"));
        seen = dlg;
    });
    DWORD start = GetTickCount();
    INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(NULL),
                                             reinterpret_cast<DLGTEMPLATE *>(tmpl.data()), NULL,
                                             PostRestartRegistration, 0);
    DWORD elapsed = GetTickCount() - start;
    reader.join();

    EXPECT_EQ(result, 0);
    ASSERT_NE(seen.load(), (HWND)NULL);
    EXPECT_EQ(g_currentPage, seen.load());
    EXPECT_EQ(text, "Finishing installation...");
    EXPECT_FALSE(registeredEarly);
    EXPECT_GE(elapsed, 950u);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ServerKey("nvrdialog.dll")));
    UnregisterComServer(server.c_str());
}

}  // namespace

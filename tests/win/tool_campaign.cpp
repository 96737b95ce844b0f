// tool_campaign.cpp -- mutation campaign against the real install module:
// makes N damaged copies of a good package (flipped and truncated bytes in the
// headers, names, lengths, volume count and compressed data; volumes missing,
// swapped or shortened; entries out of order; DLL entries renamed), runs each
// through the whole road like a user (Setup.exe, Next, Install, every message
// box answered) within a fixed time, and checks what it left behind.
// Plain program started by fuzz/campaign; must write only below its work
// folder (and what a successful install of the good package writes).
//
//   tool_campaign GOOD_FOLDER WORK_FOLDER INSTALL_FOLDER COUNT SEED
//   tool_campaign FAULT_FOLDER - - replay     (drives one kept package again)
// GOOD_FOLDER holds Setup.exe and its volumes; INSTALL_FOLDER is the package's
// DefInstallFolder. Prints one line per run and the counts by outcome; exit 0
// when every run passed its checks, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "package/format.h"
#include "resources/resource.h"
#include "tests/win/uidriver.h"
#include "ui/catalog.h"
#include "ui/startupmsg.h"

using namespace uidriver;

namespace {

const DWORD kRunLimitMs = 60000;
const char kMissing[] = "\x01missing";   // a volume file that is not written   // a run that lasts longer is a hang
using Tree = std::map<std::string, std::string>;   // relative path -> bytes ("<dir>" for folders)

void Walk(const std::string &root, const std::string &rel, Tree &tree)
{
    WIN32_FIND_DATAA fd;
    std::string base = rel.empty() ? root : root + "\\" + rel;
    HANDLE h = FindFirstFileA((base + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string r = rel.empty() ? name : rel + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[r] = "<dir>";
            Walk(root, r, tree);
        } else {
            tree[r] = ReadFileBytes(root + "\\" + r);
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

Tree Snapshot(const std::string &root)
{
    Tree t;
    Walk(root, "", t);
    return t;
}

std::vector<std::string> Volumes(const std::string &folder)
{
    std::vector<std::string> v;
    v.push_back(folder + "\\Setup.exe");
    for (int k = 1; k < 256; k++) {
        char name[32];
        snprintf(name, sizeof name, "\\Setup.%03d", k);
        if (GetFileAttributesA((folder + name).c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
        v.push_back(folder + name);
    }
    return v;
}

// Byte positions of the package's parts in the whole stream.
struct Layout {
    std::vector<size_t> header, name, data, end;
};

uint32_t Get32(const std::string &b, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--)
        v = v << 8 | (unsigned char)b[at + i];
    return v;
}

Layout Parse(const std::string &s)
{
    Layout l;
    size_t at = NVR_MODULE_LENGTH + NVR_PACKAGE_HEADER_SIZE;
    while (at + NVR_ENTRY_HEADER_SIZE <= s.size()) {
        size_t nameLength = (unsigned char)s[at + NVR_ENTRY_HEADER_SIZE - 1];
        size_t data = at + NVR_ENTRY_HEADER_SIZE + nameLength;
        size_t end = data + Get32(s, at + NVR_EH_COMPRESSED);
        if (end > s.size())
            break;
        l.header.push_back(at);
        l.name.push_back(at + NVR_ENTRY_HEADER_SIZE);
        l.data.push_back(data);
        l.end.push_back(end);
        at = end;
    }
    return l;
}

struct Damage {
    std::string what;
};

// Applies one random damage to the volumes (bytes of each file) in place.
Damage Mutate(std::vector<std::string> &vols, std::mt19937 &rng)
{
    std::string s;
    std::vector<size_t> cuts;
    for (const std::string &v : vols) {
        s += v;
        cuts.push_back(s.size());
    }
    Layout l = Parse(s);
    auto pick = [&](size_t n) { return n ? (size_t)(rng() % n) : 0; };
    auto flip = [&](size_t at, size_t span, const char *what) {
        at = at + pick(span);
        if (at >= s.size())
            at = s.size() - 1;
        unsigned char mask = (unsigned char)(1u << pick(8));
        if (rng() % 3 == 0)
            mask = (unsigned char)(rng() | 1);
        s[at] = (char)(s[at] ^ mask);
        char buf[96];
        snprintf(buf, sizeof buf, "%s at %zu ^%02x", what, at, mask);
        return std::string(buf);
    };
    size_t e = pick(l.header.size());
    Damage d;
    bool recut = true;
    switch (rng() % 14) {
    case 0: d.what = flip(NVR_MODULE_LENGTH, NVR_PACKAGE_HEADER_SIZE, "package header"); break;
    case 1: d.what = flip(l.header[e], NVR_ENTRY_HEADER_SIZE - 1, "entry header"); break;
    case 2: d.what = flip(l.name[e], l.data[e] - l.name[e] + 1, "entry name"); break;
    case 3: d.what = flip(l.header[e] + NVR_EH_UNCOMPRESSED, 8, "entry lengths"); break;
    case 4: d.what = flip(NVR_MODULE_LENGTH + NVR_PH_VOLUME_COUNT, 1, "volume count"); break;
    case 5:
    case 6: d.what = flip(l.data[e], l.end[e] - l.data[e], "compressed data"); break;
    case 7: {
        size_t at = NVR_MODULE_LENGTH + pick(s.size() - NVR_MODULE_LENGTH);
        d.what = "truncated at " + std::to_string(at);
        s.resize(at);
        for (size_t &c : cuts)
            if (c > at) c = at;
        break;
    }
    case 8:
        if (vols.size() > 1) {
            size_t k = 1 + pick(vols.size() - 1);
            vols[k] = kMissing;
            d.what = "volume " + std::to_string(k) + " missing";
            return d;
        }
        d.what = flip(NVR_MODULE_LENGTH, NVR_PACKAGE_HEADER_SIZE, "package header");
        break;
    case 9:
        if (vols.size() > 2) {
            size_t k = 1 + pick(vols.size() - 2);
            std::swap(vols[k], vols[k + 1]);
            d.what = "volumes " + std::to_string(k) + " and " + std::to_string(k + 1) + " swapped";
            return d;
        }
        d.what = flip(l.data[e], l.end[e] - l.data[e], "compressed data");
        break;
    case 10: {
        size_t k = pick(vols.size());
        size_t n = vols[k].size();
        size_t keep = k == 0 ? NVR_MODULE_LENGTH + pick(n - NVR_MODULE_LENGTH) : pick(n);
        vols[k].resize(keep);
        d.what = "volume " + std::to_string(k) + " shortened to " + std::to_string(keep);
        return d;
    }
    case 11:
        if (l.header.size() > 2) {
            size_t a = 1 + pick(l.header.size() - 2);   // never the information entry
            std::string first = s.substr(l.header[a], l.end[a] - l.header[a]);
            std::string second = s.substr(l.header[a + 1], l.end[a + 1] - l.header[a + 1]);
            s.replace(l.header[a], first.size() + second.size(), second + first);
            d.what = "entries " + std::to_string(a) + " and " + std::to_string(a + 1) + " swapped";
            break;
        }
        d.what = flip(l.header[e], NVR_ENTRY_HEADER_SIZE - 1, "entry header");
        break;
    case 12: {
        // The DLL entry renamed: its key no longer matches.
        for (size_t i = 0; i < l.name.size(); i++)
            if (s.compare(l.name[i], 3, "DLL") == 0) {
                s[l.name[i] + 3] = (char)('2' + pick(7));
                d.what = "DLL entry renamed " + s.substr(l.name[i], 4);
                break;
            }
        if (d.what.empty())
            d.what = flip(l.name[e], 1, "entry name");
        break;
    }
    default: {
        int n = 2 + (int)pick(6);
        d.what = std::to_string(n) + " flips: ";
        for (int i = 0; i < n; i++)
            d.what += flip(NVR_MODULE_LENGTH, s.size() - NVR_MODULE_LENGTH, "") + ";";
        break;
    }
    }
    if (recut) {
        size_t from = 0;
        for (size_t k = 0; k < vols.size(); k++) {
            size_t to = k + 1 == vols.size() ? s.size() : std::min(cuts[k], s.size());
            if (to < from) to = from;
            vols[k] = s.substr(from, to - from);
            from = to;
        }
    }
    return d;
}

struct Outcome {
    std::string kind;      // installed, package-corrupt, archive-corrupt, install-failed,
                           // volume-cancelled, hang, other
    std::string detail;
    bool windowFirst = false;   // a page was seen before the message
};

// Runs Setup.exe in folder like a user and answers every box with OK/Cancel.
Outcome Drive(const std::string &folder)
{
    Outcome o;
    DWORD start = GetTickCount();
    Process setup = Start("\"" + folder + "\\Setup.exe\"", folder.c_str());
    if (!setup.handle) {
        o.kind = "other";
        o.detail = "Setup.exe did not start";
        return o;
    }
    bool pageSeen = false;
    std::string message;
    Process run;
    DWORD exitCode = 0;
    while (GetTickCount() - start < kRunLimitMs) {
        bool setupAlive = setup.handle && WaitForSingleObject(setup.handle, 0) == WAIT_TIMEOUT;
        if (!run.handle) {
            std::vector<DWORD> ids = ProcessesNamed(NVR_MODULE_FILE_NAME);
            if (!ids.empty()) {
                run.id = ids.front();
                run.handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                             PROCESS_TERMINATE, FALSE, run.id);
            }
        }
        bool runAlive = run.handle && WaitForSingleObject(run.handle, 0) == WAIT_TIMEOUT;
        if (!setupAlive && !runAlive && (run.handle || GetTickCount() - start > 3000)) {
            if (run.handle)
                GetExitCodeProcess(run.handle, &exitCode);
            break;
        }
        for (DWORD pid : {setup.id, run.id}) {
            if (!pid)
                continue;
            MessageBoxSeen box = WaitMessageBox(pid, 0);
            if (box.window) {
                if (message.empty()) {
                    message = box.text;
                    o.windowFirst = pageSeen;
                } else {
                    message += " | " + box.text;
                }
                // Volume prompts (Retry/Cancel) are cancelled; other boxes closed.
                HWND cancel = GetDlgItem(box.window, IDCANCEL);
                Press(box.window, cancel ? IDCANCEL : IDOK);
                for (int i = 0; i < 200 && IsWindow(box.window); i++)
                    Sleep(10);
                continue;
            }
        }
        if (run.id) {
            HWND page = NULL;
            if ((page = WaitDialog(run.id, IDC_WELCOME_TEXT, 0))) {
                pageSeen = true;
                Sleep(100);
                Press(page, IDC_NEXT);
                Sleep(100);
            } else if ((page = WaitDialog(run.id, IDC_FOLDER_EDIT, 0))) {
                pageSeen = true;
                Sleep(100);
                Press(page, IDC_INSTALL);
                Sleep(200);
            } else if ((page = WaitDialog(run.id, IDC_COMPLETED, 0))) {
                Sleep(100);
                Press(page, IDC_OK);
                o.kind = "installed";
                Sleep(100);
            }
        }
        Sleep(20);
    }
    bool hung = GetTickCount() - start >= kRunLimitMs;
    if (setup.handle) {
        if (WaitForSingleObject(setup.handle, 0) == WAIT_TIMEOUT) TerminateProcess(setup.handle, 9);
        CloseHandle(setup.handle);
    }
    if (run.handle) {
        if (WaitForSingleObject(run.handle, 0) == WAIT_TIMEOUT) TerminateProcess(run.handle, 9);
        WaitForSingleObject(run.handle, 5000);
        CloseHandle(run.handle);
    }
    if (o.kind == "installed")
        CloseFolderWindows();
    o.detail = message;
    if (hung)
        o.kind = "hang";
    else if (!message.empty()) {
        std::string first = message.substr(0, message.find(" | "));
        if (first == MsgPackageCorrupt)
            o.kind = "package-corrupt";
        else if (first == CatalogText(MsgArchiveCorrupt))
            o.kind = "archive-corrupt";
        else if (first.rfind("Can't install file '", 0) == 0)
            o.kind = "install-failed";     // a damaged name no file can have
        else if (first.rfind("Can't find volume", 0) == 0 || first.rfind("Insert volume", 0) == 0)
            o.kind = "volume-cancelled";   // the volume prompt, answered Cancel
        else
            o.kind = "other";
        if (o.kind == "installed")
            o.kind = "other";
    } else if (o.kind.empty())
        o.kind = "other";
    (void)exitCode;
    return o;
}

void WriteVolumes(const std::string &folder, const std::vector<std::string> &vols, size_t oldCount)
{
    for (size_t k = 0; k < std::max(oldCount, vols.size()); k++) {
        char name[32];
        if (k == 0)
            snprintf(name, sizeof name, "\\Setup.exe");
        else
            snprintf(name, sizeof name, "\\Setup.%03zu", k);
        if (k < vols.size() && vols[k] != kMissing)
            WriteFileBytes(folder + name, vols[k]);
        else
            DeleteFileA((folder + name).c_str());
    }
}

std::string Diff(const Tree &want, const Tree &got)
{
    for (const auto &w : want) {
        auto g = got.find(w.first);
        if (g == got.end())
            return "missing " + w.first;
        if (g->second != w.second)
            return "changed " + w.first;
    }
    for (const auto &g : got)
        if (!want.count(g.first))
            return "extra " + g.first;
    return "";
}

// The file contents of a tree, sorted: what stays when only names change.
std::vector<std::string> Contents(const Tree &tree)
{
    std::vector<std::string> c;
    for (const auto &t : tree)
        if (t.second != "<dir>")
            c.push_back(t.second);
    std::sort(c.begin(), c.end());
    return c;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 6) {
        fprintf(stderr, "usage: tool_campaign GOOD WORK INSTALL COUNT SEED\n");
        return 2;
    }
    std::string good = argv[1], work = argv[2], install = argv[3];
    if (std::string(argv[4]) == "replay") {
        // One kept package (GOOD = its folder) through the road, nothing checked.
        g_languageFlag = 1;
        Outcome o = Drive(good);
        printf("%s %s\n", o.kind.c_str(), o.detail.c_str());
        return 0;
    }
    int count = atoi(argv[4]);
    unsigned seed = (unsigned)strtoul(argv[5], NULL, 10);
    g_languageFlag = 1;
    std::string pkg = work + "\\pkg", top = install.substr(0, install.rfind('\\'));
    CreateDirectoryA(work.c_str(), NULL);
    CreateDirectoryA(pkg.c_str(), NULL);
    RemoveTree(install);
    // A file of the user's beside and inside the install folder: never touched.
    CreateDirectoryA(install.c_str(), NULL);
    WriteFileBytes(install + "\\users-own.txt", "the user's file, there before\r\n");
    WriteFileBytes(top + "\\beside.txt", "beside the install folder\r\n");

    std::vector<std::string> goodVols;
    for (const std::string &v : Volumes(good))
        goodVols.push_back(ReadFileBytes(v));
    WriteVolumes(pkg, goodVols, 0);

    // The good package once: what a successful install writes.
    Tree before = Snapshot(top);
    std::vector<std::string> tempsBefore = TempRunFiles();
    Outcome base = Drive(pkg);
    Tree installed = Snapshot(top);
    if (base.kind != "installed" || TempRunFiles() != tempsBefore) {
        printf("the good package did not install: %s %s\n", base.kind.c_str(), base.detail.c_str());
        return 1;
    }
    // Takes away whatever a run added below the install folder's parent.
    auto restore = [&]() {
        Tree now = Snapshot(top);
        for (auto it = now.rbegin(); it != now.rend(); ++it)
            if (!before.count(it->first)) {
                std::string p = top + "\\" + it->first;
                if (it->second == "<dir>")
                    RemoveTree(p);
                else
                    DeleteFileA(p.c_str());
            }
    };
    restore();
    if (!Diff(before, Snapshot(top)).empty()) {
        printf("could not restore the folder before the campaign\n");
        return 1;
    }

    std::mt19937 rng(seed);
    std::map<std::string, int> counts;
    int faults = 0;
    size_t written = goodVols.size();
    for (int i = 0; i < count; i++) {
        std::vector<std::string> vols = goodVols;
        Damage d = Mutate(vols, rng);
        WriteVolumes(pkg, vols, written);
        written = std::max(written, vols.size());
        Outcome o = Drive(pkg);
        Tree after = Snapshot(top);
        std::vector<std::string> temps = TempRunFiles();
        std::string problem;
        if (o.kind == "hang")
            problem = "no end within the time limit";
        else if (o.kind == "other")
            problem = "unexpected message: " + o.detail;
        else if (o.kind == "package-corrupt" && o.windowFirst)
            problem = "package message after the window";
        else if ((o.kind == "archive-corrupt" || o.kind == "install-failed") && !o.windowFirst)
            problem = "install message before the window";
        else if (o.kind == "installed") {
            // Entry names carry no check: a damaged name installs the same
            // bytes under another name, which is as harmless as it gets.
            std::string diff = Diff(installed, after);
            if (!diff.empty() && !(d.what.rfind("entry name", 0) == 0 &&
                                   Contents(installed) == Contents(after)))
                problem = "install differs: " + diff;
            else if (!diff.empty())
                o.kind = "installed-renamed";
        } else {
            std::string diff = Diff(before, after);
            if (!diff.empty())
                problem = "left behind: " + diff;
        }
        if (problem.empty() && temps != tempsBefore)
            problem = "\"_if\" file left in the temporary folder";
        counts[o.kind]++;
        if (!problem.empty()) {
            faults++;
            char keep[32];
            snprintf(keep, sizeof keep, "\\fault%04d", i);
            CreateDirectoryA((work + keep).c_str(), NULL);
            WriteVolumes(work + keep, vols, 0);
        }
        printf("%4d %-16s %-40s %s%s\n", i, o.kind.c_str(), d.what.substr(0, 40).c_str(),
               problem.empty() ? "ok" : "FAULT: ", problem.c_str());
        fflush(stdout);
        restore();
        for (const std::string &t : TempRunFiles())
            if (std::find(tempsBefore.begin(), tempsBefore.end(), t) == tempsBefore.end()) {
                char temp[MAX_PATH];
                GetTempPathA(sizeof temp, temp);
                DeleteFileA((std::string(temp) + t).c_str());
            }
    }
    printf("campaign: %d runs, seed %u\n", count, seed);
    for (const auto &c : counts)
        printf("  %-16s %d\n", c.first.c_str(), c.second);
    printf("  faults           %d\n", faults);
    return faults ? 1 : 0;
}

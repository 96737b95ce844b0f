// test_nvrpack_tools.cpp -- what vendors rely on beyond a plain build:
// reproducible bytes (SOURCE_DATE_EPOCH, other checkout, other time), the
// same bytes for every thread count and level limits, lint findings (a table
// of descriptions), extract round trips and refused names, list --json, the
// volume-damage messages of list, verify and extract, the progress line, and
// the help texts against README.md.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "packager/cli.h"
#include "packager/compress.h"
#include "packager/extract.h"
#include "packager/fattime.h"
#include "packager/lint.h"
#include "packager/packerror.h"
#include "packager/packplan.h"
#include "packager/packread.h"
#include "packager/packwriter.h"
#include "packager/description.h"
#include "packager/platform.h"
#include "packager/progress.h"
#include "packager/volumename.h"
#include "testutil.h"

using namespace nvrpack;
using namespace nvrpack_test;

namespace {

// Sets SOURCE_DATE_EPOCH for one scope.
class EpochScope {
public:
    explicit EpochScope(const char *value) { SetEnvironment("SOURCE_DATE_EPOCH", value); }
    ~EpochScope() { SetEnvironment("SOURCE_DATE_EPOCH", nullptr); }
};

// A small product tree: compressible text, noise, an empty file, an empty
// folder and a DLL.
void WriteProduct(const fs::path &dir, std::time_t when)
{
    std::map<std::string, std::string> files = {
        {"readme.txt", "Read me.\r\n"},
        {"empty.txt", ""},
        {"data/noise.bin", RandomBytes(70000, 11)},
        {"data/text.txt", std::string(90000, 'x') + RandomBytes(300, 12)},
        {"B/upper.txt", "upper"},
        {"a/lower.txt", "lower"},
    };
    for (const auto &f : files) {
        WriteAll(dir / "tree" / f.first, f.second);
        SetFileTime((dir / "tree" / f.first).string(), when);
    }
    fs::create_directories(dir / "tree" / "nothing");
    WriteAll(dir / "lib.dll", RandomBytes(5000, 13));
    SetFileTime((dir / "lib.dll").string(), when);
    WriteAll(dir / "pkg.nvr", std::string(kHeader) +
                                  "[Source]\nFolder=tree\n[DLLFiles]\nDLL1={WinSysDir}\\lib.dll,1,0,1,0,0\n"
                                  "[DLLSources]\nDLL1=lib.dll\n");
    SetFileTime((dir / "pkg.nvr").string(), when);
}

}  // namespace

class ToolsTest : public PackagerTest {
protected:
    RunResult BuildProduct(const fs::path &dir, const std::string &output, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"build", (dir / "pkg.nvr").string(), "-o", output, "--module", module_};
        args.insert(args.end(), extra.begin(), extra.end());
        return Nvrpack(args);
    }
};

TEST_F(ToolsTest, SameInputElsewhereAndLaterGivesSameBytes)
{
    WriteProduct(root_ / "in" / "checkout-one", 1000000000);   // 2001
    WriteProduct(root_ / "in" / "second-checkout-elsewhere", 1600000000);   // 2020
    EpochScope epoch("1700000000");   // 2023-11-14 22:13:20 UTC
    ASSERT_EQ(BuildProduct(root_ / "in" / "checkout-one", Out("one.exe")).code, kExitOk);
    ASSERT_EQ(BuildProduct(root_ / "in" / "second-checkout-elsewhere", Out("two.exe"), {"--jobs", "3"}).code, kExitOk);
    std::string one = ReadAll(Out("one.exe"));
    EXPECT_EQ(one, ReadAll(Out("two.exe")));
    EXPECT_EQ(one.find("checkout"), std::string::npos) << "a local path leaked into the package";
    RunResult list = Nvrpack({"list", Out("one.exe")});
    ASSERT_EQ(list.code, kExitOk) << list.err;
    // Every entry carries the epoch as UTC, whatever the machine's zone.
    size_t lines = size_t(std::count(list.out.begin(), list.out.end(), '\n'));
    size_t stamped = 0;
    for (size_t at = list.out.find("2023-11-14 22:13:20"); at != std::string::npos;
         at = list.out.find("2023-11-14 22:13:20", at + 1))
        stamped++;
    EXPECT_EQ(stamped, lines) << list.out;

    // Without SOURCE_DATE_EPOCH the file times differ and so do the bytes.
    SetEnvironment("SOURCE_DATE_EPOCH", nullptr);
    ASSERT_EQ(BuildProduct(root_ / "in" / "checkout-one", Out("three.exe")).code, kExitOk);
    ASSERT_EQ(BuildProduct(root_ / "in" / "second-checkout-elsewhere", Out("four.exe")).code, kExitOk);
    EXPECT_NE(ReadAll(Out("three.exe")), ReadAll(Out("four.exe")));
    SetEnvironment("SOURCE_DATE_EPOCH", "yesterday");
    EXPECT_EQ(BuildProduct(root_ / "in" / "checkout-one", Out("five.exe")).code, kExitUsage);
}

TEST_F(ToolsTest, EveryThreadCountGivesTheSerialBytes)
{
    WriteProduct(root_ / "in", 1000000000);
    // Many small entries, so that workers finish out of order.
    for (int i = 0; i < 60; i++)
        WriteAll(root_ / "in" / "tree" / "many" / ("f" + std::to_string(i)), RandomBytes(size_t(i) * 997, unsigned(i)) +
                                                                           std::string(size_t(i) * 331, 'z'));
    for (const char *level : {"1", "6", "max"}) {
        ASSERT_EQ(BuildProduct(root_ / "in", Out("serial.exe"), {"--jobs", "1", "--level", level}).code, kExitOk);
        std::string serial = ReadAll(Out("serial.exe"));
        for (const char *jobs : {"2", "5", "16"}) {
            ASSERT_EQ(BuildProduct(root_ / "in", Out("parallel.exe"), {"--jobs", jobs, "--level", level}).code, kExitOk);
            EXPECT_EQ(ReadAll(Out("parallel.exe")), serial) << "level " << level << ", jobs " << jobs;
        }
        RunResult v = Nvrpack({"verify", Out("serial.exe")});
        EXPECT_EQ(v.code, kExitOk) << v.err;
    }
    for (const char *bad : {"0", "13", "99", "fast", ""})
        EXPECT_EQ(BuildProduct(root_ / "in", Out("x.exe"), {"--level", bad}).code, kExitUsage) << bad;
    for (const char *bad : {"0", "-1", "lots"})
        EXPECT_EQ(BuildProduct(root_ / "in", Out("x.exe"), {"--jobs", bad}).code, kExitUsage) << bad;
}

TEST_F(ToolsTest, FailureOnAWorkerThreadLeavesNothing)
{
    WriteProduct(root_ / "in", 1000000000);
    // A file the planner sees but the worker cannot read as planned: a
    // folder symlink is refused early, so use a file that vanishes instead.
    WriteAll(In("pkg.nvr"), std::string(kHeader) + "[Files]\ngone.txt=gone.txt\n[Source]\nFolder=tree\n");
    WriteAll(In("gone.txt"), "soon gone");
    PackagePlan plan = PlanPackage(LoadDescription(In("pkg.nvr")));
    fs::remove(In("gone.txt"));
    WriteOptions options;
    options.output = Out();
    options.module = module_;
    options.jobs = 4;
    try {
        WritePackage(plan, options);
        ADD_FAILURE() << "no error";
    } catch (const PackError &e) {
        EXPECT_NE(std::string(e.what()).find("gone.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(OutputFiles(), 0u);
}

TEST_F(ToolsTest, ProgressLineAndQuietness)
{
    WriteProgress p{3, 10, 2500000, 10000000};
    EXPECT_EQ(ProgressLine(p, 2.0), "[#####---------------]  3/10 entries  2.5/10.0 MB  1.2 MB/s  0:06 left");
    p.entries = 10, p.bytes = 10000000;
    EXPECT_EQ(ProgressLine(p, 65.0), "[####################]  10/10 entries  10.0/10.0 MB  0.2 MB/s  1:05 total");
    WriteProduct(root_ / "in", 1000000000);
    std::ostringstream out, err;
    std::vector<std::string> args = {"build", In("pkg.nvr"), "-o", Out(), "--module", module_};
    ASSERT_EQ(RunNvrpack(args, "", out, err, true), kExitOk);
    EXPECT_EQ(err.str().rfind("\r[", 0), 0u) << err.str();
    EXPECT_NE(err.str().find("9/9 entries"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().back(), '\n');
    for (bool terminal : {false, true}) {
        std::ostringstream quietOut, quietErr;
        std::vector<std::string> quiet = args;
        if (terminal)
            quiet.push_back("--quiet");
        ASSERT_EQ(RunNvrpack(quiet, "", quietOut, quietErr, terminal), kExitOk);
        EXPECT_EQ(quietErr.str(), "");
    }
}

TEST(Lint, Cp949AndMacroLengths)
{
    struct Case {
        const char *text;
        bool valid;
        size_t bad;
    };
    const Case cases[] = {
        {"plain ASCII", true, 0},
        {"\xC7\xD1\xB1\xDB", true, 0},             // "Korean" in KS X 1001
        {"\x81\x41 UHC", true, 0},                 // extension area
        {"\xED\x95\x9C\xEA\xB8\x80", false, 0},    // the same word in UTF-8
        {"x\x80", false, 1},
        {"tail\xB0", false, 4},                    // lead byte without trail
        {"\xC7\x41", false, 0},                    // trail not allowed after 0xC7
    };
    for (const Case &c : cases) {
        size_t bad = 99;
        EXPECT_EQ(IsValidCp949(c.text, &bad), c.valid) << c.text;
        if (!c.valid)
            EXPECT_EQ(bad, c.bad) << c.text;
    }
    EXPECT_EQ(MacroTypicalLength("{WinSysDir}"), 19u);
    EXPECT_EQ(MacroTypicalLength("{windir}"), 0u);
}

TEST_F(ToolsTest, LintFindings)
{
    WriteAll(In("tree/a.txt"), "a");
    WriteAll(In("lib.dll"), "dll");
    const std::string en = "[General]\nTitle=T\nLanguage=1\nDefInstallFolder={ProgramFiles}\\T\n";
    const std::string dll = "[DLLSources]\nDLL1=lib.dll\n[DLLFiles]\nDLL1=";
    struct Case {
        const char *what;
        std::string description;
        int code;              // exit code
        const char *finding;   // part of the first finding line; "" for none
    };
    const std::string deep(220, 'd');
    const Case cases[] = {
        {"clean", en + dll + "{WinSysDir}\\x.dll,1,0,1,1,0\n[Source]\nFolder=tree\n", kExitOk, ""},
        {"lower-case macro", en + dll + "{winsysdir}\\x.dll,1,0,1,1,0\n", kExitBadInput, "write {WinSysDir}"},
        {"misspelt macro", "[General]\nTitle=T\nLanguage=1\nDefInstallFolder={ProgramFile}\\T\n", kExitLintWarnings,
         "did you mean {ProgramFiles}"},
        {"unknown brace word", "[General]\nTitle=T\nLanguage=1\nDefInstallFolder={ProgramFiles}\\{Version}\n",
         kExitLintWarnings, "{Version} is no macro"},
        {"escaped braces are no macro", "[General]\nTitle=T\nLanguage=1\nDefInstallFolder={ProgramFiles}\\{{}x{}}\n",
         kExitOk, ""},
        {"DLL gap", en + "[DLLFiles]\nDLL1={WinSysDir}\\a.dll,1,0,0,0,0\nDLL3={WinSysDir}\\c.dll,1,0,0,0,0\n"
                         "[DLLSources]\nDLL1=lib.dll\nDLL3=lib.dll\n", kExitBadInput, "but no DLL2"},
        {"flag not exactly 1", en + dll + "{WinSysDir}\\x.dll,1,0, 1,1,0\n", kExitLintWarnings, "shared flag \" 1\""},
        {"flag spelt out", en + dll + "{WinSysDir}\\x.dll,1,0,1,yes,0\n", kExitLintWarnings, "register flag \"yes\""},
        {"replace mode 3", en + dll + "{WinSysDir}\\x.dll,3,0,1,1,0\n", kExitLintWarnings, "never replaced"},
        {"replace mode with blank", en + dll + "{WinSysDir}\\x.dll, 2,0,1,1,0\n", kExitLintWarnings, "reads as 2"},
        {"removal flag 2", en + dll + "{WinSysDir}\\x.dll,1,2,1,1,0\n", kExitLintWarnings, "removal flag \"2\""},
        {"too few fields", en + dll + "{WinSysDir}\\x.dll,1,0\n", kExitLintWarnings, "3 fields of 6"},
        {"relative DLL target", en + dll + "system\\x.dll,1,0,1,1,0\n", kExitBadInput, "is relative"},
        {"macro not at the start", en + dll + "x\\{WinSysDir}\\x.dll,1,0,1,1,0\n", kExitBadInput, "is relative"},
        {"absolute target", en + dll + "C:\\Windows\\x.dll,1,0,1,1,0\n", kExitOk, ""},
        {"folder without macro", "[General]\nTitle=T\nLanguage=1\nDefInstallFolder=Example\n", kExitLintWarnings,
         "no folder macro"},
        {"folder on the package's drive", "[General]\nTitle=T\nLanguage=1\nDefInstallFolder={InstallFileDrive}\\T\n",
         kExitLintWarnings, "drive the package is started from"},
        {"folder on a fixed drive", "[General]\nTitle=T\nLanguage=1\nDefInstallFolder=D:\\Apps\\T\n",
         kExitLintWarnings, "names drive D:"},
        {"install dir before it is known", "[General]\nTitle=T\nLanguage=1\nDefInstallFolder={InstallDir}\\T\n",
         kExitLintWarnings, "empty when the folder page"},
        {"long DLL target", en + dll + "{CommonFiles}\\" + deep + "\\x.dll,1,0,1,1,0\n", kExitLintWarnings,
         "may be 262 characters"},
        {"long installed file", en + "[Files]\n" + std::string(200, 'f') + "\\" + std::string(40, 'g') + "=lib.dll\n",
         kExitLintWarnings, "once installed"},
        {"Title over 259 bytes", "[General]\nTitle=" + std::string(260, 't') + "\nLanguage=1\n", kExitBadInput,
         "Title is 260 bytes"},
        {"quoted Title of 259 bytes", "[General]\nTitle=\"" + std::string(259, 't') + "\"\nLanguage=1\n", kExitOk, ""},
        {"UTF-8 Title, Korean package", "[General]\nTitle=\xED\x95\x9C\nLanguage=0\n", kExitBadInput, "not valid CP949"},
        {"CP949 Title, Korean package", "[General]\nTitle=\xC7\xD1\nDefInstallFolder={ProgramFiles}\\A\n", kExitOk, ""},
        {"UTF-8 Title, English package", "[General]\nTitle=\xED\x95\x9C\nLanguage=1\n", kExitOk, ""},
        {"UTF-8 install path, Korean", "[General]\nTitle=T\n[Files]\n\xED\x95\x9C.txt=lib.dll\n", kExitBadInput,
         "install path"},
        {"what build refuses", en + "[Files]\nx.txt=missing.txt\n", kExitBadInput, "does not exist"},
        {"unknown section", en + "[Options]\n", kExitBadInput, "unknown section"},
    };
    for (const Case &c : cases) {
        WriteAll(In("pkg.nvr"), c.description);
        RunResult r = Nvrpack({"lint", In("pkg.nvr")});
        EXPECT_EQ(r.code, c.code) << c.what << ":\n" << r.out << r.err;
        std::string first = r.out.substr(0, r.out.find('\n'));
        if (*c.finding)
            EXPECT_NE(first.find(c.finding), std::string::npos) << c.what << ":\n" << r.out;
        else
            EXPECT_NE(first.find("no problems found"), std::string::npos) << c.what << ":\n" << r.out;
        EXPECT_EQ(r.err, "") << c.what;
    }
}

TEST_F(ToolsTest, LintReportsEveryProblemWithItsLine)
{
    WriteAll(In("pkg.nvr"), "[General]\nTitle=T\nLanguage=1\nDefInstallFolder={windir}\\T\n"
                            "[DLLFiles]\nDLL1={WinSysDir}\\a.dll,5,0,1,1,0\nDLL2=b.dll,1,0,1,1,0\n"
                            "[DLLSources]\nDLL1=a.dll\nDLL2=b.dll\n");
    RunResult r = Nvrpack({"lint", In("pkg.nvr")});
    EXPECT_EQ(r.code, kExitBadInput);
    const std::string name = In("pkg.nvr");
    for (const std::string &line : {name + ":4: warning: DefInstallFolder: {windir}", name + ":6: warning: DLL1 replace mode",
                                    name + ":7: error: DLL2 target", name + ": 1 error, 3 warnings"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(Nvrpack({"lint", In("none.nvr")}).code, kExitBadInput);
    EXPECT_EQ(Nvrpack({"lint"}).code, kExitUsage);
}

class ExtractTest : public ToolsTest {
protected:
    void SetUp() override
    {
        ToolsTest::SetUp();
        WriteProduct(root_ / "in", 1000000000);
    }
};

TEST_F(ExtractTest, RoundTripInSeveralVolumes)
{
    ASSERT_EQ(BuildProduct(root_ / "in", Out(), {"--volume-length", "60000"}).code, kExitOk);
    RunResult r = Nvrpack({"extract", Out(), Out("x/y")});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("9 entries"), std::string::npos) << r.out;
    for (const char *rel : {"readme.txt", "empty.txt", "data/noise.bin", "data/text.txt", "B/upper.txt", "a/lower.txt"})
        EXPECT_EQ(ReadAll(Out("x/y/Src/") + rel), ReadAll(In("tree/") + rel)) << rel;
    EXPECT_TRUE(fs::is_directory(Out("x/y/Src/nothing")));
    EXPECT_EQ(ReadAll(Out("x/y/DLL1")), ReadAll(In("lib.dll")));
    std::string ini = ReadAll(Out("x/y/setup.ini"));
    EXPECT_EQ(ini.rfind("[General]\r\nTitle=T\r\n", 0), 0u) << ini;
    std::time_t when = 0;
    ASSERT_TRUE(GetFileTime(Out("x/y/Src/readme.txt"), &when));
    EXPECT_EQ(FatTimeFromTime(when), FatTimeFromTime(1000000000));
}

TEST(Extract, NamesThatCouldLeaveTheFolderAreRefused)
{
    struct Case {
        const char *entry;
        const char *file;   // nullptr: refused
    };
    const Case cases[] = {
        {"IFII", "setup.ini"},         {"DLL12", "DLL12"},          {"Src\\a\\b.txt", "Src/a/b.txt"},
        {"Src\\dir\\", "Src/dir/"},    {"Src\\..\\x", nullptr},     {"Src\\a\\..\\..\\x", nullptr},
        {"Src\\C:\\x", nullptr},       {"Src\\\\x", nullptr},       {"Src\\", nullptr},
        {"..\\x", nullptr},            {"DLL0", nullptr},           {"DLLx", nullptr},
        {"/etc/passwd", nullptr},      {"Src\\a:b", nullptr},       {"Src/../x", nullptr},
    };
    for (const Case &c : cases) {
        if (c.file) {
            EXPECT_EQ(ExtractName(c.entry), c.file) << c.entry;
        } else {
            EXPECT_THROW(ExtractName(c.entry), PackError) << c.entry;
        }
    }
}

TEST_F(ExtractTest, DamagedAndMissingVolumesAreNamedByEveryCommand)
{
    const uint32_t length = 60000;
    ASSERT_EQ(BuildProduct(root_ / "in", Out(), {"--volume-length", std::to_string(length)}).code, kExitOk);
    std::vector<EntryHeader> entries;
    {
        PackageInput input(Out());
        for (uint32_t i = 0; i < input.Header().entryCount; i++) {
            entries.push_back(input.NextEntry());
            input.SkipData(entries.back());
        }
    }
    // The noise entry's data: flipping a byte in its middle damages it.
    const EntryHeader *noise = nullptr;
    for (const EntryHeader &e : entries)
        noise = e.name == "Src\\data\\noise.bin" ? &e : noise;
    ASSERT_NE(noise, nullptr);
    uint64_t at = noise->dataPosition + noise->compressed / 2;
    std::string volume = VolumePath(Out(), unsigned(at / length));
    std::string bytes = ReadAll(volume);
    bytes[at % length] ^= 0x40;
    WriteAll(volume, bytes);
    for (const char *command : {"verify", "extract"}) {
        std::vector<std::string> args = {command, Out()};
        if (std::string(command) == "extract")
            args.push_back(Out("x"));
        RunResult r = Nvrpack(args);
        EXPECT_EQ(r.code, kExitBadInput) << command;
        EXPECT_NE(r.err.find("\"Src\\data\\noise.bin\" is damaged in "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(BaseName(volume)), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(Out("x/Src/data/noise.bin"))) << "a damaged file was left behind";
    EXPECT_EQ(Nvrpack({"list", Out()}).code, kExitOk) << "list reads headers only";

    // Missing: a volume that holds only data is found by list as well.
    bytes[at % length] ^= 0x40;
    WriteAll(volume, bytes);
    unsigned dataOnly = 0;
    for (unsigned k = 1; k < 255 && !dataOnly; k++) {
        bool header = false;
        for (const EntryHeader &e : entries)
            header = header || (e.headerPosition / length <= k && (e.dataPosition - 1) / length >= k);
        if (!header && uint64_t(k) * length < noise->dataPosition + noise->compressed &&
            uint64_t(k) * length >= noise->dataPosition)
            dataOnly = k;
    }
    ASSERT_NE(dataOnly, 0u);
    fs::rename(VolumePath(Out(), dataOnly), Out("moved"));
    for (const char *command : {"list", "verify", "extract"}) {
        std::vector<std::string> args = {command, Out()};
        if (std::string(command) == "extract")
            args.push_back(Out("y"));
        RunResult r = Nvrpack(args);
        EXPECT_EQ(r.code, kExitBadInput) << command;
        EXPECT_NE(r.err.find("volume file " + BaseName(VolumePath(Out(), dataOnly)) + " is missing"), std::string::npos)
            << command << ": " << r.err;
        EXPECT_NE(r.err.find("Src\\data\\noise.bin"), std::string::npos) << command << ": " << r.err;
        EXPECT_EQ(r.out, "") << command;
    }
    // Short: the last volume cut by one byte.
    fs::rename(Out("moved"), VolumePath(Out(), dataOnly));
    PackageHeader h = PackageInput(Out()).Header();
    std::string last = VolumePath(Out(), h.volumeCount - 1);
    fs::resize_file(last, fs::file_size(last) - 1);
    RunResult r = Nvrpack({"list", Out()});
    EXPECT_EQ(r.code, kExitBadInput);
    EXPECT_NE(r.err.find(BaseName(last) + " is truncated"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("entry \"DLL1\""), std::string::npos) << r.err;
}

TEST_F(ExtractTest, ListJson)
{
    ASSERT_EQ(BuildProduct(root_ / "in", Out()).code, kExitOk);
    RunResult r = Nvrpack({"list", "--json", Out()});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out.rfind("{\n  \"package\": \"Setup.exe\",", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"volumes\": [\"Setup.exe\"]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("{\"name\": \"IFII\", \"kind\": \"info\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("{\"name\": \"Src\\\\nothing\\\\\", \"kind\": \"folder\", \"size\": 0, \"packed\": 0"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("{\"name\": \"DLL1\", \"kind\": \"dll\", \"size\": 5000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"version\": null, \"volume\": 0}\n  ]\n}\n"), std::string::npos) << r.out;
    EXPECT_EQ(JsonString("a\"b\\c\x01\xB0"), "\"a\\\"b\\\\c\\u0001\\u00b0\"");
    EXPECT_EQ(Nvrpack({"list", "--xml", Out()}).code, kExitUsage);
}

#ifdef NVR_SOURCE_DIR
// Every help text appears in README.md as the block after "$ nvrpack ... --help".
TEST(Help, MatchesReadme)
{
    std::string readme = ReadAll(std::string(NVR_SOURCE_DIR) + "/packager/README.md");
    ASSERT_FALSE(readme.empty());
    for (const char *command : {"", "build", "lint", "list", "verify", "extract"}) {
        std::string marker = std::string("$ nvrpack ") + (*command ? std::string(command) + " " : "") + "--help\n";
        size_t at = readme.find(marker);
        ASSERT_NE(at, std::string::npos) << marker;
        at += marker.size();
        std::string block = readme.substr(at, readme.find("```", at) - at);
        std::vector<std::string> args = *command ? std::vector<std::string>{command, "--help"}
                                                 : std::vector<std::string>{"--help"};
        RunResult r = Nvrpack(args);
        EXPECT_EQ(r.code, kExitOk);
        EXPECT_EQ(r.out, block) << "README.md and nvrpack " << command << " --help differ";
    }
}
#endif

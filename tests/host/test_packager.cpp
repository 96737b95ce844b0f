// test_packager.cpp -- nvrpack end to end, in process: description and
// command-line errors (each leaves no file behind), entry order and the
// install information text, volume round trips read back with the packager's
// own reader, and verify naming the damaged entry and volume file.
#include <gtest/gtest.h>

#include <utime.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "package/format.h"
#include "packager/cli.h"
#include "packager/description.h"
#include "packager/fattime.h"
#include "packager/packerror.h"
#include "packager/packplan.h"
#include "packager/packread.h"
#include "packager/volumename.h"

namespace fs = std::filesystem;
using namespace nvrpack;

#include "testutil.h"

using namespace nvrpack_test;


TEST_F(PackagerTest, BadInputFailsWithOneLineAndLeavesNothing)
{
    WriteAll(In("tree/a.txt"), "a");
    WriteAll(In("lib.dll"), "dll");
    struct Case {
        const char *what;
        std::string description;
        const char *message;   // part of the expected message
    };
    const std::string longName(NVR_MAX_NAME_LENGTH - 3, 'n');   // "Src\" + 252 = 256 bytes
    const Case cases[] = {
        {"missing source folder", std::string(kHeader) + "[Source]\nFolder=nothere\n", "does not exist"},
        {"missing file", std::string(kHeader) + "[Files]\nx.txt=nothere.txt\n", "does not exist"},
        {"missing DLL file", std::string(kHeader) + "[DLLFiles]\nDLL1={WinSysDir}\\x.dll,1,0,1,1,0\n"
                                                    "[DLLSources]\nDLL1=nothere.dll\n", "DLL1"},
        {"name over 255 bytes", std::string(kHeader) + "[Files]\n" + longName + "=lib.dll\n", "256 bytes"},
        {"name of exactly 255 bytes is fine, but \"..\" is not",
         std::string(kHeader) + "[Files]\n" + longName.substr(1) + "=lib.dll\nx\\..\\..\\evil.txt=lib.dll\n", "\"..\""},
        {"absolute path", std::string(kHeader) + "[Files]\n\\Windows\\evil.txt=lib.dll\n", "absolute"},
        {"drive path", std::string(kHeader) + "[Files]\nC:\\evil.txt=lib.dll\n", "absolute"},
        {"DLL gap", std::string(kHeader) + "[DLLFiles]\nDLL1=a,1,0,0,0,0\nDLL3=b,1,0,0,0,0\n"
                                           "[DLLSources]\nDLL1=lib.dll\nDLL3=lib.dll\n", "no DLL2"},
        {"DLL without source", std::string(kHeader) + "[DLLFiles]\nDLL1=a,1,0,0,0,0\n", "DLL1 is missing in [DLLSources]"},
        {"DLL line too long", std::string(kHeader) + "[DLLFiles]\nDLL1=" + std::string(520, 'x') + "\n"
                                                     "[DLLSources]\nDLL1=lib.dll\n", "longer than 519"},
        {"no Title", "[General]\nLanguage=1\n", "Title is missing"},
        {"Title too long", "[General]\nTitle=" + std::string(260, 't') + "\n", "longer than 259"},
        {"bad Language", "[General]\nTitle=T\nLanguage=one\n", "Language"},
        {"SpaceNeeded too big", std::string(kHeader) + "SpaceNeeded=4294967296\n", "SpaceNeeded"},
        {"unknown key", std::string(kHeader) + "Titel=x\n", "unknown key"},
        {"unknown section", std::string(kHeader) + "[Options]\n", "unknown section"},
        {"repeated key", std::string(kHeader) + "title=again\n", "repeats line 2"},
        {"key before section", "Title=T\n", "before the first"},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF" + std::string(kHeader), "byte order mark"},
        {"line without =", std::string(kHeader) + "Title\n", "expected"},
        {"names equal on Windows", std::string(kHeader) + "[Source]\nFolder=tree\n[Files]\nA.TXT=lib.dll\n", "letter case"},
        {"file used as folder", std::string(kHeader) + "[Files]\nx=lib.dll\nx\\y=lib.dll\n", "as a folder"},
        {"tree where a file is expected", std::string(kHeader) + "[Files]\nx=tree\n", "is a folder"},
    };
    for (const Case &c : cases) {
        RunResult r = Build(c.description);
        EXPECT_EQ(r.code, kExitBadInput) << c.what;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(r.err.rfind("nvrpack: ", 0), 0u) << c.what;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.what << ": not one line: " << r.err;
        EXPECT_EQ(OutputFiles(), 0u) << c.what;
    }
}

TEST_F(PackagerTest, ModuleOfWrongLengthIsRefused)
{
    WriteAll(In("tree/a.txt"), "a");
    for (size_t size : {size_t(NVR_MODULE_LENGTH - 1), size_t(NVR_MODULE_LENGTH + 1), size_t(0)}) {
        WriteAll(module_, std::string(size, 'm'));
        RunResult r = Build(std::string(kHeader) + "[Source]\nFolder=tree\n");
        EXPECT_EQ(r.code, kExitBadInput) << size;
        EXPECT_NE(r.err.find("51200"), std::string::npos) << r.err;
        EXPECT_EQ(OutputFiles(), 0u);
    }
}

TEST_F(PackagerTest, TooManyVolumesRemovesTheWrittenOnes)
{
    // 255 volumes of the smallest length hold about 13 MB; this needs more.
    WriteAll(In("tree/noise.bin"), RandomBytes(size_t(NVR_MAX_VOLUMES) * NVR_MIN_VOLUME_LENGTH, 7));
    RunResult r = Build(std::string(kHeader) + "[Source]\nFolder=tree\n",
                        {"--volume-length", std::to_string(NVR_MIN_VOLUME_LENGTH)});
    EXPECT_EQ(r.code, kExitBadInput);
    EXPECT_NE(r.err.find("more than 255 volumes"), std::string::npos) << r.err;
    EXPECT_EQ(OutputFiles(), 0u);
}

TEST_F(PackagerTest, MoreThanFourGiBIsRefusedBeforeReading)
{
    // Sparse files: nothing is read, the sizes alone exceed every 32-bit field.
    WriteAll(In("tree/a.bin"), "");
    WriteAll(In("tree/b.bin"), "");
    fs::resize_file(In("tree/a.bin"), 0x80000000ull);
    fs::resize_file(In("tree/b.bin"), 0x80000000ull);
    RunResult r = Build(std::string(kHeader) + "[Source]\nFolder=tree\n");
    EXPECT_EQ(r.code, kExitBadInput);
    EXPECT_NE(r.err.find("4 GiB"), std::string::npos) << r.err;
    EXPECT_EQ(OutputFiles(), 0u);
}

TEST_F(PackagerTest, CommandLineErrorsAreUsage)
{
    WriteAll(In("pkg.nvr"), std::string(kHeader));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"pack"},
        {"build", In("pkg.nvr")},
        {"build", "-o", Out()},
        {"build", In("pkg.nvr"), "-o", Out()},   // no default module in this test
        {"build", In("pkg.nvr"), "-o", Out(), "--module", module_, "--volume-length",
         std::to_string(NVR_MIN_VOLUME_LENGTH - 1)},
        {"build", In("pkg.nvr"), "-o", Out(), "--module", module_, "--volume-length", "4294967296"},
        {"build", In("pkg.nvr"), "-o", Out(), "--module", module_, "--volume-length", "1e6"},
        {"build", In("pkg.nvr"), "-o", Out(), "--module", module_, "--floppy", "--cd"},
        {"build", In("pkg.nvr"), "-o", Out(), "--module", module_, "--fast"},
        {"build", In("pkg.nvr"), "-o"},
        {"list"},
        {"verify", "a.exe", "b.exe"},
    };
    for (const auto &args : cases) {
        RunResult r = Nvrpack(args);
        EXPECT_EQ(r.code, kExitUsage) << (args.empty() ? "(none)" : args[0]) << ": " << r.err;
        EXPECT_EQ(r.err.rfind("nvrpack: ", 0), 0u);
    }
    EXPECT_EQ(OutputFiles(), 0u);
    for (const std::vector<std::string> &help : std::vector<std::vector<std::string>>{
             {"--help"}, {"build", "--help"}, {"list", "--help"}, {"verify", "-h"}}) {
        RunResult r = Nvrpack(help);
        EXPECT_EQ(r.code, kExitOk);
        EXPECT_NE(r.out.find("usage: nvrpack"), std::string::npos);
    }
}

TEST_F(PackagerTest, EntryOrderAndInstallInformation)
{
    WriteAll(In("tree/a.txt"), "1");
    WriteAll(In("tree/a/x.txt"), "22");
    WriteAll(In("tree/a-b/y"), "333");
    WriteAll(In("tree/Z.txt"), "");
    // A CP949 name sorts after ASCII. Not on Windows: libstdc++ there converts
    // narrow names to wide and back with different code pages (known gap).
#ifndef _WIN32
    WriteAll(In("tree/\xB0\xA1.txt"), "4444");
#endif
    fs::create_directories(In("tree/empty/inner"));
    WriteAll(In("one.dll"), "55555");
    WriteAll(In("two.dll"), "666666");
    WriteAll(In("pkg.nvr"),
             "; sample\r\n[General]\r\nTitle=\xC7\xD1\xB1\xDB Title\r\nLanguage = 0\r\n"
             "DefInstallFolder={ProgramFiles}\\X\r\n\r\n[Source]\r\nFolder=tree\r\n"
             "[Files]\r\nLogs/=\r\nextra\\a.dat=one.dll\r\n"
             "[DLLFiles]\r\nDLL2={WinSysDir}\\two.dll,2,0,1,0,0\r\nDLL1={WinSysDir}\\one.dll,1,1,1,1,0\r\n"
             "[DLLSources]\r\nDLL1=one.dll\r\nDLL2=two.dll\r\n");
    PackagePlan plan = PlanPackage(LoadDescription(In("pkg.nvr")));
    std::vector<std::string> names;
    for (const PlanEntry &e : plan.entries)
        names.push_back(e.name);
    const std::vector<std::string> expected = {
        "IFII",          "Src\\Logs\\",   "Src\\Z.txt", "Src\\a-b\\y",         "Src\\a.txt",
        "Src\\a\\x.txt", "Src\\empty\\inner\\", "Src\\extra\\a.dat", "Src\\\xB0\xA1.txt", "DLL1", "DLL2"};
#ifdef _WIN32
    std::vector<std::string> wanted = expected;
    wanted.erase(wanted.end() - 3);
    EXPECT_EQ(names, wanted);
    EXPECT_EQ(plan.spaceNeeded, 1u + 2 + 3 + 0 + 5 + 5 + 6);
#else
    EXPECT_EQ(names, expected);
    EXPECT_EQ(plan.spaceNeeded, 1u + 2 + 3 + 0 + 4 + 5 + 5 + 6);
#endif
    EXPECT_EQ(plan.info,
              std::string("[General]\r\nTitle=\xC7\xD1\xB1\xDB Title\r\nLanguage=0\r\nDefInstallFolder={ProgramFiles}\\X\r\n") +
              "SpaceNeeded=" + std::to_string(plan.spaceNeeded) + "\r\n[DLLFiles]\r\nDLL1={WinSysDir}\\one.dll,1,1,1,1,0\r\n"
              "DLL2={WinSysDir}\\two.dll,2,0,1,0,0\r\n");
}

TEST(InstallInfo, SpaceNeededCarriesAll32Bits)
{
    Description d = ParseDescription("[General]\nTitle=\"  quoted  \"\nSpaceNeeded=4294967295\n", "d", ".");
    EXPECT_EQ(InstallInfoText(d, d.spaceNeeded),
              "[General]\r\nTitle=\"  quoted  \"\r\nLanguage=0\r\nSpaceNeeded=-1\r\n");
    EXPECT_NE(InstallInfoText(d, 0x80000000u).find("SpaceNeeded=-2147483648\r\n"), std::string::npos);
    EXPECT_NE(InstallInfoText(d, 2147483647u).find("SpaceNeeded=2147483647\r\n"), std::string::npos);
}

namespace {

// Reads every entry of a package with the packager's reader.
struct ReadEntry {
    EntryHeader header;
    std::string data;
};

std::vector<ReadEntry> ReadPackage(const std::string &path, PackageHeader *header)
{
    PackageInput input(path);
    *header = input.Header();
    std::vector<ReadEntry> entries;
    for (uint32_t i = 0; i < input.Header().entryCount; i++) {
        ReadEntry e{input.NextEntry(), ""};
        input.ReadData(e.header, [&e](const uint8_t *p, size_t n) { e.data.append(reinterpret_cast<const char *>(p), n); });
        entries.push_back(e);
    }
    EXPECT_EQ(input.TrailingBytes(), 0u);
    return entries;
}

std::string Concatenate(const std::string &path, unsigned volumes)
{
    std::string all;
    for (unsigned k = 0; k < volumes; k++)
        all += ReadAll(VolumePath(path, k));
    return all;
}

}  // namespace

class RoundTripTest : public PackagerTest {
protected:
    void SetUp() override
    {
        PackagerTest::SetUp();
        files_["readme.txt"] = "Read me.\r\n";
        files_["empty.txt"] = "";
        files_["data/noise.bin"] = RandomBytes(150000, 1);
        files_["data/text.txt"] = std::string(200000, 'x') + RandomBytes(100, 2);
        files_["data/deep/deeper/one"] = "1";
        for (const auto &f : files_)
            WriteAll(In("tree/" + f.first), f.second);
        fs::create_directories(In("tree/nothing"));
        // A stamp to check the times: 2001-02-03 04:05:06 local time.
        std::tm t{};
        t.tm_year = 101, t.tm_mon = 1, t.tm_mday = 3, t.tm_hour = 4, t.tm_min = 5, t.tm_sec = 6, t.tm_isdst = -1;
        utimbuf times{std::mktime(&t), std::mktime(&t)};
        utime(In("tree/readme.txt").c_str(), &times);
        WriteAll(In("lib.dll"), RandomBytes(3000, 3));
        description_ = std::string(kHeader) + "[Source]\nFolder=tree\n[DLLFiles]\nDLL1={WinSysDir}\\lib.dll,1,0,1,0,0\n"
                                               "[DLLSources]\nDLL1=lib.dll\n";
    }

    // Checks every entry read back against the source files.
    void CheckEntries(const std::vector<ReadEntry> &entries)
    {
        ASSERT_EQ(entries.size(), 1 + files_.size() + 1 + 1);   // IFII, files, "nothing\", DLL1
        EXPECT_EQ(entries[0].header.name, "IFII");
        EXPECT_NE(entries[0].data.find("Title=T\r\n"), std::string::npos);
        for (const ReadEntry &e : entries) {
            std::string rel = e.header.name.substr(4);
            for (char &c : rel)
                c = c == '\\' ? '/' : c;
            if (e.header.name == "DLL1") {
                EXPECT_EQ(e.data, ReadAll(In("lib.dll")));
            } else if (e.header.name == "Src\\nothing\\") {
                EXPECT_EQ(e.header.compressed, 0u);
            } else if (e.header.name != "IFII") {
                ASSERT_TRUE(files_.count(rel)) << e.header.name;
                EXPECT_EQ(e.data, files_[rel]) << e.header.name;
                EXPECT_EQ(e.header.time, FileFatTime(In("tree/" + rel))) << e.header.name;
                EXPECT_EQ(e.header.versionHigh, NVR_NO_VERSION);
                if (e.data.empty())
                    EXPECT_EQ(e.header.crc, 0u);
            }
        }
        for (const ReadEntry &e : entries) {
            if (e.header.name == "Src\\readme.txt")
                EXPECT_EQ(FormatFatTime(e.header.time).substr(0, 16), "2001-02-03 04:05");
        }
    }

    std::map<std::string, std::string> files_;
    std::string description_;
};

TEST_F(RoundTripTest, SingleVolumeIsDeterministic)
{
    RunResult r = Build(description_);
    ASSERT_EQ(r.code, kExitOk) << r.err;
    PackageHeader h;
    CheckEntries(ReadPackage(Out(), &h));
    std::string first = ReadAll(Out());
    EXPECT_EQ(h.volumeCount, 1u);
    EXPECT_EQ(h.packageLength, first.size());
    EXPECT_EQ(h.volumeLength, first.size());
    EXPECT_EQ(first.substr(0, NVR_MODULE_LENGTH), ReadAll(module_));
    ASSERT_EQ(Build(description_).code, kExitOk);
    EXPECT_EQ(ReadAll(Out()), first);
    EXPECT_EQ(OutputFiles(), 1u);
}

TEST_F(RoundTripTest, VolumeCutsInsideHeadersAndNames)
{
    ASSERT_EQ(Build(description_).code, kExitOk);
    std::string single = ReadAll(Out());
    PackageHeader h;
    std::vector<ReadEntry> entries = ReadPackage(Out(), &h);
    // Cut volume 0 inside the fourth entry's CRC field, then inside its name.
    const EntryHeader &fourth = entries[3].header;
    uint64_t headerAt = fourth.dataPosition - fourth.name.size() - NVR_ENTRY_HEADER_SIZE;
    for (uint64_t cut : {headerAt + NVR_EH_CRC + 2, headerAt + NVR_EH_NAME + 3, uint64_t(NVR_MIN_VOLUME_LENGTH)}) {
        fs::remove_all(root_ / "out");
        fs::create_directories(root_ / "out");
        RunResult r = Build(description_, {"--volume-length", std::to_string(cut)});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        CheckEntries(ReadPackage(Out(), &h));
        unsigned volumes = unsigned((single.size() + cut - 1) / cut);
        EXPECT_EQ(h.volumeCount, volumes);
        EXPECT_EQ(h.volumeLength, cut);
        EXPECT_EQ(OutputFiles(), volumes);
        EXPECT_EQ(fs::file_size(Out()), cut);
        EXPECT_EQ(fs::file_size(VolumePath(Out(), volumes - 1)), single.size() - (volumes - 1) * cut);
        // The volumes are the single-volume stream cut by position; only the
        // header's length and count fields differ.
        std::string joined = Concatenate(Out(), volumes);
        ASSERT_EQ(joined.size(), single.size());
        EXPECT_EQ(joined.substr(NVR_MODULE_LENGTH + NVR_PH_ENTRY_COUNT),
                  single.substr(NVR_MODULE_LENGTH + NVR_PH_ENTRY_COUNT));
        RunResult v = Nvrpack({"verify", Out()});
        EXPECT_EQ(v.code, kExitOk) << v.err;
    }
}

TEST_F(RoundTripTest, VersionOfAPeFileIsRecorded)
{
    // The smallest image the reader accepts: see test_peversion.cpp for the
    // full layout; here a stub with a version is enough, built by hand.
    std::string pe(0x200 + 0x200, '\0');
    auto put = [&pe](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++)
            pe[at + size_t(i)] = char(v >> (8 * i));
    };
    pe[0] = 'M', pe[1] = 'Z';
    put(0x3C, 0x40, 4);
    put(0x40, 0x4550, 4);
    put(0x46, 1, 2);
    put(0x54, 224, 2);
    put(0x58, 0x10B, 2);
    put(0x58 + 92, 16, 4);
    put(0x58 + 96 + 16, 0x1000, 4);
    put(0x58 + 96 + 20, 0x200, 4);
    size_t sec = 0x58 + 224;
    put(sec + 8, 0x200, 4), put(sec + 12, 0x1000, 4), put(sec + 16, 0x200, 4), put(sec + 20, 0x200, 4);
    size_t r = 0x200;
    put(r + 14, 1, 2), put(r + 16, 16, 4), put(r + 20, 0x80000018u, 4);
    put(r + 0x18 + 14, 1, 2), put(r + 0x18 + 16, 1, 4), put(r + 0x18 + 20, 0x80000030u, 4);
    put(r + 0x30 + 14, 1, 2), put(r + 0x30 + 16, 0x412, 4), put(r + 0x30 + 20, 0x48, 4);
    put(r + 0x48, 0x1058, 4), put(r + 0x4C, 92, 4);
    put(r + 0x58, 92, 2), put(r + 0x5A, 52, 2);
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key; i++)
        put(r + 0x58 + 6 + 2 * i, uint8_t(key[i]), 2);
    put(r + 0x58 + 40, 0xFEEF04BDu, 4), put(r + 0x58 + 48, 0x00050006, 4), put(r + 0x58 + 52, 0x00070008, 4);
    WriteAll(In("tree/app.exe"), pe);
    ASSERT_EQ(Build(std::string(kHeader) + "[Source]\nFolder=tree\n").code, kExitOk);
    RunResult list = Nvrpack({"list", Out()});
    ASSERT_EQ(list.code, kExitOk) << list.err;
    EXPECT_NE(list.out.find("  5.6.7.8  Src\\app.exe\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("  -  IFII\n"), std::string::npos) << list.out;
}

TEST_F(RoundTripTest, VerifyNamesTheDamagedEntryAndVolume)
{
    const uint32_t length = 60000;
    ASSERT_EQ(Build(description_, {"--volume-length", std::to_string(length)}).code, kExitOk);
    PackageHeader h;
    std::vector<ReadEntry> entries = ReadPackage(Out(), &h);
    ASSERT_GE(h.volumeCount, 4u);
    // Flip one byte in the middle of a stored (noise) and of a compressed
    // (text) entry's data: verify names the entry and the volume holding it.
    for (const char *name : {"Src\\data\\noise.bin", "Src\\data\\text.txt"}) {
        const EntryHeader *damaged = nullptr;
        for (const ReadEntry &e : entries)
            damaged = e.header.name == name ? &e.header : damaged;
        ASSERT_NE(damaged, nullptr);
        uint64_t at = damaged->dataPosition + damaged->compressed / 2;
        std::string volume = VolumePath(Out(), unsigned(at / length));
        std::string bytes = ReadAll(volume);
        bytes[at % length] ^= 0x10;
        WriteAll(volume, bytes);
        RunResult r = Nvrpack({"verify", Out()});
        EXPECT_EQ(r.code, kExitBadInput);
        EXPECT_NE(r.err.find(std::string("\"") + name + "\""), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(BaseName(volume)), std::string::npos) << r.err;
        bytes[at % length] ^= 0x10;
        WriteAll(volume, bytes);
        EXPECT_EQ(Nvrpack({"verify", Out()}).code, kExitOk);
    }

    // A missing volume is named, by verify and by list.
    std::string last = VolumePath(Out(), h.volumeCount - 1);
    fs::remove(last);
    for (const char *command : {"verify", "list"}) {
        RunResult m = Nvrpack({command, Out()});
        EXPECT_EQ(m.code, kExitBadInput) << command;
        EXPECT_NE(m.err.find("volume file " + BaseName(last) + " is missing"), std::string::npos) << m.err;
    }
}

TEST_F(PackagerTest, ListAndVerifyRefuseWhatIsNoPackage)
{
    WriteAll(Out("short.exe"), std::string(100, 'x'));
    WriteAll(Out("plain.exe"), std::string(NVR_MODULE_LENGTH + 100, 'x'));
    for (const char *name : {"short.exe", "plain.exe", "missing.exe"}) {
        RunResult r = Nvrpack({"verify", Out(name)});
        EXPECT_EQ(r.code, kExitBadInput) << name;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

#if defined(NVRPACK_PATH) && !defined(_WIN32)
// The built program: exit codes and the one-line message reach the shell.
TEST_F(PackagerTest, ProgramExitCodes)
{
    auto status = [](const std::string &command) {
        int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    const std::string program = std::string("'") + NVRPACK_PATH + "'";
    const std::string err = (root_ / "err.txt").string();
    EXPECT_EQ(status(program + " --help >/dev/null"), kExitOk);
    EXPECT_EQ(status(program + " list 2>/dev/null"), kExitUsage);
    EXPECT_EQ(status(program + " verify '" + Out("none.exe") + "' 2>'" + err + "'"), kExitBadInput);
    EXPECT_EQ(ReadAll(err).rfind("nvrpack: ", 0), 0u);
    WriteAll(In("pkg.nvr"), std::string(kHeader));
    EXPECT_EQ(status(program + " build '" + In("pkg.nvr") + "' -o '" + Out() + "' --module '" + module_ + "' >/dev/null"),
              kExitOk);
    EXPECT_EQ(status(program + " verify '" + Out() + "' >/dev/null"), kExitOk);
}
#endif

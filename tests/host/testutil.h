// testutil.h -- helpers shared by the nvrpack tests: running nvrpack in
// process, whole-file reads and writes, random bytes, and a fixture with a
// fresh in/ and out/ folder per test (removed afterwards). Test code only.
#ifndef NVRPACK_TESTS_TESTUTIL_H
#define NVRPACK_TESTS_TESTUTIL_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "package/format.h"
#include "packager/cli.h"

namespace nvrpack_test {

namespace fs = std::filesystem;
using nvrpack::RunNvrpack;


struct RunResult {
    int code;
    std::string out;
    std::string err;
};

inline RunResult Nvrpack(const std::vector<std::string> &args)
{
    std::ostringstream out, err;
    int code = RunNvrpack(args, "", out, err);
    return RunResult{code, out.str(), err.str()};
}

inline std::string ReadAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const fs::path &path, const std::string &bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = char(random());
    return s;
}

// A fresh folder per test with in/ (descriptions, trees, module) and out/.
class PackagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() /
                (std::string("nvrpack-") + info->test_suite_name() + "-" + info->name() + "-" +
                 std::to_string(std::random_device()()));
        fs::create_directories(root_ / "in");
        fs::create_directories(root_ / "out");
        module_ = (root_ / "in" / "module.bin").string();
        WriteAll(module_, std::string("MZ") + std::string(NVR_MODULE_LENGTH - 2, 'm'));
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string In(const std::string &rel) const { return (root_ / "in" / rel).string(); }
    std::string Out(const std::string &rel = "Setup.exe") const { return (root_ / "out" / rel).string(); }

    // Writes in/pkg.nvr and builds it; extra arguments follow.
    RunResult Build(const std::string &description, std::vector<std::string> extra = {})
    {
        WriteAll(In("pkg.nvr"), description);
        std::vector<std::string> args = {"build", In("pkg.nvr"), "-o", Out(), "--module", module_};
        args.insert(args.end(), extra.begin(), extra.end());
        return Nvrpack(args);
    }

    size_t OutputFiles() const
    {
        size_t n = 0;
        for (auto it = fs::directory_iterator(root_ / "out"); it != fs::directory_iterator(); ++it)
            n++;
        return n;
    }

    fs::path root_;
    std::string module_;
};

const char kHeader[] = "[General]\nTitle=T\nLanguage=1\n";

}  // namespace nvrpack_test

#endif

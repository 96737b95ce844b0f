// test_peversion.cpp -- the PE version reader on images built here (PE32 and
// PE32+, damaged and hostile variants) and the FAT time conversion under
// fixed time zones. Builds its own bytes; reads no outside binaries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "package/format.h"
#include "packager/fattime.h"
#include "packager/peversion.h"
#include "packager/platform.h"

using namespace nvrpack;

namespace {

const uint32_t kRsrcRva = 0x1000;
const uint32_t kRsrcRaw = 0x200;

void Put16(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    if (b.size() < at + 2)
        b.resize(at + 2);
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// Offsets of the resource tree inside the section, for tests that damage it.
const uint32_t kRootDir = 0x00, kNameDir = 0x18, kLangDir = 0x30, kDataEntry = 0x48, kVersionInfo = 0x58;

// A minimal image: MZ stub, PE headers, one ".rsrc" section holding
// RT_VERSION/1/0x409 -> VS_VERSIONINFO with the given file version.
std::vector<uint8_t> MakePe(bool pe32Plus, uint32_t ms, uint32_t ls)
{
    std::vector<uint8_t> b(kRsrcRaw, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    std::memcpy(&b[0x40], "PE\0\0", 4);
    uint32_t optSize = pe32Plus ? 240 : 224;
    Put16(b, 0x44, pe32Plus ? 0x8664 : 0x14C);
    Put16(b, 0x46, 1);               // one section
    Put16(b, 0x54, optSize);
    uint32_t opt = 0x58;
    Put16(b, opt, pe32Plus ? 0x20B : 0x10B);
    uint32_t dirs = opt + (pe32Plus ? 112 : 96);
    Put32(b, dirs - 4, 16);          // NumberOfRvaAndSizes
    // Resource tree, relative to the section start.
    std::vector<uint8_t> r;
    Put16(r, kRootDir + 14, 1);
    Put32(r, kRootDir + 16, 16);     // RT_VERSION
    Put32(r, kRootDir + 20, 0x80000000u | kNameDir);
    Put16(r, kNameDir + 14, 1);
    Put32(r, kNameDir + 16, 1);
    Put32(r, kNameDir + 20, 0x80000000u | kLangDir);
    Put16(r, kLangDir + 14, 1);
    Put32(r, kLangDir + 16, 0x409);
    Put32(r, kLangDir + 20, kDataEntry);
    const char key[] = "VS_VERSION_INFO";
    uint32_t v = kVersionInfo;
    Put16(r, v + 2, 52);             // wValueLength: VS_FIXEDFILEINFO
    for (size_t i = 0; i < sizeof key; i++)
        Put16(r, v + 6 + 2 * i, uint8_t(key[i]));
    uint32_t fixed = v + 40;
    Put32(r, fixed, 0xFEEF04BDu);
    Put32(r, fixed + 4, 0x00010000u);
    Put32(r, fixed + 8, ms);
    Put32(r, fixed + 12, ls);
    Put32(r, fixed + 16, 0x00090000u);   // product version differs on purpose
    Put32(r, fixed + 48, 0);
    uint32_t infoSize = fixed + 52 - v;
    Put16(r, v, infoSize);
    Put32(r, kDataEntry, kRsrcRva + v);
    Put32(r, kDataEntry + 4, infoSize);
    r.resize((r.size() + 0x1FF) & ~size_t(0x1FF), 0);
    Put32(b, dirs + 2 * 8, kRsrcRva);
    Put32(b, dirs + 2 * 8 + 4, uint32_t(r.size()));
    uint32_t sec = opt + optSize;
    std::memcpy(&b[sec], ".rsrc", 5);
    Put32(b, sec + 8, uint32_t(r.size()));
    Put32(b, sec + 12, kRsrcRva);
    Put32(b, sec + 16, uint32_t(r.size()));
    Put32(b, sec + 20, kRsrcRaw);
    b.insert(b.end(), r.begin(), r.end());
    return b;
}

FileVersion Version(const std::vector<uint8_t> &image)
{
    MemorySource source(image.data(), image.size());
    return ReadPeVersion(source);
}

bool HasNoVersion(const FileVersion &v)
{
    return v.high == NVR_NO_VERSION && v.low == NVR_NO_VERSION;
}

}  // namespace

TEST(PeVersion, ReadsFileVersionFromPe32AndPe32Plus)
{
    for (bool plus : {false, true}) {
        FileVersion v = Version(MakePe(plus, 0x00020003, 0x00040005));
        EXPECT_EQ(v.high, 0x00020003u) << "PE32+=" << plus;
        EXPECT_EQ(v.low, 0x00040005u) << "PE32+=" << plus;
    }
}

TEST(PeVersion, DamagedImagesHaveNoVersion)
{
    struct Case {
        const char *what;
        size_t offset;     // in the image
        uint32_t value;
    };
    const size_t rsrc = kRsrcRaw;
    const Case cases[] = {
        {"no MZ", 0, 0x0000},
        {"e_lfanew past the end", 0x3C, 0x7FFFFFF0},
        {"no PE signature", 0x40, 0x00004551},
        {"no sections", 0x46, 0},
        {"unknown optional header magic", 0x58, 0x0107},
        {"resource type is not RT_VERSION", rsrc + kRootDir + 16, 3},
        {"type entry is a leaf", rsrc + kRootDir + 20, kNameDir},
        {"name directory outside the section", rsrc + kRootDir + 20, 0x80FFFFF0u},
        {"language entry is a directory", rsrc + kLangDir + 20, 0x80000000u | kRootDir},
        {"data RVA outside every section", rsrc + kDataEntry, 0x90000000u},
        {"data size too small", rsrc + kDataEntry + 4, 20},
        {"wrong key", rsrc + kVersionInfo + 6, 'X'},
        {"no fixed info", rsrc + kVersionInfo + 2, 0},
        {"wrong signature", rsrc + kVersionInfo + 40, 0xFEEF04BCu},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> image = MakePe(false, 0x00010002, 0x00030004);
        if (c.offset == 0 || c.offset == 0x46 || c.offset == 0x58 || c.offset == rsrc + kVersionInfo + 6 ||
            c.offset == rsrc + kVersionInfo + 2)
            Put16(image, c.offset, c.value);
        else
            Put32(image, c.offset, c.value);
        EXPECT_TRUE(HasNoVersion(Version(image))) << c.what;
    }
}

TEST(PeVersion, SelfReferencingDirectoryEnds)
{
    std::vector<uint8_t> image = MakePe(false, 1, 2);
    Put32(image, kRsrcRaw + kNameDir + 20, 0x80000000u | kNameDir);   // name dir points to itself
    EXPECT_TRUE(HasNoVersion(Version(image)));
}

TEST(PeVersion, EveryTruncationAndRandomDamageIsSafe)
{
    std::vector<uint8_t> image = MakePe(true, 0x00070008, 0x0009000A);
    for (size_t n = 0; n < image.size(); n++) {
        std::vector<uint8_t> cut(image.begin(), image.begin() + long(n));
        FileVersion v = Version(cut);
        // Only the tail padding after VS_FIXEDFILEINFO may go without loss.
        if (n < kRsrcRaw + kVersionInfo + 92)
            EXPECT_TRUE(HasNoVersion(v)) << "cut at " << n;
    }
    std::mt19937 random(12345);
    for (int round = 0; round < 20000; round++) {
        std::vector<uint8_t> bad = image;
        for (int flips = 1 + int(random() % 4); flips > 0; flips--)
            bad[random() % bad.size()] ^= uint8_t(1u << (random() % 8));
        Version(bad);   // must return, within bounds (run under ASan to see)
    }
}

TEST(PeVersion, TextAndEmptyFilesHaveNoVersion)
{
    const std::string text = "MZ is how this text begins, but it is no image.";
    EXPECT_TRUE(HasNoVersion(Version(std::vector<uint8_t>(text.begin(), text.end()))));
    EXPECT_TRUE(HasNoVersion(Version(std::vector<uint8_t>())));
    EXPECT_TRUE(HasNoVersion(ReadFileVersion("/nonexistent/file.dll")));
}

namespace {

// Sets TZ for one test and restores it afterwards.
class ZoneGuard {
public:
    explicit ZoneGuard(const char *zone)
    {
        const char *old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (old)
            old_ = old;
        SetEnvironment("TZ", zone);
        tzset();
    }
    ~ZoneGuard()
    {
        SetEnvironment("TZ", hadOld_ ? old_.c_str() : nullptr);
        tzset();
    }

private:
    bool hadOld_;
    std::string old_;
};

uint32_t Fat(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    return ((y - 1980) << 9 | mo << 5 | d) << 16 | (h << 11 | mi << 5 | s / 2);
}

}  // namespace

TEST(FatTime, LocalTimeInSeveralZones)
{
    const std::time_t y2k = 946684800;   // 2000-01-01 00:00:00 UTC
    struct Case {
        const char *zone;
        std::time_t when;
        uint32_t expected;
    };
    const Case cases[] = {
        {"UTC0", y2k, Fat(2000, 1, 1, 0, 0, 0)},
        {"KST-9", y2k, Fat(2000, 1, 1, 9, 0, 0)},
        {"EST5", y2k, Fat(1999, 12, 31, 19, 0, 0)},
        {"UTC0", y2k + 59, Fat(2000, 1, 1, 0, 0, 58)},     // odd seconds round down
        {"UTC0", y2k + 1, Fat(2000, 1, 1, 0, 0, 0)},
        {"UTC0", 0, kFatTimeMin},                          // 1970: before FAT's epoch
        {"UTC0", 315532800, Fat(1980, 1, 1, 0, 0, 0)},     // the first FAT instant
        {"KST-9", 315532800 - 9 * 3600, Fat(1980, 1, 1, 0, 0, 0)},
        {"UTC0", 4354819199LL, kFatTimeMax},               // 2107-12-31 23:59:59
        {"UTC0", 4354819200LL, kFatTimeMax},               // 2108: clamped
    };
    for (const Case &c : cases) {
        ZoneGuard zone(c.zone);
        EXPECT_EQ(FatTimeFromTime(c.when), c.expected) << c.zone << " " << c.when;
    }
}

TEST(FatTime, LeapSecondAndFormatting)
{
    std::tm t{};
    t.tm_year = 2016 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 60;
    EXPECT_EQ(FatTimeFromTm(t), Fat(2016, 12, 31, 23, 59, 58));
    EXPECT_EQ(FormatFatTime(Fat(2024, 2, 29, 13, 5, 6)), "2024-02-29 13:05:06");
    EXPECT_EQ(FormatFatTime(kFatTimeMin), "1980-01-01 00:00:00");
    EXPECT_EQ(FormatFatTime(kFatTimeMax), "2107-12-31 23:59:58");
}

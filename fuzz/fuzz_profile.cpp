// fuzz_profile.cpp -- libFuzzer target for the profile layer as the module
// reads and writes install information and journals. Part 0 of the input is an
// INI file; part 1 holds values, one a line, that are written and read back.
// Checked: presence test, string reads at buffer sizes 1..300 (heap buffers of
// exactly that size), number reads against a reference parse, and that a
// written value reads back as itself, trimmed. Must not write real files.
#include "fuzzcommon.h"
#include "win32shim.h"

#include "setupinfo/profile.h"

#define FUZZ_INI      "C:\\t\\info.ini"
#define FUZZ_KEYS_MAX 64       // keys of the INI text that are looked at
#define FUZZ_WRITES   16       // values of part 1 that are written

struct Expect {
    std::string section, key;  // as they stand in the text (names trimmed)
};

static std::string TrimAll(const std::string &s, const char *blanks)
{
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// Section and key names of the INI text, as the platform would see them.
static std::vector<Expect> Keys(const std::string &text)
{
    std::vector<Expect> keys;
    std::string section;
    size_t pos = 0;
    while (pos < text.size() && keys.size() < FUZZ_KEYS_MAX) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        line = TrimAll(line.substr(0, line.find('\0')), " \t\r\n\v\f\x1a");
        if (line.empty()) continue;
        if (line[0] == '[') {
            section = TrimAll(line.substr(1, line.rfind(']') - 1), " \t\r\n\v\f\x1a");
        } else if (line.find('=') != std::string::npos && line.find('=') > 0) {
            Expect e = {section, TrimAll(line.substr(0, line.find('=')), " \t\r\n\v\f\x1a")};
            if (!e.key.empty() && !e.section.empty()) keys.push_back(e);
        }
    }
    return keys;
}

// The platform's read of key at a large size, through the stand-in directly.
static std::string Raw(const Expect &e, const char *def)
{
    std::vector<char> buffer(4096);
    GetPrivateProfileStringA(e.section.c_str(), e.key.c_str(), def, buffer.data(), 4096, FUZZ_INI);
    return buffer.data();
}

static void ReadKey(const Expect &e, size_t index)
{
    const char *sec = e.section.c_str(), *key = e.key.c_str();
    bool exists = Raw(e, "$a$") != "$a$" || Raw(e, "$b$") != "$b$";
    FUZZ_CHECK(ProfileKeyExists(sec, key, FUZZ_INI) == (exists ? TRUE : FALSE));

    size_t size = 1 + index * 37 % 300;
    char *buffer = HeapText("", size);
    char *got = ProfileReadString(sec, key, "default", buffer, (int)size, FUZZ_INI);
    FUZZ_CHECK(got == buffer && strlen(buffer) < size);
    if (!exists) FUZZ_CHECK(strncmp(buffer, "default", size - 1) == 0);
    free(buffer);

    // A number is read only when the value, cut at 259 characters, starts like one.
    std::string value = exists ? Raw(e, "").substr(0, NVR_PATH_SIZE - 1) : "";
    size_t p = value.find_first_not_of(" \t");
    if (p != std::string::npos && (value[p] == '+' || value[p] == '-')) p++;
    long number = ProfileReadNumber(sec, key, -77, FUZZ_INI);
    if (!exists || p == std::string::npos || p >= value.size() || value[p] < '0' || value[p] > '9')
        FUZZ_CHECK(number == -77);
    else
        FUZZ_CHECK((uint32_t)number == (uint32_t)ParseLong(value.c_str()));
}

// value written, then read back: its trimmed self (for values the quoting
// covers). Characters the platform treats as line ends or blanks at the ends
// of a line are taken out first: they cannot stand in an INI value.
static void WriteBack(std::string value, int index)
{
    char key[16];
    std::string clean;
    for (size_t i = 0; i < value.size(); i++)
        if (!strchr("\r\n\v\f\x1a", value[i]) && value[i]) clean += value[i];
    snprintf(key, sizeof key, "K%d", index);
    FUZZ_CHECK(ProfileWriteString("Written", key, clean.c_str(), FUZZ_INI));
    if (clean.size() > NVR_PROFILE_QUOTE_LIMIT) return;
    std::vector<char> back(NVR_RECORD_SIZE + 8);
    ProfileReadString("Written", key, "", back.data(), (int)back.size(), FUZZ_INI);
    FUZZ_CHECK(std::string(back.data()) == TrimAll(clean, " \t"));

    long number = (long)(int32_t)(clean.size() * 2654435761u);
    FUZZ_CHECK(ProfileWriteNumber("Written", key, number, FUZZ_INI));
    FUZZ_CHECK(ProfileReadNumber("Written", key, 0, FUZZ_INI) == number);
    FUZZ_CHECK(ProfileWriteString("Written", key, NULL, FUZZ_INI));
    FUZZ_CHECK(!ProfileKeyExists("Written", key, FUZZ_INI));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = SplitInput(data, size, 2);
    ShimReset();
    ShimPutFile(FUZZ_INI, parts[0].data(), parts[0].size());
    std::vector<Expect> keys = Keys(parts[0]);
    for (size_t i = 0; i < keys.size(); i++) ReadKey(keys[i], i);
    if (parts.size() > 1) {
        size_t pos = 0;
        for (int i = 0; i < FUZZ_WRITES && pos <= parts[1].size(); i++) {
            size_t end = parts[1].find('\n', pos);
            if (end == std::string::npos) end = parts[1].size();
            WriteBack(parts[1].substr(pos, end - pos), i);
            pos = end + 1;
        }
    }
    FUZZ_CHECK(ShimOpenHandles() == 0);
    return 0;
}

// fuzz_toolkit.cpp -- libFuzzer target for the path and string toolkit: the
// input's lines are paths, records and numbers. Every operation works on heap
// buffers of exactly the promised size, so a write past a bound shows; results
// are checked against plain reference computations (comma fields joined again,
// numbers modulo 2^32, digits of the thousands format, case-folded compare,
// the folder walk ending). Must not write real files.
#include "fuzzcommon.h"
#include "win32shim.h"

#include <ctype.h>

#include "package/reader.h"
#include "setupinfo/toolkit.h"

#define FUZZ_MAX_LINES 16     // lines of one input that are used
#define FUZZ_WALK_MAX  300    // folder-walk steps before the walk counts as endless
#define FUZZ_WALKS     4      // lines of one input that are walked (the walk is slow)

static std::vector<std::string> Lines(const uint8_t *data, size_t size)
{
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < size && lines.size() < FUZZ_MAX_LINES; i++) {
        if (data[i] == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else if (data[i]) {
            cur += (char)data[i];
        }
    }
    if (lines.size() < FUZZ_MAX_LINES) lines.push_back(cur);
    return lines;
}

static void CheckPath(const char *text)
{
    FUZZ_CHECK(strlen(text) < NVR_PATH_SIZE);
}

// Every in-place path operation on an exact NVR_PATH_SIZE heap buffer.
static void InPlace(const std::string &line)
{
    typedef char *(*Operation)(char *);
    static const Operation ops[] = {Trim, TrimLeft, TrimRight, StripLeadingBackslashes,
                                    AddTrailingBackslash, RemoveTrailingBackslash, QuotePath,
                                    AnchorDrivePath};
    for (size_t i = 0; i < sizeof ops / sizeof ops[0]; i++) {
        char *buffer = HeapText(line, NVR_PATH_SIZE);
        CheckPath(ops[i](buffer));
        free(buffer);
    }
    char *buffer = HeapText(line, NVR_PATH_SIZE);
    CheckPath(ReplaceExtension(buffer, ".001"));
    free(buffer);
}

// Static-buffer operations on an input of any length.
static void Splitting(const std::string &line, const std::string &next)
{
    char *text = HeapText(line, line.size() + 1);
    char *other = HeapText(next, next.size() + 1);
    CheckPath(PathRoot(text));
    CheckPath(PathFolder(text));
    CheckPath(PathFileName(text));
    CheckPath(JoinPath(text, other));
    IsAbsolutePath(text);
    IsBlank(text);
    free(text);
    free(other);
}

// Bounded copies and appends at sizes taken from the text itself.
static void Bounded(const std::string &line, const std::string &next)
{
    int size = line.empty() ? 1 : 1 + (unsigned char)line[0] % 64;
    char *dst = HeapText(line, (size_t)size);
    char *src = HeapText(next, next.size() + 1);
    AppendBounded(size, dst, src);
    FUZZ_CHECK((int)strlen(dst) < size);
    CopyBounded(size, dst, src);
    FUZZ_CHECK(strncmp(dst, src, (size_t)size - 1) == 0);
    free(dst);
    free(src);
}

// The fields of a record joined with commas give the record back (cut at
// 1,559 characters); each field copy is the field cut at 259 characters.
static void CommaFields(const std::string &line)
{
    std::string record = line.substr(0, NVR_RECORD_SIZE - 1);
    size_t commas = 0;
    for (size_t i = 0; i < record.size(); i++) commas += record[i] == ',';
    char *text = HeapText(line, line.size() + 1);
    char *field = (char *)malloc(NVR_PATH_SIZE);
    std::string joined;
    for (size_t i = 0; i <= commas + 2; i++) {
        const char *got = NextCommaField(field, i == 0 ? text : NULL);
        FUZZ_CHECK(strncmp(field, got, NVR_PATH_SIZE - 1) == 0);
        FUZZ_CHECK(strlen(field) < NVR_PATH_SIZE);
        if (i <= commas) joined += (i ? "," : "") + std::string(got);
        else FUZZ_CHECK(got[0] == 0);   // used up: empty fields only
    }
    FUZZ_CHECK(joined == record);
    free(text);
    free(field);
}

static void Numbers(const std::string &line)
{
    char *text = HeapText(line, line.size() + 1);
    const char *p = text;
    uint32_t value = 0;
    bool negative = false;
    while (*p == ' ' || *p == '\t') p++;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    while (*p >= '0' && *p <= '9') value = value * 10u + (uint32_t)(*p++ - '0');
    FUZZ_CHECK((uint32_t)ParseLong(text) == (negative ? 0u - value : value));

    char digits[16];
    snprintf(digits, sizeof digits, "%u", value);
    std::string plain;
    const char *formatted = FormatThousands(value);
    size_t length = strlen(formatted);
    for (size_t i = 0; i < length; i++) {
        bool commaPlace = (length - i) % 4 == 0;
        FUZZ_CHECK((formatted[i] == ',') == commaPlace);
        if (!commaPlace) plain += formatted[i];
    }
    FUZZ_CHECK(plain == digits);
    free(text);
}

static int Sign(int v) { return (v > 0) - (v < 0); }

static void Compare(const std::string &a, const std::string &b)
{
    std::string la = a, lb = b;
    for (size_t i = 0; i < la.size(); i++) la[i] = (char)tolower((unsigned char)la[i]);
    for (size_t i = 0; i < lb.size(); i++) lb[i] = (char)tolower((unsigned char)lb[i]);
    int expected = Sign(strcmp(la.c_str(), lb.c_str()));
    FUZZ_CHECK(Sign(CompareNoCase(a.c_str(), b.c_str())) == expected);
    FUZZ_CHECK(Sign(CompareNoCase(b.c_str(), a.c_str())) == -expected);
}

// The folder walk ends, returns only folders it made, each within 259
// characters.
static void Walk(const std::string &line)
{
    char *text = HeapText(line, line.size() + 1);
    const char *made;
    int steps = 0;
    ShimReset();
    made = CreateNextMissingFolder(text);
    while (made && steps++ < FUZZ_WALK_MAX) {
        CheckPath(made);
        FUZZ_CHECK(GetFileAttributesA(made) == FILE_ATTRIBUTE_DIRECTORY);
        made = CreateNextMissingFolder(NULL);
    }
    FUZZ_CHECK(steps < FUZZ_WALK_MAX);
    free(text);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> lines = Lines(data, size);
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string &next = lines[(i + 1) % lines.size()];
        InPlace(lines[i]);
        Splitting(lines[i], next);
        Bounded(lines[i], next);
        CommaFields(lines[i]);
        Numbers(lines[i]);
        Compare(lines[i], next);
        if (i < FUZZ_WALKS) Walk(lines[i]);
    }
    return 0;
}

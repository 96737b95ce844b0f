// description.cpp -- parses the package description (see description.h and
// README.md). Checks everything that can be checked without the files; must
// not touch the source tree (the package plan walks it).
#include "description.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "package/format.h"
#include "packerror.h"

namespace fs = std::filesystem;

namespace nvrpack {

namespace {

const char kSectionGeneral[] = NVR_INFO_SECTION_GENERAL;
const char kSectionSource[] = "Source";
const char kSectionFiles[] = "Files";
const char kSectionDllFiles[] = NVR_INFO_SECTION_DLLS;
const char kSectionDllSources[] = "DLLSources";
const char kKeyFolder[] = "Folder";
const char kDllKeyPrefix[] = "DLL";
const unsigned long kMaxDllNumber = 1000000;   // far beyond any real package
const char kWindowsBadChars[] = "<>:\"|?*";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        b++;
    while (e > b && IsBlank(s[e - 1]))
        e--;
    return s.substr(b, e - b);
}

bool SameText(const std::string &a, const char *b)
{
    return FoldName(a) == FoldName(b);
}

// Length the module sees after its profile read removes one pair of
// enclosing quotes.
size_t ReadBackLength(const std::string &value)
{
    size_t n = value.size();
    if (n >= 2 && (value[0] == '"' || value[0] == '\'') && value[n - 1] == value[0])
        return n - 2;
    return n;
}

// Parser state: where we are, and the keys seen per section.
class Parser {
public:
    Parser(const std::string &name, const std::string &baseDir) : name_(name), baseDir_(baseDir) {}
    Description Run(const std::string &text);

private:
    [[noreturn]] void Fail(const std::string &message) const;
    std::string Where() const;
    void Line(const std::string &raw);
    void Section(const std::string &line);
    void Key(const std::string &key, const std::string &value);
    void General(const std::string &key, const std::string &value);
    void Source(const std::string &key, const std::string &value);
    void Files(const std::string &key, const std::string &value);
    void Dll(const std::string &key, const std::string &value, bool isSource);
    std::string Resolve(const std::string &value) const;
    void Finish();

    std::string name_;
    std::string baseDir_;
    int line_ = 0;
    std::string section_;                              // canonical name; empty before the first
    std::map<std::string, int> seen_;                  // "SECTION\nKEY" folded -> line
    bool hasTitle_ = false;
    std::map<unsigned long, std::string> dllLines_;
    std::map<unsigned long, std::string> dllSources_;
    Description d_;
};

void Parser::Fail(const std::string &message) const
{
    throw PackError(Where() + message);
}

std::string Parser::Where() const
{
    return line_ ? name_ + ":" + std::to_string(line_) + ": " : name_ + ": ";
}

Description Parser::Run(const std::string &text)
{
    d_.path = name_;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        Fail("starts with a UTF-8 byte order mark; save the description in the package's code page "
             "(CP949 for Korean, ASCII for English)");
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        line_++;
        Line(raw);
    }
    line_ = 0;
    Finish();
    return d_;
}

void Parser::Line(const std::string &raw)
{
    std::string line = raw;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#')
        return;
    if (line[0] == '[') {
        Section(line);
        return;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        Fail("expected \"[Section]\" or \"Key=Value\"");
    std::string key = Trim(line.substr(0, eq));
    if (key.empty())
        Fail("a line has no key before '='");
    if (section_.empty())
        Fail("key \"" + key + "\" stands before the first [Section]");
    std::string id = FoldName(section_) + "\n" + FoldName(key);
    auto it = seen_.find(id);
    if (it != seen_.end())
        Fail("key \"" + key + "\" repeats line " + std::to_string(it->second));
    seen_[id] = line_;
    Key(key, Trim(line.substr(eq + 1)));
}

void Parser::Section(const std::string &line)
{
    if (line.back() != ']')
        Fail("section header lacks ']'");
    std::string name = Trim(line.substr(1, line.size() - 2));
    for (const char *known : {kSectionGeneral, kSectionSource, kSectionFiles, kSectionDllFiles, kSectionDllSources}) {
        if (SameText(name, known)) {
            section_ = known;
            return;
        }
    }
    Fail("unknown section [" + name + "] (known: General, Source, Files, DLLFiles, DLLSources)");
}

void Parser::Key(const std::string &key, const std::string &value)
{
    if (section_ == kSectionGeneral)
        General(key, value);
    else if (section_ == kSectionSource)
        Source(key, value);
    else if (section_ == kSectionFiles)
        Files(key, value);
    else
        Dll(key, value, section_ == kSectionDllSources);
}

// Strict decimal: optional sign (when allowSign), digits only, in range.
bool ParseNumber(const std::string &text, bool allowSign, long long low, long long high, long long *out)
{
    size_t i = 0;
    bool negative = false;
    if (allowSign && i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    long long value = 0;
    for (; i < text.size(); i++) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
        if (value > high - low + 1)   // stop long before overflow
            return false;
    }
    value = negative ? -value : value;
    if (value < low || value > high)
        return false;
    *out = value;
    return true;
}

void Parser::General(const std::string &key, const std::string &value)
{
    long long number;
    if (SameText(key, NVR_INFO_KEY_TITLE)) {
        if (ReadBackLength(value) > NVR_INFO_TEXT_MAX)
            Fail("Title is longer than " + std::to_string(NVR_INFO_TEXT_MAX) + " bytes");
        d_.title = value;
        hasTitle_ = true;
    } else if (SameText(key, NVR_INFO_KEY_LANGUAGE)) {
        if (!ParseNumber(value, true, INT32_MIN, INT32_MAX, &number))
            Fail("Language must be a whole number (0 Korean, 1 English)");
        d_.language = long(number);
    } else if (SameText(key, NVR_INFO_KEY_DEF_FOLDER)) {
        if (ReadBackLength(value) > NVR_INFO_TEXT_MAX)
            Fail("DefInstallFolder is longer than " + std::to_string(NVR_INFO_TEXT_MAX) + " bytes");
        d_.defInstallFolder = value;
        d_.hasDefInstallFolder = true;
    } else if (SameText(key, NVR_INFO_KEY_SPACE)) {
        if (!ParseNumber(value, false, 0, UINT32_MAX, &number))
            Fail("SpaceNeeded must be a byte count from 0 to 4294967295");
        d_.spaceNeeded = uint32_t(number);
        d_.hasSpaceNeeded = true;
    } else {
        Fail("unknown key \"" + key + "\" in [General] (known: Title, Language, DefInstallFolder, SpaceNeeded)");
    }
}

std::string Parser::Resolve(const std::string &value) const
{
    fs::path p(value);
    if (p.is_absolute())
        return p.string();
    return (fs::path(baseDir_) / p).string();
}

void Parser::Source(const std::string &key, const std::string &value)
{
    if (!SameText(key, kKeyFolder))
        Fail("unknown key \"" + key + "\" in [Source] (known: Folder)");
    if (value.empty())
        Fail("[Source] Folder is empty");
    d_.sourceFolder = Resolve(value);
}

void Parser::Files(const std::string &key, const std::string &value)
{
    FileMapping m;
    m.installPath = CheckInstallPath(key, Where());
    m.line = line_;
    bool folder = m.installPath.back() == '\\';
    if (!folder && value.empty())
        Fail("file \"" + key + "\" names no local file (end the key with '\\' for an empty folder)");
    if (!value.empty())
        m.localPath = Resolve(value);
    d_.files.push_back(m);
}

// A DLL line is checked the way the module splits it: comma fields, each at
// most NVR_INFO_FIELD_MAX bytes, the first (the target) not empty.
void Parser::Dll(const std::string &key, const std::string &value, bool isSource)
{
    const char *section = isSource ? kSectionDllSources : kSectionDllFiles;
    size_t prefix = sizeof kDllKeyPrefix - 1;
    long long number = 0;
    std::string digits = key.size() > prefix ? key.substr(prefix) : "";
    if (FoldName(key.substr(0, prefix)) != kDllKeyPrefix || digits.empty() || digits[0] == '0' ||
        !ParseNumber(digits, false, 1, kMaxDllNumber, &number))
        Fail("unknown key \"" + key + "\" in [" + section + "] (expected DLL1, DLL2, ...)");
    if (value.empty())
        Fail(key + " in [" + section + "] is empty");
    if (isSource) {
        dllSources_[number] = Resolve(value);
        return;
    }
    if (value.size() > NVR_INFO_DLL_LINE_MAX)
        Fail(key + " is longer than " + std::to_string(NVR_INFO_DLL_LINE_MAX) + " bytes");
    size_t start = 0;
    for (size_t field = 1;; field++) {
        size_t comma = value.find(',', start);
        size_t len = (comma == std::string::npos ? value.size() : comma) - start;
        if (len > NVR_INFO_FIELD_MAX)
            Fail(key + ": field " + std::to_string(field) + " is longer than " +
                 std::to_string(NVR_INFO_FIELD_MAX) + " bytes");
        if (field == 1 && len == 0)
            Fail(key + " has no target path");
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    dllLines_[number] = value;
}

// Numbers must run 1..N without a gap; returns the values in order.
std::vector<std::string> Contiguous(const std::map<unsigned long, std::string> &keys, const std::string &section,
                                    const std::string &where)
{
    std::vector<std::string> values;
    unsigned long expected = 1;
    for (const auto &kv : keys) {
        if (kv.first != expected)
            throw PackError(where + "[" + section + "] has DLL" + std::to_string(kv.first) + " but no DLL" +
                            std::to_string(expected) + " (DLL keys must run from DLL1 without gaps)");
        values.push_back(kv.second);
        expected++;
    }
    return values;
}

void Parser::Finish()
{
    if (!hasTitle_)
        Fail("[General] Title is missing");
    d_.dllLines = Contiguous(dllLines_, kSectionDllFiles, Where());
    d_.dllSources = Contiguous(dllSources_, kSectionDllSources, Where());
    if (d_.dllLines.size() != d_.dllSources.size()) {
        size_t n = std::min(d_.dllLines.size(), d_.dllSources.size()) + 1;
        const char *missing = d_.dllLines.size() < d_.dllSources.size() ? kSectionDllFiles : kSectionDllSources;
        Fail("DLL" + std::to_string(n) + " is missing in [" + missing + "] (every DLL needs a line and a source)");
    }
}

}  // namespace

std::string FoldName(const std::string &name)
{
    std::string folded = name;
    for (size_t i = 0; i < folded.size(); i++) {
        unsigned char c = static_cast<unsigned char>(folded[i]);
        if (c >= 0x81 && c <= 0xFE)
            i++;   // lead byte: the trail byte is not a letter
        else if (c >= 'a' && c <= 'z')
            folded[i] = char(c - 'a' + 'A');
    }
    return folded;
}

std::string CheckInstallPath(const std::string &path, const std::string &where)
{
    std::string p = path;
    for (char &c : p) {
        if (c == '/')
            c = '\\';
    }
    if (p.empty())
        throw PackError(where + "install path is empty");
    if (p[0] == '\\' || (p.size() >= 2 && p[1] == ':'))
        throw PackError(where + "install path \"" + path + "\" is absolute (it must be relative to the install folder)");
    bool folder = p.back() == '\\';
    std::string body = folder ? p.substr(0, p.size() - 1) : p;
    size_t start = 0;
    for (;;) {
        size_t sep = body.find('\\', start);
        std::string part = body.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        if (part.empty())
            throw PackError(where + "install path \"" + path + "\" has an empty part");
        if (part == "." || part == "..")
            throw PackError(where + "install path \"" + path + "\" contains \"" + part +
                            "\" (it must stay inside the install folder)");
        for (char c : part) {
            if (static_cast<unsigned char>(c) < 0x20 || std::strchr(kWindowsBadChars, c))
                throw PackError(where + "install path \"" + path + "\" holds a character Windows does not allow in names");
        }
        if (part.back() == '.' || part.back() == ' ')
            throw PackError(where + "install path \"" + path + "\" has a part ending in '.' or ' ' (Windows drops it)");
        if (sep == std::string::npos)
            break;
        start = sep + 1;
    }
    return p;
}

Description ParseDescription(const std::string &text, const std::string &name, const std::string &baseDir)
{
    Parser parser(name, baseDir);
    return parser.Run(text);
}

Description LoadDescription(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PackError("cannot read description " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw PackError("cannot read description " + path);
    fs::path base = fs::path(path).parent_path();
    return ParseDescription(text.str(), path, base.empty() ? "." : base.string());
}

}  // namespace nvrpack

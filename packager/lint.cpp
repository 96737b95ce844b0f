// lint.cpp -- description checks for `nvrpack lint` (see lint.h). Reads the
// description line by line on its own, so that one mistake does not hide the
// next; the build's parser and planner run only once these checks pass.
#include "lint.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "description.h"
#include "package/format.h"
#include "packerror.h"
#include "packplan.h"

namespace nvrpack {

namespace {

const size_t kMaxPath = 259;                 // characters a Windows path holds
const size_t kDefaultInstallDirLength = 64;  // install folder without DefInstallFolder
const size_t kDllFields = 6;
const size_t kMaxLongPathFindings = 5;       // then one summary line
const size_t kMaxEditDistance = 2;           // "did you mean" threshold

struct Macro {
    const char *text;
    size_t typical;   // typical length of what it stands for
};

// The ten folder macros in expansion order, with lengths of typical values
// ("C:", "C:\WINDOWS", "C:\WINDOWS\system32", "C:\Program Files (x86)", ...).
// {InstallDir} is estimated from DefInstallFolder instead.
const Macro kMacros[] = {
    {"{WinDrive}", 2},       {"{WinDir}", 10},     {"{WinSysDir}", 19},      {"{ProgramFiles}", 22},
    {"{CommonFiles}", 35},   {"{InstallDrive}", 2}, {"{InstallDir}", 0},     {"{InstallFileDrive}", 2},
    {"{InstallFileDir}", 64}, {"{TempDir}", 64},
};
const char kInstallDir[] = "{InstallDir}";
const char *const kEscapes[] = {"{{}", "{}}"};

// One "Key=Value" line of the description.
struct Line {
    int number;
    std::string section;   // canonical section name
    std::string key;
    std::string value;
};

std::string Trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool SameText(const std::string &a, const std::string &b)
{
    return FoldName(a) == FoldName(b);
}

size_t EditDistance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// Length the module sees after removing one pair of enclosing quotes.
size_t ReadBackLength(const std::string &value)
{
    size_t n = value.size();
    if (n >= 2 && (value[0] == '"' || value[0] == '\'') && value[n - 1] == value[0])
        return n - 2;
    return n;
}

// The module's number reading: blanks, a sign, digits; no number reads as 0.
long ReadNumber(const std::string &text)
{
    return std::strtol(text.c_str(), nullptr, 10);
}

bool IsAbsolute(const std::string &path)
{
    return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           path.compare(0, 2, "\\\\") == 0;
}

class Linter {
public:
    Linter(const std::string &name, const std::string &baseDir) : name_(name), baseDir_(baseDir) {}
    std::vector<Finding> Run(const std::string &text);

private:
    void Add(Severity s, int line, const std::string &message) { findings_.push_back(Finding{s, line, message}); }
    void Scan(const std::string &text);
    size_t Expand(const std::string &text, int line, const std::string &what, std::vector<std::string> *found);
    void General();
    void DefInstallFolder(const Line &l);
    void Dlls();
    void DllLine(const Line &l);
    void Korean();
    void Plan();
    const Line *Find(const char *section, const char *key) const;

    std::string name_, baseDir_;
    std::vector<Line> lines_;
    std::vector<Finding> findings_;
    size_t installDirLength_ = kDefaultInstallDirLength;  // estimate of the expanded install folder
    std::string textCopy_;                                 // the description, for the build's parser
    bool korean_ = true;                                   // Language 0
};

void Linter::Scan(const std::string &text)
{
    static const char *const kSections[] = {NVR_INFO_SECTION_GENERAL, "Source", "Files", NVR_INFO_SECTION_DLLS,
                                            "DLLSources"};
    std::istringstream in(text);
    std::string raw, section;
    std::map<std::string, int> seen;
    for (int number = 1; std::getline(in, raw); number++) {
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            std::string name = Trim(line.substr(1, line.size() - (line.back() == ']' ? 2 : 1)));
            section = "?";
            for (const char *known : kSections)
                section = SameText(name, known) ? known : section;
            if (section == "?")
                Add(Severity::Error, number, "unknown section [" + name + "]");
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            Add(Severity::Error, number, "expected \"[Section]\" or \"Key=Value\"");
            continue;
        }
        Line l{number, section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
        if (section.empty())
            Add(Severity::Error, number, "key \"" + l.key + "\" stands before the first [Section]");
        std::string id = FoldName(section + "\n" + l.key);
        if (seen.count(id))
            Add(Severity::Error, number, "key \"" + l.key + "\" repeats line " + std::to_string(seen[id]));
        seen[id] = number;
        lines_.push_back(l);
    }
}

const Line *Linter::Find(const char *section, const char *key) const
{
    for (const Line &l : lines_) {
        if (l.section == section && SameText(l.key, key))
            return &l;
    }
    return nullptr;
}

// Checks every brace word of a path with macros and estimates its length
// once expanded; found receives the folder macros it uses.
size_t Linter::Expand(const std::string &text, int line, const std::string &what, std::vector<std::string> *found)
{
    size_t length = 0;
    for (size_t i = 0; i < text.size();) {
        bool escape = false;
        for (const char *e : kEscapes)
            escape = escape || text.compare(i, 3, e) == 0;
        size_t close = text.find('}', i + 1);
        if (escape || text[i] != '{' || close == std::string::npos) {
            length += 1;
            i += escape ? 3 : 1;
            continue;
        }
        std::string word = text.substr(i, close + 1 - i);
        const Macro *exact = nullptr, *near = nullptr;
        size_t best = kMaxEditDistance + 1;
        for (const Macro &m : kMacros) {
            if (word == m.text)
                exact = &m;
            size_t d = EditDistance(FoldName(word), FoldName(m.text));
            if (d < best)
                best = d, near = &m;
        }
        if (exact) {
            found->push_back(word);
            length += word == kInstallDir ? installDirLength_ : exact->typical;
        } else {
            length += word.size();
            if (near && best == 0)
                Add(Severity::Warning, line, what + ": " + word + " is not a macro (macros are case-sensitive); write " +
                                                 near->text);
            else if (near)
                Add(Severity::Warning, line, what + ": " + word + " is not a macro; did you mean " + near->text + "?");
            else
                Add(Severity::Warning, line, what + ": " + word + " is no macro and stays in the path as it is");
        }
        i = close + 1;
    }
    return length;
}

void Linter::General()
{
    for (const char *key : {NVR_INFO_KEY_TITLE, NVR_INFO_KEY_DEF_FOLDER}) {
        const Line *l = Find(NVR_INFO_SECTION_GENERAL, key);
        if (l && ReadBackLength(l->value) > NVR_INFO_TEXT_MAX)
            Add(Severity::Error, l->number, std::string(key) + " is " + std::to_string(ReadBackLength(l->value)) +
                                                " bytes; the install module reads at most " +
                                                std::to_string(NVR_INFO_TEXT_MAX));
    }
    if (!Find(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_TITLE))
        Add(Severity::Error, 0, "[General] Title is missing");
    if (const Line *l = Find(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_DEF_FOLDER))
        DefInstallFolder(*l);
}

void Linter::DefInstallFolder(const Line &l)
{
    const std::string what = "DefInstallFolder";
    if (l.value.empty())
        return;
    std::vector<std::string> macros;
    size_t length = Expand(l.value, l.number, what, &macros);
    installDirLength_ = length;
    if (length > kMaxPath)
        Add(Severity::Warning, l.number, what + " may be " + std::to_string(length) +
                                             " characters once expanded; Windows paths hold " + std::to_string(kMaxPath));
    auto uses = [&](const char *m) { return std::find(macros.begin(), macros.end(), m) != macros.end(); };
    if (IsAbsolute(l.value)) {
        if (l.value[1] == ':')
            Add(Severity::Warning, l.number, what + " names drive " + l.value.substr(0, 2) +
                                                 ", proposed as it is even where that drive is missing or Windows "
                                                 "lives on another; start with {ProgramFiles} or {WinDrive}");
    } else if (uses("{InstallDir}") || uses("{InstallDrive}")) {
        Add(Severity::Warning, l.number, what + ": {InstallDir} and {InstallDrive} are empty when the folder page "
                                                "opens, so the folder is proposed relative to the package's folder");
    } else if (uses("{InstallFileDrive}") || uses("{InstallFileDir}")) {
        Add(Severity::Warning, l.number, what + " is proposed on the drive the package is started from "
                                                "(a CD-ROM or network drive), not the Windows drive");
    } else if (macros.empty()) {
        Add(Severity::Warning, l.number, what + " has no folder macro: it is proposed relative to the package's "
                                                "folder (from a CD-ROM or removable disk, to the root of the Windows "
                                                "drive); start it with {ProgramFiles}");
    }
}

void Linter::Dlls()
{
    std::map<long, int> numbers[2];   // [DLLFiles], [DLLSources]: number -> line
    for (const Line &l : lines_) {
        int which = l.section == NVR_INFO_SECTION_DLLS ? 0 : l.section == "DLLSources" ? 1 : -1;
        if (which < 0)
            continue;
        std::string digits = l.key.size() > 3 ? l.key.substr(3) : "";
        if (!SameText(l.key.substr(0, 3), "DLL") || digits.empty() || digits[0] == '0' ||
            digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) {
            Add(Severity::Error, l.number, "unknown key \"" + l.key + "\" in [" + l.section + "] (expected DLL1, DLL2, ...)");
            continue;
        }
        numbers[which][std::atol(digits.c_str())] = l.number;
        if (which == 0)
            DllLine(l);
    }
    const char *names[2] = {NVR_INFO_SECTION_DLLS, "DLLSources"};
    for (int which = 0; which < 2; which++) {
        long expected = 1;
        for (const auto &kv : numbers[which]) {
            if (kv.first != expected) {
                Add(Severity::Error, kv.second, "[" + std::string(names[which]) + "] has DLL" +
                                                    std::to_string(kv.first) + " but no DLL" + std::to_string(expected) +
                                                    ": the install module stops reading at the gap");
                break;
            }
            expected++;
        }
        for (const auto &kv : numbers[which]) {
            if (!numbers[1 - which].count(kv.first))
                Add(Severity::Error, kv.second, "DLL" + std::to_string(kv.first) + " has no line in [" +
                                                    names[1 - which] + "]");
        }
    }
}

void Linter::DllLine(const Line &l)
{
    static const char *const kFlagNames[] = {"shared flag", "register flag", "type-library flag"};
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        size_t comma = l.value.find(',', start);
        fields.push_back(l.value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    const std::string key = l.key;
    if (fields.size() < kDllFields)
        Add(Severity::Warning, l.number, key + " has " + std::to_string(fields.size()) +
                                             " fields of 6; the missing ones read as empty (0, false)");
    if (fields.size() > kDllFields)
        Add(Severity::Warning, l.number, key + " has " + std::to_string(fields.size()) +
                                             " fields; the module ignores those after the sixth");
    fields.resize(std::max(fields.size(), kDllFields));
    const std::string &target = fields[0];
    std::vector<std::string> macros;
    size_t length = Expand(target, l.number, key + " target", &macros);
    if (target.empty())
        Add(Severity::Error, l.number, key + " has no target path");
    else if (!IsAbsolute(target) && (macros.empty() || target.compare(0, macros[0].size(), macros[0]) != 0))
        Add(Severity::Error, l.number, key + " target \"" + target + "\" is relative: it would land in whatever "
                                             "folder the installer runs in; start it with a folder macro such as "
                                             "{WinSysDir} or {InstallDir}");
    if (length > kMaxPath)
        Add(Severity::Warning, l.number, key + " target may be " + std::to_string(length) +
                                             " characters once expanded; Windows paths hold " + std::to_string(kMaxPath));
    long mode = ReadNumber(fields[1]);
    if (mode < 0 || mode > 2)
        Add(Severity::Warning, l.number, key + " replace mode \"" + fields[1] + "\" reads as " + std::to_string(mode) +
                                             ": the file is never replaced (0 ask, 1 newer, 2 always)");
    else if (fields[1] != std::to_string(mode))
        Add(Severity::Warning, l.number, key + " replace mode \"" + fields[1] + "\" reads as " + std::to_string(mode));
    long removal = ReadNumber(fields[2]);
    if (fields[2] != "0" && fields[2] != "1")
        Add(Severity::Warning, l.number, key + " removal flag \"" + fields[2] + "\" reads as " +
                                             std::to_string(removal) + "; write 0 or 1 (only 1 removes the file on " +
                                             "rollback)");
    for (size_t f = 3; f < kDllFields; f++) {
        if (fields[f] != "1" && fields[f] != "0" && !fields[f].empty())
            Add(Severity::Warning, l.number, key + " " + kFlagNames[f - 3] + " \"" + fields[f] +
                                                 "\" counts as false: only exactly \"1\" is true");
    }
}

void Linter::Korean()
{
    const Line *language = Find(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_LANGUAGE);
    if (language && ReadNumber(language->value) != 0)
        return;
    for (const Line &l : lines_) {
        bool text = (l.section == NVR_INFO_SECTION_GENERAL &&
                     (SameText(l.key, NVR_INFO_KEY_TITLE) || SameText(l.key, NVR_INFO_KEY_DEF_FOLDER))) ||
                    l.section == NVR_INFO_SECTION_DLLS;
        size_t bad = 0;
        if (text && !IsValidCp949(l.value, &bad))
            Add(Severity::Error, l.number, l.key + " is not valid CP949 at byte " + std::to_string(bad + 1) +
                                               " (saved as UTF-8?); a Korean package shows it garbled");
        if (l.section == "Files" && !IsValidCp949(l.key, &bad))
            Add(Severity::Error, l.number, "install path \"" + l.key + "\" is not valid CP949 at byte " +
                                               std::to_string(bad + 1) + " (saved as UTF-8?)");
    }
}

// Parses and plans as a build would; reports the first failure, and checks
// the planned entries' names (length once installed, CP949).
void Linter::Plan()
{
    PackagePlan plan;
    try {
        Description d = ParseDescription(textCopy_, name_, baseDir_);
        plan = PlanPackage(d);
        korean_ = d.language == 0;
    } catch (const PackError &e) {
        std::string message = e.what();
        int line = 0;
        std::string prefix = name_ + ":";
        if (message.compare(0, prefix.size(), prefix) == 0) {
            size_t end = message.find(": ", prefix.size());
            line = std::atoi(message.c_str() + prefix.size());
            if (line > 0 && end != std::string::npos)
                message = message.substr(end + 2);
            else if (message.compare(prefix.size(), 1, " ") == 0)
                message = message.substr(prefix.size() + 1);
        }
        Add(Severity::Error, line, message);
        return;
    }
    const size_t prefix = std::strlen(NVR_SOURCE_PREFIX);
    size_t longPaths = 0;
    for (const PlanEntry &e : plan.entries) {
        if (e.name.compare(0, prefix, NVR_SOURCE_PREFIX) != 0)
            continue;
        size_t length = installDirLength_ + 1 + e.name.size() - prefix;
        if (length > kMaxPath && ++longPaths <= kMaxLongPathFindings)
            Add(Severity::Warning, 0, "\"" + e.name + "\" may be " + std::to_string(length) +
                                          " characters once installed below the install folder; Windows paths hold " +
                                          std::to_string(kMaxPath));
        size_t bad = 0;
        if (korean_ && !IsValidCp949(e.name, &bad))
            Add(Severity::Error, 0, "entry \"" + e.name + "\" is not valid CP949 at byte " + std::to_string(bad + 1) +
                                        " (a UTF-8 file name?); a Korean package installs it garbled");
    }
    if (longPaths > kMaxLongPathFindings)
        Add(Severity::Warning, 0, std::to_string(longPaths - kMaxLongPathFindings) + " more entries may exceed " +
                                      std::to_string(kMaxPath) + " characters once installed");
}

std::vector<Finding> Linter::Run(const std::string &text)
{
    textCopy_ = text;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        Add(Severity::Error, 1, "starts with a UTF-8 byte order mark; save the description in the package's code page");
    Scan(text);
    General();
    Dlls();
    Korean();
    bool errors = std::any_of(findings_.begin(), findings_.end(),
                              [](const Finding &f) { return f.severity == Severity::Error; });
    if (!errors)
        Plan();
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding &a, const Finding &b) {
        return (a.line ? a.line : INT_MAX) < (b.line ? b.line : INT_MAX);
    });
    return findings_;
}

}  // namespace

bool IsValidCp949(const std::string &text, size_t *badOffset)
{
    for (size_t i = 0; i < text.size(); i++) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80)
            continue;
        bool ok = false;
        if (lead >= 0x81 && lead <= 0xFE && i + 1 < text.size()) {
            unsigned char trail = static_cast<unsigned char>(text[i + 1]);
            if (lead <= 0xC6)
                ok = (trail >= 0x41 && trail <= 0x5A) || (trail >= 0x61 && trail <= 0x7A) || (trail >= 0x81 && trail <= 0xFE);
            else
                ok = trail >= 0xA1 && trail <= 0xFE;
        }
        if (!ok) {
            *badOffset = i;
            return false;
        }
        i++;
    }
    return true;
}

size_t MacroTypicalLength(const std::string &macro)
{
    for (const Macro &m : kMacros) {
        if (macro == m.text)
            return macro == kInstallDir ? kDefaultInstallDirLength : m.typical;
    }
    return 0;
}

std::vector<Finding> LintDescription(const std::string &text, const std::string &name, const std::string &baseDir)
{
    Linter linter(name, baseDir);
    return linter.Run(text);
}

std::vector<Finding> LintFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PackError("cannot read description " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    std::filesystem::path base = std::filesystem::path(path).parent_path();
    return LintDescription(text.str(), path, base.empty() ? "." : base.string());
}

}  // namespace nvrpack

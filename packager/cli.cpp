// cli.cpp -- command-line parsing and dispatch (see cli.h). Must keep the
// help texts in step with README.md (a test compares them).
#include "cli.h"

#include <cstdlib>
#include <ctime>

#include "compress.h"
#include "description.h"
#include "extract.h"
#include "fattime.h"
#include "lint.h"
#include "package/format.h"
#include "packerror.h"
#include "packplan.h"
#include "packread.h"
#include "packwriter.h"
#include "progress.h"

namespace nvrpack {

namespace {

const char kMainHelp[] =
    "usage: nvrpack COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  build DESCRIPTION -o SETUP.EXE [OPTIONS]\n"
    "                        write a package from a package description\n"
    "  lint DESCRIPTION      check a description for mistakes without building\n"
    "  list [--json] SETUP.EXE\n"
    "                        one line (or JSON object) per entry: sizes, CRC-32,\n"
    "                        time, version, name\n"
    "  verify SETUP.EXE      read every entry in every volume and check its data\n"
    "  extract SETUP.EXE DIR write every entry as a file below DIR\n"
    "\n"
    "nvrpack COMMAND --help describes a command.\n"
    "Exit codes: 0 success, 1 bad input or a damaged package (lint: errors),\n"
    "2 bad command line, 3 lint found warnings only.\n";

const char kBuildHelp[] =
    "usage: nvrpack build DESCRIPTION -o SETUP.EXE [--module FILE]\n"
    "                     [--volume-length N | --floppy | --cd]\n"
    "                     [--level N | --level max] [--jobs N] [--quiet]\n"
    "\n"
    "Writes the install module, then the install information entry \"IFII\", the\n"
    "source entries \"Src\\...\" (sorted by name bytes) and DLL1..DLLn.\n"
    "\n"
    "  -o, --output FILE    package to write; volume files replace its extension\n"
    "                       (Setup.exe -> Setup.001, Setup.002, ...)\n"
    "  --module FILE        install module (exactly 51200 bytes); default:\n"
    "                       the module this nvrpack was built with\n"
    "  --volume-length N    cut the package into volume files of N bytes\n"
    "                       (51218 <= N <= 4294967295; at most 255 volumes)\n"
    "  --floppy             --volume-length 1457664\n"
    "  --cd                 --volume-length 681574400\n"
    "  --level N            compression level, 1 (fastest) to the maximum\n"
    "                       (12 with libdeflate, 9 with zlib only); default 6\n"
    "  --level max          the maximum level: smallest package, slowest\n"
    "  --jobs N             compress on N threads (default: one per core); the\n"
    "                       package is the same for every N\n"
    "  -q, --quiet          no progress bar (it is shown only on a terminal)\n"
    "\n"
    "SOURCE_DATE_EPOCH, when set, gives every entry that time (UTC) instead of\n"
    "the files' times, so that equal input gives equal bytes anywhere.\n"
    "Nothing is written unless the whole package is: files go to temporary\n"
    "names beside the output and are renamed at the end.\n";

const char kLintHelp[] =
    "usage: nvrpack lint DESCRIPTION\n"
    "\n"
    "Checks a description for mistakes a build may not catch: misspelt or\n"
    "lower-case macros, DLL keys with gaps, DLL fields the install module reads\n"
    "differently than written, relative DLL targets, a default folder proposed\n"
    "on an unexpected drive, paths that may exceed 259 characters once\n"
    "installed, texts over 259 bytes, texts that are not CP949 in a Korean\n"
    "package, and everything a build refuses. Prints one line per finding.\n"
    "Exit codes: 0 no findings, 3 warnings only, 1 errors.\n";

const char kListHelp[] =
    "usage: nvrpack list [--json] SETUP.EXE\n"
    "\n"
    "Prints one line per entry, in package order:\n"
    "  SIZE PACKED CRC32 YYYY-MM-DD HH:MM:SS VERSION NAME\n"
    "VERSION is major.minor.build.revision, or - when the file has none.\n"
    "--json prints one JSON document instead. Reads the headers only, but\n"
    "checks that every volume file is there and long enough.\n";

const char kVerifyHelp[] =
    "usage: nvrpack verify SETUP.EXE\n"
    "\n"
    "Reads the package header and every entry across all volume files,\n"
    "inflates the data and checks lengths and CRC-32. On the first damaged\n"
    "entry or missing volume it names both and exits with 1.\n";

const char kExtractHelp[] =
    "usage: nvrpack extract SETUP.EXE DIR\n"
    "\n"
    "Writes every entry below DIR (created when missing): IFII as setup.ini,\n"
    "Src\\a\\b.txt as DIR/Src/a/b.txt, DLLn as DIR/DLLn, folder entries as\n"
    "folders; each file gets its entry's time. Data is checked as verify does;\n"
    "on the first damaged entry or missing volume it names both, removes that\n"
    "entry's file and exits with 1.\n";

bool IsHelp(const std::string &arg)
{
    return arg == "--help" || arg == "-h";
}

// Parses a volume length: decimal digits only, within the format's range.
uint32_t ParseVolumeLength(const std::string &text)
{
    unsigned long long value = 0;
    if (text.empty())
        throw UsageError("--volume-length needs a number");
    for (char c : text) {
        if (c < '0' || c > '9')
            throw UsageError("--volume-length \"" + text + "\" is not a decimal number");
        value = value * 10 + unsigned(c - '0');
        if (value > UINT32_MAX)
            throw UsageError("--volume-length " + text + " is above 4294967295");
    }
    if (value < NVR_MIN_VOLUME_LENGTH)
        throw UsageError("--volume-length " + text + " is below the minimum " +
                         std::to_string(NVR_MIN_VOLUME_LENGTH) +
                         " (the install module, the package header and one more byte)");
    return uint32_t(value);
}

struct BuildArgs {
    std::string description;
    WriteOptions options;
    bool volumeGiven = false;
    bool quiet = false;
};

const unsigned kMaxJobs = 1024;

// --level: 1..MaxLevel() or "max".
int ParseLevel(const std::string &text)
{
    if (text == "max")
        return MaxLevel();
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(text) < kMinLevel || std::stoi(text) > MaxLevel())
        throw UsageError("--level \"" + text + "\" is not a level from " + std::to_string(kMinLevel) + " to " +
                         std::to_string(MaxLevel()) + " or max");
    return std::stoi(text);
}

unsigned ParseJobs(const std::string &text)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(text) < 1 || std::stoul(text) > kMaxJobs)
        throw UsageError("--jobs \"" + text + "\" is not a thread count from 1 to " + std::to_string(kMaxJobs));
    return unsigned(std::stoul(text));
}

// SOURCE_DATE_EPOCH: when set (and not empty), the time of every entry.
PlanOptions PlanOptionsFromEnvironment()
{
    PlanOptions options;
    const char *epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch)
        return options;
    std::string text = epoch;
    const size_t kMaxDigits = 12;
    if (text.size() > kMaxDigits || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("SOURCE_DATE_EPOCH \"" + text + "\" is not a count of seconds since 1970");
    options.fixedTime = true;
    options.time = FatTimeFromUtc(std::time_t(std::stoll(text)));
    return options;
}

BuildArgs ParseBuild(const std::vector<std::string> &args, const std::string &defaultModule)
{
    BuildArgs b;
    b.options.module = defaultModule;
    auto value = [&](size_t *i) -> const std::string & {
        if (*i + 1 >= args.size())
            throw UsageError(args[*i] + " needs a value");
        return args[++*i];
    };
    auto volume = [&](uint32_t length) {
        if (b.volumeGiven)
            throw UsageError("give only one of --volume-length, --floppy and --cd");
        b.volumeGiven = true;
        b.options.volumeLength = length;
    };
    for (size_t i = 1; i < args.size(); i++) {
        const std::string &a = args[i];
        if (a == "-o" || a == "--output")
            b.options.output = value(&i);
        else if (a == "--module")
            b.options.module = value(&i);
        else if (a == "--volume-length")
            volume(ParseVolumeLength(value(&i)));
        else if (a == "--floppy")
            volume(NVR_FLOPPY_VOLUME_LENGTH);
        else if (a == "--cd")
            volume(NVR_CD_VOLUME_LENGTH);
        else if (a == "--level")
            b.options.level = ParseLevel(value(&i));
        else if (a == "--jobs")
            b.options.jobs = ParseJobs(value(&i));
        else if (a == "-q" || a == "--quiet")
            b.quiet = true;
        else if (!a.empty() && a[0] == '-')
            throw UsageError("build: unknown option " + a);
        else if (b.description.empty())
            b.description = a;
        else
            throw UsageError("build: more than one description (" + b.description + ", " + a + ")");
    }
    if (b.description.empty())
        throw UsageError("build: no description given");
    if (b.options.output.empty())
        throw UsageError("build: no output given (-o SETUP.EXE)");
    if (b.options.module.empty())
        throw UsageError("build: this nvrpack knows no default install module; give --module FILE");
    return b;
}

int Build(const std::vector<std::string> &args, const std::string &defaultModule, std::ostream &out,
          std::ostream &err, bool errIsTerminal)
{
    BuildArgs b = ParseBuild(args, defaultModule);
    PlanOptions planOptions = PlanOptionsFromEnvironment();
    Description description = LoadDescription(b.description);
    PackagePlan plan = PlanPackage(description, planOptions);
    ProgressBar bar(err, errIsTerminal && !b.quiet);
    b.options.progress = [&bar](const WriteProgress &p) { bar.Update(p); };
    WriteResult result;
    try {
        result = WritePackage(plan, b.options);
    } catch (...) {
        bar.Finish();
        throw;
    }
    bar.Finish();
    out << b.options.output << ": " << plan.entries.size() << (plan.entries.size() == 1 ? " entry, " : " entries, ")
        << result.volumes
        << (result.volumes == 1 ? " volume, " : " volumes, ") << result.length << " bytes\n";
    return kExitOk;
}

// The plain (non-option) arguments of a command, which must number count;
// options other than the allowed flag are refused.
std::vector<std::string> Operands(const std::vector<std::string> &args, size_t count, const char *what,
                                  const char *flag = nullptr, bool *flagGiven = nullptr)
{
    std::vector<std::string> operands;
    for (size_t i = 1; i < args.size(); i++) {
        if (flag && args[i] == flag)
            *flagGiven = true;
        else if (!args[i].empty() && args[i][0] == '-')
            throw UsageError(args[0] + ": unknown option " + args[i]);
        else
            operands.push_back(args[i]);
    }
    if (operands.size() != count)
        throw UsageError(args[0] + ": give " + what + " (see nvrpack " + args[0] + " --help)");
    return operands;
}

// Prints the findings and the summary; returns the exit code.
int Lint(const std::vector<std::string> &args, std::ostream &out)
{
    std::string path = Operands(args, 1, "exactly one description")[0];
    std::vector<Finding> findings = LintFile(path);
    size_t errors = 0, warnings = 0;
    for (const Finding &f : findings) {
        bool error = f.severity == Severity::Error;
        (error ? errors : warnings)++;
        out << path << (f.line ? ":" + std::to_string(f.line) : std::string()) << ": "
            << (error ? "error: " : "warning: ") << f.message << "\n";
    }
    if (findings.empty())
        out << path << ": no problems found\n";
    else
        out << path << ": " << errors << (errors == 1 ? " error, " : " errors, ") << warnings
            << (warnings == 1 ? " warning\n" : " warnings\n");
    return errors ? kExitBadInput : warnings ? kExitLintWarnings : kExitOk;
}

}  // namespace

const char *HelpOf(const std::string &command)
{
    static const struct {
        const char *command;
        const char *help;
    } kHelps[] = {{"", kMainHelp},           {"build", kBuildHelp},   {"lint", kLintHelp},
                  {"list", kListHelp},       {"verify", kVerifyHelp}, {"extract", kExtractHelp}};
    for (const auto &h : kHelps) {
        if (command == h.command)
            return h.help;
    }
    return nullptr;
}

int RunNvrpack(const std::vector<std::string> &args, const std::string &defaultModule, std::ostream &out,
               std::ostream &err, bool errIsTerminal)
{
    try {
        if (args.empty())
            throw UsageError("no command given (see nvrpack --help)");
        const std::string &command = args[0];
        if (IsHelp(command)) {
            out << kMainHelp;
            return kExitOk;
        }
        const char *help = command.empty() ? nullptr : HelpOf(command);
        if (!help)
            throw UsageError("unknown command \"" + command + "\" (see nvrpack --help)");
        for (size_t i = 1; i < args.size(); i++) {
            if (IsHelp(args[i])) {
                out << help;
                return kExitOk;
            }
        }
        if (command == "build")
            return Build(args, defaultModule, out, err, errIsTerminal);
        if (command == "lint")
            return Lint(args, out);
        if (command == "list") {
            bool json = false;
            std::string package = Operands(args, 1, "exactly one package file", "--json", &json)[0];
            ListPackage(package, out, json);
        } else if (command == "verify") {
            VerifyPackage(Operands(args, 1, "exactly one package file")[0], out);
        } else {
            std::vector<std::string> operands = Operands(args, 2, "a package file and a folder");
            ExtractPackage(operands[0], operands[1], out);
        }
        return kExitOk;
    } catch (const UsageError &e) {
        err << "nvrpack: " << e.what() << "\n";
        return kExitUsage;
    } catch (const PackError &e) {
        err << "nvrpack: " << e.what() << "\n";
        return kExitBadInput;
    } catch (const std::exception &e) {
        err << "nvrpack: " << e.what() << "\n";
        return kExitBadInput;
    }
}

}  // namespace nvrpack

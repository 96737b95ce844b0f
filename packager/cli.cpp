// cli.cpp -- command-line parsing and dispatch (see cli.h). Must keep the
// help texts in step with README.md.
#include "cli.h"

#include "description.h"
#include "package/format.h"
#include "packerror.h"
#include "packplan.h"
#include "packread.h"
#include "packwriter.h"

namespace nvrpack {

namespace {

const char kMainHelp[] =
    "usage: nvrpack COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  build DESCRIPTION -o SETUP.EXE [--module FILE] [--volume-length N | --floppy | --cd]\n"
    "                  write a package from a package description\n"
    "  list SETUP.EXE    one line per entry: size, packed size, CRC-32, time, version, name\n"
    "  verify SETUP.EXE  read every entry in every volume and check its data and CRC-32\n"
    "\n"
    "nvrpack COMMAND --help describes a command.\n"
    "Exit codes: 0 success, 1 bad input or a damaged package, 2 bad command line.\n";

const char kBuildHelp[] =
    "usage: nvrpack build DESCRIPTION -o SETUP.EXE [--module FILE]\n"
    "                     [--volume-length N | --floppy | --cd]\n"
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
    "\n"
    "Nothing is written unless the whole package is: files go to temporary\n"
    "names beside the output and are renamed at the end.\n";

const char kListHelp[] =
    "usage: nvrpack list SETUP.EXE\n"
    "\n"
    "Prints one line per entry, in package order:\n"
    "  SIZE PACKED CRC32 YYYY-MM-DD HH:MM:SS VERSION NAME\n"
    "VERSION is major.minor.build.revision, or - when the file has none.\n";

const char kVerifyHelp[] =
    "usage: nvrpack verify SETUP.EXE\n"
    "\n"
    "Reads the package header and every entry across all volume files,\n"
    "inflates the data and checks lengths and CRC-32. On the first damaged\n"
    "entry or missing volume it names both and exits with 1.\n";

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
};

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

int Build(const std::vector<std::string> &args, const std::string &defaultModule, std::ostream &out)
{
    BuildArgs b = ParseBuild(args, defaultModule);
    Description description = LoadDescription(b.description);
    PackagePlan plan = PlanPackage(description);
    WriteResult result = WritePackage(plan, b.options);
    out << b.options.output << ": " << plan.entries.size() << (plan.entries.size() == 1 ? " entry, " : " entries, ")
        << result.volumes
        << (result.volumes == 1 ? " volume, " : " volumes, ") << result.length << " bytes\n";
    return kExitOk;
}

// The one file argument of list and verify.
std::string PackageArgument(const std::vector<std::string> &args)
{
    if (args.size() != 2 || (!args[1].empty() && args[1][0] == '-'))
        throw UsageError(args[0] + ": give exactly one package file (see nvrpack " + args[0] + " --help)");
    return args[1];
}

}  // namespace

int RunNvrpack(const std::vector<std::string> &args, const std::string &defaultModule, std::ostream &out,
               std::ostream &err)
{
    try {
        if (args.empty())
            throw UsageError("no command given (see nvrpack --help)");
        const std::string &command = args[0];
        if (IsHelp(command)) {
            out << kMainHelp;
            return kExitOk;
        }
        const char *help = command == "build" ? kBuildHelp : command == "list" ? kListHelp
                         : command == "verify" ? kVerifyHelp : nullptr;
        if (!help)
            throw UsageError("unknown command \"" + command + "\" (see nvrpack --help)");
        for (size_t i = 1; i < args.size(); i++) {
            if (IsHelp(args[i])) {
                out << help;
                return kExitOk;
            }
        }
        if (command == "build")
            return Build(args, defaultModule, out);
        if (command == "list")
            ListPackage(PackageArgument(args), out);
        else
            VerifyPackage(PackageArgument(args), out);
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

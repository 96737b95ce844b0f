// cli.h -- nvrpack's command line: parses the arguments, runs build, lint,
// list, verify or extract and maps results and failures to exit codes. Writes nothing but through the
// streams it is given and the files the command names.
#ifndef NVRPACK_CLI_H
#define NVRPACK_CLI_H

#include <ostream>
#include <string>
#include <vector>

namespace nvrpack {

// Exit codes of nvrpack.
enum ExitCode {
    kExitOk = 0,         // done; the package is sound
    kExitBadInput = 1,   // bad description or files, I/O failure, damaged package
    kExitUsage = 2,      // the command line cannot be run
    kExitLintWarnings = 3,   // lint: warnings, no errors
};

// The --help text of command ("" for nvrpack --help); nullptr for an
// unknown command.
const char *HelpOf(const std::string &command);

// Runs one nvrpack command. args excludes the program name; defaultModule is
// the install module used when --module is absent (may be empty: then
// --module is required). Results go to out, the one-line "nvrpack: ..."
// failure message to err, and build's progress bar to err when
// errIsTerminal. Returns an ExitCode.
int RunNvrpack(const std::vector<std::string> &args, const std::string &defaultModule, std::ostream &out,
               std::ostream &err, bool errIsTerminal = false);

}  // namespace nvrpack

#endif

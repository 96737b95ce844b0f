// lint.h -- `nvrpack lint`: finds mistakes in a package description that a
// build accepts but an installation would get wrong (macros the module does
// not expand, DLL flags it reads differently than meant, paths that grow too
// long on the user's machine, texts Windows cannot show), as well as the
// mistakes a build refuses. Reads the description and lists the source
// trees; writes nothing.
#ifndef NVRPACK_LINT_H
#define NVRPACK_LINT_H

#include <string>
#include <vector>

namespace nvrpack {

enum class Severity { Warning, Error };

struct Finding {
    Severity severity;
    int line;              // line in the description; 0 for the whole file
    std::string message;   // one line, no "warning:"/"error:" prefix
};

// Lints description text. name is used in messages only; baseDir is where
// relative local paths start. When the checks of its own find no error, the
// description is also parsed and planned as a build would (files listed, not
// read), and the first failure of that is an error. Findings come in line
// order (whole-file ones last).
std::vector<Finding> LintDescription(const std::string &text, const std::string &name, const std::string &baseDir);

// Reads the description file at path and lints it. Throws PackError when it
// cannot be read.
std::vector<Finding> LintFile(const std::string &path);

// True when text is valid CP949 (code page 949: ASCII bytes, and a lead byte
// 0x81..0xFE followed by the trail bytes that code page defines).
bool IsValidCp949(const std::string &text, size_t *badOffset);

// Typical length of the folder a macro stands for on a user's machine, used
// to estimate expanded lengths; 0 for a text that is not one of the ten.
size_t MacroTypicalLength(const std::string &macro);

}  // namespace nvrpack

#endif

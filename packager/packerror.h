// packerror.h -- the two failures nvrpack reports: bad input (exit 1) and a
// bad command line (exit 2). The message is the text after "nvrpack: ".
#ifndef NVRPACK_PACKERROR_H
#define NVRPACK_PACKERROR_H

#include <stdexcept>
#include <string>

namespace nvrpack {

// Bad input, an I/O failure or a package that fails verification.
class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string &message) : std::runtime_error(message) {}
};

// A command line nvrpack cannot run.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string &message) : std::runtime_error(message) {}
};

}  // namespace nvrpack

#endif

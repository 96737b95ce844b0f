// fuzzcommon.h -- helpers shared by the fuzz targets: cutting an input into
// parts and a hard failure that libFuzzer records as a crash. Native test code
// only; must not be included by module sources.
#ifndef NVR_FUZZ_COMMON_H
#define NVR_FUZZ_COMMON_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

// Separates the parts of one input (volume files, INI text and list bytes).
#define NVR_FUZZ_SEPARATOR "\n--NVR--\n"

// The input cut at every separator; at most maxParts parts (the last one keeps
// the rest).
static inline std::vector<std::string> SplitInput(const uint8_t *data, size_t size, size_t maxParts)
{
    std::vector<std::string> parts;
    std::string all((const char *)data, size);
    const size_t sepLength = strlen(NVR_FUZZ_SEPARATOR);
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        size_t at = all.find(NVR_FUZZ_SEPARATOR, start);
        if (at == std::string::npos) break;
        parts.push_back(all.substr(start, at - start));
        start = at + sepLength;
    }
    parts.push_back(all.substr(start));
    return parts;
}

// Aborts with a message when cond is false: a broken promise of the code
// under test, which libFuzzer keeps as a crash input.
#define FUZZ_CHECK(cond)                                                          \
    do {                                                                          \
        if (!(cond)) {                                                            \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                              \
        }                                                                         \
    } while (0)

// A heap copy of text of exactly size bytes (text cut to size - 1), so that
// AddressSanitizer sees any write past a buffer the caller promised.
static inline char *HeapText(const std::string &text, size_t size)
{
    char *buffer = (char *)malloc(size);
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return buffer;
}

#endif

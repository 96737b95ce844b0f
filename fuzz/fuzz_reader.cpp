// fuzz_reader.cpp -- libFuzzer target for the package reader: the input is
// one package whose volume files are separated by NVR_FUZZ_SEPARATOR (part 0
// is Setup.exe with the package header at offset 0, part k is Setup.00k). The
// target walks every entry, extracts some of them in chunks of several sizes,
// skips others half-read, and checks the reader's promises: no read past the
// volume length, names within 255 bytes, never more data than the header
// announced, no handle left open. Must not write real files.
#include "fuzzcommon.h"
#include "win32shim.h"

#include "package/format.h"
#include "package/reader.h"

#define FUZZ_MAX_OUTPUT   (8u << 20)   // inflated bytes per input before the target stops
#define FUZZ_MAX_ENTRIES  4096         // entries walked per input
#define FUZZ_VOLUMES      8            // volume files an input may carry

static const DWORD kCapacities[] = {1, 7, 4096, NVR_IO_CHUNK};   // ReadEntry buffer sizes

static int AcceptVolume(int volume)
{
    FUZZ_CHECK(volume >= 1 && volume <= 255);
    return 0;
}

// Extracts the current entry; entries with index % 3 == 2 are left half-read
// so that NextEntry has to drop an active inflate. Returns the bytes delivered.
static DWORD Extract(PackageReader *reader, int index, DWORD announced, DWORD *budget)
{
    DWORD capacity = kCapacities[index % 4];
    BYTE *out = (BYTE *)malloc(capacity);
    DWORD total = 0;
    int n = 0;

    if (BeginEntry(reader) != 0) {
        free(out);
        return 0;
    }
    FUZZ_CHECK(BeginEntry(reader) == -1);   // once only
    while (*budget > 0 && (n = ReadEntry(reader, out, capacity)) > 0) {
        FUZZ_CHECK((DWORD)n <= capacity);
        total += (DWORD)n;
        *budget = (DWORD)n < *budget ? *budget - (DWORD)n : 0;
        if (index % 3 == 2) break;
    }
    FUZZ_CHECK(n >= -1);
    FUZZ_CHECK(total <= announced);
    if (index % 3 != 2) {
        EndEntry(reader);
        FUZZ_CHECK(ReadEntry(reader, out, capacity) == -1);   // ended
    }
    free(out);
    return total;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = SplitInput(data, size, FUZZ_VOLUMES);
    DWORD budget = FUZZ_MAX_OUTPUT;
    PackageReader *reader;

    ShimReset();
    ShimSetReadLimit(0);
    SetVolumeCallback(AcceptVolume);
    ShimPutFile("C:\\pkg\\Setup.exe", parts[0].data(), parts[0].size());
    for (size_t i = 1; i < parts.size(); i++) {
        char name[32];
        snprintf(name, sizeof name, "C:\\pkg\\Setup.%03u", (unsigned)i);
        ShimPutFile(name, parts[i].data(), parts[i].size());
    }
    reader = OpenPackage("C:\\pkg\\Setup.exe", 0);
    if (!reader) {
        FUZZ_CHECK(ShimOpenHandles() == 0);
        return 0;
    }
    FUZZ_CHECK(PackageVolumeCount(reader) >= 1);
    ShimSetReadLimit(PackageVolumeLength(reader));
    for (int index = 0; index < FUZZ_MAX_ENTRIES; index++) {
        EntryInfo info;
        if (GetEntryInfo(reader, &info) != 0)
            break;
        FUZZ_CHECK(strlen(info.name) <= NVR_MAX_NAME_LENGTH);
        if (index % 5 != 4)
            Extract(reader, index, info.uncompressed, &budget);
        if (NextEntry(reader) != 0)
            break;
    }
    ShimSetReadLimit(0);
    FUZZ_CHECK(ClosePackage(reader) == 0);
    FUZZ_CHECK(ShimOpenHandles() == 0);
    return 0;
}

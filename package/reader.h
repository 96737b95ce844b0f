// reader.h -- the package reader: walks the archive entry by entry across
// volume files, inflates an entry's data into the caller's buffer and checks
// its CRC-32.
//
// Results: 0 success, -1 failure, -2 no entry left (NextEntry only); a null
// reader, or a reader that lost its file after a failed volume change, gives
// -1. The reader shows no message: callers choose it. One thread at a time.
//
// Calling order: OpenPackage leaves the reader before the first entry's
// header; GetEntryInfo reads it without advancing. Per entry: GetEntryInfo as
// often as wanted; to extract, BeginEntry, ReadEntry until it returns 0,
// EndEntry; then NextEntry, whether or not the entry was read.
#ifndef NVR_PACKAGE_READER_H
#define NVR_PACKAGE_READER_H

#include <windows.h>

struct PackageReader;   // opaque; created by OpenPackage, freed by ClosePackage

struct EntryInfo {
    const char *name;     // points into the reader; valid until the next header loads
    DWORD uncompressed;   // uncompressed bytes not yet delivered by ReadEntry
    DWORD modTime;        // FAT date (upper 16 bits) and time (lower 16), local time
    DWORD versionHigh;    // major << 16 | minor, or NVR_NO_VERSION
    DWORD versionLow;     // build << 16 | revision, or NVR_NO_VERSION
};

// Asked before every volume file is opened with the index (1..255) of that
// volume; answers 0 to go on, anything else to make the read fail.
typedef int (*VolumeCallback)(int volume);

// Replaces the process-wide volume callback for all readers. -1 for NULL, else 0.
int SetVolumeCallback(VolumeCallback callback);

// Opens path and reads the package header at offset. Returns the reader, or
// NULL on any failure (nothing is left open).
PackageReader *OpenPackage(const char *path, DWORD offset);

// Moves to the next entry's header, skipping the rest of the current entry's
// data (volumes in between are not opened). 0, -2 at the end, -1 on failure.
int NextEntry(PackageReader *reader);

// Loads the current header if needed and fills info. 0 or -1.
int GetEntryInfo(PackageReader *reader, EntryInfo *info);

// Starts decompressing the current entry. 0 or -1.
int BeginEntry(PackageReader *reader);

// Inflates up to capacity bytes into buffer. Returns the byte count (0 when
// the entry's data is finished) or -1.
int ReadEntry(PackageReader *reader, void *buffer, DWORD capacity);

// Ends the decompression: 0 when the stream ended cleanly and the CRC-32 of
// the delivered data matches the stored one, else -1.
int EndEntry(PackageReader *reader);

// Closes the file and frees the reader. 0, or -1 for NULL.
int ClosePackage(PackageReader *reader);

// Header fields, for the launcher's length checks and for tests.
DWORD PackageLength(const PackageReader *reader);
DWORD PackageVolumeLength(const PackageReader *reader);
int PackageVolumeCount(const PackageReader *reader);
DWORD PackageEntryCount(const PackageReader *reader);
// Path given to OpenPackage (the first volume), for the volume-change prompt.
const char *PackageFirstVolumePath(const PackageReader *reader);

// Trims the path (an NVR_PATH_SIZE buffer) and replaces its extension by ext
// when a '.' stands after the last ':' and '\'; otherwise leaves it unchanged.
// Returns path.
char *ReplaceExtension(char *path, const char *ext);

#endif

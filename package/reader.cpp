// reader.cpp -- the package reader: header and entry parsing, volume changes,
// raw inflate into the caller's buffer and the CRC-32 check.
//
// Must not show messages (callers choose them), must not read a volume file
// past the volume length, and must survive any input: every length read from
// the package is checked before it is used as a size, a divisor or an index.
#include "package/reader.h"
#include "package/format.h"
#include "launcher/services.h"
#include "setupinfo/toolkit.h"
#include <string.h>
#include "zlib.h"

#define NVR_UNKNOWN_LENGTH  0xFFFFFFFFu  // volume length before the header field is read
#define NVR_VOLUME_EXT_SIZE 8            // ".%03d" of 1..255 + NUL, with room to spare
#define NVR_MAX_READ        0x7FFFFFFFu  // ReadEntry's count must stay a positive int
#define NVR_ZLIB_INTERFACE  "1.1.3"      // zlib interface the reader was written for;
                                         // zlib checks only its first digit

// One open package. The reader keeps the position in the open volume file
// itself instead of asking the system; it never exceeds the volume length.
struct PackageReader {
    char     path[NVR_PATH_SIZE];            // first-volume path, volume names come from it
    DWORD    packageLength;                  // package header: whole length (single volume)
    DWORD    volumeLength;                   // package header: length of each volume but the last
    BYTE     volumeCount;                    // package header: volume files, the first included
    DWORD    entryCount;                     // package header: entries, "IFII" included
    BYTE     volume;                         // index of the open volume file, 0 = package file
    HANDLE   file;                           // open volume file, NULL after a failed change
    DWORD    position;                       // offset of the next byte in the open file
    DWORD    advanced;                       // NextEntry calls so far (stops at entryCount)
    BYTE     inflating;                      // decompression active (BeginEntry..EndEntry)
    BYTE     loaded;                         // current entry's header is in the fields below
    BYTE     begun;                          // current entry's data was begun: once only
    DWORD    crc;                            // CRC-32 of the data ReadEntry delivered
    DWORD    uncompressed;                   // entry bytes not yet delivered by ReadEntry
    DWORD    compressed;                     // compressed bytes not yet read into input
    DWORD    storedCrc;                      // entry header: CRC-32 of the data
    DWORD    modTime;                        // entry header: FAT date << 16 | time
    DWORD    versionHigh;                    // entry header: major << 16 | minor
    DWORD    versionLow;                     // entry header: build << 16 | revision
    BYTE     nameLength;                     // entry header: name length, 0..255
    char     name[NVR_MAX_NAME_LENGTH + 1];  // entry header: name, NUL-terminated
    z_stream stream;                         // raw inflate state; input from the buffer below
    BYTE     input[NVR_IO_CHUNK];            // compressed bytes waiting for inflate
};

static VolumeCallback g_volumeCallback;  // asked before each volume opens; NULL: go on

// Little-endian 32-bit value at p.
static DWORD Field(const BYTE *p)
{
    return p[0] | (DWORD)p[1] << 8 | (DWORD)p[2] << 16 | (DWORD)p[3] << 24;
}

static HANDLE OpenForReading(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : file;
}

// Sets the position of the open file (offsets up to 4 GB - 1). 0 or -1.
static int Seek(PackageReader *reader, DWORD offset)
{
    LONG high = 0;
    if (SetFilePointer(reader->file, (LONG)offset, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER
        && GetLastError() != NO_ERROR)
        return -1;
    reader->position = offset;
    return 0;
}

static void CloseVolume(PackageReader *reader)
{
    if (reader->file) {
        CloseHandle(reader->file);
        reader->file = NULL;
    }
}

// Closes the open file, asks the volume callback and opens volume index at
// offset 0. On failure the reader holds no open file. 0 or -1.
static int OpenVolume(PackageReader *reader, DWORD index)
{
    char volumePath[NVR_PATH_SIZE];
    char ext[NVR_VOLUME_EXT_SIZE];

    CloseVolume(reader);
    if (g_volumeCallback && g_volumeCallback((int)index) != 0)
        return -1;
    CopyBounded(NVR_PATH_SIZE, volumePath, reader->path);
    wsprintfA(ext, NVR_VOLUME_EXT_FORMAT, (int)index);
    reader->file = OpenForReading(ReplaceExtension(volumePath, ext));
    if (!reader->file)
        return -1;
    reader->volume = (BYTE)index;
    reader->position = 0;
    return 0;
}

// Reads count bytes of the stream, crossing into the following volumes when
// the open one ends at the volume length. 0 or -1.
static int ReadBlock(PackageReader *reader, BYTE *buffer, DWORD count)
{
    for (;;) {
        DWORD room = reader->volumeLength - reader->position;
        DWORD part = count < room ? count : room;
        if (part) {
            if (!ReadExact(reader->file, buffer, part))
                return -1;
            reader->position += part;
            buffer += part;
            count -= part;
        }
        if (!count)
            return 0;
        if (reader->volume + 1u >= reader->volumeCount || OpenVolume(reader, reader->volume + 1u))
            return -1;
    }
}

// Reads the package header at the current position. The volume length is
// unknown (no volume change) until its field is read; the rest of the header
// may lie in the next volume, so the volume count stays at its maximum until
// its own field is read. 0 or -1.
static int ReadPackageHeader(PackageReader *reader)
{
    BYTE header[NVR_PACKAGE_HEADER_SIZE];

    reader->volumeLength = NVR_UNKNOWN_LENGTH;
    reader->volumeCount = NVR_MAX_VOLUMES;
    if (ReadBlock(reader, header, NVR_PH_VOLUME_COUNT)
        || Field(header + NVR_PH_MAGIC) != NVR_PACKAGE_MAGIC)
        return -1;
    reader->packageLength = Field(header + NVR_PH_PACKAGE_LENGTH);
    reader->volumeLength = Field(header + NVR_PH_VOLUME_LENGTH);
    // A header that already lies beyond the first volume's length contradicts
    // the layout; refusing it keeps the position within the volume length.
    if (reader->position > reader->volumeLength
        || ReadBlock(reader, header + NVR_PH_VOLUME_COUNT,
                     NVR_PACKAGE_HEADER_SIZE - NVR_PH_VOLUME_COUNT))
        return -1;
    reader->volumeCount = header[NVR_PH_VOLUME_COUNT];
    reader->entryCount = Field(header + NVR_PH_ENTRY_COUNT);
    return reader->volumeCount > reader->volume ? 0 : -1;
}

// A reader that can still read: not null and holding an open file.
static int Usable(const PackageReader *reader)
{
    return reader && reader->file;
}

// Reads the current entry's header unless it is loaded. 0 or -1 (then the
// header stays not loaded).
static int LoadHeader(PackageReader *reader)
{
    BYTE header[NVR_ENTRY_HEADER_SIZE];

    if (reader->loaded)
        return 0;
    if (ReadBlock(reader, header, NVR_ENTRY_HEADER_SIZE)
        || Field(header + NVR_EH_MAGIC) != NVR_ENTRY_MAGIC
        || ReadBlock(reader, (BYTE *)reader->name, header[NVR_EH_NAME_LENGTH]))
        return -1;
    reader->nameLength = header[NVR_EH_NAME_LENGTH];
    reader->name[reader->nameLength] = 0;
    reader->uncompressed = Field(header + NVR_EH_UNCOMPRESSED);
    reader->compressed = Field(header + NVR_EH_COMPRESSED);
    reader->storedCrc = Field(header + NVR_EH_CRC);
    reader->modTime = Field(header + NVR_EH_TIME);
    reader->versionHigh = Field(header + NVR_EH_VERSION_HIGH);
    reader->versionLow = Field(header + NVR_EH_VERSION_LOW);
    reader->loaded = 1;
    reader->begun = 0;
    return 0;
}

// Where the next header lies: after the current entry's unread compressed
// bytes. Computed without overflow for any compressed length. 0 or -1 when
// it lies beyond the last volume.
static int SkipTarget(const PackageReader *reader, DWORD *volume, DWORD *offset)
{
    DWORD length = reader->volumeLength;
    DWORD room = length - reader->position;
    DWORD skip = reader->compressed;

    *volume = reader->volume;
    *offset = reader->position + skip;
    if (skip >= room) {
        skip -= room;
        if (skip / length >= reader->volumeCount)
            return -1;
        *volume += 1 + skip / length;
        *offset = skip % length;
    }
    return *volume < reader->volumeCount ? 0 : -1;
}

int SetVolumeCallback(VolumeCallback callback)
{
    if (!callback)
        return -1;
    g_volumeCallback = callback;
    return 0;
}

PackageReader *OpenPackage(const char *path, DWORD offset)
{
    PackageReader *reader;

    if (!path)
        return NULL;
    reader = (PackageReader *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *reader);
    if (!reader)
        return NULL;
    CopyBounded(NVR_PATH_SIZE, reader->path, path);
    reader->file = OpenForReading(path);
    if (!reader->file || Seek(reader, offset) || ReadPackageHeader(reader)) {
        ClosePackage(reader);
        return NULL;
    }
    return reader;
}

int NextEntry(PackageReader *reader)
{
    DWORD volume, offset;

    if (!Usable(reader))
        return -1;
    if (reader->advanced < reader->entryCount)
        reader->advanced++;
    if (reader->advanced >= reader->entryCount)
        return -2;
    if (LoadHeader(reader) || SkipTarget(reader, &volume, &offset))
        return -1;
    if (reader->inflating) {
        inflateEnd(&reader->stream);   // drops whatever input it had buffered
        reader->inflating = 0;
    }
    if (volume != reader->volume && OpenVolume(reader, volume))
        return -1;
    if (Seek(reader, offset))
        return -1;
    reader->loaded = 0;
    return 0;
}

int GetEntryInfo(PackageReader *reader, EntryInfo *info)
{
    if (!Usable(reader) || !info || LoadHeader(reader))
        return -1;
    info->name = reader->name;
    info->uncompressed = reader->uncompressed;
    info->modTime = reader->modTime;
    info->versionHigh = reader->versionHigh;
    info->versionLow = reader->versionLow;
    return 0;
}

int BeginEntry(PackageReader *reader)
{
    if (!Usable(reader) || reader->inflating || LoadHeader(reader) || reader->begun)
        return -1;
    reader->crc = 0;
    memset(&reader->stream, 0, sizeof reader->stream);   // zlib's own allocators
    reader->stream.next_in = reader->input;
    if (inflateInit2_(&reader->stream, NVR_INFLATE_WINDOW_BITS, NVR_ZLIB_INTERFACE,
                      (int)sizeof(z_stream)) != Z_OK)
        return -1;
    reader->inflating = 1;
    reader->begun = 1;
    return 0;
}

int ReadEntry(PackageReader *reader, void *buffer, DWORD capacity)
{
    z_stream *stream;
    DWORD room;
    int total = 0;

    if (!Usable(reader) || !reader->inflating || !buffer)
        return -1;
    stream = &reader->stream;
    room = capacity < reader->uncompressed ? capacity : reader->uncompressed;
    if (room > NVR_MAX_READ)
        room = NVR_MAX_READ;
    if (!room)
        return 0;
    stream->next_out = (Bytef *)buffer;
    stream->avail_out = room;
    for (;;) {
        Bytef *start = stream->next_out;
        DWORD produced;
        int status;
        if (!stream->avail_in && reader->compressed) {
            DWORD part = reader->compressed < NVR_IO_CHUNK ? reader->compressed : NVR_IO_CHUNK;
            if (ReadBlock(reader, reader->input, part))
                return -1;
            reader->compressed -= part;
            stream->next_in = reader->input;
            stream->avail_in = part;
        }
        status = inflate(stream, Z_SYNC_FLUSH);
        produced = (DWORD)(stream->next_out - start);
        reader->crc = crc32(reader->crc, start, produced);
        reader->uncompressed -= produced;
        total += (int)produced;
        if (status == Z_STREAM_END)
            return total;
        if (status != Z_OK)
            return -1;
        if (!stream->avail_out)
            return total;
    }
}

int EndEntry(PackageReader *reader)
{
    if (!Usable(reader) || !reader->inflating)
        return -1;
    reader->inflating = 0;   // ended whatever the outcome
    if (inflateEnd(&reader->stream) != Z_OK || reader->crc != reader->storedCrc)
        return -1;
    return 0;
}

int ClosePackage(PackageReader *reader)
{
    if (!reader)
        return -1;
    if (reader->inflating)
        inflateEnd(&reader->stream);
    CloseVolume(reader);
    HeapFree(GetProcessHeap(), 0, reader);
    return 0;
}

DWORD PackageLength(const PackageReader *reader)
{
    return reader ? reader->packageLength : 0;
}

DWORD PackageVolumeLength(const PackageReader *reader)
{
    return reader ? reader->volumeLength : 0;
}

int PackageVolumeCount(const PackageReader *reader)
{
    return reader ? reader->volumeCount : 0;
}

DWORD PackageEntryCount(const PackageReader *reader)
{
    return reader ? reader->entryCount : 0;
}

const char *PackageFirstVolumePath(const PackageReader *reader)
{
    return reader ? reader->path : NULL;
}

char *ReplaceExtension(char *path, const char *ext)
{
    char *dot = NULL;
    char *p;

    Trim(path);
    for (p = path; *p; p++) {
        if (*p == '.')
            dot = p;
        else if (*p == ':' || *p == '\\')
            dot = NULL;   // a '.' before a ':' or '\' belongs to a folder or drive
    }
    if (dot) {
        *dot = 0;
        AppendBounded(NVR_PATH_SIZE, path, ext);
    }
    return path;
}

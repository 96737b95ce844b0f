// format.h -- the one definition of the package file layout.
//
// Shared by the install module (reader, launcher), the packager nvrpack and the
// tests. Nothing here allocates or calls the platform: constants and layout only.
//
//   volume 0 (Setup.exe)                      volume 1 (Setup.001) ...
//   +-----------------+---------+------------------------------------------+
//   | install module  | package | entry header | name | deflate data | ... |
//   | 51,200 bytes    | header  | (29 bytes)   | (n)  | (compressed) |     |
//   +-----------------+---------+------------------------------------------+
//   ^0                ^51,200   (17 bytes)
//
// The archive is one byte stream cut into volumes by position: the byte at
// stream position p (counted from the first byte of volume 0, module included)
// lies in volume p / L at offset p mod L, where L is the volume length.
// Every integer is an unsigned 32-bit little-endian value unless noted; records
// follow one another without padding; a cut may fall anywhere, even inside a
// field or a name.
//
// Package header (at offset kModuleLength of volume 0):
//   0  magic "IFAH"        4  package length (single volume: whole file)
//   8  volume length       12 volume count (1 byte, 1..255)
//   13 entry count
// Entry header:
//   0  magic "IFFH"        4  uncompressed length   8  compressed length
//   12 CRC-32              16 FAT date<<16 | time   20 version high
//   24 version low         28 name length (1 byte)  29 name (no NUL)
//   then `compressed length` bytes of raw deflate (RFC 1951).
// Entry order: "IFII" first, then "Src\..." entries (a name ending in '\' is a
// folder entry), then "DLL1", "DLL2", ... without gaps.
#ifndef NVR_PACKAGE_FORMAT_H
#define NVR_PACKAGE_FORMAT_H

// Length of the install module; also the offset of the package header.
#define NVR_MODULE_LENGTH        51200u

#define NVR_PACKAGE_MAGIC        0x48414649u   // "IFAH" read little-endian
#define NVR_ENTRY_MAGIC          0x48464649u   // "IFFH" read little-endian
#define NVR_PACKAGE_HEADER_SIZE  17u
#define NVR_ENTRY_HEADER_SIZE    29u           // without the name
#define NVR_MAX_NAME_LENGTH      255u
#define NVR_MAX_VOLUMES          255u
#define NVR_NO_VERSION           0xFFFFFFFFu   // both halves when a file has no version

// Field offsets inside the package header.
#define NVR_PH_MAGIC             0u
#define NVR_PH_PACKAGE_LENGTH    4u
#define NVR_PH_VOLUME_LENGTH     8u
#define NVR_PH_VOLUME_COUNT      12u
#define NVR_PH_ENTRY_COUNT       13u

// Field offsets inside an entry header.
#define NVR_EH_MAGIC             0u
#define NVR_EH_UNCOMPRESSED      4u
#define NVR_EH_COMPRESSED        8u
#define NVR_EH_CRC               12u
#define NVR_EH_TIME              16u
#define NVR_EH_VERSION_HIGH      20u
#define NVR_EH_VERSION_LOW       24u
#define NVR_EH_NAME_LENGTH       28u
#define NVR_EH_NAME              29u

// Entry names.
#define NVR_INFO_ENTRY_NAME      "IFII"        // install information file, always first
#define NVR_SOURCE_PREFIX        "Src\\"       // source entries; matched on "Src" exactly
#define NVR_DLL_ENTRY_FORMAT     "DLL%d"       // DLL1, DLL2, ...

// Volume file k (k >= 1) is the package path with its extension replaced by
// this format of k: Setup.exe -> Setup.001, Setup.002, ...
#define NVR_VOLUME_EXT_FORMAT    ".%03d"

// Size of the reader's compressed input buffer and of the run's transfer buffer.
#define NVR_IO_CHUNK             16384u

// Raw deflate window bits for inflateInit2_.
#define NVR_INFLATE_WINDOW_BITS  (-15)

// Name of the module copy in the Windows folder, and the install-mode switch.
#define NVR_MODULE_FILE_NAME     "NvrInst10.exe"
#define NVR_SWITCH_INSTALL       "-I"
#define NVR_SWITCH_REGISTER      "-i"
#define NVR_SWITCH_COMPLETE      "~i"

// Volume lengths nvrpack offers by name.
#define NVR_FLOPPY_VOLUME_LENGTH 1457664u      // 3.5" 1.44 MB floppy, less a little
#define NVR_CD_VOLUME_LENGTH     681574400u    // 650 MB CD-ROM

// Smallest volume length nvrpack writes: volume 0 holds the install module,
// the whole package header and at least the first byte of the first entry.
#define NVR_MIN_VOLUME_LENGTH    (NVR_MODULE_LENGTH + NVR_PACKAGE_HEADER_SIZE + 1u)

// Install information file (the "IFII" entry): the sections and keys the
// module reads, and the longest values it keeps (longer ones are cut).
#define NVR_INFO_SECTION_GENERAL "General"
#define NVR_INFO_KEY_TITLE       "Title"
#define NVR_INFO_KEY_LANGUAGE    "Language"
#define NVR_INFO_KEY_DEF_FOLDER  "DefInstallFolder"
#define NVR_INFO_KEY_SPACE       "SpaceNeeded"
#define NVR_INFO_SECTION_DLLS    "DLLFiles"
#define NVR_INFO_DLL_KEY_FORMAT  "DLL%d"       // DLL1, DLL2, ... up to the first gap
#define NVR_INFO_TEXT_MAX        259u          // Title, DefInstallFolder
#define NVR_INFO_DLL_LINE_MAX    519u          // one [DLLFiles] value
#define NVR_INFO_FIELD_MAX       259u          // one comma field of a DLL line

#endif

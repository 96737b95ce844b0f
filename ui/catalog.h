// catalog.h -- the bilingual message catalogue: the identifiers of every text
// the user sees (apart from the start-up messages of ui/startupmsg.h), the
// choice of language at each use, message formatting into buffers sized for
// the worst case, the caption, and the reading of Language and Title.
//
// The texts themselves live in ui/catalog.txt (UTF-8); tools/gen-catalog turns
// them into catalog_data.h at build time, English as ASCII and Korean as code
// page 949 bytes. Nothing here converts text at run time, caches a language
// choice or writes past a caller's buffer.
#ifndef NVR_UI_CATALOG_H
#define NVR_UI_CATALOG_H

#include <windows.h>

// One identifier per text pair, in the order of ui/catalog.txt (the generated
// table checks the order at compile time).
enum TextId {
    TitleFormat,            // "Installation of %s" -- %s: Title
    BtnOk,
    BtnNext,
    BtnCancel,
    BtnYes,
    BtnNo,
    BtnBrowse,
    BtnInstall,
    BtnAbort,
    TextWelcome,            // %s: Title
    TextCloseOthers,
    TitleSelectFolder,
    TextFolderIntro,        // %s: Title
    LabelSpaceNeeded,
    LabelInstallFolder,
    TextBrowsePrompt,
    MsgRemoteFolder,
    MsgBadDrive,            // %s: root of the folder
    MsgRemovableDrive,      // %s: root of the folder
    MsgCreateFolder,        // %s: folder
    MsgCreateFolderFailed,  // %s: folder
    MsgNoFreeSpace,         // %s: root of the folder
    TextInstalling,         // %s: Title
    TextSystemUpdates,
    MsgInsertVolume,        // en: volume file, drive; ko: drive, volume file
    MsgVolumeNotOnDrive,    // en: volume file, drive; ko: drive, volume file
    MsgVolumeNotInFolder,   // en: volume file, folder; ko: folder, volume file
    MsgArchiveCorrupt,
    MsgInstallFileFailed,   // %s: target path
    MsgAbortQuery,
    TextFileExists,         // %s: folder of the existing file
    TextReplaceQuery,
    LabelNoMoreQuery,
    MsgRegisterFailed,      // %s: DLL path
    MsgEndInstallFailed,
    TextFinishing,
    TextCompleted,          // %s: Title
    MsgRestartQuery,
    MsgRestartLater,
    MsgNoAdminRights,       // %s: target path
    TextIdCount
};

// Every argument of a catalogue text is cut to this many characters (one
// path); with that, every formatted text fits NVR_MESSAGE_SIZE (checked at
// compile time against the generated table, and below wsprintfA's 1,024).
#define NVR_MESSAGE_ARG_MAX 259
#define NVR_MESSAGE_SIZE    600

// The text of id in the language the language flag selects right now
// (0 Korean, any other value English). Points into a constant table.
const char *CatalogText(TextId id);

// Formats CatalogText(id) with wsprintfA into out (NVR_MESSAGE_SIZE bytes).
// a and b fill the first and second %s in that order (NULL counts as ""),
// each cut to NVR_MESSAGE_ARG_MAX characters first. Returns the length.
int FormatMessageText(char *out, TextId id, const char *a, const char *b);

// Formats id as FormatMessageText does and shows it in a message box with the
// caption as title, owned by owner, with the given MB_ style. Returns
// MessageBoxA's answer (0 when the box could not be shown).
int ShowCatalogMessage(HWND owner, TextId id, UINT style, const char *a, const char *b);

// Formats TitleFormat with the Title (g_title) into the caption (g_caption).
void FormatCaption(void);

// Reads [General] Language (number, default 0) into the language flag and
// [General] Title (text, default "") into g_title from an information file,
// then formats the caption. Used by the install run and both post-restart runs.
void ReadLanguageAndTitle(const char *file);

#endif

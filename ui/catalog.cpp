// catalog.cpp -- text selection by the language flag, bounded message
// formatting, the caption, and the reading of Language and Title.
//
// The table is the generated catalog_data.h (tools/gen-catalog from
// ui/catalog.txt). No text is converted or cached here; every formatting goes
// through a buffer that holds the worst case of every text.
#include "ui/catalog.h"
#include "launcher/launcher.h"
#include "package/format.h"
#include "setupinfo/profile.h"
#include "setupinfo/toolkit.h"
#include "catalog_data.h"

#define NVR_WSPRINTF_LIMIT 1024      // wsprintfA never writes more than this

static_assert(NVR_MESSAGE_ARG_MAX + 1 == NVR_PATH_SIZE, "arguments are cut to one path");
static_assert(NVR_CATALOG_WORST_MESSAGE <= NVR_MESSAGE_SIZE,
              "a catalogue text with maximal arguments does not fit NVR_MESSAGE_SIZE");
static_assert(NVR_MESSAGE_SIZE <= NVR_WSPRINTF_LIMIT, "wsprintfA would cut a message");
static_assert(NVR_CATALOG_WORST_CAPTION <= NVR_CAPTION_SIZE,
              "the caption of a 259-character Title does not fit");

const char *CatalogText(TextId id)
{
    return kCatalogBytes + kCatalogOffsets[g_languageFlag != 0][id];
}

int FormatMessageText(char *out, TextId id, const char *a, const char *b)
{
    char first[NVR_PATH_SIZE];
    char second[NVR_PATH_SIZE];

    CopyBounded(NVR_PATH_SIZE, first, a ? a : "");
    CopyBounded(NVR_PATH_SIZE, second, b ? b : "");
    return wsprintfA(out, CatalogText(id), first, second);
}

int ShowCatalogMessage(HWND owner, TextId id, UINT style, const char *a, const char *b)
{
    char text[NVR_MESSAGE_SIZE];

    FormatMessageText(text, id, a, b);
    return MessageBoxA(owner, text, g_caption, style);
}

void FormatCaption(void)
{
    char text[NVR_MESSAGE_SIZE];

    FormatMessageText(text, TitleFormat, g_title, NULL);
    CopyBounded(NVR_CAPTION_SIZE, g_caption, text);
}

void ReadLanguageAndTitle(const char *file)
{
    g_languageFlag = (int)ProfileReadNumber(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_LANGUAGE, 0, file);
    ProfileReadString(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_TITLE, "", g_title, NVR_PATH_SIZE,
                      file);
    FormatCaption();
}

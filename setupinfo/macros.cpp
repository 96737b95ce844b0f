// macros.cpp -- expansion of the path macros in install information paths.
//
// Must not: keep state between calls (apart from the two install-folder
// globals it hosts), or write past a path buffer: every append is cut at
// NVR_PATH_SIZE.
#include "setupinfo/macros.h"
#include "launcher/runsetup.h"

// The folder page owns these; they live here until it exists, so that the
// macros can be expanded (to empty text) before any folder was accepted.
char g_installFolder[NVR_PATH_SIZE];
char g_installDrive[NVR_PATH_SIZE];

struct MacroRow {
    const char *macro;
    const char *value;
};

// Applied in this order, each row to the result of the rows before it. The
// first kFolderMacros rows are the folder macros, the rest the escapes, which
// come last so that escaped braces never form a macro.
static const MacroRow kMacroTable[] = {
    {"{WinDrive}", g_windowsDrive},
    {"{WinDir}", g_windowsFolder},
    {"{WinSysDir}", g_systemFolder},
    {"{ProgramFiles}", g_programFiles},
    {"{CommonFiles}", g_commonFiles},
    {"{InstallDrive}", g_installDrive},
    {"{InstallDir}", g_installFolder},
    {"{InstallFileDrive}", g_packageDrive},
    {"{InstallFileDir}", g_packageFolder},
    {"{TempDir}", g_tempFolder},
    {"{{}", "{"},
    {"{}}", "}"},
};
static const int kFolderMacros = 10;
static const int kMacroRows = sizeof kMacroTable / sizeof kMacroTable[0];

// First exact occurrence of the non-empty pattern in text, or NULL.
static char *FindText(char *text, const char *pattern)
{
    for (; *text; text++) {
        int i = 0;
        while (pattern[i] && text[i] == pattern[i]) i++;
        if (!pattern[i]) return text;
    }
    return NULL;
}

static BOOL EndsWithBackslash(const char *text)
{
    int n = lstrlenA(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t')) n--;
    return n > 0 && text[n - 1] == '\\';
}

// The path is rebuilt from a work copy: text before each occurrence, then the
// value, each appended with the bound; the search goes on behind the macro.
BOOL ReplaceMacro(char *path, const char *macro, const char *value)
{
    char work[NVR_PATH_SIZE];
    char *rest = CopyBounded(NVR_PATH_SIZE, work, path);
    char *hit;
    BOOL found = FALSE;
    BOOL rootValue = EndsWithBackslash(value);
    int length = lstrlenA(macro);

    if (length == 0)
        return FALSE;
    path[0] = '\0';
    while ((hit = FindText(rest, macro)) != NULL) {
        found = TRUE;
        *hit = '\0';
        AppendBounded(NVR_PATH_SIZE, path, rest);
        AppendBounded(NVR_PATH_SIZE, path, value);
        rest = hit + length;
        if (rootValue && *rest == '\\')
            rest++;
    }
    AppendBounded(NVR_PATH_SIZE, path, rest);
    return found;
}

BOOL ExpandPathMacros(char *path)
{
    BOOL found = FALSE;
    if (IsBlank(path))
        return FALSE;
    for (int i = 0; i < kMacroRows; i++)
        if (ReplaceMacro(path, kMacroTable[i].macro, kMacroTable[i].value) && i < kFolderMacros)
            found = TRUE;
    return found;
}

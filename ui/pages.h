// pages.h -- the welcome and install-folder pages: their dialog procedures
// (created by the main window), the helpers that every page and the
// completion dialog share, and the folder page's decisions as plain
// functions that need no window (so that tests can call them).
//
// The pages keep no state of their own between messages except the default
// sub-folder below; what they decide goes into the process-wide values.
#ifndef NVR_UI_PAGES_H
#define NVR_UI_PAGES_H

#include <windows.h>
#include "setupinfo/toolkit.h"
#include "ui/catalog.h"
#include "ui/uicodes.h"

// [General] SpaceNeeded of the install information file (default 0), read
// when the folder page opens. Also the 100 % mark of the progress bar.
extern DWORD g_spaceNeeded;

// Last part of DefInstallFolder, appended to every folder picked with the
// folder browser (NVR_PATH_SIZE). Written when the folder page opens.
extern char g_defaultSubFolder[NVR_PATH_SIZE];

// Dialog procedures of templates 1060 and 1062. Each page sends its UI code
// (CodeWelcomeDone / CodeFolderDone) to the main window and then destroys
// itself.
INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// ---- shared by the pages and the completion dialog ------------------------

// A control and the catalogue text it shows.
struct ItemText {
    WORD item;      // control number (resources/resource.h)
    WORD text;      // TextId
};

// Sets the dialog's large icon (1055), its window text (the caption), item
// titleItem to titleText formatted with the Title, and each of the count
// items to its catalogue text.
void InitDialogTexts(HWND dialog, int titleItem, TextId titleText,
                     const ItemText *texts, int count);

// WM_SYSCOMMAND of a page: SC_MINIMIZE is passed to the main window (same
// lParam) so that the taskbar button minimizes with the page. TRUE when
// wParam was SC_MINIMIZE.
BOOL ForwardMinimize(WPARAM wParam, LPARAM lParam);

// Sends WM_USER code/result to the main window, then destroys page.
void ReportAndClose(HWND page, UiCode code, LPARAM result);

// ---- the folder page's decisions --------------------------------------------

// The proposal built from DefInstallFolder (value): an absolute value as it is
// with an empty sub-folder; otherwise the sub-folder is the text after the
// first '}' (and the backslashes after it) or the whole value, the macros are
// expanded, and a value without macros goes below the package folder, or onto
// the Windows drive when the package lies on removable media
// (packageRemovable). folder and subFolder: NVR_PATH_SIZE buffers.
void ProposeFolder(const char *value, BOOL packageRemovable, char *folder, char *subFolder);

// Folder picked with the browser (folder, NVR_PATH_SIZE, changed in place)
// plus the default sub-folder; no trailing backslash except on a drive root.
void ApplyBrowseChoice(char *folder, const char *subFolder);

// The space line "<LabelSpaceNeeded> <kilobytes>KB", kilobytes rounded to the
// nearest whole number with halves upwards. out: NVR_MESSAGE_SIZE bytes.
void FormatSpaceLine(char *out, DWORD spaceNeeded);

// Normalises a typed folder in place (NVR_PATH_SIZE): X:rest -> X:\rest, no
// trailing backslash except on a root, relative paths taken below the package
// folder. FALSE (folder untouched) when the text is blank.
BOOL NormaliseFolder(char *folder);

// Free bytes from GetDiskFreeSpaceA's figures: cluster size as a 32-bit
// product, times free clusters, 0xFFFFFFFF when that does not fit 32 bits.
DWORD FreeBytesFromFigures(DWORD sectorsPerCluster, DWORD bytesPerSector, DWORD freeClusters);

// The checks of an accepted folder, in the order they are made.
enum FolderCheck {
    CheckRemote,        // \\server\share: MsgRemoteFolder
    CheckBadDrive,      // root missing: MsgBadDrive
    CheckRemovable,     // removable or CD-ROM: MsgRemovableDrive (question)
    CheckCreate,        // typed folder that does not exist: MsgCreateFolder (question)
    CheckNoSpace,       // free bytes not above space needed: MsgNoFreeSpace
    CheckPassed         // go on and create the folders
};

// What the system says about a normalised folder and its drive.
struct FolderFacts {
    BOOL rootExists;    // FolderExists of the root
    BOOL removable;     // drive type removable or CD-ROM
    BOOL edited;        // the user changed the field since it was last set
    BOOL folderExists;  // the folder itself exists
    DWORD freeBytes;    // free bytes on the root (saturated)
    DWORD spaceNeeded;  // bytes the installation needs
};

// The first check at or after from that stops the folder (or asks the user),
// or CheckPassed. A question answered Yes goes on with from = that check + 1.
FolderCheck NextFolderCheck(const char *folder, const FolderFacts *facts, int from);

#endif

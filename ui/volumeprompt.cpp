// volumeprompt.cpp -- the volume-change prompt: existence test, the disk
// request on removable and CD-ROM drives, and the Retry/Cancel loop.
//
// Runs on the thread that reads the package (the install worker, or the main
// thread before any page exists); its boxes belong to the current page. It
// opens no file and keeps no state of its own.
#include "ui/volumeprompt.h"
#include "ui/catalog.h"
#include "ui/mainwindow.h"
#include "launcher/launcher.h"
#include "package/format.h"
#include "package/reader.h"
#include "setupinfo/toolkit.h"

#define NVR_VOLUME_EXT_SIZE 8        // ".%03d" of 1..255, with room to spare

// NULL means GetDriveTypeA (the address of an imported function is no
// constant initializer: it would need a static constructor).
DriveTypeQuery g_volumeDriveType;

// Shows id with the volume's file name and place (drive or folder): English
// names the file first, Korean the place first.
static int AskVolume(TextId id, UINT style, const char *file, const char *place)
{
    if (g_languageFlag == 0)
        return ShowCatalogMessage(g_currentPage, id, style, place, file);
    return ShowCatalogMessage(g_currentPage, id, style, file, place);
}

static int IsRemovableRoot(const char *root)
{
    char withSlash[NVR_PATH_SIZE];
    UINT type;

    CopyBounded(NVR_PATH_SIZE, withSlash, root);
    AppendBounded(NVR_PATH_SIZE, withSlash, "\\");
    type = g_volumeDriveType ? g_volumeDriveType(withSlash) : GetDriveTypeA(withSlash);
    return type == DRIVE_REMOVABLE || type == DRIVE_CDROM;
}

int VolumePromptForPath(const char *volumePath)
{
    char file[NVR_PATH_SIZE];
    char place[NVR_PATH_SIZE];
    TextId ask = MsgVolumeNotInFolder;

    if (FileExists(volumePath))
        return 0;
    CopyBounded(NVR_PATH_SIZE, file, PathFileName(volumePath));
    CopyBounded(NVR_PATH_SIZE, place, PathRoot(volumePath));
    if (IsRemovableRoot(place)) {
        AskVolume(MsgInsertVolume, MB_ICONWARNING | MB_OK, file, place);
        ask = MsgVolumeNotOnDrive;
    } else {
        CopyBounded(NVR_PATH_SIZE, place, PathFolder(volumePath));
    }
    // Any answer but Retry (Cancel, or a box that could not be shown) gives up.
    while (!FileExists(volumePath)) {
        if (AskVolume(ask, MB_ICONWARNING | MB_RETRYCANCEL, file, place) != IDRETRY) {
            InterlockedExchange(&g_abortFlag, 1);
            return -1;
        }
    }
    return 0;
}

int VolumePrompt(int volume)
{
    char path[NVR_PATH_SIZE];
    char ext[NVR_VOLUME_EXT_SIZE];
    const char *first = PackageFirstVolumePath(g_reader);

    CopyBounded(NVR_PATH_SIZE, path, first ? first : "");
    wsprintfA(ext, NVR_VOLUME_EXT_FORMAT, volume);
    return VolumePromptForPath(ReplaceExtension(path, ext));
}

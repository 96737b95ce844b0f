// replacequery.h -- the replace-file query (template 1065): a modal dialog on
// the install worker's thread that shows the existing file and the package's
// file and asks whether to replace. It never touches a file; its answer and
// the replace policies it sets are all it leaves behind.
#ifndef NVR_UI_REPLACEQUERY_H
#define NVR_UI_REPLACEQUERY_H

#include <windows.h>
#include "engine/engine.h"

// name(version; date/time; sizeBytes): file name (at most 259 characters),
// four 5-digit version parts, a 5-digit year, a 13-character size and the
// punctuation fit.
#define NVR_FILE_LINE_SIZE 360

// The open query dialog, or NULL. Written by the worker's thread; the progress
// page reads it (with that thread suspended) to leave an open query alone.
extern HWND g_replaceQueryWindow;

// Shows the query about query (its FileInfos stay valid during the call),
// owned by the current page. 1: replace the existing file (Yes). 0: keep it
// (No, Abort confirmed, or the dialog could not be shown); with the abort
// flag set afterwards the caller stops the pass. With "No more query."
// ticked, Yes and No set the pass's replace policy to 1 / -1.
int RunReplaceQuery(ReplaceQuery *query);

// One line about a file, "name(version; year-month-day/hour:minute;
// sizeBytes)" as the dialog shows it, e.g.
// "foo.dll(1.2.3.4; 2001-3-24/9:05; 110,592Bytes)"; the version part is
// left out when both halves are 0xFFFFFFFF. name is the file name part of
// info->name. out: NVR_FILE_LINE_SIZE bytes. Returns the length.
int FormatFileLine(char *out, const FileInfo *info);

// 1 when the package's file is older than the existing one, so that No is
// proposed: a lower version, or the same (or a missing) version and an
// earlier time.
int IsPackageFileOlder(const FileInfo *package, const FileInfo *existing);

#endif

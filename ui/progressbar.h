// progressbar.h -- the progress bar control of class "IFPB": a child window
// painted double-buffered with the filled share and the percentage centred
// on it (the digits over the filled part in the inverse colour).
//
// One bar per process (the progress page's); the state lives in
// progressbar.cpp. It takes no font, brush or timer of its own and never
// talks to the page: the page and the rollback drive it.
#ifndef NVR_UI_PROGRESSBAR_H
#define NVR_UI_PROGRESSBAR_H

#include <windows.h>

#define NVR_BAR_CLASS "IFPB"
#define NVR_PERCENT_SIZE 16       // "%d%%" of any int + NUL

// Registers the class "IFPB" with instance and creates the bar over rect
// (client coordinates of parent) as a visible child with a sunken edge.
// 1, or 0 when the class or the window could not be made (the class is then
// unregistered again and every bar operation below does nothing).
int CreateProgressBar(HINSTANCE instance, HWND parent, const RECT *rect);

// Destroys the bar if there is one and unregisters the class. Safe to call
// twice and without a bar.
void DestroyProgressBar(void);

// Sets the filled share to done / total and repaints when the filled width
// or the percentage changed. total 0 counts as full. No bar: nothing.
void SetProgressFraction(DWORD done, DWORD total);

// Moves the filled edge back one pixel (from the bar's right end at most,
// when the share is above 1). 1 when it moved, 0 when the bar is empty or
// there is no bar. Called by the rollback thread until it returns 0.
int StepProgressBack(void);

// Pure arithmetic of the bar, shared by painting and by the tests.
// done / total in double precision; total 0 gives 1.0.
double ProgressFraction(DWORD done, DWORD total);
// Filled pixels of a bar width pixels wide: width * fraction truncated,
// kept within 0..width.
int FilledWidth(double fraction, int width);
// The percentage shown: fraction * 100 truncated, at most INT_MAX.
int ProgressPercent(double fraction);

// The bar window, or NULL (for tests).
HWND ProgressBarWindow(void);

#endif

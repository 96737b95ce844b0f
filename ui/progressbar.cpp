// progressbar.cpp -- the "IFPB" progress bar: class registration, the bar's
// state, painting through a memory bitmap, and the arithmetic of the filled
// share.
//
// The bar is repainted only when its filled width or its percentage changes:
// the install worker reports every written block, and a repaint per report
// would cost more than the report itself. Nothing here blocks, sends to
// another thread or keeps a GDI object between paints.
#include "ui/progressbar.h"
#include "setupinfo/toolkit.h"

#define NVR_PERCENT_MAX 0x7FFFFFFF   // the percentage is shown as an int

static HWND s_bar;            // the bar window, or NULL
static ATOM s_barClass;       // nonzero while "IFPB" is registered
static HINSTANCE s_instance;  // instance the class was registered with
static int s_width;           // client width of the bar, pixels
static double s_fraction;     // filled share; written by the page's thread,
                              // and by the rollback thread after the worker
static int s_shownWidth;      // filled pixels of the last repaint request
static int s_shownPercent;    // percentage of the last repaint request

double ProgressFraction(DWORD done, DWORD total)
{
    if (total == 0)
        return 1.0;
    return (double)done / (double)total;
}

int FilledWidth(double fraction, int width)
{
    if (fraction >= 1.0)
        return width;
    if (fraction <= 0.0)
        return 0;
    return (int)(width * fraction);
}

int ProgressPercent(double fraction)
{
    double percent = fraction * 100.0;
    if (percent >= (double)NVR_PERCENT_MAX)
        return NVR_PERCENT_MAX;
    return percent > 0.0 ? (int)percent : 0;
}

HWND ProgressBarWindow(void)
{
    return s_bar;
}

// Asks for a repaint when what the bar shows has changed.
static void RequestRepaint(void)
{
    double fraction = s_fraction;
    int width = FilledWidth(fraction, s_width);
    int percent = ProgressPercent(fraction);

    if (width == s_shownWidth && percent == s_shownPercent)
        return;
    s_shownWidth = width;
    s_shownPercent = percent;
    InvalidateRect(s_bar, NULL, FALSE);
}

// Clips to part, fills it with the system colour fill and draws text,
// centred in whole, in the colour ink.
static void PaintPart(HDC dc, RECT *part, RECT *whole, int fill, int ink, const char *text)
{
    HRGN clip = CreateRectRgnIndirect(part);

    SelectClipRgn(dc, clip);   // replaces the other part's clipping
    DeleteObject(clip);
    FillRect(dc, part, GetSysColorBrush(fill));
    SetTextColor(dc, GetSysColor(ink));
    DrawTextA(dc, text, -1, whole, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

// Paints the whole client area from a memory bitmap, so the bar never
// flickers between its two parts.
static void PaintBar(HWND bar)
{
    PAINTSTRUCT paint;
    RECT whole, part;
    char text[NVR_PERCENT_SIZE];
    double fraction = s_fraction;   // one reading: width and digits agree
    HDC dc = BeginPaint(bar, &paint);
    HDC memory = CreateCompatibleDC(dc);

    GetClientRect(bar, &whole);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, whole.right, whole.bottom);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SetBkMode(memory, TRANSPARENT);
    wsprintfA(text, "%d%%", ProgressPercent(fraction));
    part = whole;
    part.right = FilledWidth(fraction, whole.right);
    PaintPart(memory, &part, &whole, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, text);
    part.left = part.right;
    part.right = whole.right;
    PaintPart(memory, &part, &whole, COLOR_WINDOW, COLOR_HIGHLIGHT, text);
    BitBlt(dc, 0, 0, whole.right, whole.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(bar, &paint);
}

static LRESULT CALLBACK ProgressBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintBar(bar);
        return 0;
    }
    return DefWindowProcA(bar, message, wParam, lParam);
}

int CreateProgressBar(HINSTANCE instance, HWND parent, const RECT *rect)
{
    WNDCLASSA barClass;
    RECT client;

    FillBytes(&barClass, 0, sizeof barClass);
    barClass.style = CS_HREDRAW | CS_VREDRAW;
    barClass.lpfnWndProc = ProgressBarProc;
    barClass.hInstance = instance;
    barClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    barClass.lpszClassName = NVR_BAR_CLASS;
    // Fails while a bar exists (its class is registered): that bar stays.
    ATOM registered = RegisterClassA(&barClass);
    if (!registered)
        return 0;
    s_barClass = registered;
    s_instance = instance;
    s_fraction = 0.0;
    s_shownWidth = s_shownPercent = 0;
    s_bar = CreateWindowExA(WS_EX_CLIENTEDGE, NVR_BAR_CLASS, "", WS_CHILD | WS_VISIBLE,
                            rect->left, rect->top, rect->right - rect->left,
                            rect->bottom - rect->top, parent, NULL, instance, NULL);
    if (!s_bar) {
        DestroyProgressBar();
        return 0;
    }
    GetClientRect(s_bar, &client);
    s_width = client.right;
    return 1;
}

void DestroyProgressBar(void)
{
    if (s_bar)
        DestroyWindow(s_bar);
    s_bar = NULL;
    if (s_barClass)
        UnregisterClassA(NVR_BAR_CLASS, s_instance);
    s_barClass = 0;
    s_instance = NULL;
}

void SetProgressFraction(DWORD done, DWORD total)
{
    if (!s_bar)
        return;
    s_fraction = ProgressFraction(done, total);
    RequestRepaint();
}

int StepProgressBack(void)
{
    double x;

    if (!s_bar)
        return 0;
    // An over-full bar looks full: step back from its right end, not from
    // the true share, which could be millions of pixels away.
    x = s_fraction < 1.0 ? s_width * s_fraction : s_width;
    if (x <= 0.0)
        return 0;
    x -= 1.0;
    s_fraction = x >= 0.0 ? x / s_width : 0.0;
    RequestRepaint();
    return 1;
}

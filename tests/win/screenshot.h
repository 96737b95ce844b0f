// screenshot.h -- saves what a window shows on screen as a PNG file, for the
// screenshot tests and the unattended driver. Test code only (C++17,
// header-only); needs zlib's deflate and crc32 (nvr_zlib_full). It does not
// change the window it captures (no focus change, no message sent to it).
#ifndef NVR_TESTS_SCREENSHOT_H
#define NVR_TESTS_SCREENSHOT_H

#include <windows.h>
#include <string>
#include <vector>
#include "zlib.h"

namespace screenshot {

namespace detail {

inline void Put32(std::string *out, unsigned long v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<char>((v >> shift) & 0xFF));
}

inline void Chunk(std::string *out, const char *type, const std::string &data)
{
    std::string body = std::string(type, 4) + data;
    Put32(out, static_cast<unsigned long>(data.size()));
    out->append(body);
    Put32(out, crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(body.data()),
                     static_cast<uInt>(body.size())));
}

// PNG bytes of a top-down 24-bit BGR bitmap whose rows are stride bytes apart.
inline std::string Png(const BYTE *bgr, int width, int height, int stride)
{
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; y++) {
        raw.push_back(0);  // filter: none
        const BYTE *row = bgr + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; x++) {
            raw.push_back(static_cast<char>(row[3 * x + 2]));
            raw.push_back(static_cast<char>(row[3 * x + 1]));
            raw.push_back(static_cast<char>(row[3 * x]));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<Bytef> packed(packedSize);
    if (compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef *>(raw.data()),
                  static_cast<uLong>(raw.size()), 6) != Z_OK)
        return std::string();
    std::string header;
    Put32(&header, width);
    Put32(&header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter set, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    Chunk(&png, "IHDR", header);
    Chunk(&png, "IDAT", std::string(reinterpret_cast<const char *>(packed.data()), packedSize));
    Chunk(&png, "IEND", std::string());
    return png;
}

}  // namespace detail

// Copies the screen area of window w (frame included) into the PNG file path.
// Reads the screen, so the window must be on top and painted; when the screen
// cannot be read the window is asked to print itself instead. False when the
// window has no area or the file cannot be written.
inline bool SaveWindow(HWND w, const std::string &path)
{
    RECT r;
    if (!GetWindowRect(w, &r) || r.right <= r.left || r.bottom <= r.top)
        return false;
    int width = r.right - r.left, height = r.bottom - r.top;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    bool ok = false;
    void *bits = NULL;
    HDC screen = GetDC(NULL);
    HDC mem = screen ? CreateCompatibleDC(screen) : NULL;
    HBITMAP bmp = mem ? CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
    if (bmp) {
        HGDIOBJ old = SelectObject(mem, bmp);
        BOOL copied = BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
        if (!copied)
            copied = PrintWindow(w, mem, 0);
        GdiFlush();
        if (copied) {
            int stride = (width * 3 + 3) & ~3;
            std::string png = detail::Png(static_cast<const BYTE *>(bits), width, height, stride);
            HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (f != INVALID_HANDLE_VALUE) {
                DWORD put = 0;
                ok = !png.empty() && WriteFile(f, png.data(), (DWORD)png.size(), &put, NULL) &&
                     put == png.size();
                CloseHandle(f);
            }
        }
        SelectObject(mem, old);
        DeleteObject(bmp);
    }
    if (mem)
        DeleteDC(mem);
    if (screen)
        ReleaseDC(NULL, screen);
    return ok;
}

}  // namespace screenshot

#endif

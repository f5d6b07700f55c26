#pragma once
// The window a pipeline talks to: it posts messages to it (from any thread),
// asks it to repaint, and reads its client rectangle. The GUI implements it over
// Qt; the CLI and the tests use QueueWindow, which keeps posted messages in a
// queue. Nothing here knows about Qt.
#include <cstdint>

#include "platform/com/types.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

constexpr UINT WM_USER = 0x0400;

// A drawing surface handed to a paint: the GUI wraps a QPainter, headless code
// an image in memory.
class IDrawContext {
public:
    virtual ~IDrawContext() = default;
    virtual void FillRect(const RECT& r, COLORREF color) = 0;
    // 32-bit pixels, B G R X in memory order, rows top-down, scaled into dst.
    virtual void DrawBitmap(const RECT& dst, const void* pixels, int width, int height,
                            int strideBytes) = 0;
};
using HDC = IDrawContext*;

class IWindow {
public:
    virtual ~IWindow() = default;
    // Thread-safe; the message is handled later on the window's own thread.
    virtual void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // Thread-safe; the window will paint soon (and its paint may draw video).
    virtual void Invalidate() = 0;
    virtual RECT GetClientRect() const = 0;
};
using HWND = IWindow*;

inline BOOL PostMessage(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!w) return FALSE;
    w->PostMessage(msg, wParam, lParam);
    return TRUE;
}

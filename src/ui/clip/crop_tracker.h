#pragma once
// The draggable crop frame over the clip editor's plain view. It keeps a
// rectangle inside bounds (the video area, in the dialog's client
// coordinates) with a minimum size, tells which of its nine parts a point is
// on, and moves that part as the mouse drags. It draws nothing: the frame the
// user sees is the edit preview's overlay. Every change is posted to the owner
// as 0x7D0 (wParam 0, lParam 0).
#include "platform/win/window.h"

constexpr UINT WM_CROP_TRACKER_CHANGED = 0x7D0;

class CropTracker {
  public:
    // Parts: 1 top-left, 2 top, 3 top-right, 4 right, 5 bottom-right,
    // 6 bottom, 7 bottom-left, 8 left, 9 inside; 0 none.
    enum Cursor { kNoCursor, kSizeNWSE, kSizeNS, kSizeNESW, kSizeWE, kSizeAll };

    void Init(HWND owner, const RECT& bounds, int minWidth, int minHeight);
    // r is relative to the bounds' top-left corner.
    void SetRect(const RECT& r);
    RECT GetRect() const;
    RECT Bounds() const { return bounds_; }
    // In client coordinates.
    RECT CurrentRect() const { return rect_; }

    int HitTest(POINT p) const;
    static Cursor CursorOf(int part);

    // A drag: Begin on the button press (false when no part is hit), Drag for
    // every mouse move and for the release, then End.
    bool BeginTrack(POINT p);
    void Drag(POINT p);
    void EndTrack();
    bool IsTracking() const { return part_ != 0; }

    // Moves part n by (dx, dy) within the bounds and the minimum size; posts
    // the change when the rectangle changed.
    void Move(int part, int dx, int dy);

  private:
    HWND owner_ = nullptr;
    RECT bounds_{};
    int minWidth_ = 0, minHeight_ = 0;
    RECT rect_{};
    int part_ = 0;
    POINT last_{};
};

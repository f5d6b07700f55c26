#include "ui/clip/crop_tracker.h"

namespace {

bool Contains(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace

void CropTracker::Init(HWND owner, const RECT& bounds, int minWidth, int minHeight) {
    owner_ = owner;
    bounds_ = bounds;
    minWidth_ = minWidth;
    minHeight_ = minHeight;
    rect_ = bounds;
    part_ = 0;
}

void CropTracker::SetRect(const RECT& r) {
    rect_ = RECT{r.left + bounds_.left, r.top + bounds_.top, r.right + bounds_.left,
                 r.bottom + bounds_.top};
}

RECT CropTracker::GetRect() const {
    return RECT{rect_.left - bounds_.left, rect_.top - bounds_.top, rect_.right - bounds_.left,
                rect_.bottom - bounds_.top};
}

int CropTracker::HitTest(POINT p) const {
    const LONG l = rect_.left, t = rect_.top, r = rect_.right, b = rect_.bottom;
    const RECT parts[9] = {
        {l, t, l + 2, t + 2},     {l + 2, t, r - 2, t + 2}, {r - 2, t, r, t + 2},
        {r - 2, t + 2, r, b - 2}, {r - 2, b - 2, r, b},     {l + 2, b - 2, r - 2, b},
        {l, b - 2, l + 2, b},     {l, t + 2, l + 2, b - 2}, {l + 2, t + 2, r - 2, b - 2},
    };
    for (int i = 0; i < 9; ++i)
        if (Contains(parts[i], p)) return i + 1;
    return 0;
}

CropTracker::Cursor CropTracker::CursorOf(int part) {
    switch (part) {
        case 1:
        case 5:
            return kSizeNWSE;
        case 2:
        case 6:
            return kSizeNS;
        case 3:
        case 7:
            return kSizeNESW;
        case 4:
        case 8:
            return kSizeWE;
        case 9:
            return kSizeAll;
        default:
            return kNoCursor;
    }
}

bool CropTracker::BeginTrack(POINT p) {
    part_ = HitTest(p);
    last_ = p;
    return part_ != 0;
}

void CropTracker::Drag(POINT p) {
    if (!part_) return;
    Move(part_, p.x - last_.x, p.y - last_.y);
    last_ = p;
}

void CropTracker::EndTrack() {
    part_ = 0;
}

void CropTracker::Move(int part, int dx, int dy) {
    LONG l = rect_.left, t = rect_.top, r = rect_.right, b = rect_.bottom;
    const LONG mw = minWidth_, mh = minHeight_;
    const LONG L = bounds_.left, T = bounds_.top, R = bounds_.right, B = bounds_.bottom;
    auto atLeast = [](LONG& v, LONG lo) {
        if (v < lo) v = lo;
    };
    auto atMost = [](LONG& v, LONG hi) {
        if (v > hi) v = hi;
    };
    switch (part) {
        case 1:
            l += dx, t += dy;
            if (r - l < mw) l = r - mw;
            if (b - t < mh) t = b - mh;
            atLeast(l, L), atLeast(t, T);
            break;
        case 2:
            t += dy;
            if (b - t < mh) t = b - mh;
            atLeast(t, T);
            break;
        case 3:
            r += dx, t += dy;
            if (r - l < mw) r = l + mw;
            if (b - t < mh) t = b - mh;
            atMost(r, R), atLeast(t, T);
            break;
        case 4:
            r += dx;
            if (r - l < mw) r = l + mw;
            atMost(r, R);
            break;
        case 5:
            r += dx, b += dy;
            if (r - l < mw) r = l + mw;
            if (b - t < mh) b = t + mh;
            atMost(r, R), atMost(b, B);
            break;
        case 6:
            b += dy;
            if (b - t < mh) b = t + mh;
            atMost(b, B);
            break;
        case 7:
            l += dx, b += dy;
            if (r - l < mw) l = r - mw;
            if (b - t < mh) b = t + mh;
            atLeast(l, L), atMost(b, B);
            break;
        case 8:
            l += dx;
            if (r - l < mw) l = r - mw;
            atLeast(l, L);
            break;
        case 9: {
            l += dx, r += dx, t += dy, b += dy;
            if (l < L) r += L - l, l = L;
            if (r > R) l -= r - R, r = R;
            if (t < T) b += T - t, t = T;
            if (b > B) t -= b - B, b = B;
            break;
        }
        default:
            return;
    }
    const RECT moved{l, t, r, b};
    if (moved == rect_) return;
    rect_ = moved;
    PostMessage(owner_, WM_CROP_TRACKER_CHANGED, 0, 0);
}

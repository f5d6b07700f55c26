#include "ui/clip/clip_geometry.h"

#include <cstdio>

RECT FitAspect(const RECT& rect, float a) {
    RECT r = rect;
    const LONG w = rect.Width(), h = rect.Height();
    if (w <= 0 || h <= 0 || !(a > 0)) return r;
    if (a > float(w) / float(h)) {
        const LONG pad = (h - LONG(float(w) / a)) / 2;
        r.top += pad;
        r.bottom -= pad;
    } else {
        const LONG pad = (w - LONG(a * float(h))) / 2;
        r.left += pad;
        r.right -= pad;
    }
    return r;
}

std::string FormatClipTime(std::int64_t milliseconds) {
    const std::int64_t total = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(total / 3600), int(total / 60 % 60),
                  int(total % 60));
    return text;
}

std::int64_t ParseClipTime(const std::string& text) {
    int h = 0, m = 0, s = 0;
    std::sscanf(text.c_str(), "%d:%d:%d", &h, &m, &s);
    return (std::int64_t(h) * 3600 + std::int64_t(m) * 60 + s) * 1000;
}

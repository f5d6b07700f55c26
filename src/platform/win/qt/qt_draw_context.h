#pragma once
// IDrawContext over a QPainter, so code below the GUI (the video renderer) can
// paint into a widget's paint event.
#include "platform/win/window.h"

class QPainter;

class QtDrawContext : public IDrawContext {
  public:
    explicit QtDrawContext(QPainter& painter) : painter_(painter) {}

    void FillRect(const RECT& r, COLORREF color) override;
    void DrawBitmap(const RECT& dst, const void* pixels, int width, int height,
                    int strideBytes) override;

  private:
    QPainter& painter_;
};

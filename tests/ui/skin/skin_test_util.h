#pragma once
// Shared by the skin tests: the application object, images written to a
// temporary folder, pumping the event loop and recording posted messages.
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/win/qt/qt_window.h"

QApplication& TestApp();

// A folder of test images that disappears with the object.
class ImageDir {
  public:
    // Writes image as name.png and returns its full path.
    std::string Write(const std::string& name, const QImage& image);
    std::string Path(const std::string& name) const;

  private:
    QTemporaryDir dir_;
};

QImage Solid(int w, int h, QColor c);
// A strip of equal frames, one solid colour each.
QImage Strip(int frameW, int h, const std::vector<QColor>& colors);

void Pump(int ms = 0);

struct Posted {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Records what the controls post to their parent.
class MessageLog {
  public:
    explicit MessageLog(QWidget* parent);
    // Delivers what is queued, then returns and forgets it.
    std::vector<Posted> Take();

  private:
    std::vector<Posted> log_;
};

// The widget rendered on its own, as the screen would show it.
QImage Grab(QWidget* w);

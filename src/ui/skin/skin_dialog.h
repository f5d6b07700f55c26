#pragma once
// The base of every dialog of the program: frameless, sized to its background
// image and painted from it, clipped to a rounded rectangle (20 x 20 corner
// ellipses), centred, and dragged by any point of its body that no control
// covers. Image buttons are placed by their top-left corner over the
// background. Posted messages and timers go through Window().
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QRegion>
#include <string>

#include "platform/win/qt/qt_window.h"

class CMyButton;
class CMyStatic;

class CSkinDialog : public QDialog {
  public:
    explicit CSkinDialog(QWidget* parent = nullptr);

    // Loads the background; on success the dialog takes its size, its rounded
    // clip, and is centred. On failure the dialog keeps its size and look.
    bool LoadBackground(const std::string& name);
    // The dialog's memory bitmap; null when no background loaded.
    const QImage& Background() const { return background_; }

    // Gives the button its strip and places it at (x, y) over the background.
    bool PlaceButton(CMyButton* button, const std::string& image, int x, int y);

    // A caption at place, its background cut from the dialog's (so it shows
    // through around the text).
    CMyStatic* AddLabel(const QString& text, const QRect& place);

    // Centres over the parent window, or on the screen when there is none.
    void CenterWindow();

    // The region a w x h dialog is clipped to.
    static QRegion RoundedRegion(int width, int height);

    // The dialog as a window for posted messages, timers and repaints.
    QtWindow* Window() { return window_; }
    HWND GetSafeHwnd() { return window_; }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    QImage background_;
    QtWindow* window_;
    bool dragging_ = false;
    QPoint dragOffset_;
};

#pragma once
// The start-up picture: a borderless window the size of the picture, centred on
// the screen, with a few lines of text drawn over it. A picture that does not
// load makes no window, and the text calls then do nothing.
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <string>

class CSplashWnd : public QWidget {
  public:
    explicit CSplashWnd(const std::string& picturePath);

    // Shows the window when the picture loaded; whether it is shown.
    bool Create();
    // Draws one line with its top-left corner at (x, y) of the picture.
    void DrawText(const QString& text, int x, int y, const QColor& color);

    bool PictureLoaded() const { return loaded_; }
    const QImage& Picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QImage picture_;
    bool loaded_ = false;
};

#pragma once
// A push button drawn from a horizontal strip of four equal frames: normal,
// hover, pressed, disabled. Tab buttons latch to show their page is current.
#include <QImage>
#include <QPushButton>
#include <string>

class CMyButton : public QPushButton {
  public:
    enum Frame { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

    explicit CMyButton(QWidget* parent = nullptr);

    // Loads the strip and moves the button to (x, y) with one frame's size
    // (width and height are accepted for the callers' sake and not used). The
    // part of background under the button is kept and drawn behind the frame.
    // False, and no picture, when the image cannot be loaded.
    bool SetImage(const std::string& path, int x, int y, int width, int height,
                  const QImage* background);
    // Latched buttons draw pressed until released with SetChecked(0).
    void SetChecked(int flag);

    int GetFrame() const { return frame_; }
    bool IsLatched() const { return latched_; }
    int FrameWidth() const { return image_.width() / 4; }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool hitButton(const QPoint& pos) const override;

  private:
    QImage image_;
    QImage background_;
    int frame_ = kNormal;  // remembered between paints
    bool latched_ = false;
    bool tracking_ = false;
};

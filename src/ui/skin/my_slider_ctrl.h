#pragma once
// A slider drawn from three images: the track, the track as it looks inside the
// band (drawn between band start and position) and the thumb. In follow mode 1
// the thumb goes with the position; in any other mode the two are apart, so the
// band can show one range while the thumb shows another value.
#include <QImage>
#include <QWidget>
#include <string>

class CMySliderCtrl : public QWidget {
  public:
    explicit CMySliderCtrl(QWidget* parent = nullptr);

    // Loads the thumb, the track and the band fill; the control takes the
    // track's size at its current top-left corner. False when any image cannot
    // be loaded (the ones that loaded are still used).
    bool SetImages(const std::string& background, const std::string& fill,
                   const std::string& thumb);

    void SetRange(int minimum, int maximum);
    void GetRange(int& minimum, int& maximum) const;
    // The three setters are ignored while the user drags the thumb.
    void SetPos(int value);
    void SetThumbPos(int value);
    // A negative value leaves its end of the band unchanged.
    void SetSelection(int start, int position);
    void GetSelection(int& start, int& position) const;
    int GetPos() const { return position_; }
    int GetThumbPos() const { return thumb_; }
    void SetFollow(int mode) { follow_ = mode; }
    int GetFollow() const { return follow_; }
    bool IsDragging() const { return dragging_; }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    int ColumnOf(int value, int span) const;
    void TrackTo(int x);

    int min_ = 0, max_ = 0;
    int bandStart_ = 0, position_ = 0;
    int follow_ = 1;
    int thumb_ = 0;
    bool dragging_ = false;
    QImage background_, fill_, thumbImage_;
};

#pragma once
// A range selector with two handles drawn from one image. The handles keep at
// least one handle width between their centres, so the start never passes the
// end.
#include <QImage>
#include <QRect>
#include <QWidget>
#include <string>

class CMySelectCtrl : public QWidget {
  public:
    explicit CMySelectCtrl(QWidget* parent = nullptr);

    // Loads the handle image and keeps the part of background under the
    // control (place the control first); the handles go to 0 and 1.
    bool SetImage(const std::string& path, const QImage* background);

    void SetRange(int minimum, int maximum);
    void GetRange(int& minimum, int& maximum) const;
    // Fractions of the range; a negative value leaves its handle where it is.
    // Does not notify the parent.
    void SetSel(float start, float end);
    void GetSel(float& start, float& end) const;

    QRect StartHandleRect() const;
    QRect EndHandleRect() const;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    QRect HandleRect(float fraction) const;
    int ValueOf(float fraction) const;

    int min_ = 0, max_ = 1000;
    float start_ = 0.f, end_ = 0.f;
    int drag_ = 0;  // 0 none, 1 start handle, 2 end handle
    QImage handle_;
    QImage background_;
};

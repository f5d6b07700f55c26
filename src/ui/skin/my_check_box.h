#pragma once
// A check box whose text is drawn transparently over the dialog background:
// the box in a 15-pixel square at the left, the text 20 pixels in, on one line.
#include <QCheckBox>

class CMyCheckBox : public QCheckBox {
  public:
    explicit CMyCheckBox(QWidget* parent = nullptr);
    CMyCheckBox(const QString& text, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* e) override;
    bool hitButton(const QPoint& pos) const override;
};

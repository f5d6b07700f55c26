#pragma once
// A label drawn over the dialog background: the background under it, then its
// text at the top left. Mouse presses pass through to the dialog, which is
// dragged by any point that no real control covers.
#include <QImage>
#include <QString>
#include <QWidget>

class CMyStatic : public QWidget {
  public:
    explicit CMyStatic(QWidget* parent = nullptr);
    CMyStatic(const QString& text, QWidget* parent);

    // Keeps the part of background under the label (place the label first).
    void CopyBackground(const QImage* background);

    void SetWindowText(const QString& text);
    QString GetWindowText() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QString text_;
    QImage background_;
};

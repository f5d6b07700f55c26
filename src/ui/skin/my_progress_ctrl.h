#pragma once
// A progress bar filled with a tiled image up to its position, with the
// percentage centred over it.
#include <QImage>
#include <QProgressBar>
#include <QString>
#include <string>

class CMyProgressCtrl : public QProgressBar {
  public:
    explicit CMyProgressCtrl(QWidget* parent = nullptr);

    // The control takes the image's height (same top-left and width) and is
    // filled with the image repeated from the left. False when it cannot load.
    bool SetImage(const std::string& path);

    // The text drawn for the current value, e.g. "33%".
    QString PercentText() const;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    float Percent() const;
    void Retile();

    QImage tile_;
    QImage tiled_;
};

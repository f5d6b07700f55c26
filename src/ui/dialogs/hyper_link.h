#pragma once
// A link label: its text in blue (purple once visited, red under the mouse),
// underlined, with a hand cursor and the address as its tooltip. A click marks
// it visited and opens the address in the desktop's browser.
#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>

class CHyperLink : public QWidget {
  public:
    static inline const QColor kUnvisited{0, 0, 255};
    static inline const QColor kVisited{85, 26, 139};
    static inline const QColor kHover{255, 0, 0};

    explicit CHyperLink(QWidget* parent = nullptr);
    // A link with no address takes its text as the address; one with no text
    // shows the address.
    CHyperLink(const QString& text, const QString& url, QWidget* parent);

    // Sets the address and its tooltip, and re-sizes the link to its text.
    void SetURL(const QString& url);
    QString GetURL() const { return url_; }
    void SetWindowText(const QString& text);
    QString GetWindowText() const { return text_; }

    // Which edge stays put when the link re-sizes to its text: left (default),
    // centre or right.
    void SetAlignment(Qt::Alignment alignment) { alignment_ = alignment; }
    void SetAutoSize(bool on);
    void SetUnderline(bool on);
    void SetVisited(bool on);
    bool IsVisited() const { return visited_; }
    bool IsHovered() const { return hovered_; }
    // The colour the text is drawn in now.
    QColor TextColor() const;

    // Opens an address; defaults to the desktop's browser.
    using Opener = std::function<bool(const QString& url)>;
    void SetOpener(Opener opener) { opener_ = std::move(opener); }
    // The desktop's opener, falling back to the usual browser commands.
    static bool OpenAddress(const QString& url);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

  private:
    void FitToText();

    QString text_;
    QString url_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    bool visited_ = false;
    bool hovered_ = false;
    bool underline_ = true;
    bool autoSize_ = true;
    Opener opener_;
};

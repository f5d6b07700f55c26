#pragma once
// An IWindow over a QWidget. Messages posted from any thread arrive as Qt
// events on the widget's (GUI) thread and are dispatched to handlers keyed by
// message number; repaint requests from any thread become update() calls; timers
// are identified by the caller's ids and arrive as WM_TIMER.
//
// A QtWindow is a child object of its widget and dies with it. Code that keeps
// the HWND on other threads (a renderer, a graph's event sink) must be detached
// before the widget is destroyed, just as with a real window handle.
#include <QEvent>
#include <QObject>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>

#include "platform/win/window.h"

class QWidget;

using UINT_PTR = std::uintptr_t;
constexpr UINT WM_TIMER = 0x0113;

// The Qt event a posted message travels in.
class QtMessageEvent : public QEvent {
  public:
    QtMessageEvent(UINT msg, WPARAM wParam, LPARAM lParam);
    static QEvent::Type Type();

    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class QtWindow : public QObject, public IWindow {
    Q_OBJECT
  public:
    using Handler = std::function<void(WPARAM wParam, LPARAM lParam)>;
    using DefaultHandler = std::function<void(UINT msg, WPARAM wParam, LPARAM lParam)>;

    // The window of a widget, created on first use (GUI thread only).
    static QtWindow* Attach(QWidget* widget);
    // The window of a widget, or null when none was attached.
    static QtWindow* Find(const QWidget* widget);

    ~QtWindow() override;

    QWidget* Widget() const { return widget_; }

    // IWindow; all three are safe from any thread.
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Invalidate() override;
    RECT GetClientRect() const override;

    // Dispatches at once on the calling (GUI) thread.
    void SendMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Sets the handler of one message; an empty handler removes it.
    void OnMessage(UINT msg, Handler handler);
    // Receives every message that has no handler of its own.
    void SetDefaultHandler(DefaultHandler handler);

    // GUI thread only. Setting an id that runs already restarts it with the new
    // period. Each expiry dispatches WM_TIMER with wParam = id.
    bool SetTimer(UINT_PTR id, UINT elapseMs);
    bool KillTimer(UINT_PTR id);

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

  private:
    explicit QtWindow(QWidget* widget);
    void Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void UpdateClientRect();

    QWidget* widget_;
    mutable std::mutex mutex_;
    RECT client_;
    std::atomic<bool> repaintPending_{false};
    std::map<UINT, Handler> handlers_;
    DefaultHandler defaultHandler_;
    std::map<UINT_PTR, int> timers_;  // our id -> Qt timer id
};

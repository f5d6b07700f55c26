#include "qt_window.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimerEvent>
#include <QWidget>
#include <utility>

namespace {
QEvent::Type RepaintEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
}  // namespace

QtMessageEvent::QtMessageEvent(UINT m, WPARAM w, LPARAM l)
    : QEvent(Type()), msg(m), wParam(w), lParam(l) {}

QEvent::Type QtMessageEvent::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QtWindow* QtWindow::Attach(QWidget* widget) {
    if (!widget) return nullptr;
    if (QtWindow* existing = Find(widget)) return existing;
    return new QtWindow(widget);
}

QtWindow* QtWindow::Find(const QWidget* widget) {
    if (!widget) return nullptr;
    return widget->findChild<QtWindow*>(QString(), Qt::FindDirectChildrenOnly);
}

QtWindow::QtWindow(QWidget* widget) : QObject(widget), widget_(widget) {
    // Both event types are registered here, on the GUI thread, so the first
    // post from a streaming thread never races the registration.
    QtMessageEvent::Type();
    RepaintEventType();
    UpdateClientRect();
    widget_->installEventFilter(this);
}

QtWindow::~QtWindow() {
    for (auto& [id, qtId] : timers_) killTimer(qtId);
}

void QtWindow::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // postEvent is thread-safe and keeps the order of events for one receiver.
    QCoreApplication::postEvent(this, new QtMessageEvent(msg, wParam, lParam));
}

void QtWindow::Invalidate() {
    // One pending request is enough: a burst of frames needs one repaint.
    if (repaintPending_.exchange(true)) return;
    QCoreApplication::postEvent(this, new QEvent(RepaintEventType()));
}

RECT QtWindow::GetClientRect() const {
    // A hidden widget gets its resize event only when shown, so the GUI thread
    // reads the live size; other threads read the copy kept by the filter.
    if (QThread::currentThread() == thread())
        return RECT{0, 0, widget_->width(), widget_->height()};
    std::lock_guard lock(mutex_);
    return client_;
}

void QtWindow::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    Dispatch(msg, wParam, lParam);
}

void QtWindow::OnMessage(UINT msg, Handler handler) {
    if (handler)
        handlers_[msg] = std::move(handler);
    else
        handlers_.erase(msg);
}

void QtWindow::SetDefaultHandler(DefaultHandler handler) {
    defaultHandler_ = std::move(handler);
}

bool QtWindow::SetTimer(UINT_PTR id, UINT elapseMs) {
    KillTimer(id);
    int qtId = startTimer(static_cast<int>(elapseMs), Qt::PreciseTimer);
    if (qtId == 0) return false;
    timers_[id] = qtId;
    return true;
}

bool QtWindow::KillTimer(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    killTimer(it->second);
    timers_.erase(it);
    return true;
}

bool QtWindow::event(QEvent* e) {
    if (e->type() == QtMessageEvent::Type()) {
        auto* m = static_cast<QtMessageEvent*>(e);
        Dispatch(m->msg, m->wParam, m->lParam);
        return true;
    }
    if (e->type() == RepaintEventType()) {
        repaintPending_ = false;
        widget_->update();
        return true;
    }
    return QObject::event(e);
}

bool QtWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == widget_ && (e->type() == QEvent::Resize || e->type() == QEvent::Show))
        UpdateClientRect();
    return false;
}

void QtWindow::timerEvent(QTimerEvent* e) {
    // The handler may kill or reset timers, so the map is not walked while it runs.
    for (const auto& [id, qtId] : timers_) {
        if (qtId == e->timerId()) {
            const UINT_PTR ours = id;
            Dispatch(WM_TIMER, ours, 0);
            return;
        }
    }
    QObject::timerEvent(e);
}

void QtWindow::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Copies, because a handler may replace itself or others while it runs.
    auto it = handlers_.find(msg);
    if (it != handlers_.end()) {
        Handler h = it->second;
        h(wParam, lParam);
    } else if (defaultHandler_) {
        DefaultHandler h = defaultHandler_;
        h(msg, wParam, lParam);
    }
}

void QtWindow::UpdateClientRect() {
    std::lock_guard lock(mutex_);
    client_ = RECT{0, 0, widget_->width(), widget_->height()};
}

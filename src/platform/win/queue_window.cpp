#include "queue_window.h"

#include <utility>

void QueueWindow::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({msg, wParam, lParam});
    }
    cv_.notify_all();
}

void QueueWindow::Invalidate() {
    std::lock_guard lock(mutex_);
    ++invalidates_;
}

RECT QueueWindow::GetClientRect() const {
    std::lock_guard lock(mutex_);
    return client_;
}

void QueueWindow::SetClientRect(const RECT& r) {
    std::lock_guard lock(mutex_);
    client_ = r;
}

std::optional<PostedMessage> QueueWindow::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
    PostedMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

std::deque<PostedMessage> QueueWindow::TakeAll() {
    std::lock_guard lock(mutex_);
    return std::exchange(queue_, {});
}

int QueueWindow::InvalidateCount() const {
    std::lock_guard lock(mutex_);
    return invalidates_;
}

#pragma once
// A window with no screen: posted messages wait in a queue until the owner
// takes them. Used by the CLI and the tests wherever the GUI has a real window.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "window.h"

struct PostedMessage {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class QueueWindow : public IWindow {
public:
    explicit QueueWindow(RECT client = {0, 0, 0, 0}) : client_(client) {}

    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Invalidate() override;
    RECT GetClientRect() const override;
    void SetClientRect(const RECT& r);

    // Waits up to the time-out for the next message; nothing when none came.
    std::optional<PostedMessage> Wait(std::chrono::milliseconds timeout);
    // Takes every message already queued, in order.
    std::deque<PostedMessage> TakeAll();
    int InvalidateCount() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<PostedMessage> queue_;
    RECT client_;
    int invalidates_ = 0;
};

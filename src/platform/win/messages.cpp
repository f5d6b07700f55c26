#include "messages.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace {
std::mutex g_mutex;
MessageSink g_sink;
DebugListener g_debug;

bool DebugEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("DISCREEL_DEBUG");
        return v && *v && std::string(v) != "0";
    }();
    return enabled;
}
}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
    std::lock_guard lock(g_mutex);
    return std::exchange(g_sink, std::move(sink));
}

void MessageBox(const std::string& text) {
    MessageSink sink;
    {
        std::lock_guard lock(g_mutex);
        sink = g_sink;
    }
    if (sink)
        sink(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

DebugListener SetDebugListener(DebugListener listener) {
    std::lock_guard lock(g_mutex);
    return std::exchange(g_debug, std::move(listener));
}

void OutputDebugString(const std::string& text) {
    DebugListener listener;
    {
        std::lock_guard lock(g_mutex);
        listener = g_debug;
    }
    if (listener) listener(text);
    if (DebugEnabled()) std::fputs(text.c_str(), stderr);
}

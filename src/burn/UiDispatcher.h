// The hand-over of the end-of-burn event from the write thread to the user-interface thread.
// The engine calls Invoke and waits until the function has run there; the Qt layer runs it
// through a blocking queued call, the command line directly.
#pragma once

#include <functional>

namespace larderly {

class UiDispatcher {
public:
    virtual ~UiDispatcher() = default;
    // Runs fn on the user-interface thread and returns once it has returned.
    virtual void Invoke(const std::function<void()>& fn) = 0;
};

// Runs the function on the calling thread: for programs without an event loop.
class DirectDispatcher final : public UiDispatcher {
public:
    void Invoke(const std::function<void()>& fn) override { fn(); }
};

} // namespace larderly

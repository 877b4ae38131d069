#pragma once
// A thread-safe queue of work for the thread that drains it. The terminal player hands
// SoundChannel a poster into this queue and drains it between lines and while waiting,
// as the window's event loop does for QMetaObject::invokeMethod.

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace vrk::sound {

class PostedTasks {
public:
    /// Queues a task; safe from any thread.
    void post(std::function<void()> task);
    /// Runs the tasks queued so far, in order, on the calling thread; tasks they post wait
    /// for the next drain. Returns how many ran.
    std::size_t drain();
    /// A poster for SoundChannel that feeds this queue; the queue must outlive its use.
    std::function<void(std::function<void()>)> poster();

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
};

}  // namespace vrk::sound

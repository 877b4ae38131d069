#include "sound/posted_tasks.h"

#include <utility>

namespace vrk::sound {

void PostedTasks::post(std::function<void()> task) {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
}

std::size_t PostedTasks::drain() {
    std::deque<std::function<void()>> batch;
    {
        // Taken out under the lock and run outside it: a task may post again.
        std::lock_guard lock(m_mutex);
        batch.swap(m_tasks);
    }
    for (auto& task : batch) {
        task();
    }
    return batch.size();
}

std::function<void(std::function<void()>)> PostedTasks::poster() {
    return [this](std::function<void()> task) { post(std::move(task)); };
}

}  // namespace vrk::sound

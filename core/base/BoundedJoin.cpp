#include "base/BoundedJoin.h"

namespace zalvo {

void boundedJoin(std::thread& worker, std::unique_lock<std::mutex> lock, std::condition_variable& wake,
                 const bool& ended, std::chrono::milliseconds bound) {
    wake.notify_all();
    const bool done = wake.wait_for(lock, bound, [&ended] { return ended; });
    lock.unlock();
    if (done) {
        worker.join();
    } else {
        worker.detach();
    }
}

} // namespace zalvo

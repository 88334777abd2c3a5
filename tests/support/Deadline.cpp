#include "Deadline.h"

#include <future>
#include <memory>
#include <thread>

namespace zalvo {

bool finishesWithin(std::chrono::milliseconds limit, std::function<void()> work) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ended = done->get_future();
    std::thread([done, work = std::move(work)] {
        work();
        done->set_value();
    }).detach();
    return ended.wait_for(limit) == std::future_status::ready;
}

} // namespace zalvo

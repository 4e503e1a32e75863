// SPDX-License-Identifier: MIT
#include "runtime/Executor.h"

#include <vector>

namespace orvane::runtime {

Executor::~Executor() = default;

void Executor::trackRoot(std::coroutine_handle<> h) {
    std::lock_guard lock(rootsMutex_);
    roots_.insert(h.address());
}

void Executor::untrackRoot(std::coroutine_handle<> h) {
    std::lock_guard lock(rootsMutex_);
    if (!destroying_) roots_.erase(h.address());
}

std::size_t Executor::liveRoots() const {
    std::lock_guard lock(rootsMutex_);
    return roots_.size();
}

void Executor::destroyRoots() {
    std::vector<void*> roots;
    {
        std::lock_guard lock(rootsMutex_);
        destroying_ = true;
        roots.assign(roots_.begin(), roots_.end());
        roots_.clear();
    }
    for (void* address : roots)
        std::coroutine_handle<>::from_address(address).destroy();
}

}  // namespace orvane::runtime

// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace orvane::runtime {

/// A serial queue: items run one at a time, in the order submitted.
class SerialQueue {
  public:
    virtual ~SerialQueue() = default;
    virtual void async(std::function<void()> item) = 0;
    virtual const std::string& label() const = 0;
};

}  // namespace orvane::runtime

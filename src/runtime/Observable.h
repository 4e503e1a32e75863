// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::runtime {

/// Observers of one object; each learns the name of the field that changed.
/// Main thread only.
class ChangeNotifier {
  public:
    using Observer = std::function<void(std::string_view field)>;

    /// Stays subscribed while the returned token lives.
    [[nodiscard]] std::shared_ptr<void> observe(Observer observer) {
        auto entry = std::make_shared<Observer>(std::move(observer));
        observers_.push_back(entry);
        return entry;
    }
    void notify(std::string_view field) {
        // Observers may subscribe or drop their token while being told.
        auto current = observers_;
        for (auto& weak : current) {
            if (auto o = weak.lock()) (*o)(field);
        }
        std::erase_if(observers_, [](const auto& w) { return w.expired(); });
    }

  private:
    std::vector<std::weak_ptr<Observer>> observers_;
};

/// A field that tells its owner's observers when it takes a different value.
template <typename T>
class Observed {
  public:
    Observed(ChangeNotifier& notifier, const char* name, T initial)
        : notifier_(notifier), name_(name), value_(std::move(initial)) {}
    Observed(const Observed&) = delete;
    Observed& operator=(const Observed&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }
    const T* operator->() const { return &value_; }
    Observed& operator=(T value) {
        if (!(value_ == value)) {
            value_ = std::move(value);
            notifier_.notify(name_);
        }
        return *this;
    }

  private:
    ChangeNotifier& notifier_;
    const char* name_;
    T value_;
};

}  // namespace orvane::runtime

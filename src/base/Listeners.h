#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace corvane {

// A callback many may follow: each subscriber is called in the order it
// subscribed, and unsubscribes with the id it was given before it goes away.
// Subscribing or unsubscribing from inside a call is safe: one that left is
// not called again, one that came meanwhile is called from the next Notify.
template <class... Args>
class Listeners {
public:
    using Callback = std::function<void(Args...)>;

    int Subscribe(Callback callback) {
        entries_.push_back({++lastId_, std::move(callback)});
        return lastId_;
    }
    void Unsubscribe(int id) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].id != id)
                continue;
            if (depth_ > 0)
                entries_[i].callback = nullptr;  // erased once the calls are over
            else
                entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
    void Notify(Args... args) {
        ++depth_;
        const std::size_t count = entries_.size();
        for (std::size_t i = 0; i < count; ++i) {
            // A copy: the call may subscribe and so move the entries.
            const Callback call = entries_[i].callback;
            if (call)
                call(args...);
        }
        if (--depth_ == 0)
            std::erase_if(entries_, [](const Entry& e) { return !e.callback; });
    }
    std::size_t Count() const { return entries_.size(); }

private:
    struct Entry {
        int id;
        Callback callback;
    };
    std::vector<Entry> entries_;
    int lastId_ = 0;
    int depth_ = 0;
};

}  // namespace corvane

#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "sim/Link.h"

namespace vxsim {

// Writes an endpoint holds back until their time (late replies, pieces of a
// reply), due in time order and, at one time, in the order they were added.
// It has no lock of its own: the endpoint's mutex guards it, so a link that
// goes away is dropped before its worker can write to it.
template <typename Payload>
class DueWrites {
public:
    using Clock = std::chrono::steady_clock;

    struct Write {
        Link* link;
        Payload bytes;
    };

    void add(Clock::time_point due, Link* link, Payload bytes) {
        writes_.emplace(due, Write{link, std::move(bytes)});
    }

    void dropLink(const Link* link) {
        std::erase_if(writes_, [&](const auto& entry) { return entry.second.link == link; });
    }

    // Removes and returns every write due by `now`, first due first.
    std::vector<Write> takeDue(Clock::time_point now) {
        std::vector<Write> due;
        auto end = writes_.upper_bound(now);
        for (auto it = writes_.begin(); it != end; ++it) due.push_back(std::move(it->second));
        writes_.erase(writes_.begin(), end);
        return due;
    }

    std::optional<Clock::time_point> nextDue() const {
        if (writes_.empty()) return std::nullopt;
        return writes_.begin()->first;
    }

private:
    std::multimap<Clock::time_point, Write> writes_;
};

}  // namespace vxsim

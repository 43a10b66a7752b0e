#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace vxplatform {

// A fixed number of numbered slots, each empty or holding one shared owner.
// It has no lock of its own: every table lives under its library's mutex.
template <typename T, size_t N>
class SlotTable {
public:
    static constexpr size_t kSize = N;

    // The first empty slot of [from, to) takes `item`; empty when all are taken.
    std::optional<size_t> insertFirstFree(std::shared_ptr<T> item, size_t from = 0,
                                          size_t to = N) {
        for (size_t index = from; index < to && index < N; ++index) {
            if (!slots_[index]) {
                slots_[index] = std::move(item);
                ++occupied_;
                return index;
            }
        }
        return std::nullopt;
    }

    // The empty slot of [from, to) that was freed longest ago (one never
    // used before any freed one, the lowest first) takes `item`; empty when
    // all are taken. A number just freed comes back only after every other
    // free one, so a late user of it is unlikely to reach its successor.
    std::optional<size_t> insertLeastRecentlyFreed(std::shared_ptr<T> item, size_t from = 0,
                                                   size_t to = N) {
        std::optional<size_t> best;
        for (size_t index = from; index < to && index < N; ++index) {
            if (!slots_[index] && (!best || freedAt_[index] < freedAt_[*best])) best = index;
        }
        if (best) {
            slots_[*best] = std::move(item);
            ++occupied_;
        }
        return best;
    }

    // False when the slot is taken or out of range.
    bool insertAt(size_t index, std::shared_ptr<T> item) {
        if (index >= N || slots_[index]) return false;
        slots_[index] = std::move(item);
        ++occupied_;
        return true;
    }

    // Empties the slot and hands its owner over; null when empty or out of range.
    std::shared_ptr<T> take(size_t index) {
        if (index >= N || !slots_[index]) return nullptr;
        --occupied_;
        freedAt_[index] = ++frees_;
        return std::move(slots_[index]);
    }

    std::shared_ptr<T> find(size_t index) const { return index < N ? slots_[index] : nullptr; }

    size_t occupied() const { return occupied_; }

    // Calls fn(index, owner) for every occupied slot in index order.
    template <typename Fn>
    void forEach(Fn&& fn) const {
        for (size_t index = 0; index < N; ++index) {
            if (slots_[index]) fn(index, slots_[index]);
        }
    }

    void clear() {
        for (auto& slot : slots_) slot.reset();
        occupied_ = 0;
    }

private:
    std::array<std::shared_ptr<T>, N> slots_;
    size_t occupied_ = 0;
    // When each slot was last emptied, counted in frees; 0: never.
    std::array<uint64_t, N> freedAt_{};
    uint64_t frees_ = 0;
};

}  // namespace vxplatform

#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace qmx {

// A fixed-capacity FIFO whose storage is made (zeroed) once; pushing and
// popping never allocate.
template <typename T>
class ring_buffer {
public:
    explicit ring_buffer(size_t capacity) : storage_(capacity) {}

    size_t capacity() const { return storage_.size(); }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == storage_.size(); }

    // On a full ring the oldest entry gives way; callers that must not lose
    // entries check full() first.
    void push(const T& value) {
        if (storage_.empty()) return;
        storage_[write_] = value;
        write_ = (write_ + 1) % storage_.size();
        if (full())
            read_ = (read_ + 1) % storage_.size();
        else
            ++count_;
    }

    const T& front() const {
        if (empty()) throw std::runtime_error("called ring_buffer::front() on empty object");
        return storage_[read_];
    }

    void pop() {
        if (empty()) return;
        read_ = (read_ + 1) % storage_.size();
        --count_;
    }

    void clear() {
        read_ = write_;
        count_ = 0;
    }

private:
    std::vector<T> storage_;
    size_t count_ = 0;
    size_t write_ = 0;
    size_t read_ = 0;
};

}  // namespace qmx

#include "BootCodec.h"

namespace vxsim {

BootCodec::Step BootCodec::take(const uint8_t* data, size_t length) {
    Step step;
    while (step.used < length && !step.opened && !step.frame) {
        const uint8_t byte = data[step.used++];
        if (phase_ == Phase::Frame) {
            frame_.push_back(byte);
            if (frame_.size() >= kFrameHead &&
                frame_.size() == kFrameHead + (static_cast<size_t>(frame_[2]) << 8 | frame_[3])) {
                step.frame = std::move(frame_);
                frame_.clear();
                phase_ = Phase::Idle;
            }
            continue;
        }
        if (replying_ && byte == kExchangeAnswer) {
            Bytes& front = replies_.front();
            step.toHost.insert(step.toHost.end(), front.begin() + 1, front.end());
            replies_.pop_front();
            replying_ = !replies_.empty();
            if (replying_) step.toHost.push_back(replies_.front().front());
            continue;
        }
        // Anything else opens a host frame; a host that opens one has given
        // up on the replies still queued.
        replies_.clear();
        replying_ = false;
        frame_.assign(1, byte);
        phase_ = Phase::Opening;
        step.opened = true;
    }
    return step;
}

uint8_t BootCodec::open(uint8_t answer) {
    if (phase_ != Phase::Opening) return answer;
    if (answer == kExchangeAnswer) {
        phase_ = Phase::Frame;
    } else {
        frame_.clear();
        phase_ = Phase::Idle;
    }
    return answer;
}

Bytes BootCodec::reply(Bytes frame) {
    if (frame.empty()) return {};
    replies_.push_back(std::move(frame));
    if (replying_) return {};
    replying_ = true;
    return {replies_.front().front()};
}

void BootCodec::clear() {
    phase_ = Phase::Idle;
    frame_.clear();
    replies_.clear();
    replying_ = false;
}

}  // namespace vxsim

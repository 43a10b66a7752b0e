#include <condition_variable>
#include <mutex>
#include <random>

#include "platform/OwnedThread.h"
#include "sim/LineProxy.h"

namespace vxsim {

namespace {

using std::chrono::milliseconds;

milliseconds drawTime(std::mt19937_64& random, milliseconds low, milliseconds high) {
    if (high <= low) return low;
    return milliseconds(std::uniform_int_distribution<int64_t>(low.count(), high.count())(random));
}

uint32_t drawRate(std::mt19937_64& random, uint32_t low, uint32_t high) {
    if (high <= low) return low;
    return std::uniform_int_distribution<uint32_t>(low, high)(random);
}

}  // namespace

class LineFaultSchedule::Runner {
public:
    Runner(LineProxy& proxy, Options options) : proxy_(proxy), options_(std::move(options)), random_(options_.seed) {
        if (options_.kinds.empty())
            for (size_t kind = 1; kind < kLineFaultKinds; ++kind)
                options_.kinds.push_back(static_cast<LineFault::Kind>(kind));
        if (!thread_.start([this] { run(); }, [this] {
                std::lock_guard lock(mutex_);
                changed_.notify_all();
            }))
            throw std::system_error(EAGAIN, std::generic_category(), "schedule thread");
    }

    void stop() {
        thread_.stop();
        proxy_.setFault(LineFault::pass());
    }

    std::vector<Step> steps() const {
        std::lock_guard lock(mutex_);
        return steps_;
    }

private:
    LineFault draw() {
        const auto kind = options_.kinds[std::uniform_int_distribution<size_t>(0, options_.kinds.size() - 1)(random_)];
        switch (kind) {
        case LineFault::Kind::Throttle:
            return LineFault::throttle(drawRate(random_, options_.rateMin, options_.rateMax),
                                       drawRate(random_, options_.rateMin, options_.rateMax));
        case LineFault::Kind::Stall:
            return LineFault::stall();
        case LineFault::Kind::Hold:
            return LineFault::hold();
        case LineFault::Kind::Delay:
            return LineFault::delayEach(drawTime(random_, milliseconds(1), options_.delayMax));
        case LineFault::Kind::HalfClose:
            return LineFault::halfClose(drawRate(random_, options_.rateMin, options_.rateMax));
        case LineFault::Kind::Drop:
            return LineFault::drop(std::uniform_int_distribution<size_t>(0, options_.dropAfterMax)(random_),
                                   std::bernoulli_distribution(0.5)(random_));
        case LineFault::Kind::HoldOutput:
            return LineFault::holdOutput();
        case LineFault::Kind::Pass:
            break;
        }
        return LineFault::pass();
    }

    // Runs `fault` for `length`; false once stopped.
    bool run(const LineFault& fault, milliseconds length) {
        {
            std::lock_guard lock(mutex_);
            steps_.push_back({std::chrono::steady_clock::now(), fault, length});
        }
        proxy_.setFault(fault);
        std::unique_lock lock(mutex_);
        return !changed_.wait_for(lock, length, [&] { return thread_.stopRequested(); });
    }

    void run() {
        for (;;) {
            // Drawn before either runs, so a seed gives the same list however the stop falls.
            const milliseconds pass = drawTime(random_, options_.passMin, options_.passMax);
            const LineFault fault = draw();
            const milliseconds length = drawTime(random_, options_.faultMin, options_.faultMax);
            if (!run(LineFault::pass(), pass) || !run(fault, length)) return;
        }
    }

    LineProxy& proxy_;
    Options options_;
    std::mt19937_64 random_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Step> steps_;
    vxplatform::OwnedThread thread_;
};

LineFaultSchedule::LineFaultSchedule(LineProxy& proxy, Options options)
    : runner_(std::make_unique<Runner>(proxy, std::move(options))) {}

LineFaultSchedule::~LineFaultSchedule() { stop(); }

void LineFaultSchedule::stop() { runner_->stop(); }

std::vector<LineFaultSchedule::Step> LineFaultSchedule::steps() const { return runner_->steps(); }

}  // namespace vxsim

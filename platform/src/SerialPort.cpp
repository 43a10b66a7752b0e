#include "platform/SerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>

#include "SerialLineRate.h"
#include "platform/WriteProgress.h"

namespace vxplatform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct StandardRate {
    uint32_t rate;
    speed_t code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> standardCode(uint32_t rate) {
    for (const auto& entry : kStandardRates)
        if (entry.rate == rate) return entry.code;
    return std::nullopt;
}

// Errors by which a terminal says that its device is gone.
bool isGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// A device without modem lines (a pseudo-terminal) refuses these; that is
// not a failure of the settings.
int setModemLine(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return 0;
    return (errno == ENOTTY || errno == EINVAL) ? 0 : errno;
}

int applySettings(int fd, const SerialSettings& settings) {
    if (settings.baudRate == 0) return EINVAL;
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return errno;
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (settings.xonXoff) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    }
    // One byte satisfies a read; with O_NONBLOCK an empty line then gives
    // EAGAIN, so a read of 0 bytes always means a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const auto code = standardCode(settings.baudRate);
    if (code) {
        ::cfsetispeed(&t, *code);
        ::cfsetospeed(&t, *code);
    }
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return errno;
    if (!code) {
        if (int error = detail::setArbitraryLineRate(fd, settings.baudRate)) return error;
    }
    // tcsetattr succeeds when any one change took; check the ones we need.
    termios check{};
    if (::tcgetattr(fd, &check) != 0) return errno;
    if ((check.c_cflag & CSIZE) != CS8 ||
        (check.c_iflag & (IXON | IXOFF)) != (t.c_iflag & (IXON | IXOFF)) ||
        (code && ::cfgetospeed(&check) != *code))
        return EINVAL;
    if (int error = setModemLine(fd, TIOCM_DTR, settings.dtr)) return error;
    return setModemLine(fd, TIOCM_RTS, settings.rts);
}

std::optional<unsigned> lineErrorTotal(int fd) {
    serial_icounter_struct counts{};
    if (::ioctl(fd, TIOCGICOUNT, &counts) != 0) return std::nullopt;
    return static_cast<unsigned>(counts.frame + counts.overrun + counts.parity + counts.brk +
                                 counts.buf_overrun);
}

int openTerminal(const std::string& path, UniqueFd& out) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return errno;
    if (!::isatty(fd.get())) return ENOTTY;
    // TIOCEXCL does not bind a privileged process; the lock binds everyone
    // who takes it, which all our programs do.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
    out = std::move(fd);
    return 0;
}

milliseconds timeLeft(bool forever, Clock::time_point deadline) {
    if (forever) return milliseconds(-1);
    auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? milliseconds(0) : left;
}

// What a wait that found the descriptor ready without the wanted event means.
SerialResult conditionOf(short revents, size_t count) {
    if (revents & POLLNVAL) return {SerialStatus::Failed, count, EBADF};
    return {SerialStatus::HungUp, count, 0};
}

}  // namespace

SerialPort::SerialPort() noexcept {
    try {
        waker_.emplace();
    } catch (const std::system_error& e) {
        wakerError_ = e.code().value();
    }
}

SerialPort::~SerialPort() {
    close();
}

int SerialPort::open(const std::string& path, const SerialSettings& settings) {
    std::unique_lock lock(useMutex_);
    if (!waker_) return wakerError_ ? wakerError_ : ENOMEM;
    if (fd_.valid()) return EALREADY;
    waker_->clear();
    UniqueFd fd;
    if (int error = openTerminal(path, fd)) return error;
    if (::ioctl(fd.get(), TIOCEXCL) != 0) return errno;
    if (int error = applySettings(fd.get(), settings)) {
        ::ioctl(fd.get(), TIOCNXCL);
        return error;
    }
    fd_ = std::move(fd);
    path_ = path;
    backlog_.reset(settings.baudRate);
    lineErrorBase_ = lineErrorTotal(fd_.get()).value_or(0);
    return 0;
}

void SerialPort::close(milliseconds idle) {
    closeWith(idle);
}

void SerialPort::closeDiscarding() {
    closeWith(std::nullopt);
}

void SerialPort::closeWith(std::optional<milliseconds> drainIdle) {
    interrupt();
    std::unique_lock lock(useMutex_);
    if (fd_.valid()) {
        // The kernel's close waits for queued output up to the line's closing
        // wait (30 s unless set otherwise), however long the line holds it.
        if (!drainIdle || !drainOutput(fd_.get(), backlog_.rate(), *drainIdle))
            ::tcflush(fd_.get(), TCOFLUSH);
        // The exclusive mode outlives our descriptor while anyone else still
        // holds the terminal open.
        ::ioctl(fd_.get(), TIOCNXCL);
        fd_.reset();
    }
    if (waker_) waker_->clear();
}

bool SerialPort::isOpen() const {
    std::shared_lock lock(useMutex_);
    return fd_.valid();
}

int SerialPort::configure(const SerialSettings& settings) {
    std::shared_lock lock(useMutex_);
    if (!fd_.valid()) return EBADF;
    const int error = applySettings(fd_.get(), settings);
    if (error == 0) backlog_.setRate(settings.baudRate);
    return error;
}

int SerialPort::setDtr(bool on) {
    std::shared_lock lock(useMutex_);
    if (!fd_.valid()) return EBADF;
    int line = TIOCM_DTR;
    return ::ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &line) == 0 ? 0 : errno;
}

int SerialPort::setRts(bool on) {
    std::shared_lock lock(useMutex_);
    if (!fd_.valid()) return EBADF;
    int line = TIOCM_RTS;
    return ::ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &line) == 0 ? 0 : errno;
}

std::optional<uint32_t> SerialPort::baudRate() const {
    std::shared_lock lock(useMutex_);
    if (!fd_.valid()) return std::nullopt;
    return readLineRate(fd_.get());
}

SerialResult SerialPort::read(void* buffer, size_t size, milliseconds timeout, const Waker* also) {
    std::shared_lock lock(useMutex_);
    if (!fd_.valid()) return {SerialStatus::Closed, 0, 0};
    if (size == 0) return {};
    const bool forever = timeout.count() < 0;
    const auto deadline = Clock::now() + (forever ? milliseconds(0) : timeout);
    for (;;) {
        if (waker_->isSet()) return {SerialStatus::Interrupted, 0, 0};
        const ssize_t n = ::read(fd_.get(), buffer, size);
        if (n > 0) return {SerialStatus::Ok, static_cast<size_t>(n), 0};
        if (n == 0) return {SerialStatus::HungUp, 0, 0};
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            const int error = errno;
            return {isGone(error) ? SerialStatus::HungUp : SerialStatus::Failed, 0, error};
        }
        short revents = 0;
        switch (waitFd(fd_.get(), POLLIN, &*waker_, also, timeLeft(forever, deadline), &revents)) {
            case WaitResult::Woken:
                return {SerialStatus::Interrupted, 0, 0};
            case WaitResult::TimedOut:
                // poll counts whole milliseconds; never give up early.
                if (Clock::now() < deadline) break;
                return {SerialStatus::TimedOut, 0, 0};
            case WaitResult::Error:
                return {SerialStatus::Failed, 0, errno};
            case WaitResult::Ready:
                if (!(revents & POLLIN)) return conditionOf(revents, 0);
                break;
        }
    }
}

SerialResult SerialPort::write(const void* data, size_t length, milliseconds idle) {
    std::shared_lock lock(useMutex_);
    if (!fd_.valid()) return {SerialStatus::Closed, 0, 0};
    const auto* bytes = static_cast<const uint8_t*>(data);
    WriteProgress progress(fd_.get(), idle, &backlog_);
    size_t done = 0;
    while (done < length) {
        if (waker_->isSet()) return {SerialStatus::Interrupted, done, 0};
        const ssize_t n = ::write(fd_.get(), bytes + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            progress.wrote(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            const int error = errno;
            return {isGone(error) ? SerialStatus::HungUp : SerialStatus::Failed, done, error};
        }
        // The line is full (or held back by XOFF): wait until it takes more.
        short revents = 0;
        switch (progress.waitForRoom(&*waker_, &revents)) {
            case WaitResult::Woken:
                return {SerialStatus::Interrupted, done, 0};
            case WaitResult::TimedOut:
                return {SerialStatus::TimedOut, done, 0};
            case WaitResult::Error:
                return {SerialStatus::Failed, done, errno};
            case WaitResult::Ready:
                if (!(revents & POLLOUT)) return conditionOf(revents, done);
                break;
        }
    }
    return {SerialStatus::Ok, done, 0};
}

unsigned SerialPort::takeLineErrors() {
    std::shared_lock lock(useMutex_);
    if (!fd_.valid()) return 0;
    const auto total = lineErrorTotal(fd_.get());
    if (!total) return 0;
    const unsigned fresh = *total - lineErrorBase_;
    lineErrorBase_ = *total;
    return fresh;
}

void SerialPort::interrupt() {
    if (waker_) waker_->wake();
}

bool isSerialPortAvailable(const std::string& path) {
    UniqueFd fd;
    return openTerminal(path, fd) == 0;
}

}  // namespace vxplatform

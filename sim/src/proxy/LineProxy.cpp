#include "sim/LineProxy.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "LineEnds.h"
#include "platform/Ipv4.h"
#include "platform/OwnedThread.h"
#include "platform/TcpConnect.h"
#include "sim/Pty.h"

namespace vxsim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using proxy::LineEnd;
using proxy::SocketEnd;

// Bytes a direction takes ahead of what it has passed on; more waits, so a
// held line pushes back on its sender as a real one does.
constexpr size_t kQueueLimit = 64 * 1024;
// A slowed direction passes its bytes in this many steps a second.
constexpr uint32_t kRateSteps = 50;
// An Ethernet segment, and buffers small enough that a slowed TCP line
// still acknowledges a segment at a time.
constexpr int kSegment = 1448;
constexpr int kSocketBuffer = 16 * 1024;
constexpr milliseconds kUpstreamConnect{2000};
// A pseudo-terminal client that reads nothing for this long loses what
// was sent to it, as a UART that overflows.
constexpr milliseconds kPtyWrite{2000};

enum Direction { kToUpstream = 0, kToClient = 1 };

std::string hexHead(const uint8_t* data, size_t length) {
    static constexpr size_t kShown = 16;
    std::string out;
    char byte[4];
    for (size_t i = 0; i < std::min(length, kShown); ++i) {
        std::snprintf(byte, sizeof byte, " %02x", data[i]);
        out += byte;
    }
    if (length > kShown) out += " ...";
    return out;
}

[[noreturn]] void throwErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

class LineProxy::Impl {
public:
    explicit Impl(const Options& options);
    ~Impl();

    const std::string& locator() const { return locator_; }
    std::string devicePath() const { return pty_ ? pty_->devicePath() : std::string(); }
    void setFault(const LineFault& fault);
    LineFault fault() const;
    LineProxyCounters counters() const;
    size_t openConnections() const;
    bool waitConnections(uint64_t accepted, milliseconds timeout) const;
    std::vector<LineProxyEvent> events() const;
    bool writeLogTo(const std::string& path);

private:
    // One relayed connection: what each direction has taken and not yet
    // passed on, and the threads that read and write it. Its state is
    // guarded by the proxy's mutex.
    struct Session {
        struct Channel {
            std::deque<std::vector<uint8_t>> chunks;
            std::deque<Clock::time_point> arrived;
            size_t queued = 0;
            uint64_t taken = 0;
            uint64_t passed = 0;
            Clock::time_point free{};  // when a slowed direction may pass its next step
        };

        uint64_t number = 0;
        std::unique_ptr<LineEnd> client;  // null for the pseudo-terminal, which pushes
        std::unique_ptr<LineEnd> upstream;
        Channel channels[2];
        vxplatform::Waker readWake[2];   // the reader of each direction's source
        vxplatform::Waker writeWake[2];  // the writer of each direction
        vxplatform::OwnedThread readers[2];
        vxplatform::OwnedThread writers[2];
        bool ending = false;        // the connection is over (TCP)
        // A side that closed or failed (TCP): what it sent before still
        // goes on to the other side, as TCP delivers it, then the
        // connection ends; what is meant for it is lost.
        bool gone[2] = {false, false};  // by direction: the client, the upstream
        bool writing[2] = {false, false};
        bool reset = false;         // ... and ends with a reset
        bool halfClosed = false;    // nothing more goes to the client (TCP)
        bool cut = false;           // a serial line cut by a drop
        std::optional<uint64_t> dropAt;  // where in the client's bytes the drop falls

        // A writer is woken only to end: a write it cuts short is lost.
        void wakeAll() {
            wakeReaders();
            for (auto& w : writeWake) w.wake();
        }
        void wakeReaders() {
            for (auto& w : readWake) w.wake();
        }
    };

    bool over(const Session& session) const { return stopping_ || session.ending; }
    // The side direction `d` reads from, and the side it writes to, by
    // their index in Session::gone.
    static size_t sourceOf(Direction d) { return d == kToUpstream ? 0 : 1; }
    static size_t destinationOf(Direction d) { return d == kToUpstream ? 1 : 0; }
    // Ends a TCP connection one of whose sides has gone once what that
    // side sent has been passed on.
    void endIfDone(Session& session);
    // How many bytes the reader of `d` may take now; 0 with *until set to
    // when that changes, or unset when only a notification changes it.
    size_t allowance(Session& session, Direction d, std::optional<Clock::time_point>* until) const;
    void take(Session& session, Direction d, const uint8_t* data, size_t length);
    void readLoop(Session& session, Direction d);
    void writeLoop(Session& session, Direction d);
    bool writeOut(Session& session, Direction d, const uint8_t* data, size_t length,
                  const vxplatform::Waker& wake);
    void drop(Session& session);
    void startThreads(Session& session);
    void note(const std::string& text);
    void noteLocked(const std::string& text);

    // TCP
    void acceptLoop();
    void acceptOne();
    void reapEnded();
    void finish(Session& session);

    // Serial: the pseudo-terminal's bytes come through this handler.
    class PtyFeed : public LinkHandler {
    public:
        explicit PtyFeed(Impl& impl) : impl_(impl) {}
        void onReceive(Link&, const uint8_t* data, size_t length) override;

    private:
        Impl& impl_;
    };
    void setOutputHeld(bool held);

    Options options_;
    const Clock::time_point begun_ = Clock::now();
    std::string locator_;
    std::string upstreamHost_;
    uint16_t upstreamPort_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    LineFault fault_;
    LineProxyCounters counters_;
    std::deque<LineProxyEvent> events_;
    std::FILE* logFile_ = nullptr;
    std::vector<std::shared_ptr<Session>> sessions_;

    // TCP
    vxplatform::UniqueFd listener_;
    vxplatform::Waker acceptWake_;
    vxplatform::OwnedThread acceptor_;

    // Serial
    std::unique_ptr<Pty> pty_;
    PtyFeed feed_{*this};
    bool outputHeld_ = false;
};

LineProxy::Impl::Impl(const Options& options) : options_(options) {
    if (!options.serial) {
        if (!proxy::splitNetworkLocator(options.upstream, &upstreamHost_, &upstreamPort_))
            throw std::invalid_argument("a TCP line needs a network:HOST:PORT upstream: " + options.upstream);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(options.port);
        address.sin_addr.s_addr = *vxplatform::parseIpv4("127.0.0.1");
        listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!listener_.valid()) throwErrno("socket");
        const int one = 1;
        ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        // Taken over by every accepted connection; the receive buffer only
        // counts before listen().
        ::setsockopt(listener_.get(), IPPROTO_TCP, TCP_MAXSEG, &kSegment, sizeof kSegment);
        ::setsockopt(listener_.get(), SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throwErrno("bind");
        if (::listen(listener_.get(), 16) != 0) throwErrno("listen");
        socklen_t length = sizeof address;
        if (::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throwErrno("getsockname");
        locator_ = "network:127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        if (!acceptor_.start([this] { acceptLoop(); }, [this] { acceptWake_.wake(); }))
            throw std::system_error(EAGAIN, std::generic_category(), "proxy thread");
        return;
    }
    auto session = std::make_shared<Session>();
    session->number = 1;
    session->upstream = proxy::openLastingUpstream(options.upstream, options.upstreamBaud);
    pty_ = std::make_unique<Pty>();
    pty_->setPaced(options.paced);
    locator_ = "serial:" + pty_->devicePath();
    {
        std::lock_guard lock(mutex_);
        sessions_.push_back(session);
        counters_.connections = 1;
    }
    startThreads(*session);
    pty_->serve(feed_);
}

LineProxy::Impl::~Impl() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& session : sessions_) session->wakeAll();
        changed_.notify_all();
    }
    if (!options_.serial) {
        acceptor_.stop();
        for (auto& session : sessions_) finish(*session);
    } else {
        setOutputHeld(false);
        // Ends the pseudo-terminal's serving and its writes for good.
        pty_->hangUp();
        auto& session = *sessions_.front();
        if (auto* serial = dynamic_cast<proxy::SerialEnd*>(session.upstream.get())) serial->interrupt();
        finish(session);
        pty_->stop();
    }
    if (logFile_) std::fclose(logFile_);
}

void LineProxy::Impl::startThreads(Session& session) {
    for (Direction d : {kToUpstream, kToClient}) {
        // The pseudo-terminal's own thread reads the client.
        if (d == kToUpstream && !session.client) continue;
        if (!session.readers[d].start([this, &session, d] { readLoop(session, d); }))
            throw std::system_error(EAGAIN, std::generic_category(), "proxy reader");
    }
    for (Direction d : {kToUpstream, kToClient})
        if (!session.writers[d].start([this, &session, d] { writeLoop(session, d); }))
            throw std::system_error(EAGAIN, std::generic_category(), "proxy writer");
}

void LineProxy::Impl::finish(Session& session) {
    {
        std::lock_guard lock(mutex_);
        session.ending = true;
        session.wakeAll();
        changed_.notify_all();
    }
    for (auto& thread : session.readers) thread.join();
    for (auto& thread : session.writers) thread.join();
    if (auto* client = dynamic_cast<SocketEnd*>(session.client.get())) client->close(session.reset);
    if (auto* upstream = dynamic_cast<SocketEnd*>(session.upstream.get())) upstream->close(session.reset);
}

size_t LineProxy::Impl::allowance(Session& session, Direction d, std::optional<Clock::time_point>* until) const {
    until->reset();
    const Session::Channel& channel = session.channels[d];
    if (session.cut) return 4096;  // taken and lost
    if (channel.queued >= kQueueLimit) return 0;
    size_t room = kQueueLimit - channel.queued;
    if (d == kToClient) return room;
    switch (fault_.kind) {
    case LineFault::Kind::Stall:
        return 0;
    case LineFault::Kind::HoldOutput:
        // On serial the terminal itself holds the client's output.
        return options_.serial ? room : 0;
    case LineFault::Kind::HalfClose: {
        // A TCP connection made after the fault began is whole.
        if (!options_.serial && !session.halfClosed) break;
        const uint32_t rate = fault_.toUpstreamRate;
        if (rate == 0) return 0;
        const auto now = Clock::now();
        if (channel.free > now) {
            *until = channel.free;
            return 0;
        }
        room = std::min<size_t>(room, std::max<uint32_t>(1, rate / kRateSteps));
        break;
    }
    default:
        break;
    }
    if (session.dropAt) {
        if (channel.taken >= *session.dropAt) return 0;
        room = static_cast<size_t>(std::min<uint64_t>(room, *session.dropAt - channel.taken));
    }
    return room;
}

void LineProxy::Impl::take(Session& session, Direction d, const uint8_t* data, size_t length) {
    Session::Channel& channel = session.channels[d];
    if (session.cut) {
        counters_.lost += length;
        return;
    }
    if (d == kToUpstream && session.dropAt) {
        // A read under way when the drop came: what lies past the drop is lost with it.
        const size_t kept = static_cast<size_t>(std::min<uint64_t>(length, *session.dropAt - channel.taken));
        counters_.lost += length - kept;
        length = kept;
        if (length == 0) return;
    }
    channel.taken += length;
    if (d == kToUpstream && fault_.kind == LineFault::Kind::HalfClose && fault_.toUpstreamRate != 0) {
        const auto step = std::chrono::nanoseconds(length * 1'000'000'000ull / fault_.toUpstreamRate);
        channel.free = std::max(channel.free, Clock::now()) + std::chrono::duration_cast<Clock::duration>(step);
    }
    channel.chunks.emplace_back(data, data + length);
    channel.arrived.push_back(Clock::now());
    channel.queued += length;
    changed_.notify_all();
}

void LineProxy::Impl::readLoop(Session& session, Direction d) {
    LineEnd& source = d == kToUpstream ? *session.client : *session.upstream;
    std::vector<uint8_t> buffer(4096);
    std::unique_lock lock(mutex_);
    for (;;) {
        session.readWake[d].clear();
        if (over(session)) break;
        std::optional<Clock::time_point> until;
        const size_t room = std::min(allowance(session, d, &until), buffer.size());
        if (room == 0) {
            if (until)
                changed_.wait_until(lock, *until);
            else
                changed_.wait(lock);
            continue;
        }
        lock.unlock();
        const ssize_t n = source.read(buffer.data(), room, session.readWake[d]);
        lock.lock();
        if (n == LineEnd::kWoken) continue;
        if (n <= 0) {
            // A serial line's far end is made again by its own end, and a
            // pseudo-terminal never ends: a serial upstream that does ends the line.
            if (!session.ending && !stopping_)
                noteLocked("connection " + std::to_string(session.number) + " closed by the " +
                           (d == kToUpstream ? "client" : "upstream"));
            session.gone[sourceOf(d)] = true;
            if (options_.serial) session.ending = true;
            endIfDone(session);
            session.wakeAll();
            changed_.notify_all();
            acceptWake_.wake();
            break;
        }
        take(session, d, buffer.data(), static_cast<size_t>(n));
    }
}

void LineProxy::Impl::writeLoop(Session& session, Direction d) {
    Session::Channel& channel = session.channels[d];
    std::vector<uint8_t> slice;
    std::unique_lock lock(mutex_);
    for (;;) {
        session.writeWake[d].clear();
        if (over(session)) break;
        if (d == kToUpstream && session.dropAt && channel.passed == *session.dropAt) {
            drop(session);
            continue;
        }
        if (channel.chunks.empty()) {
            changed_.wait(lock);
            continue;
        }
        const bool discard = session.cut || session.gone[destinationOf(d)] ||
                             (d == kToClient && (session.halfClosed || (options_.serial && fault_.kind == LineFault::Kind::HalfClose)));
        if (discard) {
            counters_.lost += channel.queued;
            channel.passed += channel.queued;
            channel.queued = 0;
            channel.chunks.clear();
            channel.arrived.clear();
            endIfDone(session);
            changed_.notify_all();
            continue;
        }
        if (fault_.kind == LineFault::Kind::Hold) {
            changed_.wait(lock);
            continue;
        }
        const auto now = Clock::now();
        auto due = now;
        if (fault_.kind == LineFault::Kind::Delay) due = std::max(due, channel.arrived.front() + fault_.delay);
        const uint32_t rate = fault_.kind == LineFault::Kind::Throttle
                                  ? (d == kToUpstream ? fault_.toUpstreamRate : fault_.toClientRate)
                                  : 0;
        if (rate != 0) due = std::max(due, channel.free);
        if (due > now) {
            changed_.wait_until(lock, due);
            continue;
        }
        std::vector<uint8_t>& front = channel.chunks.front();
        size_t length = front.size();
        if (rate != 0) length = std::min<size_t>(length, std::max<uint32_t>(1, rate / kRateSteps));
        if (d == kToUpstream && session.dropAt)
            length = static_cast<size_t>(std::min<uint64_t>(length, *session.dropAt - channel.passed));
        slice.assign(front.begin(), front.begin() + static_cast<ptrdiff_t>(length));
        front.erase(front.begin(), front.begin() + static_cast<ptrdiff_t>(length));
        if (front.empty()) {
            channel.chunks.pop_front();
            channel.arrived.pop_front();
        }
        channel.queued -= length;
        channel.passed += length;
        if (rate != 0)
            channel.free = std::max(channel.free, now) +
                           std::chrono::duration_cast<Clock::duration>(
                               std::chrono::nanoseconds(length * 1'000'000'000ull / rate));
        session.writing[d] = true;
        changed_.notify_all();
        lock.unlock();
        const bool written = writeOut(session, d, slice.data(), slice.size(), session.writeWake[d]);
        lock.lock();
        session.writing[d] = false;
        if (written) {
            (d == kToUpstream ? counters_.toUpstream : counters_.toClient) += length;
            noteLocked(std::string(d == kToUpstream ? ">" : "<") + " " + std::to_string(length) +
                       hexHead(slice.data(), slice.size()));
        } else {
            counters_.lost += length;
            if (!options_.serial && !session.ending && !stopping_ && !session.gone[destinationOf(d)]) {
                noteLocked("connection " + std::to_string(session.number) + " lost its " +
                           (d == kToUpstream ? "upstream" : "client"));
                session.gone[destinationOf(d)] = true;
                session.wakeReaders();
                changed_.notify_all();
            }
        }
        endIfDone(session);
    }
}

void LineProxy::Impl::endIfDone(Session& session) {
    if (options_.serial || session.ending) return;
    bool done = session.gone[0] && session.gone[1];
    for (Direction d : {kToUpstream, kToClient})
        if (session.gone[sourceOf(d)] && session.channels[d].chunks.empty() && !session.writing[d]) done = true;
    if (!done) return;
    session.ending = true;
    session.wakeAll();
    changed_.notify_all();
    acceptWake_.wake();
}

bool LineProxy::Impl::writeOut(Session& session, Direction d, const uint8_t* data, size_t length,
                               const vxplatform::Waker& wake) {
    if (d == kToUpstream) return session.upstream->write(data, length, wake);
    if (session.client) return session.client->write(data, length, wake);
    return pty_->write(data, length, kPtyWrite);
}

void LineProxy::Impl::drop(Session& session) {
    session.dropAt.reset();
    ++counters_.drops;
    if (options_.serial) {
        session.cut = true;
        noteLocked("line cut");
    } else {
        session.ending = true;
        session.reset = fault_.reset;
        noteLocked("connection " + std::to_string(session.number) + (fault_.reset ? " reset" : " dropped"));
        acceptWake_.wake();
    }
    session.wakeAll();
    changed_.notify_all();
}

void LineProxy::Impl::setFault(const LineFault& fault) {
    bool held = false;
    {
        std::lock_guard lock(mutex_);
        fault_ = fault;
        if (fault.kind != LineFault::Kind::Pass) {
            ++counters_.faults;
            ++counters_.byKind[static_cast<size_t>(fault.kind)];
        }
        noteLocked("fault " + fault.text());
        for (auto& session : sessions_) {
            Session& s = *session;
            s.cut = false;
            s.dropAt.reset();
            auto& toUpstream = s.channels[kToUpstream];
            if (fault.kind == LineFault::Kind::Drop) {
                s.dropAt = toUpstream.taken + fault.after;
                if (toUpstream.passed == *s.dropAt) drop(s);
            }
            if (fault.kind == LineFault::Kind::HalfClose) {
                toUpstream.free = Clock::now();
                if (auto* client = dynamic_cast<SocketEnd*>(s.client.get()); client && !s.halfClosed) {
                    client->shutdownSending();
                    s.halfClosed = true;
                }
            }
            s.channels[kToClient].free = toUpstream.free = Clock::now();
            // Readers look again at what they may take; a drop that fell
            // due has ended the connection and woken everything already.
            s.wakeReaders();
        }
        held = options_.serial && fault.kind == LineFault::Kind::HoldOutput;
        changed_.notify_all();
    }
    if (options_.serial) setOutputHeld(held);
}

void LineProxy::Impl::setOutputHeld(bool held) {
    std::lock_guard lock(mutex_);
    if (held == outputHeld_ || !pty_) return;
    // The terminal stops taking the writer's bytes, as on an XOFF received
    // or CTS dropped, whichever descriptor the client opened it by.
    ::tcflow(pty_->hostFd(), held ? TCOOFF : TCOON);
    outputHeld_ = held;
}

void LineProxy::Impl::PtyFeed::onReceive(Link&, const uint8_t* data, size_t length) {
    Impl& impl = impl_;
    std::unique_lock lock(impl.mutex_);
    Session& session = *impl.sessions_.front();
    size_t done = 0;
    while (done < length) {
        if (impl.over(session)) return;
        std::optional<Clock::time_point> until;
        const size_t room = std::min(impl.allowance(session, kToUpstream, &until), length - done);
        if (room == 0) {
            if (until)
                impl.changed_.wait_until(lock, *until);
            else
                impl.changed_.wait(lock);
            continue;
        }
        impl.take(session, kToUpstream, data + done, room);
        done += room;
    }
}

void LineProxy::Impl::acceptLoop() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        pollfd fds[2] = {{acceptWake_.fd(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) acceptWake_.clear();
        reapEnded();
        if (fds[1].revents & POLLIN) acceptOne();
    }
}

void LineProxy::Impl::acceptOne() {
    vxplatform::UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd.valid()) return;
    const int one = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
    auto upstream = vxplatform::connectTcp(upstreamHost_, upstreamPort_, kUpstreamConnect);
    if (upstream.status != vxplatform::TcpConnectStatus::Connected) {
        note("upstream refused a connection");
        return;
    }
    auto session = std::make_shared<Session>();
    session->client = std::make_unique<SocketEnd>(std::move(fd));
    session->upstream = std::make_unique<SocketEnd>(std::move(upstream.fd));
    {
        std::lock_guard lock(mutex_);
        session->number = ++counters_.connections;
        sessions_.push_back(session);
        noteLocked("connection " + std::to_string(session->number) + " opened");
        changed_.notify_all();
    }
    startThreads(*session);
}

void LineProxy::Impl::reapEnded() {
    std::vector<std::shared_ptr<Session>> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if ((*it)->ending) {
                ended.push_back(*it);
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& session : ended) finish(*session);
}

LineFault LineProxy::Impl::fault() const {
    std::lock_guard lock(mutex_);
    return fault_;
}

LineProxyCounters LineProxy::Impl::counters() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

size_t LineProxy::Impl::openConnections() const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(
        std::count_if(sessions_.begin(), sessions_.end(), [](const auto& s) { return !s->ending; }));
}

bool LineProxy::Impl::waitConnections(uint64_t accepted, milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return counters_.connections >= accepted; });
}

std::vector<LineProxyEvent> LineProxy::Impl::events() const {
    std::lock_guard lock(mutex_);
    return {events_.begin(), events_.end()};
}

bool LineProxy::Impl::writeLogTo(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (!file) return false;
    std::lock_guard lock(mutex_);
    if (logFile_) std::fclose(logFile_);
    logFile_ = file;
    return true;
}

void LineProxy::Impl::note(const std::string& text) {
    std::lock_guard lock(mutex_);
    noteLocked(text);
}

void LineProxy::Impl::noteLocked(const std::string& text) {
    const auto now = Clock::now();
    if (options_.logEntries > 0) {
        if (events_.size() >= options_.logEntries) events_.pop_front();
        events_.push_back({now, text});
    }
    if (logFile_) {
        const auto ms = std::chrono::duration_cast<milliseconds>(now - begun_).count();
        std::fprintf(logFile_, "%lld.%03lld %s\n", static_cast<long long>(ms / 1000),
                     static_cast<long long>(ms % 1000), text.c_str());
        std::fflush(logFile_);
    }
}

LineProxy::LineProxy(const Options& options) : impl_(std::make_unique<Impl>(options)) {}
LineProxy::~LineProxy() = default;
const std::string& LineProxy::locator() const { return impl_->locator(); }
std::string LineProxy::devicePath() const { return impl_->devicePath(); }
void LineProxy::setFault(const LineFault& fault) { impl_->setFault(fault); }
LineFault LineProxy::fault() const { return impl_->fault(); }
LineProxyCounters LineProxy::counters() const { return impl_->counters(); }
size_t LineProxy::openConnections() const { return impl_->openConnections(); }
bool LineProxy::waitConnections(uint64_t accepted, milliseconds timeout) const {
    return impl_->waitConnections(accepted, timeout);
}
std::vector<LineProxyEvent> LineProxy::events() const { return impl_->events(); }
bool LineProxy::writeLogTo(const std::string& path) { return impl_->writeLogTo(path); }

}  // namespace vxsim

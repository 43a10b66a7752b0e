#pragma once

namespace vxfw {

class SystemConnection;

// Root of the protocol classes: the connection they send and receive
// through, not owned.
class QMXProtocol {
public:
    QMXProtocol() = default;
    QMXProtocol(const QMXProtocol&) = delete;
    QMXProtocol& operator=(const QMXProtocol&) = delete;
    virtual ~QMXProtocol();

    virtual void setPort(SystemConnection* connection);

protected:
    // The connection; without one, code 9 as for a connection without an
    // active port.
    SystemConnection& connection() const;
    bool hasConnection() const { return connection_ != nullptr; }

private:
    SystemConnection* connection_ = nullptr;
};

}  // namespace vxfw

#include "QMXProtocol.h"

#include "UpdateException.h"

namespace vxfw {

QMXProtocol::~QMXProtocol() = default;

void QMXProtocol::setPort(SystemConnection* connection) { connection_ = connection; }

SystemConnection& QMXProtocol::connection() const {
    if (connection_ == nullptr) throw UpdateException(kPortNotOpen);
    return *connection_;
}

}  // namespace vxfw

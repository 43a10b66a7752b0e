#include "sim/EthernetController.h"

namespace vxsim {

std::optional<EthernetConfig> EthernetController::serve(uint16_t request, const EthernetConfig& payload) {
    switch (static_cast<EthernetRequest>(request)) {
    case EthernetRequest::Discover:
    case EthernetRequest::Get:
        return config_;
    case EthernetRequest::Set:
        config_ = payload;
        return config_;
    case EthernetRequest::Reset:
        config_ = EthernetConfig{};
        return config_;
    case EthernetRequest::Save:
        ++saves_;
        return std::nullopt;
    case EthernetRequest::Restart:
        ++restarts_;
        return config_;
    }
    return std::nullopt;
}

}  // namespace vxsim

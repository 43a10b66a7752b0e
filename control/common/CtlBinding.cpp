#include "common/CtlBinding.h"

#include "common/CtlLibrary.h"

namespace qmx {

bool CtlBinding::bind() {
    if (bound_) return true;
    if (!loadVeltraxCTL()) return false;
    bool all = true;
    // Every name is looked up, missing ones stored as null, so that a failed
    // binding leaves nothing of an earlier library behind.
#define QMX_CTL_LOOKUP(name)                                                                        \
    functions_.name = reinterpret_cast<decltype(functions_.name)>(veltraxCTLSymbol("VX_CTL_" #name)); \
    all = all && functions_.name != nullptr;
    QMX_CTL_BOUND_FUNCTIONS(QMX_CTL_LOOKUP)
#undef QMX_CTL_LOOKUP
    bound_ = all;
    return bound_;
}

}  // namespace qmx

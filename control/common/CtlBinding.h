#pragma once

#include "VeltraxCTL.h"

namespace qmx {

// The 25 second-generation functions an adapter binds, in binding order;
// each is typed by its declaration in VeltraxCTL.h. A few are never called
// but are still required: a library without one of them is not used.
#define QMX_CTL_BOUND_FUNCTIONS(X) \
    X(Open)                        \
    X(Close)                       \
    X(Cancel)                      \
    X(RequestReadProperty)         \
    X(ReadProperty_i32)            \
    X(ReadProperty_i64)            \
    X(ReadProperty_s)              \
    X(RequestWriteProperty_i32)    \
    X(RequestWriteProperty_i64)    \
    X(RequestWriteProperty_s)      \
    X(RequestWritePropertyArray_i32) \
    X(RequestWritePropertyArray_i64) \
    X(WaitForWrite)                \
    X(CancelRequest)               \
    X(WaitForEvent)                \
    X(Move)                        \
    X(Stop)                        \
    X(Calibrate)                   \
    X(Reference)                   \
    X(CreateOutputBuffer)          \
    X(FlushOutputBuffer)           \
    X(CancelOutputBuffer)          \
    X(OpenCommandGroup)            \
    X(CloseCommandGroup)           \
    X(CancelCommandGroup)

struct CtlFunctions {
#define QMX_CTL_MEMBER(name) decltype(&::VX_CTL_##name) name = nullptr;
    QMX_CTL_BOUND_FUNCTIONS(QMX_CTL_MEMBER)
#undef QMX_CTL_MEMBER
};

// One adapter's binding to the process-wide loaded library. Not bound
// until every name was found; a failed binding is tried again in full at
// the next bind(), and a good one is never redone.
class CtlBinding {
public:
    bool bind();
    bool bound() const { return bound_; }
    const CtlFunctions& functions() const { return functions_; }

private:
    CtlFunctions functions_;
    bool bound_ = false;
};

}  // namespace qmx

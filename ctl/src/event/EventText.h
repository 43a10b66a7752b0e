#pragma once

#include <string>

#include "VeltraxCTL.h"

namespace vxctl {

// The text of a result, looked up by its low 16 bits; "unknown error" when
// no code matches. Constant, never null.
const char* resultText(VX_CTL_Result result);

// The text of an event type, looked up by the whole type; "unknown event"
// when none matches. Constant, never null.
const char* eventTypeText(VX_CTL_EventType type);

// The type's text followed by what the type's data means.
std::string describeEvent(const VX_CTL_Event& event);

// describeEvent in a buffer of the calling thread, valid until the same
// thread calls again.
const char* eventInfo(const VX_CTL_Event& event);

}  // namespace vxctl

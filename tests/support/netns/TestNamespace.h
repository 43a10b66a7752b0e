#pragma once

#include <functional>
#include <string>

// What a test program run by netns-run can rely on. The program's own main
// (NetnsMain.cpp) refuses to run tests anywhere else.
namespace vxtest::netns {

inline constexpr const char* NearIface0 = "vxtest0";
inline constexpr const char* NearIface1 = "vxtest1";
inline constexpr const char* NearAddress0 = "192.0.2.1";
inline constexpr const char* FarAddress0 = "192.0.2.2";
inline constexpr const char* Broadcast0 = "192.0.2.255";
inline constexpr const char* NearAddress1 = "198.51.100.1";
inline constexpr const char* FarAddress1 = "198.51.100.2";
inline constexpr const char* Broadcast1 = "198.51.100.255";

// Empty when the program runs in the harness's namespace: it sees only lo
// and the harness's veth interfaces, and these are running (it waits a few
// seconds for them). Otherwise what is wrong.
std::string checkTestNamespace();

// Runs `work` on a thread that has entered the far namespace and returns
// when it has; sockets made there stay there, and threads started there
// start there. Rethrows what `work` throws; std::system_error when the
// namespace cannot be entered.
void inFarNamespace(const std::function<void()>& work);

}  // namespace vxtest::netns

#pragma once

// The traced exports are rows of one table (Exports.cpp): each row names
// the export, the operation it runs, what its call line prints and what its
// return line prints. The frame around the operation is generated from the
// row: call number and call line, lookup of the device handle, the
// operation, return line. The C parameter types come from the declarations
// in VeltraxCTL.h, never written a second time.
//
// Items of the lines, each naming the C parameter it prints by position:
//   Arg<I, Kind>      parameter I printed by Kind:
//                       Dec   unsigned decimal (handles, sizes, request IDs,
//                             trigger modes, time-outs)
//                       Idx   the signed 8-bit index
//                       Key   "0x" and hexadecimal
//                       Val   signed decimal
//                       Text  in double quotes, "NULL" for null
//                       Pointed<Kind>  what the pointer designates, "NULL"
//                                      for null
//   Values<I, N>      the values at parameter I, as many as parameter N
//                     says: a count, or a pointer to one (null: as many as
//                     the operation delivered)
//   EventAt<I>        the event at parameter I, "{Event " its text "}"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "VeltraxCTL.h"
#include "api/Trace.h"
#include "device/DeviceTable.h"
#include "log/Log.h"

namespace vxctl::api {

// What an operation tells the frame beyond its result.
struct CallRecord {
    // Values copied out when the caller passed no size.
    size_t received = 0;
};

struct Dec {
    template <typename T>
    static void print(TraceLine& line, T value) {
        line.unsignedValue(static_cast<uint64_t>(value));
    }
};
struct Idx {
    static void print(TraceLine& line, int8_t value) { line.signedValue(value); }
};
struct Key {
    static void print(TraceLine& line, VX_CTL_PropertyKey value) { line.hex(value); }
};
struct Val {
    template <typename T>
    static void print(TraceLine& line, T value) {
        line.signedValue(static_cast<int64_t>(value));
    }
};
struct Text {
    static void print(TraceLine& line, const char* value) { line.text(value); }
};
template <typename Kind>
struct Pointed {
    template <typename T>
    static void print(TraceLine& line, const T* value) {
        if (!value) return line.null();
        Kind::print(line, *value);
    }
};

template <size_t I, typename Kind>
struct Arg {
    template <typename Args>
    static void print(TraceLine& line, const Args& args, const CallRecord&) {
        Kind::print(line, std::get<I>(args));
    }
};

template <size_t I, size_t N>
struct Values {
    template <typename Args>
    static void print(TraceLine& line, const Args& args, const CallRecord& record) {
        const auto count = std::get<N>(args);
        size_t n = 0;
        if constexpr (std::is_pointer_v<decltype(count)>) {
            n = count ? *count : record.received;
        } else {
            n = count;
        }
        line.values(std::get<I>(args), n);
    }
};

template <size_t I>
struct EventAt {
    template <typename Args>
    static void print(TraceLine& line, const Args& args, const CallRecord&) {
        line.event(std::get<I>(args));
    }
};

template <typename... Items>
struct Line {
    static constexpr bool empty = sizeof...(Items) == 0;
    template <typename Args>
    static void print([[maybe_unused]] TraceLine& line, [[maybe_unused]] const Args& args,
                      [[maybe_unused]] const CallRecord& record) {
        (Items::print(line, args, record), ...);
    }
};
using None = Line<>;

// The operation of a row runs on the device its first parameter names:
// operation(device, record, the other parameters...).
struct OnDevice {
    static constexpr bool startsLogging = false;
};
// The operation runs on the library: operation(record, parameters...).
struct OnLibrary {
    static constexpr bool startsLogging = false;
};
// The same, after reading the settings and starting the log when no log is
// open yet.
struct OnLibraryStartingLog {
    static constexpr bool startsLogging = true;
};

// What an export returns when its operation throws (out of memory).
inline constexpr VX_CTL_Result kFailedOperation = VX_CTL_COMMUNICATION_FAILED;
inline constexpr int32_t kTraceLevel = 2;

template <auto Operation, typename Target, typename CallLine, typename ReturnLine>
class Export {
    template <typename Args, size_t... P>
    static VX_CTL_Result onDevice(Device& device, CallRecord& record, const Args& args, std::index_sequence<P...>) {
        return Operation(device, record, std::get<P + 1>(args)...);
    }

    template <typename Args>
    static VX_CTL_Result operate(CallRecord& record, const Args& args) {
        constexpr size_t kCount = std::tuple_size_v<Args>;
        if constexpr (std::is_same_v<Target, OnDevice>) {
            // Keeps the device alive until the call returns, also when
            // another thread closes the handle meanwhile.
            const std::shared_ptr<Device> device = findDevice(std::get<0>(args));
            if (!device) return VX_CTL_INVALID_DEVICE_HANDLE;
            return onDevice(*device, record, args, std::make_index_sequence<kCount - 1>{});
        } else {
            return std::apply([&](auto... parameters) { return Operation(record, parameters...); }, args);
        }
    }

public:
    template <typename... C>
    static VX_CTL_Result run(const char* name, C... parameters) noexcept {
        try {
            if constexpr (Target::startsLogging) loadIniSettings();
            const std::tuple<C...> args(parameters...);
            CallRecord record;
            uint32_t number = 0;
            if (logLevel() >= kTraceLevel) {
                number = nextCallNumber();
                writeCallLine(number, name, [&](TraceLine& line) { CallLine::print(line, args, record); });
            }
            VX_CTL_Result result = kFailedOperation;
            try {
                result = operate(record, args);
            } catch (...) {
            }
            if (logLevel() >= kTraceLevel) {
                writeReturnLine(number, result, !ReturnLine::empty,
                                [&](TraceLine& line) { ReturnLine::print(line, args, record); });
            }
            return result;
        } catch (...) {
            return kFailedOperation;
        }
    }
};

// The type of parameter I of an export as VeltraxCTL.h declares it.
template <typename F, size_t I>
struct ParameterOf;
template <typename R, typename... A, size_t I>
struct ParameterOf<R(A...), I> {
    using type = std::tuple_element_t<I, std::tuple<A...>>;
};

}  // namespace vxctl::api

#define VX_CTL_PARAMETER(name, i) typename ::vxctl::api::ParameterOf<decltype(::name), i>::type

#define VX_CTL_EXPORT_1(name, ...)                                                                  \
    extern "C" VX_CTL_API VX_CTL_Result name(VX_CTL_PARAMETER(name, 0) a0) {                        \
        return __VA_ARGS__::run(#name, a0);                                                         \
    }
#define VX_CTL_EXPORT_2(name, ...)                                                                  \
    extern "C" VX_CTL_API VX_CTL_Result name(VX_CTL_PARAMETER(name, 0) a0, VX_CTL_PARAMETER(name, 1) a1) { \
        return __VA_ARGS__::run(#name, a0, a1);                                                     \
    }
#define VX_CTL_EXPORT_3(name, ...)                                                                  \
    extern "C" VX_CTL_API VX_CTL_Result name(VX_CTL_PARAMETER(name, 0) a0, VX_CTL_PARAMETER(name, 1) a1, \
                                             VX_CTL_PARAMETER(name, 2) a2) {                        \
        return __VA_ARGS__::run(#name, a0, a1, a2);                                                 \
    }
#define VX_CTL_EXPORT_4(name, ...)                                                                  \
    extern "C" VX_CTL_API VX_CTL_Result name(VX_CTL_PARAMETER(name, 0) a0, VX_CTL_PARAMETER(name, 1) a1, \
                                             VX_CTL_PARAMETER(name, 2) a2, VX_CTL_PARAMETER(name, 3) a3) { \
        return __VA_ARGS__::run(#name, a0, a1, a2, a3);                                             \
    }
#define VX_CTL_EXPORT_5(name, ...)                                                                  \
    extern "C" VX_CTL_API VX_CTL_Result name(VX_CTL_PARAMETER(name, 0) a0, VX_CTL_PARAMETER(name, 1) a1, \
                                             VX_CTL_PARAMETER(name, 2) a2, VX_CTL_PARAMETER(name, 3) a3, \
                                             VX_CTL_PARAMETER(name, 4) a4) {                        \
        return __VA_ARGS__::run(#name, a0, a1, a2, a3, a4);                                         \
    }
#define VX_CTL_EXPORT_6(name, ...)                                                                  \
    extern "C" VX_CTL_API VX_CTL_Result name(VX_CTL_PARAMETER(name, 0) a0, VX_CTL_PARAMETER(name, 1) a1, \
                                             VX_CTL_PARAMETER(name, 2) a2, VX_CTL_PARAMETER(name, 3) a3, \
                                             VX_CTL_PARAMETER(name, 4) a4, VX_CTL_PARAMETER(name, 5) a5) { \
        return __VA_ARGS__::run(#name, a0, a1, a2, a3, a4, a5);                                     \
    }
#define VX_CTL_EXPORT_7(name, ...)                                                                  \
    extern "C" VX_CTL_API VX_CTL_Result name(VX_CTL_PARAMETER(name, 0) a0, VX_CTL_PARAMETER(name, 1) a1, \
                                             VX_CTL_PARAMETER(name, 2) a2, VX_CTL_PARAMETER(name, 3) a3, \
                                             VX_CTL_PARAMETER(name, 4) a4, VX_CTL_PARAMETER(name, 5) a5, \
                                             VX_CTL_PARAMETER(name, 6) a6) {                        \
        return __VA_ARGS__::run(#name, a0, a1, a2, a3, a4, a5, a6);                                 \
    }

#pragma once

// The per-system exports are rows of tables: each row names the export, the
// operation of SystemBase it calls and the operation's arguments in order.
// From a row the frame is generated: call number, call line, lookup, the one
// operation, return line, the operation's status passed through.
//
// Items of a row, in the operation's argument order:
//   In        an input of the export, logged in the call line by its C type
//             (unsigned decimal, signed decimal, an unsigned char as its
//             character)
//   InHex     an input logged as "0x" + hexadecimal (property keys)
//   Out       an output pointer, its value logged in the return line
//   OutHex    an output logged in hexadecimal (versions)
//   Quiet     an output pointer that is not logged (lists, names, records)
//   BytesHex, BytesAsCharacters
//             a byte buffer logged as a byte list of as many bytes as the
//             following Size item holds after the call
//   Size      the in/out size of the byte buffer before it
//   Const<v>  a constant the export adds (opcode, relative flag, remove)
//   Flag      the synchronous flag: true in the _S export, false in the _A
//             export, whose outputs become null pointers
// The export's C parameters are the system index followed by the In/Out
// items in their order (the frame policy may place the index elsewhere);
// their types come from the declarations in QMXControl.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "api/Registry.h"
#include "systems/SystemBase.h"

namespace qmx::exports {

enum class Role { Input, Output, Constant };
enum class Form { Plain, Hex, Quiet, BytesHex, BytesAsCharacters, Size };

template <Role R, Form F>
struct Item {
    static constexpr Role role = R;
    static constexpr Form form = F;
};

using In = Item<Role::Input, Form::Plain>;
using InHex = Item<Role::Input, Form::Hex>;
using Out = Item<Role::Output, Form::Plain>;
using OutHex = Item<Role::Output, Form::Hex>;
using Quiet = Item<Role::Output, Form::Quiet>;
using BytesHex = Item<Role::Output, Form::BytesHex>;
using BytesAsCharacters = Item<Role::Output, Form::BytesAsCharacters>;
using Size = Item<Role::Output, Form::Size>;

template <auto V>
struct Const {
    static constexpr Role role = Role::Constant;
    static constexpr Form form = Form::Quiet;
    static constexpr auto value = V;
};

struct Null {
    static constexpr Role role = Role::Constant;
    static constexpr Form form = Form::Quiet;
    static constexpr std::nullptr_t value = nullptr;
};

struct Flag {};

// The _S and _A forms of an item.
template <typename I>
struct SyncForm {
    using type = I;
};
template <>
struct SyncForm<Flag> {
    using type = Const<true>;
};
template <typename I>
struct AsyncForm {
    using type = std::conditional_t<I::role == Role::Output, Null, I>;
};
template <>
struct AsyncForm<Flag> {
    using type = Const<false>;
};

// How an export departs from the plain frame.
struct Plain {
    static constexpr std::size_t systemIndexAt = 0;
    static constexpr bool returnLineWhenUnknown = true;
    static constexpr bool initListOnly = false;
    static constexpr bool outputsOnlyOnSuccess = false;
    static constexpr std::nullptr_t withoutSystem = nullptr;
};

// An unknown system index returns 5 without a return line.
struct SilentWhenUnknown : Plain {
    static constexpr bool returnLineWhenUnknown = false;
};

// The firmware kind comes first, the system index second.
struct SystemIndexSecond : SilentWhenUnknown {
    static constexpr std::size_t systemIndexAt = 1;
};

// VX_NO_SYSTEM answers from the library's own table, without a lookup.
template <auto Table>
struct LibraryTableWithoutSystem : Plain {
    static constexpr auto withoutSystem = Table;
};

// Only systems of the init list, only while it is initialised; the output
// is logged only when it was written.
struct InitListSystem : Plain {
    static constexpr bool initListOnly = true;
    static constexpr bool outputsOnlyOnSuccess = true;
};

template <typename F>
struct Callee;
template <typename... A>
struct Callee<VX_STATUS (SystemBase::*)(A...)> {
    using Args = std::tuple<A...>;
};
template <typename... A>
struct Callee<VX_STATUS (*)(A...)> {
    using Args = std::tuple<A...>;
};

// The operation's argument types differ from the C types only in width of
// meaning (unsigned int handed on as int32_t, int* as uint32_t*).
template <typename To, typename From>
To adapt(From value) {
    if constexpr (std::is_pointer_v<To> && std::is_pointer_v<From> && !std::is_same_v<To, From>) {
        static_assert(sizeof(*std::declval<To>()) == sizeof(*std::declval<From>()));
        return reinterpret_cast<To>(value);
    } else {
        return static_cast<To>(value);
    }
}

template <typename T>
void logInput(LogValues& values, T value) {
    if constexpr (std::is_same_v<T, unsigned char>) {
        values.character(value);
    } else if constexpr (std::is_signed_v<T>) {
        values.signedValue(value);
    } else {
        values.unsignedValue(value);
    }
}

template <auto Operation, typename Policy, typename... Items>
class Framed {
    static constexpr std::size_t kItems = sizeof...(Items);
    static constexpr std::array<Role, kItems> kRoles{Items::role...};

    static constexpr std::size_t parameterCount() {
        std::size_t count = 1;
        for (Role role : kRoles) count += role != Role::Constant;
        return count;
    }

    // The C parameter that item k stands for.
    static constexpr std::size_t parameterOf(std::size_t k) {
        std::size_t position = 0;
        for (std::size_t i = 0; i < k; ++i) position += kRoles[i] != Role::Constant;
        return position < Policy::systemIndexAt ? position : position + 1;
    }

    template <std::size_t K>
    using ItemAt = std::tuple_element_t<K, std::tuple<Items...>>;

    // Inputs are values and outputs pointers in the declaration as well.
    template <typename Args, std::size_t K>
    static constexpr bool roleMatches() {
        using I = ItemAt<K>;
        if constexpr (I::role == Role::Constant) {
            return true;
        } else {
            return (I::role == Role::Output) == std::is_pointer_v<std::tuple_element_t<parameterOf(K), Args>>;
        }
    }
    template <typename Args, std::size_t... K>
    static constexpr bool rolesMatch(std::index_sequence<K...>) {
        return (roleMatches<Args, K>() && ...);
    }

    template <std::size_t K, typename Target, typename Args>
    static Target operand(const Args& args) {
        using I = ItemAt<K>;
        if constexpr (I::role == Role::Constant) {
            return static_cast<Target>(I::value);
        } else {
            return adapt<Target>(std::get<parameterOf(K)>(args));
        }
    }

    template <auto Fn, typename Args, std::size_t... K>
    static VX_STATUS call(SystemBase* system, const Args& args, std::index_sequence<K...>) {
        using Params = typename Callee<decltype(Fn)>::Args;
        static_assert(std::tuple_size_v<Params> == kItems, "row does not match the operation");
        if constexpr (std::is_member_function_pointer_v<decltype(Fn)>) {
            return (system->*Fn)(operand<K, std::tuple_element_t<K, Params>>(args)...);
        } else {
            return Fn(operand<K, std::tuple_element_t<K, Params>>(args)...);
        }
    }

    // The item that C parameter p stands for (none for the system index).
    static constexpr std::size_t itemOf(std::size_t p) {
        for (std::size_t k = 0; k < kItems; ++k) {
            if (kRoles[k] != Role::Constant && parameterOf(k) == p) return k;
        }
        return kItems;
    }

    template <typename Args, std::size_t... P>
    static void logInputs(LogValues& values, const Args& args, std::index_sequence<P...>) {
        (
            [&] {
                if constexpr (P == Policy::systemIndexAt) {
                    values.unsignedValue(std::get<P>(args));
                } else {
                    using I = ItemAt<itemOf(P)>;
                    if constexpr (I::role == Role::Input && I::form == Form::Hex) {
                        values.hex(std::get<P>(args));
                    } else if constexpr (I::role == Role::Input) {
                        logInput(values, std::get<P>(args));
                    }
                }
            }(),
            ...);
    }

    // Sizes of the byte buffers as the caller gave them: the return line
    // never shows more bytes than the buffer holds.
    using Sizes = std::array<uint32_t, kItems>;

    template <typename Args, std::size_t... K>
    static Sizes sizesOnEntry(const Args& args, std::index_sequence<K...>) {
        Sizes sizes{};
        (
            [&] {
                using I = ItemAt<K>;
                if constexpr (I::role == Role::Output && I::form == Form::Size) {
                    const auto* size = std::get<parameterOf(K)>(args);
                    sizes[K] = size ? *size : 0;
                }
            }(),
            ...);
        return sizes;
    }

    template <typename Args, std::size_t... K>
    static void logOutputs(LogValues& values, const Args& args, const Sizes& entry,
                           std::index_sequence<K...>) {
        (
            [&] {
                using I = ItemAt<K>;
                if constexpr (I::role == Role::Output) {
                    [[maybe_unused]] const auto pointer = std::get<parameterOf(K)>(args);
                    if constexpr (I::form == Form::Plain) {
                        if (pointer) logInput(values, *pointer);
                    } else if constexpr (I::form == Form::Hex) {
                        if (pointer) values.hex(*pointer);
                    } else if constexpr (I::form == Form::BytesHex ||
                                         I::form == Form::BytesAsCharacters) {
                        static_assert(K + 1 < kItems && ItemAt<K + 1>::form == Form::Size,
                                      "a byte buffer is followed by its size");
                        const auto* size = std::get<parameterOf(K + 1)>(args);
                        uint32_t count = size ? *size : 0;
                        if (count > entry[K + 1]) count = entry[K + 1];
                        const auto* bytes = reinterpret_cast<const uint8_t*>(pointer);
                        if constexpr (I::form == Form::BytesHex) {
                            values.bytesHex(bytes, count);
                        } else {
                            values.bytesAsCharacters(bytes, count);
                        }
                    }
                }
            }(),
            ...);
    }

    template <typename Args>
    static VX_STATUS frame(const char* name, const Args& args) {
        using Sequence = std::make_index_sequence<kItems>;
        const uint32_t number = nextCallNumber();
        writeCallLine(number, name, [&](LogValues& values) {
            logInputs(values, args, std::make_index_sequence<parameterCount()>{});
        });
        const VX_SystemIndex index = std::get<Policy::systemIndexAt>(args);
        [[maybe_unused]] auto nothing = [](LogValues&) {};

        if constexpr (!std::is_null_pointer_v<std::remove_cv_t<decltype(Policy::withoutSystem)>>) {
            if (index == VX_NO_SYSTEM) {
                const VX_STATUS status = call<Policy::withoutSystem>(nullptr, args, Sequence{});
                writeReturnLine(number, status, nothing);
                return status;
            }
        }
        if constexpr (Policy::initListOnly) {
            VX_STATUS refused = VX_OK;
            if (systemRegistry().initState() == SystemRegistry::kNotInitialized) {
                refused = VX_NOT_INITIALIZED;
            } else if (index >= SystemRegistry::kInitSlotCount) {
                refused = VX_INVALID_SYSTEM_INDEX;
            }
            if (refused != VX_OK) {
                writeReturnLine(number, refused, nothing);
                return refused;
            }
        }

        const std::shared_ptr<SystemBase> system = lookupSystem(index);
        if (!system) {
            if constexpr (Policy::returnLineWhenUnknown) writeReturnLine(number, VX_INVALID_SYSTEM_INDEX, nothing);
            return VX_INVALID_SYSTEM_INDEX;
        }
        const Sizes entry = sizesOnEntry(args, Sequence{});
        const VX_STATUS status = call<Operation>(system.get(), args, Sequence{});
        writeReturnLine(number, status, [&](LogValues& values) {
            if (!Policy::outputsOnlyOnSuccess || status == VX_OK) logOutputs(values, args, entry, Sequence{});
        });
        return status;
    }

public:
    template <typename... C>
    static VX_STATUS run(const char* name, C... parameters) noexcept {
        static_assert(sizeof...(C) == parameterCount(), "row does not match the declaration");
        static_assert(std::is_same_v<std::tuple_element_t<Policy::systemIndexAt, std::tuple<C...>>,
                                     VX_SystemIndex>);
        static_assert(rolesMatch<std::tuple<C...>>(std::make_index_sequence<kItems>{}),
                      "an input or output of the row is not one in the declaration");
        try {
            return frame(name, std::tuple<C...>(parameters...));
        } catch (...) {
            return VX_OTHER_ERROR;
        }
    }
};

template <auto Operation, typename Policy, typename... Items>
using SyncExport = Framed<Operation, Policy, typename SyncForm<Items>::type...>;
template <auto Operation, typename Policy, typename... Items>
using AsyncExport = Framed<Operation, Policy, typename AsyncForm<Items>::type...>;

// The type of parameter I of an export as QMXControl.h declares it.
template <typename F, std::size_t I>
struct ParameterOf;
template <typename R, typename... A, std::size_t I>
struct ParameterOf<R(A...), I> {
    using type = std::tuple_element_t<I, std::tuple<A...>>;
};

}  // namespace qmx::exports

#define QMX_EXPORT_PARAMETER(name, i) typename ::qmx::exports::ParameterOf<decltype(::name), i>::type

#define QMX_EXPORT_DEFINE_1(name, ...)                                                       \
    extern "C" QMX_API VX_STATUS name(QMX_EXPORT_PARAMETER(name, 0) a0) {                    \
        return __VA_ARGS__::run(#name, a0);                                                  \
    }
#define QMX_EXPORT_DEFINE_2(name, ...)                                                       \
    extern "C" QMX_API VX_STATUS name(QMX_EXPORT_PARAMETER(name, 0) a0,                      \
                                      QMX_EXPORT_PARAMETER(name, 1) a1) {                    \
        return __VA_ARGS__::run(#name, a0, a1);                                              \
    }
#define QMX_EXPORT_DEFINE_3(name, ...)                                                       \
    extern "C" QMX_API VX_STATUS name(QMX_EXPORT_PARAMETER(name, 0) a0,                      \
                                      QMX_EXPORT_PARAMETER(name, 1) a1,                      \
                                      QMX_EXPORT_PARAMETER(name, 2) a2) {                    \
        return __VA_ARGS__::run(#name, a0, a1, a2);                                          \
    }
#define QMX_EXPORT_DEFINE_4(name, ...)                                                       \
    extern "C" QMX_API VX_STATUS name(                                                       \
        QMX_EXPORT_PARAMETER(name, 0) a0, QMX_EXPORT_PARAMETER(name, 1) a1,                  \
        QMX_EXPORT_PARAMETER(name, 2) a2, QMX_EXPORT_PARAMETER(name, 3) a3) {                \
        return __VA_ARGS__::run(#name, a0, a1, a2, a3);                                      \
    }
#define QMX_EXPORT_DEFINE_5(name, ...)                                                       \
    extern "C" QMX_API VX_STATUS name(                                                       \
        QMX_EXPORT_PARAMETER(name, 0) a0, QMX_EXPORT_PARAMETER(name, 1) a1,                  \
        QMX_EXPORT_PARAMETER(name, 2) a2, QMX_EXPORT_PARAMETER(name, 3) a3,                  \
        QMX_EXPORT_PARAMETER(name, 4) a4) {                                                  \
        return __VA_ARGS__::run(#name, a0, a1, a2, a3, a4);                                  \
    }
#define QMX_EXPORT_DEFINE_6(name, ...)                                                       \
    extern "C" QMX_API VX_STATUS name(                                                       \
        QMX_EXPORT_PARAMETER(name, 0) a0, QMX_EXPORT_PARAMETER(name, 1) a1,                  \
        QMX_EXPORT_PARAMETER(name, 2) a2, QMX_EXPORT_PARAMETER(name, 3) a3,                  \
        QMX_EXPORT_PARAMETER(name, 4) a4, QMX_EXPORT_PARAMETER(name, 5) a5) {                \
        return __VA_ARGS__::run(#name, a0, a1, a2, a3, a4, a5);                              \
    }

// One export: its name, the number of its C parameters, its frame policy,
// the operation and the operation's arguments.
#define QMX_EXPORT(name, parameters, policy, operation, ...)                                 \
    QMX_EXPORT_DEFINE_##parameters(                                                          \
        name, ::qmx::exports::SyncExport<operation, policy __VA_OPT__(, ) __VA_ARGS__>)

// A pair of twins: name##_S with `syncParameters` C parameters, name##_A with
// `asyncParameters` (the outputs dropped), both calling `operation`.
#define QMX_TWINS(name, syncParameters, asyncParameters, operation, ...)                     \
    QMX_EXPORT_DEFINE_##syncParameters(                                                      \
        name##_S, ::qmx::exports::SyncExport<operation, ::qmx::exports::Plain, __VA_ARGS__>) \
    QMX_EXPORT_DEFINE_##asyncParameters(                                                     \
        name##_A, ::qmx::exports::AsyncExport<operation, ::qmx::exports::Plain, __VA_ARGS__>)

#pragma once

#include <type_traits>

namespace cppu {

// A set of the bit flags of one enumeration.
template <typename Enum>
class Flags {
public:
    using Bits = std::underlying_type_t<Enum>;

    constexpr Flags() = default;
    constexpr Flags(Enum flag) : bits_(static_cast<Bits>(flag)) {}

    constexpr bool test(Enum flag) const { return (bits_ & static_cast<Bits>(flag)) != 0; }
    constexpr Flags& set(Enum flag) {
        bits_ |= static_cast<Bits>(flag);
        return *this;
    }
    constexpr bool any() const { return bits_ != 0; }
    constexpr Bits bits() const { return bits_; }
    constexpr Flags operator|(Flags other) const { return fromBits(bits_ | other.bits_); }
    constexpr bool operator==(const Flags&) const = default;

private:
    static constexpr Flags fromBits(Bits bits) {
        Flags f;
        f.bits_ = bits;
        return f;
    }
    Bits bits_ = 0;
};

}  // namespace cppu

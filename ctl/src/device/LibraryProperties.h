#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "VeltraxCTL.h"

namespace vxctl {

// Keys of class 0xF0 that the library answers itself.
inline constexpr VX_CTL_PropertyKey kRequestReadyEventsKey = 0xF010005D;
inline constexpr VX_CTL_PropertyKey kAutoReconnectKey = 0xF01000A1;
inline constexpr VX_CTL_PropertyKey kLogLevelKey = 0xF001008D;
inline constexpr VX_CTL_PropertyKey kDeviceLoggingKey = 0xF001009F;
inline constexpr VX_CTL_PropertyKey kLogPathKey = 0xF00100AF;

namespace detail {

// One library-side property: its value type and how it reads and writes.
class PropertyWrapperBase {
public:
    virtual ~PropertyWrapperBase() = default;
    virtual uint8_t dataType() const = 0;
    // The value as a value reply carries it: integers little-endian, text
    // with its zero byte; a failing read passes its result on.
    virtual VX_CTL_Result getBytes(std::vector<uint8_t>* bytes) = 0;
};

// A property of one value type; a typed write reaches only the wrapper of
// its own type.
template <typename T>
class PropertyWrapper : public PropertyWrapperBase {
public:
    uint8_t dataType() const override {
        if constexpr (std::is_same_v<T, int32_t>) return VX_CTL_DT_INT32;
        if constexpr (std::is_same_v<T, int64_t>) return VX_CTL_DT_INT64;
        return VX_CTL_DT_STRING;
    }
    VX_CTL_Result getBytes(std::vector<uint8_t>* bytes) override {
        T value{};
        if (const VX_CTL_Result result = get(&value); result != VX_CTL_OK) return result;
        bytes->clear();
        if constexpr (std::is_same_v<T, std::string>) {
            bytes->assign(value.begin(), value.end());
            bytes->push_back(0);
        } else {
            const auto raw = static_cast<std::make_unsigned_t<T>>(value);
            for (size_t i = 0; i < sizeof(T); ++i) bytes->push_back(static_cast<uint8_t>(raw >> (8 * i)));
        }
        return VX_CTL_OK;
    }
    virtual VX_CTL_Result get(T* value) = 0;
    virtual VX_CTL_Result set(const T& value) = 0;
};

// Read and written by functions; an absent one refuses with 0x23.
template <typename T>
class PropertyWrapperGetSet : public PropertyWrapper<T> {
public:
    using Getter = std::function<VX_CTL_Result(T*)>;
    using Setter = std::function<VX_CTL_Result(const T&)>;
    PropertyWrapperGetSet(Getter getter, Setter setter)
        : getter_(std::move(getter)), setter_(std::move(setter)) {}
    VX_CTL_Result get(T* value) override { return getter_ ? getter_(value) : VX_CTL_PERMISSION_DENIED; }
    VX_CTL_Result set(const T& value) override { return setter_ ? setter_(value) : VX_CTL_PERMISSION_DENIED; }

private:
    Getter getter_;
    Setter setter_;
};

// A variable of the device, with a check of what may be written to it.
template <typename T>
class PropertyWrapperRef : public PropertyWrapper<T> {
public:
    using Validator = std::function<bool(const T&)>;
    PropertyWrapperRef(T& variable, Validator validator) : variable_(variable), validator_(std::move(validator)) {}
    VX_CTL_Result get(T* value) override {
        *value = variable_;
        return VX_CTL_OK;
    }
    VX_CTL_Result set(const T& value) override {
        if (validator_ && !validator_(value)) return VX_CTL_INVALID_PARAMETER;
        variable_ = value;
        return VX_CTL_OK;
    }

private:
    T& variable_;
    Validator validator_;
};

}  // namespace detail

using LibraryPropertyMap = std::map<VX_CTL_PropertyKey, std::shared_ptr<detail::PropertyWrapperBase>>;

}  // namespace vxctl

#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vxsim {

// Result codes a second-generation controller reports in its replies.
namespace gen2result {
inline constexpr uint16_t kOk = 0x0000;
inline constexpr uint16_t kInvalidKey = 0x0012;
inline constexpr uint16_t kInvalidDataType = 0x0016;
inline constexpr uint16_t kPermissionDenied = 0x0023;
}  // namespace gen2result

// Properties every simulated controller has.
namespace gen2key {
inline constexpr uint32_t kChannelCount = 0x020F0016;
inline constexpr uint32_t kSerialNumber = 0x020F005E;
}  // namespace gen2key

// A property value: one 32-bit or 64-bit integer, a text, or an array of
// either integer.
using PropertyValue =
    std::variant<int32_t, int64_t, std::string, std::vector<int32_t>, std::vector<int64_t>>;

// Where a property lives: the device, module or channel index and its key.
struct PropertyAddress {
    uint8_t index = 0;
    uint32_t key = 0;
    auto operator<=>(const PropertyAddress&) const = default;
};

// The state of a simulated second-generation controller, apart from any
// wire format: its properties. Safe on any thread.
class Gen2Model {
public:
    struct Property {
        PropertyValue value;
        bool readOnly = false;
    };

    // Adds or replaces a property; a reset brings it back to this value.
    void define(PropertyAddress address, PropertyValue value, bool readOnly = false);
    // A read-only property behind a select register: a read gives the value
    // kept for the selector's current 32-bit value (unknown key for others).
    void defineSelected(PropertyAddress address, PropertyAddress selector, std::map<int32_t, PropertyValue> values);
    // Writes of the property are answered with `result` and change nothing.
    void answerWrites(PropertyAddress address, uint16_t result);

    // The value, or the controller's result code for an unknown key.
    std::pair<uint16_t, PropertyValue> read(PropertyAddress address) const;

    // Reads of `key` at any index are answered by `reader` instead of a
    // stored value (a buffer that each read takes from). `reader` must not
    // call back into the model. An empty `reader` ends this; no read runs
    // it any more once the call returns.
    using Reader = std::function<std::pair<uint16_t, PropertyValue>(uint8_t index)>;
    void answerReads(uint32_t key, Reader reader);
    // Unknown key, read-only property, or a value of another type (a single
    // value for an array or the reverse, i32 for i64, text for a number)
    // give the controller's result code; otherwise the value is stored.
    uint16_t write(PropertyAddress address, const PropertyValue& value);

    std::optional<PropertyValue> value(PropertyAddress address) const;
    size_t writes() const;

    // Back to the defined values, as after a restart.
    void reset();

private:
    mutable std::mutex mutex_;
    std::map<PropertyAddress, Property> defined_;
    std::map<PropertyAddress, Property> current_;
    struct Selected {
        PropertyAddress selector;
        std::map<int32_t, PropertyValue> values;
    };
    std::map<PropertyAddress, Selected> selected_;
    std::map<PropertyAddress, uint16_t> writeAnswers_;
    std::map<uint32_t, Reader> readers_;
    size_t writes_ = 0;
};

}  // namespace vxsim

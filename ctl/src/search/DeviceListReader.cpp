#include "search/DeviceListReader.h"

#include "platform/Text.h"

namespace vxctl {

namespace {

struct Escape {
    std::string_view written;
    char meant;
};

// "%25" comes last, so that an escaped "%" never starts another escape.
constexpr Escape kEscapes[] = {{"%0A", '\n'}, {"%7C", '|'}, {"%3D", '='}, {"%25", '%'}};

}  // namespace

std::string decodeValue(std::string_view text) {
    std::string value(text);
    for (const Escape& escape : kEscapes) {
        for (size_t at = value.find(escape.written); at != std::string::npos;
             at = value.find(escape.written, at + 1)) {
            value.replace(at, escape.written.size(), 1, escape.meant);
        }
    }
    return value;
}

std::vector<DeviceRecord> readDeviceList(std::string_view text) {
    std::vector<DeviceRecord> records;
    for (const std::string& line : vxplatform::splitText(text, "\n")) {
        DeviceRecord& record = records.emplace_back();
        for (const std::string& piece : vxplatform::splitText(line, "|")) {
            const std::vector<std::string> parts = vxplatform::splitFields(piece, '=');
            if (parts.size() != 2 || parts[0].empty() || parts[1].empty()) continue;
            record.emplace(parts[0], decodeValue(parts[1]));
        }
    }
    return records;
}

}  // namespace vxctl

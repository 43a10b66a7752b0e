#include "common/PositionerTypes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/StatusCodes.h"

namespace qmx {

namespace {

struct PositionerType {
    int32_t code;
    // Kind (L linear, R rotary), reference (N none, E end stop, M mark,
    // D distance-coded marks), then the code.
    const char* name;
    int32_t rotary;         // property 1
    int32_t referenceType;  // property 2: 0 none, 1 end stop, 2 mark, 3 coded marks
};

// Ascending by code and never changed, so lookups need no lock.
constexpr PositionerType positionerTypeTable[] = {
    {1, "LM01", 0, 2},
    {2, "RM02", 1, 2},
    {3, "RM03", 1, 2},
    {4, "RM04", 1, 2},
    {5, "LM05", 0, 2},
    {6, "LD06", 0, 3},
    {7, "RM07", 1, 2},
    {8, "RM08", 1, 2},
    {9, "LE09", 0, 1},
    {10, "RE10", 1, 1},
    {11, "RE11", 1, 1},
    {12, "RE12", 1, 1},
    {13, "RN13", 1, 0},
    {14, "RE14", 1, 1},
    {15, "RN15", 1, 0},
    {16, "RM16", 1, 2},
    {17, "RM17", 1, 2},
    {18, "LD18", 0, 3},
    {19, "RM19", 1, 2},
    {20, "RM20", 1, 2},
    {21, "LM21", 0, 2},
    {22, "RM22", 1, 2},
    {23, "RM23", 1, 2},
    {24, "LD24", 0, 3},
    {25, "RD25", 1, 3},
    {26, "RN26", 1, 0},
    {27, "RE27", 1, 1},
    {28, "RN28", 1, 0},
    {29, "RE29", 1, 1},
    {30, "RM30", 1, 2},
    {31, "RM31", 1, 2},
    {32, "LE32", 0, 1},
    {33, "RE33", 1, 1},
    {34, "LM34", 0, 2},
    {35, "LD35", 0, 3},
    {36, "RM36", 1, 2},
    {37, "RM37", 1, 2},
    {38, "LD38", 0, 3},
    {39, "RM39", 1, 2},
    {40, "LD40", 0, 3},
    {41, "LM41", 0, 2},
    {42, "LM42", 0, 2},
    {43, "LE43", 0, 1},
    {44, "LE44", 0, 1},
    {45, "RE45", 1, 1},
    {46, "RE46", 1, 1},
    {47, "RM47", 1, 2},
    {48, "RM48", 1, 2},
    {49, "RM49", 1, 2},
    {50, "RM50", 1, 2},
    {51, "RM51", 1, 2},
    {52, "RM52", 1, 2},
    {53, "RE53", 1, 1},
    {54, "RE54", 1, 1},
    {55, "RE55", 1, 1},
    {56, "RM56", 1, 2},
};

constexpr uint32_t kTypeCount = static_cast<uint32_t>(std::size(positionerTypeTable));

static_assert(std::is_sorted(std::begin(positionerTypeTable), std::end(positionerTypeTable),
                             [](const PositionerType& a, const PositionerType& b) { return a.code < b.code; }));

const PositionerType* findType(uint32_t type) {
    // The codes are signed; an unsigned argument is the same 32 bits.
    const auto code = static_cast<int32_t>(type);
    const auto* row = std::lower_bound(std::begin(positionerTypeTable), std::end(positionerTypeTable), code,
                                       [](const PositionerType& r, int32_t c) { return r.code < c; });
    if (row == std::end(positionerTypeTable) || row->code != code) return nullptr;
    return row;
}

}  // namespace

VX_STATUS listPositionerTypes(uint32_t* list, uint32_t* size) {
    if (!size) return VX_INVALID_PARAMETER;
    const uint32_t capacity = *size;
    *size = kTypeCount;
    if (kTypeCount > capacity) return VX_QUERY_BUFFER_SIZE;
    if (!list) return VX_INVALID_PARAMETER;
    for (uint32_t i = 0; i < kTypeCount; ++i) list[i] = static_cast<uint32_t>(positionerTypeTable[i].code);
    return VX_OK;
}

VX_STATUS positionerTypeName(uint32_t type, char* name, uint32_t* size) {
    const PositionerType* row = findType(type);
    if (!row || !size) return VX_INVALID_PARAMETER;
    const auto length = static_cast<uint32_t>(std::strlen(row->name));
    const uint32_t capacity = *size;
    *size = length;
    if (length + 1 > capacity) return VX_QUERY_BUFFER_SIZE;
    if (!name) return VX_INVALID_PARAMETER;
    std::memcpy(name, row->name, length + 1);
    return VX_OK;
}

VX_STATUS positionerTypeProperty(uint32_t type, uint32_t property, uint32_t* value) {
    const PositionerType* row = findType(type);
    if (!row) return VX_INVALID_PARAMETER;
    uint32_t result = 0;
    switch (property) {
    case 1:
        result = static_cast<uint32_t>(row->rotary);
        break;
    case 2:
        result = static_cast<uint32_t>(row->referenceType);
        break;
    default:
        return VX_INVALID_PROPERTY;
    }
    if (!value) return VX_INVALID_PARAMETER;
    *value = result;
    return VX_OK;
}

}  // namespace qmx

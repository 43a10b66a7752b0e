#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace qmx {

// First-generation sensor types and the second-generation positioner type
// code of each; code 0: the type has no second-generation equivalent.
inline constexpr std::array<std::pair<uint32_t, int32_t>, 56> kSensorTypeCodes{{
    {1, 300},  {2, 312},  {3, 0},    {4, 0},    {5, 302},  {6, 303},  {7, 0},    {8, 309},  {9, 357},  {10, 0},
    {11, 363}, {12, 366}, {13, 0},   {14, 0},   {15, 0},   {16, 325}, {17, 328}, {18, 307}, {19, 334}, {20, 317},
    {21, 301}, {22, 0},   {23, 313}, {24, 304}, {25, 321}, {26, 0},   {27, 0},   {28, 0},   {29, 0},   {30, 337},
    {31, 340}, {32, 0},   {33, 0},   {34, 0},   {35, 0},   {36, 0},   {37, 320}, {38, 348}, {39, 354}, {40, 349},
    {41, 345}, {42, 346}, {43, 342}, {44, 343}, {45, 364}, {46, 367}, {47, 330}, {48, 325}, {49, 328}, {50, 381},
    {51, 383}, {52, 385}, {53, 387}, {54, 389}, {55, 391}, {56, 393},
}};

// The sensor type of the first pair with this code; none when no pair has it.
inline std::optional<uint32_t> sensorTypeOfCode(int32_t code) {
    for (const auto& [type, typeCode] : kSensorTypeCodes)
        if (typeCode == code) return type;
    return std::nullopt;
}

// The code a sensor type is written as: its pair's code, or the type itself
// when it has no code.
inline int32_t codeOfSensorType(uint32_t type) {
    for (const auto& [pairType, code] : kSensorTypeCodes)
        if (pairType == type) return code != 0 ? code : static_cast<int32_t>(type);
    return static_cast<int32_t>(type);
}

}  // namespace qmx

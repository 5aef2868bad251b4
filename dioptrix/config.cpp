#include "dioptrix/config.h"

#include <bit>

namespace {

void PutU32(std::uint8_t* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* p) noexcept {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return v;
}

bool CompensationInRange(float c) noexcept { return c >= -0.5f && c <= 0.0f; }  // NaN: false

}  // namespace

void EncodeConfig(const DioptrixConfig& config, std::uint8_t* bytes) noexcept {
    bytes[0] = config.leftEyeColor;
    bytes[1] = config.rightEyeColor;
    bytes[2] = 0;
    bytes[3] = 0;
    PutU32(bytes + 4, std::bit_cast<std::uint32_t>(config.leftCompensation));
    PutU32(bytes + 8, std::bit_cast<std::uint32_t>(config.rightCompensation));
}

DioptrixConfig DecodeConfig(const std::uint8_t* bytes) noexcept {
    DioptrixConfig c;
    c.leftEyeColor = bytes[0];
    c.rightEyeColor = bytes[1];
    c.reserved[0] = bytes[2];
    c.reserved[1] = bytes[3];
    c.leftCompensation = std::bit_cast<float>(GetU32(bytes + 4));
    c.rightCompensation = std::bit_cast<float>(GetU32(bytes + 8));
    return c;
}

DioptrixConfig ConfigInRange(const DioptrixConfig& config) noexcept {
    DioptrixConfig c = config;
    if (c.leftEyeColor > 2) c.leftEyeColor = static_cast<std::uint8_t>(EyeColor::Red);
    if (c.rightEyeColor > 2) c.rightEyeColor = static_cast<std::uint8_t>(EyeColor::Green);
    if (c.rightEyeColor == c.leftEyeColor) {
        c.rightEyeColor = static_cast<std::uint8_t>((c.leftEyeColor + 1) % 3);
    }
    if (!CompensationInRange(c.leftCompensation)) c.leftCompensation = -0.1f;
    if (!CompensationInRange(c.rightCompensation)) c.rightCompensation = -0.1f;
    return c;
}

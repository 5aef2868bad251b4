#pragma once
/// The filter's configuration: which colour channel each eye's glass lets through and
/// the colour filter compensation of each glass. The host stores it with the scene as
/// exactly 12 bytes, little-endian:
///
///   offset 0  leftEyeColor       unsigned byte, EyeColor, 0..2        default 0 (red)
///   offset 1  rightEyeColor      unsigned byte, EyeColor, 0..2, != left   default 1 (green)
///   offset 2  reserved           2 bytes, written as 0
///   offset 4  leftCompensation   IEEE float, -0.5..0                  default -0.1
///   offset 8  rightCompensation  IEEE float, -0.5..0                  default -0.1
///
/// Stored bytes are taken as they come; `ConfigInRange` brings foreign values into range.

#include <cstddef>
#include <cstdint>

/// The channel an eye sees through its glass; also the channel's index in a host pixel.
enum class EyeColor : std::uint8_t { Red = 0, Green = 1, Blue = 2 };

struct DioptrixConfig {
    std::uint8_t leftEyeColor = static_cast<std::uint8_t>(EyeColor::Red);
    std::uint8_t rightEyeColor = static_cast<std::uint8_t>(EyeColor::Green);
    std::uint8_t reserved[2] = {0, 0};
    float leftCompensation = -0.1f;
    float rightCompensation = -0.1f;
};
static_assert(sizeof(DioptrixConfig) == 12);
static_assert(offsetof(DioptrixConfig, leftCompensation) == 4);
static_assert(offsetof(DioptrixConfig, rightCompensation) == 8);

/// Size of the stored record in bytes.
inline constexpr std::size_t kDioptrixConfigBytes = 12;

/// The record's 12 bytes, little-endian, reserved bytes 0.
void EncodeConfig(const DioptrixConfig& config, std::uint8_t* bytes) noexcept;
/// The record from 12 stored bytes, every bit as stored (reserved bytes included).
DioptrixConfig DecodeConfig(const std::uint8_t* bytes) noexcept;

/// The configuration brought into range as the setup dialog brings it when it opens:
/// a left eye colour above 2 becomes red, a right eye colour above 2 green; equal colours
/// move the right eye to the next colour; a compensation that is not a number between
/// -0.5 and 0 inclusive (either zero counts as inside, NaN as outside) becomes -0.1.
DioptrixConfig ConfigInRange(const DioptrixConfig& config) noexcept;

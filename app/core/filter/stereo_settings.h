#pragma once
/// The stereo filter's configuration as the host stores it with a scene: 12 bytes,
/// little-endian: left eye colour (byte, 0 red, 1 green, 2 blue), right eye colour, two
/// reserved bytes (0), left compensation and right compensation (IEEE floats, -0.5..0).
/// The host builds a record from command-line options and hands it to the filter through
/// LoadConfigure; it never looks inside the filter.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/host/sdk/file_io.h"

namespace CLI {
class App;
}

namespace loom {

inline constexpr size_t kStereoRecordBytes = 12;

struct StereoSettings {
    int leftEye = 0;
    int rightEye = 1;
    float leftCompensation = -0.1f;
    float rightCompensation = -0.1f;
};

/// The record's bytes.
std::vector<std::uint8_t> EncodeStereoSettings(const StereoSettings& s);
/// The settings in a 12-byte record (values as stored, in range or not); throws
/// std::runtime_error for another size.
StereoSettings DecodeStereoSettings(const std::vector<std::uint8_t>& bytes);

/// Throws std::runtime_error, starting with `source` (the file or entry the record came
/// from), when the settings hold what neither the setup dialog nor the command line ever
/// stores: an eye colour outside 0..2 (red, green, blue), the same colour for both eyes, or
/// a compensation that is not a number within -0.5..0. The reserved bytes are not looked
/// at (the filter writes them as 0).
void CheckStereoSettings(const StereoSettings& s, const std::string& source);

/// Chooses eye colours as the setup dialog's buttons do: `left` and `right` are 0..2, or
/// -1 when not given. An eye given alone that takes the other eye's colour swaps with it
/// (the other eye takes its old colour); both given the same colour is refused with
/// std::runtime_error.
void ChooseEyeColors(StereoSettings& s, int left, int right);

/// "red", "green" or "blue" (any case) as 0, 1, 2; throws std::runtime_error otherwise.
int ParseEyeColor(const std::string& text, const std::string& what);
/// "red", "green", "blue", or the number for a value outside 0..2.
std::string EyeColorName(int eye);
/// One line: "left red, right green, compensations -0.1 and -0.1".
std::string DescribeStereoSettings(const StereoSettings& s);

/// Command-line options that change a stored configuration.
struct StereoOptions {
    std::string leftEye, rightEye;              ///< empty: unchanged
    std::optional<double> leftComp, rightComp;  ///< unset: unchanged
    std::string configFile;                     ///< 12-byte record to start from
    /// Adds --left-eye, --right-eye, --left-comp, --right-comp and --config.
    void AddOptions(CLI::App& cmd);
    bool ChangesSomething() const;
    /// Applies the options to a 12-byte record: eye colours by ChooseEyeColors, and
    /// compensations checked to be -0.5..0. Throws std::runtime_error with a clear message.
    std::vector<std::uint8_t> Apply(const std::vector<std::uint8_t>& record) const;
};

/// Reads a 12-byte configuration file (a regular file; a longer one is
/// refused after 13 bytes);
/// throws std::runtime_error naming the file.
std::vector<std::uint8_t> ReadStereoRecord(const std::string& path);
/// Writes one through SaveFile (file_io.h); throws std::runtime_error naming the file.
void WriteStereoRecord(const std::string& path, const std::vector<std::uint8_t>& record,
                       const SaveOptions& options = {});

}  // namespace loom

#include "app/core/filter/stereo_settings.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "foundation/host/base/core.h"
#include "foundation/host/base/text.h"

namespace loom {
namespace {

void PutF32(std::vector<std::uint8_t>& out, float v) {
    auto u = std::bit_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

float GetF32(const std::vector<std::uint8_t>& in, size_t at) {
    std::uint32_t u = 0;
    for (size_t i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
    return std::bit_cast<float>(u);
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

float Compensation(double v, const std::string& what) {
    if (!(v >= -0.5 && v <= 0.0)) {
        throw std::runtime_error(what + " " + Number(v) + " is outside -0.5..0");
    }
    return static_cast<float>(v);
}

}  // namespace

std::vector<std::uint8_t> EncodeStereoSettings(const StereoSettings& s) {
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(s.leftEye),
                                     static_cast<std::uint8_t>(s.rightEye), 0, 0};
    PutF32(out, s.leftCompensation);
    PutF32(out, s.rightCompensation);
    return out;
}

StereoSettings DecodeStereoSettings(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kStereoRecordBytes) {
        throw std::runtime_error("a stereo configuration has 12 bytes, not " +
                                 std::to_string(bytes.size()));
    }
    StereoSettings s;
    s.leftEye = bytes[0];
    s.rightEye = bytes[1];
    s.leftCompensation = GetF32(bytes, 4);
    s.rightCompensation = GetF32(bytes, 8);
    return s;
}

void CheckStereoSettings(const StereoSettings& s, const std::string& source) {
    const auto eye = [&](int colour, const char* which) {
        if (colour < 0 || colour > 2) {
            throw std::runtime_error(source + ": " + which + " eye colour " +
                                     std::to_string(colour) +
                                     " is outside 0..2 (red, green, blue)");
        }
    };
    eye(s.leftEye, "left");
    eye(s.rightEye, "right");
    if (s.leftEye == s.rightEye) {
        throw std::runtime_error(source + ": both eyes are " + EyeColorName(s.leftEye) +
                                 "; the two glasses need different colours");
    }
    Compensation(Widen(s.leftCompensation), source + ": left compensation");
    Compensation(Widen(s.rightCompensation), source + ": right compensation");
}

void ChooseEyeColors(StereoSettings& s, int left, int right) {
    if (left >= 0 && right >= 0) {
        if (left == right) {
            throw std::runtime_error("both eyes would see " + EyeColorName(left) +
                                     "; give the two glasses different colours");
        }
        s.leftEye = left;
        s.rightEye = right;
    } else if (left >= 0) {
        if (s.rightEye == left) s.rightEye = s.leftEye;
        s.leftEye = left;
    } else if (right >= 0) {
        if (s.leftEye == right) s.leftEye = s.rightEye;
        s.rightEye = right;
    }
}

int ParseEyeColor(const std::string& text, const std::string& what) {
    const std::string t = Lower(text);
    if (t == "red") return 0;
    if (t == "green") return 1;
    if (t == "blue") return 2;
    throw std::runtime_error(what + " '" + text + "': use red, green or blue");
}

std::string EyeColorName(int eye) {
    static const char* const kNames[] = {"red", "green", "blue"};
    return eye >= 0 && eye <= 2 ? kNames[eye] : std::to_string(eye);
}

std::string DescribeStereoSettings(const StereoSettings& s) {
    return "left " + EyeColorName(s.leftEye) + ", right " + EyeColorName(s.rightEye) +
           ", compensations " + Number(Widen(s.leftCompensation)) + " and " +
           Number(Widen(s.rightCompensation));
}

void StereoOptions::AddOptions(CLI::App& cmd) {
    cmd.add_option("--left-eye", leftEye,
                   "Colour of the left eye's glass: red, green or blue (given alone, the right "
                   "eye gives up that colour and takes the left's old one, as in the setup "
                   "dialog)");
    cmd.add_option("--right-eye", rightEye,
                   "Colour of the right eye's glass (given alone, the left eye gives up that "
                   "colour and takes the right's old one)");
    cmd.add_option("--left-comp", leftComp,
                   "Colour filter compensation of the left glass, -0.5..0 (default -0.1)");
    cmd.add_option("--right-comp", rightComp, "Compensation of the right glass, -0.5..0");
    cmd.add_option("--config", configFile, "Start from a 12-byte configuration file");
}

bool StereoOptions::ChangesSomething() const {
    return !leftEye.empty() || !rightEye.empty() || leftComp || rightComp;
}

std::vector<std::uint8_t> StereoOptions::Apply(const std::vector<std::uint8_t>& record) const {
    if (!ChangesSomething()) return record;
    StereoSettings s = DecodeStereoSettings(record);
    ChooseEyeColors(s, leftEye.empty() ? -1 : ParseEyeColor(leftEye, "--left-eye"),
                    rightEye.empty() ? -1 : ParseEyeColor(rightEye, "--right-eye"));
    if (leftComp) s.leftCompensation = Compensation(*leftComp, "--left-comp");
    if (rightComp) s.rightCompensation = Compensation(*rightComp, "--right-comp");
    return EncodeStereoSettings(s);
}

std::vector<std::uint8_t> ReadStereoRecord(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::string err;
    if (!ReadRegularFile(path, kStereoRecordBytes, bytes, err)) throw std::runtime_error(err);
    if (bytes.size() != kStereoRecordBytes) {
        throw std::runtime_error(path + ": holds " + std::to_string(bytes.size()) +
                                 " bytes; a stereo configuration has 12");
    }
    return bytes;
}

void WriteStereoRecord(const std::string& path, const std::vector<std::uint8_t>& record,
                       const SaveOptions& options) {
    std::string err;
    if (!SaveFile(path, record.data(), record.size(), options, err)) {
        throw std::runtime_error(err);
    }
}

}  // namespace loom

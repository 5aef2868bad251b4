#include "app/core/stereo/sequence.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <system_error>

#include "app/core/stereo/stereo_photo.h"
#include "foundation/host/base/text.h"

namespace fs = std::filesystem;

namespace loom::stereo {
namespace {

/// A pattern's file name split at its one number field.
struct PatternParts {
    std::string prefix, suffix;  ///< with "%%" already made '%'
    int width = 0;               ///< 0: no padding
    bool found = false;
};

/// Splits the file-name part; `error` says what is wrong when it is not one pattern.
PatternParts SplitPattern(const std::string& name, std::string& error) {
    PatternParts p;
    std::string* out = &p.prefix;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            *out += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            *out += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int width = 0;
        if (j < name.size() && name[j] == '0') {
            ++j;
            if (j < name.size() && name[j] >= '1' && name[j] <= '9') width = name[j++] - '0';
        }
        if (j >= name.size() || name[j] != 'd' || (width == 0 && j != i + 1)) {
            error = "only %d or %0Nd (N 1 to 9) may stand for the frame number";
            return p;
        }
        if (p.found) {
            error = "more than one frame number field";
            return p;
        }
        p.found = true;
        p.width = width;
        out = &p.suffix;
        i = j;
    }
    if (!p.found) error = "no %d or %0Nd field for the frame number";
    return p;
}

PatternParts ParsePattern(const std::string& pattern) {
    std::string error;
    const fs::path path(pattern);
    if (path.parent_path().string().find('%') != std::string::npos) {
        throw std::runtime_error(pattern + ": the frame number belongs in the file name");
    }
    PatternParts p = SplitPattern(path.filename().string(), error);
    if (!error.empty()) throw std::runtime_error(pattern + ": " + error);
    return p;
}

std::string Number(int frame, int width) {
    std::string digits = std::to_string(frame);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    }
    return digits;
}

/// The pictures of a folder by name without extension (with `photos`, stereo photos too);
/// throws when the folder cannot be read or holds two pictures of the same name.
std::map<std::string, std::string> Pictures(const std::string& folder, bool photos = false) {
    std::map<std::string, std::string> found;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) throw std::runtime_error(folder + ": cannot read the folder: " + ec.message());
    for (const fs::directory_entry& e : it) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (!HasImageExtension(name) && !(photos && IsStereoPhoto(name))) continue;
        if (!e.is_regular_file(ec)) continue;
        const std::string stem = e.path().stem().string();
        auto [at, added] = found.emplace(stem, e.path().string());
        if (!added) {
            throw std::runtime_error(folder + ": two pictures are named " + stem + ": " +
                                     fs::path(at->second).filename().string() + " and " + name);
        }
    }
    if (found.empty()) throw std::runtime_error(folder + ": holds no pictures");
    return found;
}

bool IsSeparator(char c) { return c == '_' || c == '-' || c == '.' || c == ' '; }

/// The last part of `stem` that names a side: 'L' or 'R', with the name left without it
/// (and one separator beside it); 0 when none.
char SideOf(const std::string& stem, std::string& rest) {
    std::size_t end = stem.size();
    while (end > 0) {
        std::size_t begin = end;
        while (begin > 0 && !IsSeparator(stem[begin - 1])) --begin;
        const std::string part = Lower(stem.substr(begin, end - begin));
        const char side = part == "l" || part == "left"    ? 'L'
                          : part == "r" || part == "right" ? 'R'
                                                           : 0;
        if (side) {
            // The separator before the part goes with it; at the start, the one after.
            if (begin > 0) {
                rest = stem.substr(0, begin - 1) + stem.substr(end);
            } else {
                rest = stem.substr(end < stem.size() ? end + 1 : end);
            }
            return side;
        }
        if (begin == 0) break;
        end = begin - 1;
    }
    return 0;
}

}  // namespace

bool IsFramePattern(const std::string& path) {
    std::string error;
    return SplitPattern(fs::path(path).filename().string(), error).found;
}

std::string FramePath(const std::string& pattern, int frame) {
    const PatternParts p = ParsePattern(pattern);
    return (fs::path(pattern).parent_path() / (p.prefix + Number(frame, p.width) + p.suffix))
        .string();
}

std::vector<int> FramesOnDisk(const std::string& pattern) {
    const PatternParts p = ParsePattern(pattern);
    fs::path folder = fs::path(pattern).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        throw std::runtime_error(folder.string() + ": cannot read the folder: " + ec.message());
    }
    std::set<int> frames;
    for (const fs::directory_entry& e : it) {
        const std::string name = e.path().filename().string();
        if (name.size() <= p.prefix.size() + p.suffix.size() || name.rfind(p.prefix, 0) != 0 ||
            name.compare(name.size() - p.suffix.size(), p.suffix.size(), p.suffix) != 0) {
            continue;
        }
        const std::string digits =
            name.substr(p.prefix.size(), name.size() - p.prefix.size() - p.suffix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) {
                return std::isdigit(c) != 0;
            })) {
            continue;
        }
        const int frame = std::stoi(digits);
        // Only the name the pattern itself makes for the number counts ("7" is not "0007").
        if (Number(frame, p.width) == digits) frames.insert(frame);
    }
    return {frames.begin(), frames.end()};
}

bool HasImageExtension(const std::string& name) {
    static const char* const kExtensions[] = {".png",  ".jpg", ".jpeg", ".tif",
                                              ".tiff", ".exr", ".bmp"};
    const std::string ext = Lower(fs::path(name).extension().string());
    return std::find(std::begin(kExtensions), std::end(kExtensions), ext) != std::end(kExtensions);
}

std::vector<NamedPair> PairFolders(const std::string& leftFolder, const std::string& rightFolder) {
    const auto left = Pictures(leftFolder);
    const auto right = Pictures(rightFolder);
    std::vector<NamedPair> pairs;
    for (const auto& [stem, path] : left) {
        auto r = right.find(stem);
        if (r == right.end()) {
            throw std::runtime_error(path + ": no right view of this name in " + rightFolder);
        }
        pairs.push_back({path, r->second, stem});
    }
    for (const auto& [stem, path] : right) {
        if (!left.count(stem)) {
            throw std::runtime_error(path + ": no left view of this name in " + leftFolder);
        }
    }
    return pairs;
}

std::vector<NamedPair> PairInFolder(const std::string& folder) {
    // Keyed by the name without its side word.
    std::map<std::string, std::pair<std::string, std::string>> sides;  // key: left, right
    std::map<std::string, std::string> names;
    std::vector<NamedPair> pairs;
    for (const auto& [stem, path] : Pictures(folder, true)) {
        if (IsStereoPhoto(path)) {
            pairs.push_back({path, "", stem});
            continue;
        }
        std::string rest;
        const char side = SideOf(stem, rest);
        if (!side) continue;
        auto& slot = sides[rest];
        std::string& mine = side == 'L' ? slot.first : slot.second;
        if (!mine.empty()) {
            throw std::runtime_error(folder + ": two " + (side == 'L' ? "left" : "right") +
                                     " views for " + rest + ": " + mine + " and " + path);
        }
        mine = path;
        names[rest] = rest.empty() ? "pair" : rest;
    }
    for (const auto& [key, lr] : sides) {
        if (lr.first.empty()) throw std::runtime_error(lr.second + ": no left view beside it");
        if (lr.second.empty()) throw std::runtime_error(lr.first + ": no right view beside it");
        pairs.push_back({lr.first, lr.second, names[key]});
    }
    if (pairs.empty()) {
        throw std::runtime_error(folder +
                                 ": no stereo photos and no pictures named as left and right "
                                 "views (such as shot_L.png and shot_R.png)");
    }
    std::sort(pairs.begin(), pairs.end(),
              [](const NamedPair& a, const NamedPair& b) { return a.name < b.name; });
    for (std::size_t i = 1; i < pairs.size(); ++i) {
        if (pairs[i].name == pairs[i - 1].name) {
            throw std::runtime_error(pairs[i - 1].left + " and " + pairs[i].left +
                                     " would both make " + pairs[i].name);
        }
    }
    return pairs;
}

}  // namespace loom::stereo

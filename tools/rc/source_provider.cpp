#include "tools/rc/source_provider.h"

#include <fstream>
#include <iterator>

namespace loom::rc {

std::optional<std::string> FileSystemProvider::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return content;
}

std::optional<std::string> MemoryProvider::Read(const std::string& path) {
    auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    std::string fixed = name;
    for (char& c : fixed)
        if (c == '\\') c = '/';
    if (dir.empty() || (!fixed.empty() && fixed.front() == '/')) return fixed;
    if (dir.back() == '/') return dir + fixed;
    return dir + "/" + fixed;
}

}  // namespace loom::rc

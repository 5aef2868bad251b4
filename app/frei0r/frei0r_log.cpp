#include "app/frei0r/frei0r_log.h"

#include <cstdio>

namespace loom::frei0r {

void Log(const std::string& effect, const std::string& message) noexcept {
    std::fprintf(stderr, "%s: %s\n", effect.c_str(), message.c_str());
}

}  // namespace loom::frei0r

#pragma once
/// A readable listing of a scene: entries, classes, parameter values, keys and sub-maps.

#include <string>

#include "foundation/host/scene_io.h"

namespace loom {

std::string DescribeScene(SceneHolder& scene);

}  // namespace loom

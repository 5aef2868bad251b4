#pragma once
/// A readable listing of a scene: entries, classes, parameter values, keys, sub-maps and
/// image maps' files, then the filter entries with their stored bytes.

#include <string>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/scene_io.h"

namespace loom {

/// `stereoFilter` is the stereo filter's class (null when its plug-in is missing): its
/// entries are listed with the eye colours and compensations their 12 bytes hold.
std::string DescribeScene(SceneHolder& scene, ClassDesc* stereoFilter = nullptr);

}  // namespace loom

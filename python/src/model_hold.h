#pragma once
/// How Python's threads share the host's model. Anything that makes, changes, loads, saves
/// or deletes host objects holds a ModelHold: the process's model lock (plugins.h), and the
/// render gate for itself alone. Renders and samples hold a RenderHold: the gate shared
/// with other renders, and a lock for each map of the texture's tree, so that textures
/// with nothing in common render at the same time while two renders that share a map (or
/// a texture) take turns. Both are taken with the GIL released where a render waits.

#include <mutex>
#include <vector>

#include "foundation/host/sdk/mtl.h"

namespace loomwork {

class ModelHold {
  public:
    ModelHold();
    ~ModelHold();
    ModelHold(const ModelHold&) = delete;
    ModelHold& operator=(const ModelHold&) = delete;

  private:
    std::lock_guard<std::recursive_mutex> model_;
};

class RenderHold {
  public:
    /// Holds the maps of the tree under `root` (the root itself included).
    explicit RenderHold(Texmap* root);
    ~RenderHold();
    RenderHold(const RenderHold&) = delete;
    RenderHold& operator=(const RenderHold&) = delete;

  private:
    std::vector<std::mutex*> held_;  // in address order, so that holders never deadlock
};

}  // namespace loomwork

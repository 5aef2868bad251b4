#include "python/src/model_hold.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <shared_mutex>

#include "foundation/host/sdk/texmap_variation.h"
#include "python/src/plugins.h"

namespace loomwork {
namespace {

/// Exclusive for model changes, shared by renders.
std::shared_mutex& Gate() {
    static std::shared_mutex gate;
    return gate;
}

/// Model changes nest (a change may make another): the gate is taken by the outermost.
thread_local int tModelDepth = 0;

/// Map locks by address, striped: two maps may share a stripe, which only makes their
/// renders take turns.
constexpr std::size_t kStripes = 64;
std::mutex& Stripe(const Texmap* map) {
    static std::mutex stripes[kStripes];
    const auto address = reinterpret_cast<std::uintptr_t>(map);
    return stripes[std::hash<std::uintptr_t>{}(address >> 4) % kStripes];
}

/// Takes the gate for the outermost model change of the thread; the model lock to hold.
std::recursive_mutex& EnterModel() {
    if (tModelDepth == 0) Gate().lock();
    ++tModelDepth;
    return ModelLock();
}

}  // namespace

ModelHold::ModelHold() : model_(EnterModel()) {}

ModelHold::~ModelHold() {
    if (--tModelDepth == 0) Gate().unlock();
}

RenderHold::RenderHold(Texmap* root) {
    // A thread inside a model change already holds the gate alone.
    if (tModelDepth == 0) Gate().lock_shared();
    loom::ForEachMapInTree(root, [this](Texmap* m) { held_.push_back(&Stripe(m)); });
    std::sort(held_.begin(), held_.end());
    held_.erase(std::unique(held_.begin(), held_.end()), held_.end());
    for (std::mutex* m : held_) m->lock();
}

RenderHold::~RenderHold() {
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) (*it)->unlock();
    if (tModelDepth == 0) Gate().unlock_shared();
}

}  // namespace loomwork

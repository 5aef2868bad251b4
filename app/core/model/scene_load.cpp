#include "app/core/model/scene_load.h"

#include <cstdio>
#include <new>
#include <stdexcept>

namespace loom {

std::vector<std::string> SceneLoadNotes(const std::string& file, const SceneLoadReport& report) {
    std::vector<std::string> notes;
    if (report.obsolete) {
        notes.push_back(file + ": note: held data of an older version; converted");
    }
    for (const std::string& w : report.warnings) notes.push_back(file + ": warning: " + w);
    return notes;
}

SceneLoadReport LoadSceneForCommand(const std::string& file, SceneHolder& scene) {
    SceneLoadReport report;
    std::string err;
    bool loaded = false;
    try {
        loaded = LoadSceneFile(file, scene, report, err);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(file + ": not enough memory to load the scene");
    } catch (const std::exception& e) {
        throw std::runtime_error(file + ": cannot load the scene: " + e.what());
    }
    if (!loaded) throw std::runtime_error(err);
    for (const std::string& note : SceneLoadNotes(file, report)) {
        std::fprintf(stderr, "loomhost: %s\n", note.c_str());
    }
    return report;
}

}  // namespace loom

#pragma once
// What the application's tests share: the message of an expected failure, a folder of the
// test's own (temp_folder.h), and a texture of a plug-in loaded in the test's process.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/scene_io.h"
#include "tests/support/temp_folder.h"

namespace loomtest {

/// The message of the std::runtime_error `f` throws; "" when it throws none.
template <class F>
std::string MessageOf(F f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

/// A plug-in loaded from its library and a new texture of one of its classes, held by a
/// scene so that it lives as long as this does.
struct PluginTexture {
    /// Loads `library` and makes a `className`; a failure ends the test.
    void Make(const char* library, const char* className) {
        std::string err;
        ASSERT_TRUE(loader.Load(library, err)) << err;
        tex = loom::CreateTexture(loader, className);
        scene.Add("t", tex);
    }
    loom::PluginLoader loader;
    loom::SceneHolder scene;
    Texmap* tex = nullptr;
};

}  // namespace loomtest

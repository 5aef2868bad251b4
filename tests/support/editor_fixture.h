#pragma once
// The editor's session and API over the built plug-ins, driven on the test's thread (which
// is then the window thread), with a folder of its own as the editor's root.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "foundation/host/base/animate.h"
#include "foundation/host/base/undo.h"

namespace loomtest {

/// Loads every plug-in, makes an empty root folder named after the test, and a session
/// and API over them; tears all down with undo history and animation mode cleared.
class EditorFixture : public ::testing::Test {
  protected:
    /// `prefix` names the root folder, so that concurrent test programs never share one.
    explicit EditorFixture(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        root = std::filesystem::temp_directory_path() /
               (prefix_ + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(root);
        std::vector<std::string> errors;
        for (const std::string& f : loom::PluginFolders({})) loader.LoadFolder(f, errors);
        ASSERT_FALSE(loader.Plugins().empty()) << "no plug-ins found";
        theHold.Clear();
        session = std::make_unique<loom::web::EditorSession>(loader, root);
        api = std::make_unique<loom::web::Api>(*session);
    }
    void TearDown() override {
        api.reset();
        session.reset();
        theHold.Clear();
        AnimateOff();
        std::filesystem::remove_all(root);
    }

    std::filesystem::path root;
    loom::PluginLoader loader;
    std::unique_ptr<loom::web::EditorSession> session;
    std::unique_ptr<loom::web::Api> api;

  private:
    std::string prefix_;
};

}  // namespace loomtest

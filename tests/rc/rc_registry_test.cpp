// The host's resource registry: LoadString's contract, module handles, and a module built
// by loom_add_resources that registers its resources on load and drops them on unload.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/host/win32/resources.h"
#include "tests/rc/rc_test_support.h"
#include "tools/rc/compiler.h"
#include "tools/rc/source_provider.h"

namespace loom {
namespace {

// Anchors in this program's static storage: the registry finds the module from them.
const char kAnchor = 0;
const char kOtherAnchor = 0;

// Registers a bundle for this test program while in scope.
class ScopedBundle {
  public:
    explicit ScopedBundle(ResourceBundle bundle) : bundle_(std::move(bundle)) {
        RegisterModuleResources(&kAnchor, &bundle_);
    }
    ~ScopedBundle() { UnregisterModuleResources(&kAnchor); }
    HINSTANCE Handle() const { return ModuleHandleForAddress(&kAnchor); }

  private:
    ResourceBundle bundle_;
};

ResourceBundle StringBundle() {
    ResourceBundle b;
    b.strings[1] = "3D Mix";
    b.strings[2] = "";
    b.strings[7] =
        "A\xB7"
        "B";
    return b;
}

TEST(RcRegistry, LoadStringCopiesTruncatesAndTerminates) {
    ScopedBundle scoped(StringBundle());
    HINSTANCE h = scoped.Handle();
    ASSERT_NE(h, nullptr);

    char buf[16];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(LoadString(h, 1, buf, sizeof buf), 6);
    EXPECT_STREQ(buf, "3D Mix");

    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(LoadString(h, 1, buf, 4), 3);  // three bytes and the NUL
    EXPECT_STREQ(buf, "3D ");
    EXPECT_EQ(buf[4], 'z');  // nothing written past the given size

    EXPECT_EQ(LoadString(h, 1, buf, 1), 0);
    EXPECT_STREQ(buf, "");

    EXPECT_EQ(LoadStringA(h, 7, buf, sizeof buf), 3);  // Windows-1252 bytes pass through
    EXPECT_STREQ(buf,
                 "A\xB7"
                 "B");

    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(LoadString(h, 99, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(LoadString(h, 2, buf, sizeof buf), 0);  // an empty string reads as missing

    EXPECT_EQ(LoadString(h, 1, nullptr, 10), 0);
    EXPECT_EQ(LoadString(nullptr, 1, buf, sizeof buf), 0);
    int notAHandle = 0;
    EXPECT_EQ(LoadString(reinterpret_cast<HINSTANCE>(&notAHandle), 1, buf, sizeof buf), 0);
}

TEST(RcRegistry, LoadStringWithZeroSizeHandsOutAReadOnlyPointer) {
    ScopedBundle scoped(StringBundle());
    HINSTANCE h = scoped.Handle();
    const char* text = nullptr;
    EXPECT_EQ(LoadString(h, 1, reinterpret_cast<char*>(&text), 0), 6);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, 6), "3D Mix");
    EXPECT_EQ(text, FindString(h, 1)->c_str());  // the resource itself, not a copy

    text = "sentinel";
    EXPECT_EQ(LoadString(h, 99, reinterpret_cast<char*>(&text), 0), 0);
    EXPECT_EQ(text, nullptr);
}

TEST(RcRegistry, UnregisteredBundlesAreGoneAndOthersStay) {
    ResourceBundle first = StringBundle();
    ResourceBundle second;
    second.strings[1] = "shadowed";
    second.strings[50] = "second";
    RegisterModuleResources(&kAnchor, &first);
    RegisterModuleResources(&kOtherAnchor, &second);
    HINSTANCE h = ModuleHandleForAddress(&kAnchor);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(h, ModuleHandleForAddress(&kOtherAnchor));  // one module, two bundles
    int onTheStack = 0;
    EXPECT_EQ(ModuleHandleForAddress(&onTheStack), nullptr);
    char buf[32];
    EXPECT_EQ(LoadString(h, 1, buf, sizeof buf), 6);  // the first registered wins
    EXPECT_EQ(LoadString(h, 50, buf, sizeof buf), 6);
    UnregisterModuleResources(&kAnchor);
    EXPECT_EQ(LoadString(h, 1, buf, sizeof buf), 8);
    EXPECT_STREQ(buf, "shadowed");
    UnregisterModuleResources(&kOtherAnchor);
    EXPECT_EQ(LoadString(h, 50, buf, sizeof buf), 0);
    UnregisterModuleResources(&kOtherAnchor);  // twice is harmless
}

TEST(RcRegistry, HandlesFollowTheRealFile) {
    const std::string module = LOOM_RC_SAMPLE_MODULE;
    HINSTANCE h = ModuleHandleForPath(module.c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ModuleHandleForPath(module.c_str()), h);
    std::string dotted =
        module.substr(0, module.rfind('/')) + "/./" + module.substr(module.rfind('/') + 1);
    EXPECT_EQ(ModuleHandleForPath(dotted.c_str()), h);
    std::string link = ::testing::TempDir() + "rc_sample_link.so";
    std::remove(link.c_str());
    ASSERT_EQ(symlink(module.c_str(), link.c_str()), 0);
    EXPECT_EQ(ModuleHandleForPath(link.c_str()), h);
    std::remove(link.c_str());

    EXPECT_EQ(ModuleHandleForPath("/no/such/module.so"), nullptr);
    EXPECT_EQ(ModuleHandleForPath(nullptr), nullptr);
    EXPECT_NE(ModuleHandleForAddress(&kAnchor), h);  // this program is another module
    EXPECT_EQ(FindDialog(h, 1038), nullptr);         // not loaded
}

TEST(RcRegistry, LoadedModuleServesItsCompiledResourcesUntilUnloaded) {
    const std::string module = LOOM_RC_SAMPLE_MODULE;
    rc::FileSystemProvider files;
    rc::CompiledResources expected = rc::CompileResources(files, rc::test::kSampleRc, {});

    void* lib = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    HINSTANCE h = ModuleHandleForPath(module.c_str());
    ASSERT_NE(h, nullptr);

    for (const DialogTemplate& d : expected.bundle.dialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d.id));
        const DialogTemplate* loaded = FindDialog(h, d.id);
        ASSERT_NE(loaded, nullptr);
        rc::test::ExpectSameDialog(*loaded, d);
    }
    for (const BitmapResource& b : expected.bundle.bitmaps) {
        SCOPED_TRACE("bitmap " + std::to_string(b.id));
        const BitmapResource* loaded = FindBitmap(h, b.id);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->width, b.width);
        EXPECT_EQ(loaded->height, b.height);
        EXPECT_EQ(loaded->bitsPerPixel, b.bitsPerPixel);
        EXPECT_EQ(loaded->rgba, b.rgba);
    }
    for (const auto& [id, text] : expected.bundle.strings) {
        char buf[64];
        EXPECT_EQ(LoadString(h, id, buf, sizeof buf), static_cast<int>(text.size()));
        EXPECT_EQ(std::string(buf), text);
    }
    EXPECT_EQ(FindDialog(h, 999), nullptr);
    EXPECT_EQ(FindBitmap(h, 1038), nullptr);  // IDs are per resource type

    ASSERT_EQ(dlclose(lib), 0);
    EXPECT_EQ(dlopen(module.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "module still loaded";
    EXPECT_EQ(FindDialog(h, 1038), nullptr);
    EXPECT_EQ(FindBitmap(h, 118), nullptr);
    char buf[8];
    EXPECT_EQ(LoadString(h, 1, buf, sizeof buf), 0);

    // Loading it again brings the resources back under the same handle.
    lib = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    EXPECT_NE(FindDialog(h, 1038), nullptr);
    dlclose(lib);
}

// Runs loom_rc on a script and answers its exit status and what it printed.
struct ToolRun {
    int status;
    std::string output;
};
ToolRun RunTool(const std::string& rc, const std::string& out) {
    std::string cmd = std::string(LOOM_RC_TOOL) + " --rc '" + rc + "' --out '" + out + "' 2>&1";
    ToolRun run{-1, {}};
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) return run;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) run.output += buf;
    run.status = pclose(pipe);
    return run;
}

TEST(RcTool, ReportsFileAndLineAndWritesNothingOnError) {
    std::string dir = ::testing::TempDir();
    std::string rc = dir + "rc_tool_bad.rc";
    std::string out = dir + "rc_tool_bad.cpp";
    std::remove(out.c_str());
    FILE* f = std::fopen(rc.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("1 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\", IDC_MISSING, 1, 2, 3, 4\nEND\n", f);
    std::fclose(f);
    ToolRun bad = RunTool(rc, out);
    EXPECT_NE(bad.status, 0);
    EXPECT_EQ(bad.output, rc + ":3: unknown symbol 'IDC_MISSING'\n");
    EXPECT_EQ(std::fopen(out.c_str(), "r"), nullptr);

    ToolRun good = RunTool(rc::test::kSampleRc, out);
    EXPECT_EQ(good.status, 0) << good.output;
    FILE* generated = std::fopen(out.c_str(), "r");
    EXPECT_NE(generated, nullptr);
    if (generated != nullptr) std::fclose(generated);
    std::remove(out.c_str());
    std::remove(rc.c_str());
}

}  // namespace
}  // namespace loom

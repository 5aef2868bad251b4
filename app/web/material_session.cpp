#include "app/web/material_session.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/core/model/texture_setup.h"
#include "app/core/render/renderer.h"
#include "app/web/bmp.h"
#include "app/web/object_window.h"
#include "app/web/root_folder.h"
#include "foundation/host/base/animate.h"
#include "foundation/host/sdk/texmap_variation.h"
#include "foundation/host/win32/window_tree.h"

namespace loom::web {
namespace {

constexpr const char* kClass = "LoomWebEditorSession";
constexpr UINT kOpenSubMap = WM_APP + 13;
/// Deepest chain of sub-maps the editor follows (maps cannot hold themselves, so a chain
/// ends; this only bounds the work of following one).
constexpr size_t kMaxMapDepth = 64;

std::string Stem(const std::string& path) { return std::filesystem::path(path).stem().string(); }

}  // namespace

MaterialSession::MaterialSession(PluginLoader& loader, const RootFolder& folder, SceneHolder& scene)
    : loader_(loader),
      folder_(folder),
      scene_(&scene),
      editor_(std::make_unique<MaterialEditor>()) {
    hwnd_ = CreateObjectWindow(kClass, Proc, this);
    for (const LoadedPlugin& p : loader_.Plugins()) {
        for (ClassDesc* cd : p.classes) {
            if (cd->SuperClassID() != TEXMAP_CLASS_ID) continue;
            // The library's name finds the class when it is the library's only one.
            std::string name =
                p.classes.size() == 1 ? Stem(p.path) : Utf8FromCp1252(cd->ClassName());
            classes_.push_back({name, Utf8FromCp1252(cd->ClassName()), cd->ClassID()});
        }
    }
    editor_->SetSampleRedraw([this] { SampleChanged(); });
    // The browser only takes note of the question; the page answers it (ChooseMap). A
    // slot that holds a map opens that map's panel instead, once the click is handled.
    editor_->SetMapBrowser([this](Texmap* owner, int slot) -> Texmap* {
        if (owner->GetSubTexmap(slot) && mapPath_.size() < kMaxMapDepth) {
            PostMessageA(hwnd_, kOpenSubMap, static_cast<WPARAM>(slot),
                         reinterpret_cast<LPARAM>(owner));
        } else {
            question_ = MapQuestion{owner, slot, owner->GetSubTexmapSlotName(slot)};
        }
        return nullptr;
    });
}

MaterialSession::~MaterialSession() {
    watcher_.DeleteAllRefsFromMe();
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    editor_.reset();
}

void MaterialSession::Close() {
    question_.reset();
    editor_->Close();
    watcher_.DeleteAllRefsFromMe();
    entry_.clear();
    mapPath_.clear();
}

void MaterialSession::UseScene(SceneHolder& scene) { scene_ = &scene; }

void MaterialSession::OpenFirstEntry() {
    std::vector<std::string> entries = Entries();
    if (!entries.empty()) {
        OpenEntry(entries.front());
    } else {
        SampleChanged();
    }
}

RefResult MaterialSession::PreviewWatcher::NotifyRefChanged(Interval, RefTargetHandle, PartID&,
                                                            RefMessage msg) {
    if (msg == REFMSG_CHANGE) session_.SampleChanged();
    return REF_SUCCEED;
}

bool MaterialSession::OpenPanel(Texmap* tex) {
    editor_->Close();
    watcher_.DeleteAllRefsFromMe();
    if (!editor_->Open(tex)) return false;
    // Cannot fail: the watcher is nobody's target, so no loop can form.
    watcher_.ReplaceReference(0, tex);
    PumpMessages();
    SampleChanged();
    return true;
}

void MaterialSession::Open(Texmap* tex, const std::string& entry) {
    question_.reset();
    entry_.clear();
    mapPath_.clear();
    if (!OpenPanel(tex)) throw ApiError(409, "this texture has no panel");
    entry_ = entry;
}

Texmap* MaterialSession::EntryTexture() const {
    const int i = entry_.empty() ? -1 : scene_->Find(entry_);
    return i >= 0 ? dynamic_cast<Texmap*>(scene_->Object(i)) : nullptr;
}

Texmap* MaterialSession::MapAt(size_t depth) const {
    Texmap* map = EntryTexture();
    for (size_t i = 0; map && i < depth && i < mapPath_.size(); ++i) {
        const int slot = mapPath_[i];
        map = slot >= 0 && slot < map->NumSubTexmaps() ? map->GetSubTexmap(slot) : nullptr;
    }
    return map;
}

void MaterialSession::OpenSubMap(int slot) {
    Texmap* owner = editor_->Current();
    if (!owner) throw ApiError(409, "no texture is open");
    if (slot < 0 || slot >= owner->NumSubTexmaps()) {
        throw ApiError(404, "the open texture has no map slot " + std::to_string(slot));
    }
    Texmap* sub = owner->GetSubTexmap(slot);
    const std::string slotName = Cp1252ToUtf8(owner->GetSubTexmapSlotName(slot));
    if (!sub) throw ApiError(409, "the slot \"" + slotName + "\" holds no map");
    if (mapPath_.size() >= kMaxMapDepth) throw ApiError(409, "the maps are nested too deeply");
    question_.reset();
    if (!OpenPanel(sub)) {
        OpenPanel(owner);
        throw ApiError(409, "the map in \"" + slotName + "\" has no panel of its own");
    }
    mapPath_.push_back(slot);
}

void MaterialSession::OpenParent(size_t depth) {
    if (depth >= mapPath_.size()) {
        throw ApiError(400, "the open map is " + std::to_string(mapPath_.size()) +
                                " steps below its texture; go back to fewer steps");
    }
    Texmap* map = MapAt(depth);
    if (!map) throw ApiError(409, "the texture that held this map is gone");
    question_.reset();
    mapPath_.resize(depth);
    if (!OpenPanel(map)) throw ApiError(409, "this texture has no panel");
}

std::vector<MapStep> MaterialSession::MapPath() const {
    std::vector<MapStep> steps;
    Texmap* map = EntryTexture();
    for (int slot : mapPath_) {
        if (!map || slot < 0 || slot >= map->NumSubTexmaps()) break;
        Texmap* sub = map->GetSubTexmap(slot);
        steps.push_back({slot, Cp1252ToUtf8(map->GetSubTexmapSlotName(slot)),
                         sub ? Cp1252ToUtf8(sub->GetFullName()) : std::string()});
        map = sub;
    }
    return steps;
}

void MaterialSession::AskReplaceMap() {
    if (mapPath_.empty()) throw ApiError(409, "the open texture is not a sub-map");
    const int slot = mapPath_.back();
    OpenParent(mapPath_.size() - 1);
    Texmap* owner = editor_->Current();
    question_ = MapQuestion{owner, slot, owner->GetSubTexmapSlotName(slot)};
}

void MaterialSession::OnSubMapButton(Texmap* owner, int slot) {
    // The owner is compared, never dereferenced: it may be gone by now.
    if (owner != editor_->Current()) return;
    try {
        OpenSubMap(slot);
    } catch (const std::exception&) {
        // A map without a panel of its own (an image) can still be replaced.
        if (Texmap* cur = editor_->Current(); cur && slot < cur->NumSubTexmaps()) {
            question_ = MapQuestion{cur, slot, cur->GetSubTexmapSlotName(slot)};
        }
    }
}

void MaterialSession::OpenClass(const std::string& name) {
    auto it = std::find_if(classes_.begin(), classes_.end(),
                           [&](const TextureClass& c) { return c.name == name; });
    if (it == classes_.end()) throw ApiError(404, "no texture class called '" + name + "'");
    Texmap* tex = nullptr;
    try {
        tex = CreateTexture(loader_, name);
    } catch (const std::exception& e) {
        throw ApiError(409, e.what());
    }
    std::string entry = name;
    for (int n = 2; scene_->Find(entry) >= 0; ++n) entry = name + " " + std::to_string(n);
    scene_->Add(entry, tex);
    Open(tex, entry);
}

std::string MaterialSession::OpenClassName() const {
    Texmap* open = Current();
    if (!open) return {};
    auto it = std::find_if(classes_.begin(), classes_.end(),
                           [&](const TextureClass& c) { return c.id == open->ClassID(); });
    return it == classes_.end() ? std::string() : it->name;
}

void MaterialSession::OpenEntry(const std::string& name) {
    int i = scene_->Find(name);
    auto* tex = i >= 0 ? dynamic_cast<Texmap*>(scene_->Object(i)) : nullptr;
    if (!tex) throw ApiError(404, "the scene has no texture called '" + name + "'");
    Open(tex, name);
}

std::vector<std::string> MaterialSession::Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < scene_->Count(); ++i) {
        if (dynamic_cast<Texmap*>(scene_->Object(i))) out.push_back(scene_->Name(i));
    }
    return out;
}

void MaterialSession::SetFrame(double frame) {
    if (!(frame >= 0.0 && frame <= kLastFrame)) {
        throw ApiError(400, "the frame must be 0.." + std::to_string(kLastFrame));
    }
    editor_->SetTime(FramesToTicks(frame));
    PumpMessages();
    SampleChanged();
}

double MaterialSession::Frame() const {
    return static_cast<double>(editor_->GetTime()) / static_cast<double>(FramesToTicks(1.0));
}

void MaterialSession::ChooseMap(const std::string& kind, const std::string& value) {
    if (!question_) throw ApiError(409, "the map browser is not open");
    // The texture that asked may be gone: only the texture open now is filled.
    Texmap* owner = question_->owner;
    const int slot = question_->slot;
    if (owner != editor_->Current() || slot < 0 || slot >= owner->NumSubTexmaps()) {
        question_.reset();
        throw ApiError(409, "the texture that asked for a map is no longer open");
    }
    ModelValue map;
    if (kind == "class") {
        if (std::none_of(classes_.begin(), classes_.end(),
                         [&](const TextureClass& c) { return c.name == value; })) {
            throw ApiError(404, "no texture class called '" + value + "'");
        }
        map = ModelValue::NewMap(value);
    } else if (kind == "image") {
        map = ModelValue::Image(folder_.FileToRead(value).string());
    } else if (kind != "none") {
        throw ApiError(400, "the map browser's choice is 'class', 'image' or 'none'");
    }
    try {
        SetSlot(loader_, owner, slot, map);
    } catch (const MapAssignError&) {
        throw ApiError(409, "the map could not be assigned (a map cannot hold itself)");
    } catch (const std::exception& e) {
        // An image that cannot be read, a class that cannot make a map.
        throw ApiError(409, e.what());
    }
    question_.reset();
    PumpMessages();
    SampleChanged();
}

void MaterialSession::CancelMap() { question_.reset(); }

void MaterialSession::SampleChanged() {
    sampleDirty_ = true;
    ++sampleVersion_;
}

void MaterialSession::SetSampleSphere(bool sphere) {
    if (sphere != sphere_) {
        sphere_ = sphere;
        SampleChanged();
    }
}

void MaterialSession::SetSampleTile(bool tile) {
    if (tile != tile_) {
        tile_ = tile;
        SampleChanged();
    }
}

void MaterialSession::SetSeed(double seed) {
    Texmap* tex = editor_->Current();
    if (!tex) throw ApiError(409, "no texture is open");
    if (!(seed >= 0 && seed <= kMaxTexSeed) || seed != std::floor(seed)) {
        throw ApiError(400, "the seed must be a whole number 0.." + std::to_string(kMaxTexSeed));
    }
    if (!SetTreeSeed(tex, static_cast<std::uint32_t>(seed))) {
        throw ApiError(507, "no memory for the seed's noise tables");
    }
    SampleChanged();
}

std::uint32_t MaterialSession::Seed() const { return SeedOf(editor_->Current()); }

bool MaterialSession::SeedMatters() const {
    return TreeSeedUse(editor_->Current()) != kSeedChangesNothing;
}

void MaterialSession::SetPixelDensity(double density) {
    if (!(density >= 0.5 && density <= 8.0)) {
        throw ApiError(400, "the pixel density must be 0.5..8");
    }
    // Anything from one and a half pixels per unit up counts as a high-density screen.
    const int size = density >= 1.5 ? 2 * kSampleSide : kSampleSide;
    if (size != sampleSize_) {
        sampleSize_ = size;
        SampleChanged();
    }
}

void MaterialSession::SubmitPreview() {
    if (!sampleDirty_) return;
    sampleDirty_ = false;
    PreviewJob job;
    job.time = editor_->GetTime();
    job.sphere = sphere_;
    job.tile = tile_;
    job.size = sampleSize_;
    job.viewportSize = kViewportSide;
    job.generation = sampleVersion_;
    Texmap* tex = editor_->Current();
    if (tex) {
        job.texture = CopyTextureTree(tex);
        if (!job.texture) {
            previews_.RenderHere(tex, job);
            return;
        }
    }
    previews_.Submit(std::move(job));
}

LRESULT CALLBACK MaterialSession::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MaterialSession*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == kOpenSubMap) {
        self->OnSubMapButton(reinterpret_cast<Texmap*>(lParam), static_cast<int>(wParam));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace loom::web

#include "foundation/host/sdk/scene_io.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/io.h"
#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/uvgen.h"

namespace loom {
namespace {

constexpr std::uint32_t kFormatVersion = 1;
constexpr USHORT kObjectsChunk = 0x0001;
constexpr USHORT kRootsChunk = 0x0002;
constexpr USHORT kFiltersChunk = 0x0003;  // only written when the scene has filter entries
constexpr USHORT kObjectChunk = 0x0010;
constexpr USHORT kClassChunk = 0x0011;
constexpr USHORT kRefsChunk = 0x0012;
constexpr USHORT kDataChunk = 0x0013;
// Scene files are read whole; no scene comes near this (a texture takes a few kilobytes).
constexpr std::size_t kMaxSceneFileBytes = std::size_t{256} << 20;

void Collect(ReferenceTarget* t, std::vector<ReferenceTarget*>& order,
             std::map<ReferenceTarget*, int>& index) {
    if (!t || index.count(t)) return;
    index[t] = static_cast<int>(order.size());
    order.push_back(t);
    for (int i = 0; i < t->NumRefs(); ++i) Collect(t->GetReference(i), order, index);
}

/// True for the super classes whose objects are reference targets a scene can hold. Other
/// classes (an image filter) make objects of other types, which must never be created here.
bool HoldsTargets(SClass_ID sclass) {
    return sclass == TEXMAP_CLASS_ID || sclass == UVGEN_CLASS_ID ||
           sclass == PARAMETER_BLOCK_CLASS_ID || sclass == REF_TARGET_CLASS_ID;
}

/// Turns the untyped pointer a descriptor creates back into the class's base.
ReferenceTarget* AsTarget(void* created, SClass_ID sclass) {
    if (!created) return nullptr;
    switch (sclass) {
        case TEXMAP_CLASS_ID:
            return static_cast<Texmap*>(created);
        case UVGEN_CLASS_ID:
            return static_cast<UVGen*>(created);
        case PARAMETER_BLOCK_CLASS_ID:
            return static_cast<IParamBlock*>(created);
        default:
            return static_cast<ReferenceTarget*>(created);
    }
}

/// The folder a scene file's relative paths are taken from: its own ("." for a bare name).
std::string FolderOf(const std::string& scenePath) {
    std::string folder = std::filesystem::path(scenePath).parent_path().string();
    return folder.empty() ? "." : folder;
}

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

struct LoadedObject {
    ReferenceTarget* object = nullptr;
    std::vector<std::int32_t> refs;
};

std::string ClassLabel(ReferenceTarget* t) {
    if (ClassDesc* cd = FindClass(t->SuperClassID(), t->ClassID())) return cd->ClassName();
    TSTR name;
    t->GetClassName(name);
    return name;
}

/// "slot 1 'Parameters'": the reference number and, where the object names it, its name.
std::string SlotLabel(ReferenceTarget* t, int i) {
    std::string label = "slot " + std::to_string(i);
    TSTR name = t->SubAnimName(i);
    if (!name.empty()) label += " '" + name + "'";
    return label;
}

/// The first root (in file order) through which object `target` is reached, for errors.
template <typename Roots>
std::string EntryOf(const std::vector<LoadedObject>& objs, const Roots& roots, size_t target) {
    for (const auto& root : roots) {
        std::vector<bool> seen(objs.size(), false);
        std::vector<std::int32_t> todo{root.index};
        while (!todo.empty()) {
            std::int32_t o = todo.back();
            todo.pop_back();
            if (o < 0 || static_cast<size_t>(o) >= objs.size() || seen[static_cast<size_t>(o)])
                continue;
            if (static_cast<size_t>(o) == target) return "entry '" + root.name + "'";
            seen[static_cast<size_t>(o)] = true;
            for (std::int32_t r : objs[static_cast<size_t>(o)].refs) todo.push_back(r);
        }
    }
    return "an object no entry holds";
}

/// Lets go of partly loaded objects: references among them are dropped without deleting,
/// anything else they hold (defaults made at creation) is deleted with them.
void Discard(std::vector<LoadedObject>& objs) {
    std::set<ReferenceTarget*> ours;
    for (auto& o : objs) {
        if (o.object) ours.insert(o.object);
    }
    for (auto& o : objs) {
        if (!o.object) continue;
        for (int i = 0; i < o.object->NumRefs(); ++i) {
            ReferenceTarget* t = o.object->GetReference(i);
            o.object->ReplaceReference(i, nullptr, t && !ours.count(t));
        }
    }
    for (auto& o : objs) {
        if (o.object) o.object->DeleteThis();
        o.object = nullptr;
    }
}

}  // namespace

SceneHolder::~SceneHolder() { Clear(); }

RefTargetHandle SceneHolder::GetReference(int i) {
    return i >= 0 && i < NumRefs() ? roots_[static_cast<size_t>(i)].object : nullptr;
}

void SceneHolder::SetReference(int i, RefTargetHandle t) {
    if (i >= 0 && i < NumRefs()) roots_[static_cast<size_t>(i)].object = t;
}

void SceneHolder::Add(const std::string& name, ReferenceTarget* object) {
    roots_.push_back({name, nullptr});
    ReplaceReference(NumRefs() - 1, object);
}

void SceneHolder::Clear() {
    for (int i = 0; i < NumRefs(); ++i) DeleteReference(i);
    roots_.clear();
    filters_.clear();
}

void SceneHolder::SetFilter(const FilterEntry& entry) {
    int i = FindFilter(entry.name);
    if (i < 0) {
        filters_.push_back(entry);
    } else {
        filters_[static_cast<size_t>(i)] = entry;
    }
}

int SceneHolder::FindFilter(const std::string& name) const {
    for (size_t i = 0; i < filters_.size(); ++i) {
        if (filters_[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

int SceneHolder::Find(const std::string& name) const {
    for (size_t i = 0; i < roots_.size(); ++i) {
        if (roots_[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::uint8_t> SaveSceneBytes(const SceneHolder& scene, const std::string& folder) {
    std::vector<ReferenceTarget*> order;
    std::map<ReferenceTarget*, int> index;
    for (int i = 0; i < scene.Count(); ++i) Collect(scene.Object(i), order, index);

    ChunkWriter w;
    w.SetSceneFolder(folder);
    w.Write(kSceneFileMagic, sizeof kSceneFileMagic, nullptr);
    WriteU32(&w, kFormatVersion);
    w.BeginChunk(kObjectsChunk);
    for (ReferenceTarget* t : order) {
        w.BeginChunk(kObjectChunk);
        w.BeginChunk(kClassChunk);
        WriteU32(&w, t->SuperClassID());
        WriteU32(&w, t->ClassID().PartA());
        WriteU32(&w, t->ClassID().PartB());
        w.EndChunk();
        w.BeginChunk(kRefsChunk);
        WriteU32(&w, static_cast<std::uint32_t>(t->NumRefs()));
        for (int i = 0; i < t->NumRefs(); ++i) {
            ReferenceTarget* r = t->GetReference(i);
            WriteI32(&w, r ? index[r] : -1);
        }
        w.EndChunk();
        w.BeginChunk(kDataChunk);
        t->Save(&w);
        w.EndChunk();
        w.EndChunk();
    }
    w.EndChunk();
    w.BeginChunk(kRootsChunk);
    WriteU32(&w, static_cast<std::uint32_t>(scene.Count()));
    for (int i = 0; i < scene.Count(); ++i) {
        WriteString(&w, scene.Name(i));
        WriteI32(&w, scene.Object(i) ? index[scene.Object(i)] : -1);
    }
    w.EndChunk();
    if (!scene.Filters().empty()) {
        w.BeginChunk(kFiltersChunk);
        WriteU32(&w, static_cast<std::uint32_t>(scene.Filters().size()));
        for (const FilterEntry& f : scene.Filters()) {
            WriteString(&w, f.name);
            WriteU32(&w, f.superClass);
            WriteU32(&w, f.classId.PartA());
            WriteU32(&w, f.classId.PartB());
            WriteU32(&w, static_cast<std::uint32_t>(f.configuration.size()));
            w.Write(f.configuration.data(), static_cast<ULONG>(f.configuration.size()), nullptr);
        }
        w.EndChunk();
    }
    return w.Bytes();
}

bool SaveSceneFile(const std::string& path, const SceneHolder& scene, std::string& error,
                   const SaveOptions& options) {
    if (!CheckOutputFile(path, options, error)) return false;
    const std::vector<std::uint8_t> bytes = SaveSceneBytes(scene, FolderOf(path));
    return SaveFile(path, bytes.data(), bytes.size(), options, error);
}

bool LoadSceneBytes(const std::uint8_t* data, size_t size, SceneHolder& scene,
                    SceneLoadReport& report, std::string& error, const std::string& folder) {
    report = SceneLoadReport();
    if (size < sizeof kSceneFileMagic + 4 ||
        std::memcmp(data, kSceneFileMagic, sizeof kSceneFileMagic) != 0) {
        error = "not a scene file";
        return false;
    }
    std::uint32_t version = 0;
    for (int i = 0; i < 4; ++i)
        version |= std::uint32_t{data[sizeof kSceneFileMagic + static_cast<size_t>(i)]} << (8 * i);
    if (version != kFormatVersion) {
        error = "unsupported scene format version " + std::to_string(version) +
                " (this program reads version " + std::to_string(kFormatVersion) + ")";
        return false;
    }
    report.formatVersion = version;
    const size_t start = sizeof kSceneFileMagic + 4;
    ChunkReader r(data + start, size - start);
    r.SetSceneFolder(folder);
    std::vector<LoadedObject> objs;
    struct RootEntry {
        std::string name;
        std::int32_t index;
    };
    std::vector<RootEntry> roots;
    std::vector<FilterEntry> filters;
    bool sawObjects = false, sawRoots = false, sawFilters = false;

    auto fail = [&](const std::string& why) {
        error = "at byte " + std::to_string(start + r.Offset()) + ": " + why;
        Discard(objs);
        return false;
    };

    IOResult res;
    while ((res = r.OpenChunk()) == IO_OK) {
        if (r.CurChunkID() == kObjectsChunk) {
            if (sawObjects) return fail("second object list");
            sawObjects = true;
            while ((res = r.OpenChunk()) == IO_OK) {
                if (r.CurChunkID() != kObjectChunk) {
                    r.CloseChunk();
                    continue;
                }
                LoadedObject lo;
                bool haveClass = false, haveData = false;
                while ((res = r.OpenChunk()) == IO_OK) {
                    USHORT id = r.CurChunkID();
                    if (id == kClassChunk) {
                        std::uint32_t sc, a, b;
                        if (haveClass || ReadU32(&r, sc) || ReadU32(&r, a) || ReadU32(&r, b)) {
                            return fail("damaged class record");
                        }
                        if (!HoldsTargets(sc)) {
                            return fail("class " + Hex(a) + " " + Hex(b) + " (super class " +
                                        Hex(sc) + ") is not an object a scene holds");
                        }
                        ClassDesc* cd = FindClass(sc, Class_ID(a, b));
                        if (!cd) {
                            return fail("unknown class " + Hex(a) + " " + Hex(b) +
                                        " (super class " + Hex(sc) + "); is its plug-in missing?");
                        }
                        lo.object = AsTarget(cd->Create(TRUE), sc);
                        if (!lo.object) return fail("class " + Hex(a) + " could not be created");
                        objs.push_back(lo);  // owned from here on, for cleanup
                        haveClass = true;
                    } else if (id == kRefsChunk) {
                        std::uint32_t n;
                        if (!haveClass || ReadU32(&r, n) || n > r.Remaining() / 4) {
                            return fail("damaged reference list");
                        }
                        objs.back().refs.resize(n);
                        for (auto& ref : objs.back().refs) {
                            if (ReadI32(&r, ref)) return fail("damaged reference list");
                        }
                    } else if (id == kDataChunk) {
                        if (!haveClass || haveData) return fail("object data out of place");
                        if (objs.back().object->Load(&r) != IO_OK) {
                            std::string why = r.LoadError();
                            return fail("damaged data of object " +
                                        std::to_string(objs.size() - 1) + " (" +
                                        ClassLabel(objs.back().object) + ")" +
                                        (why.empty() ? "" : ": " + why));
                        }
                        haveData = true;
                    }
                    if (r.CloseChunk() != IO_OK) return fail("damaged chunk");
                }
                if (res == IO_ERROR) return fail("damaged chunk header");
                if (!haveClass) return fail("object without a class");
                r.CloseChunk();
            }
            if (res == IO_ERROR) return fail("damaged chunk header");
        } else if (r.CurChunkID() == kRootsChunk) {
            if (sawRoots) return fail("second root list");
            sawRoots = true;
            std::uint32_t n;
            if (ReadU32(&r, n) || n > r.Remaining() / 8) return fail("damaged root list");
            for (std::uint32_t i = 0; i < n; ++i) {
                RootEntry e;
                if (ReadString(&r, e.name) || ReadI32(&r, e.index))
                    return fail("damaged root list");
                roots.push_back(std::move(e));
            }
        } else if (r.CurChunkID() == kFiltersChunk) {
            if (sawFilters) return fail("second filter list");
            sawFilters = true;
            std::uint32_t n;
            // An entry takes at least 20 bytes: name length, three IDs, byte count.
            if (ReadU32(&r, n) || n > r.Remaining() / 20) return fail("damaged filter list");
            for (std::uint32_t i = 0; i < n; ++i) {
                FilterEntry f;
                std::uint32_t sc, a, b, bytes;
                if (ReadString(&r, f.name) || ReadU32(&r, sc) || ReadU32(&r, a) || ReadU32(&r, b) ||
                    ReadU32(&r, bytes) || bytes > r.Remaining()) {
                    return fail("damaged filter list");
                }
                f.superClass = sc;
                f.classId = Class_ID(a, b);
                f.configuration.resize(bytes);
                if (bytes > 0 && r.Read(f.configuration.data(), bytes, nullptr) != IO_OK) {
                    return fail("damaged filter list");
                }
                for (const FilterEntry& other : filters) {
                    if (other.name == f.name)
                        return fail("two filter entries named '" + f.name + "'");
                }
                filters.push_back(std::move(f));
            }
        }
        if (r.CloseChunk() != IO_OK) return fail("damaged chunk");
    }
    if (res == IO_ERROR) return fail("damaged chunk header");
    if (!sawObjects || !sawRoots) return fail("truncated scene (object or root list missing)");

    const auto count = static_cast<std::int32_t>(objs.size());
    for (const RootEntry& e : roots) {
        if (e.index < -1 || e.index >= count) return fail("root '" + e.name + "' names no object");
    }
    // "entry 'Nimbra' (object 2, Fervix), slot 1 'Parameters'", for errors.
    auto slotOf = [&](size_t o, size_t i) {
        return EntryOf(objs, roots, o) + " (object " + std::to_string(o) + ", " +
               ClassLabel(objs[o].object) + "), " + SlotLabel(objs[o].object, static_cast<int>(i));
    };
    for (size_t o = 0; o < objs.size(); ++o) {
        ReferenceTarget* obj = objs[o].object;
        const auto& refs = objs[o].refs;
        for (size_t i = 0; i < refs.size(); ++i) {
            if (refs[i] < -1 || refs[i] >= count) {
                return fail("object " + std::to_string(o) + " refers to no object");
            }
            if (static_cast<int>(i) >= obj->NumRefs()) {
                if (refs[i] != -1)
                    return fail("object " + std::to_string(o) + " has too many references");
                continue;
            }
            ReferenceTarget* target =
                refs[i] < 0 ? nullptr : objs[static_cast<size_t>(refs[i])].object;
            ReferenceTarget* old = obj->GetReference(static_cast<int>(i));
            bool oldIsOurs = std::any_of(objs.begin(), objs.end(),
                                         [old](const LoadedObject& l) { return l.object == old; });
            // A slot the class fills when it makes an object (a parameter block, a UV
            // generator) cannot be empty: the object would run on values nobody saved.
            if (!target && old && !oldIsOurs) return fail(slotOf(o, i) + ": missing");
            if (obj->ReplaceReference(static_cast<int>(i), target, !oldIsOurs) != REF_SUCCEED) {
                if (target && target->ReachesMaker(obj)) {
                    return fail(slotOf(o, i) + ": refers back to the object itself");
                }
                return fail(slotOf(o, i) + ": holds a " + ClassLabel(target) +
                            ", which this slot does not take");
            }
        }
        for (size_t i = refs.size(); i < static_cast<size_t>(obj->NumRefs()); ++i) {
            if (obj->GetReference(static_cast<int>(i))) {
                return fail(slotOf(o, i) + ": missing");
            }
        }
    }
    for (const RootEntry& e : roots) {
        scene.Add(e.name, e.index < 0 ? nullptr : objs[static_cast<size_t>(e.index)].object);
    }
    for (const FilterEntry& f : filters) scene.SetFilter(f);
    // Objects nothing refers to (a hand-made file may hold some) are not kept. They are
    // picked before the post-load work, which may replace and delete other objects but
    // never one that nothing holds, and deleted after it, so their own callbacks run on
    // live objects.
    std::vector<ReferenceTarget*> orphans;
    for (auto& o : objs) {
        if (o.object->NumDependents() == 0) orphans.push_back(o.object);
    }
    objs.clear();
    r.RunPostLoadCallbacks();
    for (ReferenceTarget* t : orphans) {
        if (t->NumDependents() == 0) DeleteUnreferenced(t);
    }
    report.obsolete = r.Obsolete();
    report.warnings = r.Warnings();
    report.objects = count;
    return true;
}

bool LoadSceneFile(const std::string& path, SceneHolder& scene, SceneLoadReport& report,
                   std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadRegularFile(path, kMaxSceneFileBytes, bytes, error)) return false;
    if (!LoadSceneBytes(bytes.data(), bytes.size(), scene, report, error, FolderOf(path))) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace loom

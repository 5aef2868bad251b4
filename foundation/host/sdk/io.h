#pragma once
/// Scene input and output in nested chunks. Each chunk is a 16-bit ID and a 32-bit
/// length (of the whole chunk, header included; the top bit marks a chunk that holds
/// chunks), then its bytes. Readers check every length against what remains.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/base/core.h"

class ILoad;

/// Work to do once a whole scene is in memory; callbacks run in registration order and
/// may delete themselves.
class PostLoadCallback {
  public:
    virtual ~PostLoadCallback() = default;
    virtual void proc(ILoad* iload) = 0;
};

class ISave {
  public:
    virtual ~ISave() = default;
    virtual void BeginChunk(USHORT id) = 0;
    virtual void EndChunk() = 0;
    virtual IOResult Write(const void* buf, ULONG nbytes, ULONG* nwritten) = 0;
    /// The folder of the scene file being written (empty when it is not written to a
    /// file): file paths under it are stored relative to it.
    virtual std::string SceneFolder() { return std::string(); }
};

class ILoad {
  public:
    virtual ~ILoad() = default;
    /// Opens the next chunk inside the current one: IO_OK, IO_END when none is left,
    /// IO_ERROR when the header is damaged.
    virtual IOResult OpenChunk() = 0;
    virtual USHORT CurChunkID() = 0;
    /// Bytes of the open chunk's body.
    virtual ULONG CurChunkLength() = 0;
    virtual IOResult CloseChunk() = 0;
    /// Reads exactly `nbytes` of the open chunk's body, or fails with IO_ERROR.
    virtual IOResult Read(void* buf, ULONG nbytes, ULONG* nread) = 0;
    virtual void RegisterPostLoadCallback(PostLoadCallback* cb) = 0;
    /// Tells the host the scene held data of an older form that was converted.
    virtual void SetObsolete() = 0;
    /// Says why the object being loaded refuses its data (before it answers IO_ERROR), so
    /// that the host's message names the cause. The first reason given is kept.
    virtual void SetLoadError(const std::string& why) { (void)why; }
    /// The folder of the scene file being read (empty for bytes from memory): relative
    /// file paths in the scene are relative to it.
    virtual std::string SceneFolder() { return std::string(); }
    /// Something the user should hear about that does not stop the load (an image map's
    /// file is missing): one line, naming the file.
    virtual void AddWarning(const std::string& what) { (void)what; }
};

namespace loom {

/// ISave into a growing byte buffer.
class ChunkWriter final : public ISave {
  public:
    void BeginChunk(USHORT id) override;
    void EndChunk() override;
    IOResult Write(const void* buf, ULONG nbytes, ULONG* nwritten) override;
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::string SceneFolder() override { return folder_; }
    void SetSceneFolder(const std::string& folder) { folder_ = folder; }
    /// True when every chunk begun was ended.
    bool Balanced() const { return open_.empty(); }

  private:
    struct Open {
        size_t start;
        bool hasChildren;
    };
    std::vector<std::uint8_t> bytes_;
    std::vector<Open> open_;
    std::string folder_;
};

/// ILoad over bytes in memory. Post-load callbacks are collected, not run: the owner
/// runs them (RunPostLoadCallbacks) once every object is loaded.
class ChunkReader final : public ILoad {
  public:
    ChunkReader(const std::uint8_t* data, size_t size);
    ~ChunkReader() override;
    IOResult OpenChunk() override;
    USHORT CurChunkID() override;
    ULONG CurChunkLength() override;
    IOResult CloseChunk() override;
    IOResult Read(void* buf, ULONG nbytes, ULONG* nread) override;
    void RegisterPostLoadCallback(PostLoadCallback* cb) override;
    void SetObsolete() override { obsolete_ = true; }
    void SetLoadError(const std::string& why) override {
        if (loadError_.empty()) loadError_ = why;
    }

    std::string SceneFolder() override { return folder_; }
    void SetSceneFolder(const std::string& folder) { folder_ = folder; }
    void AddWarning(const std::string& what) override { warnings_.push_back(what); }
    const std::vector<std::string>& Warnings() const { return warnings_; }

    bool Obsolete() const { return obsolete_; }
    /// The first reason an object gave for refusing its data; empty when none did.
    const std::string& LoadError() const { return loadError_; }
    void RunPostLoadCallbacks();
    /// Offset of the read position from the start of the data, for error messages.
    size_t Offset() const { return pos_; }
    /// Bytes left in the open chunk (or in the data at top level).
    size_t Remaining() const;

  private:
    struct Open {
        USHORT id;
        size_t bodyStart;
        size_t end;
    };
    const std::uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::vector<Open> open_;
    std::vector<PostLoadCallback*> callbacks_;
    bool obsolete_ = false;
    std::string loadError_;
    std::string folder_;
    std::vector<std::string> warnings_;
};

// Typed helpers for little-endian scalars.
IOResult WriteU32(ISave* s, std::uint32_t v);
IOResult WriteI32(ISave* s, std::int32_t v);
IOResult WriteF32(ISave* s, float v);
IOResult WriteString(ISave* s, const std::string& v);
IOResult ReadU32(ILoad* l, std::uint32_t& v);
IOResult ReadI32(ILoad* l, std::int32_t& v);
IOResult ReadF32(ILoad* l, float& v);
/// Reads a string written by WriteString; refuses one longer than what remains.
IOResult ReadString(ILoad* l, std::string& v);

}  // namespace loom

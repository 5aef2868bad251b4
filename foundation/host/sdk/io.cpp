#include "foundation/host/sdk/io.h"

#include <cstring>

namespace loom {
namespace {
constexpr size_t kHeaderSize = 6;
constexpr std::uint32_t kContainerBit = 0x80000000u;

void PutLE(std::vector<std::uint8_t>& out, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

void ChunkWriter::BeginChunk(USHORT id) {
    if (!open_.empty()) open_.back().hasChildren = true;
    open_.push_back({bytes_.size(), false});
    bytes_.push_back(static_cast<std::uint8_t>(id & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(id >> 8));
    bytes_.insert(bytes_.end(), 4, 0);
}

void ChunkWriter::EndChunk() {
    if (open_.empty()) return;
    Open o = open_.back();
    open_.pop_back();
    std::uint32_t len = static_cast<std::uint32_t>(bytes_.size() - o.start);
    if (o.hasChildren) len |= kContainerBit;
    PutLE(bytes_, o.start + 2, len);
}

IOResult ChunkWriter::Write(const void* buf, ULONG nbytes, ULONG* nwritten) {
    const auto* p = static_cast<const std::uint8_t*>(buf);
    bytes_.insert(bytes_.end(), p, p + nbytes);
    if (nwritten) *nwritten = nbytes;
    return IO_OK;
}

ChunkReader::ChunkReader(const std::uint8_t* data, size_t size) : data_(data), size_(size) {}

ChunkReader::~ChunkReader() {
    for (PostLoadCallback* cb : callbacks_) delete cb;
}

size_t ChunkReader::Remaining() const {
    size_t end = open_.empty() ? size_ : open_.back().end;
    return end > pos_ ? end - pos_ : 0;
}

IOResult ChunkReader::OpenChunk() {
    size_t limit = open_.empty() ? size_ : open_.back().end;
    if (pos_ >= limit) return IO_END;
    if (limit - pos_ < kHeaderSize) return IO_ERROR;
    USHORT id = static_cast<USHORT>(data_[pos_] | (data_[pos_ + 1] << 8));
    std::uint32_t len = 0;
    for (int i = 0; i < 4; ++i)
        len |= static_cast<std::uint32_t>(data_[pos_ + 2 + static_cast<size_t>(i)]) << (8 * i);
    len &= ~kContainerBit;
    if (len < kHeaderSize || len > limit - pos_) return IO_ERROR;
    open_.push_back({id, pos_ + kHeaderSize, pos_ + len});
    pos_ += kHeaderSize;
    return IO_OK;
}

USHORT ChunkReader::CurChunkID() { return open_.empty() ? 0 : open_.back().id; }

ULONG ChunkReader::CurChunkLength() {
    return open_.empty() ? 0 : static_cast<ULONG>(open_.back().end - open_.back().bodyStart);
}

IOResult ChunkReader::CloseChunk() {
    if (open_.empty()) return IO_ERROR;
    pos_ = open_.back().end;
    open_.pop_back();
    return IO_OK;
}

IOResult ChunkReader::Read(void* buf, ULONG nbytes, ULONG* nread) {
    if (nread) *nread = 0;
    if (nbytes > Remaining()) return IO_ERROR;
    std::memcpy(buf, data_ + pos_, nbytes);
    pos_ += nbytes;
    if (nread) *nread = nbytes;
    return IO_OK;
}

void ChunkReader::RegisterPostLoadCallback(PostLoadCallback* cb) {
    if (cb) callbacks_.push_back(cb);
}

void ChunkReader::RunPostLoadCallbacks() {
    // A callback may register further callbacks; they run after the ones before them.
    for (size_t i = 0; i < callbacks_.size(); ++i) {
        PostLoadCallback* cb = callbacks_[i];
        callbacks_[i] = nullptr;
        cb->proc(this);  // the callback owns itself from here on (it may delete itself)
    }
    callbacks_.clear();
}

IOResult WriteU32(ISave* s, std::uint32_t v) {
    std::uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    ULONG n;
    return s->Write(b, 4, &n);
}
IOResult WriteI32(ISave* s, std::int32_t v) { return WriteU32(s, static_cast<std::uint32_t>(v)); }
IOResult WriteF32(ISave* s, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return WriteU32(s, bits);
}
IOResult WriteString(ISave* s, const std::string& v) {
    if (IOResult r = WriteU32(s, static_cast<std::uint32_t>(v.size())); r != IO_OK) return r;
    ULONG n;
    return s->Write(v.data(), static_cast<ULONG>(v.size()), &n);
}

IOResult ReadU32(ILoad* l, std::uint32_t& v) {
    std::uint8_t b[4];
    ULONG n;
    if (IOResult r = l->Read(b, 4, &n); r != IO_OK) return r;
    v = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return IO_OK;
}
IOResult ReadI32(ILoad* l, std::int32_t& v) {
    std::uint32_t u;
    if (IOResult r = ReadU32(l, u); r != IO_OK) return r;
    v = static_cast<std::int32_t>(u);
    return IO_OK;
}
IOResult ReadF32(ILoad* l, float& v) {
    std::uint32_t u;
    if (IOResult r = ReadU32(l, u); r != IO_OK) return r;
    std::memcpy(&v, &u, 4);
    return IO_OK;
}
IOResult ReadString(ILoad* l, std::string& v) {
    std::uint32_t len;
    if (IOResult r = ReadU32(l, len); r != IO_OK) return r;
    if (len > l->CurChunkLength()) return IO_ERROR;  // cheap guard before allocating
    v.assign(len, '\0');
    ULONG n;
    return len ? l->Read(v.data(), len, &n) : IO_OK;
}

}  // namespace loom

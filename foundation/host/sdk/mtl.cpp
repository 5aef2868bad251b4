#include "foundation/host/sdk/mtl.h"

#include "foundation/host/sdk/io.h"

namespace {
constexpr USHORT kNameChunk = 0x0001;
constexpr USHORT kGBufChunk = 0x0002;
constexpr USHORT kFlagsChunk = 0x0003;
}  // namespace

MtlBase& MtlBase::operator=(const MtlBase& from) {
    name_ = from.name_;
    gbufID_ = from.gbufID_;
    flags_ = from.flags_;
    return *this;
}

TSTR MtlBase::GetFullName() {
    TSTR cls;
    GetClassName(cls);
    return name_.empty() ? cls : name_ + " (" + cls + ")";
}

TSTR MtlBase::GetSubTexmapTVName(int i) {
    TSTR slot = GetSubTexmapSlotName(i);
    return slot.empty() ? "Map #" + std::to_string(i + 1) : slot;
}

IOResult MtlBase::Save(ISave* isave) {
    isave->BeginChunk(kNameChunk);
    loom::WriteString(isave, name_);
    isave->EndChunk();
    isave->BeginChunk(kGBufChunk);
    loom::WriteI32(isave, gbufID_);
    isave->EndChunk();
    isave->BeginChunk(kFlagsChunk);
    loom::WriteU32(isave, flags_);
    isave->EndChunk();
    return IO_OK;
}

IOResult MtlBase::Load(ILoad* iload) {
    IOResult res;
    while ((res = iload->OpenChunk()) == IO_OK) {
        IOResult r = IO_OK;
        switch (iload->CurChunkID()) {
            case kNameChunk:
                r = loom::ReadString(iload, name_);
                break;
            case kGBufChunk:
                r = loom::ReadI32(iload, gbufID_);
                break;
            case kFlagsChunk:
                r = loom::ReadU32(iload, flags_);
                break;
            default:
                break;
        }
        if (r != IO_OK) return r;
        if (iload->CloseChunk() != IO_OK) return IO_ERROR;
    }
    return res == IO_END ? IO_OK : res;
}

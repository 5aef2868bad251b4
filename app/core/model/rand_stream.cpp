#include "app/core/model/rand_stream.h"

#include "foundation/host/base/crt.h"

namespace loom {

RandStream::RandStream() {
    const std::uint32_t saved = crt::GetRandState();
    crt::srand(1);
    state_ = crt::GetRandState();
    crt::SetRandState(saved);
}

RandStream::Use::Use(RandStream& stream) : stream_(stream), saved_(crt::GetRandState()) {
    crt::SetRandState(stream_.state_);
}

RandStream::Use::~Use() {
    stream_.state_ = crt::GetRandState();
    crt::SetRandState(saved_);
}

}  // namespace loom

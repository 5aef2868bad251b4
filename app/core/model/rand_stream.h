#pragma once
/// The C runtime generator of the thread that drives a texture. `loomhost` drives each
/// texture from a fresh process's main thread, whose generator starts at seed 1 and runs on
/// through the set-up into the render's first sample (where textures build what they
/// build on first use). A front-end inside another program (Python, GEGL, frei0r) keeps
/// such a stream per texture and swaps it in for every call, so that results do not depend
/// on what else the calling thread did before.

#include <cstdint>

namespace loom {

class RandStream {
  public:
    /// A stream as a new thread's: seed 1.
    RandStream();
    /// Makes the stream the calling thread's generator while the returned guard lives.
    class Use {
      public:
        explicit Use(RandStream& stream);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

      private:
        RandStream& stream_;
        std::uint32_t saved_;
    };

  private:
    std::uint32_t state_;
};

}  // namespace loom

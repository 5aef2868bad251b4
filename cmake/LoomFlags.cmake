# Warnings and floating-point model for the project's own code. Third-party headers
# come in as SYSTEM includes, so their warnings do not fail the build.
add_library(loom_flags INTERFACE)
target_compile_options(loom_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wdouble-promotion
  # Single-precision results must not change with contraction into fused multiply-adds.
  -ffp-contract=off)
# Warnings fail the build in the project's own checks (CI turns this on); a user's build
# with another compiler or optimisation level must not break on a new false positive.
option(LOOM_WERROR "Treat warnings as errors" OFF)
if(LOOM_WERROR)
  # Only inside this build: the installed SDK's flags never fail a plug-in's build.
  target_compile_options(loom_flags INTERFACE $<BUILD_INTERFACE:-Werror>)
endif()

# Known false positives of GCC, kept out of warnings-as-errors: GCC 12 at -O3 (the release
# build) sees an overlapping copy inside std::string's operator+ once inlined (-Wrestrict), and the
# sanitizers' instrumentation makes members inside std::function and std::regex look
# uninitialised (-Wmaybe-uninitialized). Other compilers and releases keep both warnings.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  if(CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12 AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(loom_flags INTERFACE $<BUILD_INTERFACE:$<$<CONFIG:Release>:-Wno-restrict>>)
  endif()
  if(LOOM_SANITIZE)
    target_compile_options(loom_flags INTERFACE $<BUILD_INTERFACE:-Wno-maybe-uninitialized>)
  endif()
endif()

if(LOOM_SANITIZE)
  string(REPLACE "," ";" _loom_san "${LOOM_SANITIZE}")
  add_compile_options(-fsanitize=${LOOM_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${LOOM_SANITIZE})
endif()

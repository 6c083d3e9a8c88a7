# The warnings every target of ours is built with: link vantory_warnings
# PRIVATE. VANTORY_WERROR (on in scripts/test, so in CI) makes them errors.
option(VANTORY_WERROR "Treat warnings as errors" OFF)

add_library(vantory_warnings INTERFACE)
target_compile_options(vantory_warnings INTERFACE
  -Wall -Wextra -Wpedantic
  -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wdouble-promotion
  # Clang's -Wconversion also takes in sign conversions, which would drown the
  # web build in index casts; GCC's does not.
  $<$<CXX_COMPILER_ID:GNU>:-Wconversion>)
if(VANTORY_WERROR)
  # GCC 12 reports null dereferences inside inlined Asio and libstdc++ code
  # when optimising (io_context, shared_ptr); they stay warnings so that an
  # optimised build is not stopped by headers we do not own.
  target_compile_options(vantory_warnings INTERFACE
    -Werror $<$<CXX_COMPILER_ID:GNU>:-Wno-error=null-dereference>)
endif()
if(CMAKE_UNITY_BUILD)
  # In a unity batch each source is an included file, so a test fixture kept
  # in its file's anonymous namespace reads to GCC like one in a header.
  target_compile_options(vantory_warnings INTERFACE
    $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
endif()

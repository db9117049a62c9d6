# What the WebAssembly build takes instead of the Linux packages:
# libjpeg-turbo and libsonic built by scripts/setup-web, and GoogleTest
# built from Debian's sources with Emscripten.
set(SELFPLAY_WASM_DEPS "${PROJECT_SOURCE_DIR}/third_party/wasm" CACHE PATH
    "Where scripts/setup-web put libjpeg-turbo and libsonic for WebAssembly")
foreach(lib jpeg sonic)
  if(NOT EXISTS "${SELFPLAY_WASM_DEPS}/lib/lib${lib}.a")
    message(FATAL_ERROR "lib${lib} for WebAssembly is not in ${SELFPLAY_WASM_DEPS}: run scripts/setup-web")
  endif()
endforeach()
add_library(PkgConfig::JPEG STATIC IMPORTED)
set_target_properties(PkgConfig::JPEG PROPERTIES
  IMPORTED_LOCATION "${SELFPLAY_WASM_DEPS}/lib/libjpeg.a"
  INTERFACE_INCLUDE_DIRECTORIES "${SELFPLAY_WASM_DEPS}/include")
add_library(selfplay_sonic STATIC IMPORTED)
set_target_properties(selfplay_sonic PROPERTIES
  IMPORTED_LOCATION "${SELFPLAY_WASM_DEPS}/lib/libsonic.a"
  INTERFACE_INCLUDE_DIRECTORIES "${SELFPLAY_WASM_DEPS}/include")

# The engine's errors are C++ exceptions (libjpeg's leave through
# setjmp/longjmp first); memory grows with the recording.
add_compile_options(-fexceptions)
# WebAssembly SIMD (every current browser, node 16+), so that loops over
# pixels (the JPEG rows' spare bytes, copies) take 4 pixels a step.
add_compile_options(-msimd128)
add_link_options(-fexceptions -sALLOW_MEMORY_GROWTH=1)

set(SELFPLAY_GTEST_SOURCE /usr/src/googletest CACHE PATH "Debian's googletest sources")
if(EXISTS "${SELFPLAY_GTEST_SOURCE}/CMakeLists.txt")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${SELFPLAY_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(SELFPLAY_HAVE_GTEST ON)
endif()

# What the Windows build takes instead of the Linux packages: libjpeg-turbo
# cross-built by scripts/setup-windows, and GoogleTest built from Debian's
# sources with the same toolchain.
set(SELFPLAY_WIN_DEPS "${PROJECT_SOURCE_DIR}/third_party/win64" CACHE PATH
    "Where scripts/setup-windows put libjpeg-turbo for Windows")
if(NOT EXISTS "${SELFPLAY_WIN_DEPS}/lib/libjpeg.a")
  message(FATAL_ERROR "libjpeg-turbo for Windows is not in ${SELFPLAY_WIN_DEPS}: run scripts/setup-windows")
endif()
add_library(PkgConfig::JPEG STATIC IMPORTED)
set_target_properties(PkgConfig::JPEG PROPERTIES
  IMPORTED_LOCATION "${SELFPLAY_WIN_DEPS}/lib/libjpeg.a"
  INTERFACE_INCLUDE_DIRECTORIES "${SELFPLAY_WIN_DEPS}/include")

set(SELFPLAY_GTEST_SOURCE /usr/src/googletest CACHE PATH "Debian's googletest sources")
if(EXISTS "${SELFPLAY_GTEST_SOURCE}/CMakeLists.txt")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${SELFPLAY_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(SELFPLAY_HAVE_GTEST ON)
endif()

# Every program: static C and C++ runtimes, so it needs no DLL of ours.
add_link_options(-static -static-libgcc -static-libstdc++)

# Size matters in the player stub: every function and datum in its own
# section, so that the linker drops what nothing uses.
add_compile_options(-ffunction-sections -fdata-sections)

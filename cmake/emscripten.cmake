# WebAssembly with Debian's Emscripten (the web preset). Programs run under
# node: its fetch replaces the file reads Emscripten 3.1.6's loader makes in
# node, so it is turned off (emcmake's own emulator flag is refused by node
# 20, so emcmake is not used).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
find_program(SELFPLAY_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${SELFPLAY_NODE};--no-experimental-fetch" CACHE STRING
    "How the tests' WebAssembly programs run" FORCE)
# Debian's emcc finds its node modules (acorn, terser) only there, when it links.
set(CMAKE_C_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)

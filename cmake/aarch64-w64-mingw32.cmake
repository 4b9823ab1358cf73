# Windows on ARM64: Zig's clang with its mingw-w64 headers, runtime and libc++
# (scripts/get-zig.sh unpacks it into .tools/zig), through the wrappers in
# cmake/zig.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig/cc")
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig/c++")
set(CMAKE_RC_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig/windres")
set(CMAKE_AR "${CMAKE_CURRENT_LIST_DIR}/zig/ar" CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB "${CMAKE_CURRENT_LIST_DIR}/zig/ranlib" CACHE FILEPATH "Ranlib")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Lua for Windows, built from the source of the version that
# OSBRIDGE_LUA_VERSION names (scripts/get-lua-source.sh: Debian's source
# package, for 5.5 its release tarball): lua51.dll (lua52 to lua55: the names
# Windows hosts give them) with its import library, the standalone lua.exe,
# and lua-utf8.exe. The library target is `lua51` whatever the version: the
# module and the tests link that.
string(REPLACE "." "" lua_version_digits "${OSBRIDGE_LUA_VERSION}")
set(LUA_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/lua${OSBRIDGE_LUA_VERSION}" CACHE PATH
    "Unpacked lua${OSBRIDGE_LUA_VERSION} source package")
if(NOT EXISTS "${LUA_SOURCE_DIR}/src/lua.c" AND CMAKE_HOST_UNIX)
    execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/get-lua-source.sh" "${LUA_SOURCE_DIR}"
                            "lua${OSBRIDGE_LUA_VERSION}"
                    RESULT_VARIABLE lua_fetch_result)
    if(NOT lua_fetch_result EQUAL 0)
        message(FATAL_ERROR "could not unpack the lua${OSBRIDGE_LUA_VERSION} source package into ${LUA_SOURCE_DIR}")
    endif()
endif()

file(GLOB lua_library_sources "${LUA_SOURCE_DIR}/src/*.c")
list(REMOVE_ITEM lua_library_sources
     "${LUA_SOURCE_DIR}/src/lua.c" "${LUA_SOURCE_DIR}/src/luac.c" "${LUA_SOURCE_DIR}/src/print.c"
     "${LUA_SOURCE_DIR}/src/onelua.c" "${LUA_SOURCE_DIR}/src/ltests.c")
# 5.1 keeps lua.hpp in etc/, later releases beside the other headers.
set(lua_hpp "${LUA_SOURCE_DIR}/src/lua.hpp")
if(NOT EXISTS "${lua_hpp}")
    set(lua_hpp "${LUA_SOURCE_DIR}/etc/lua.hpp")
endif()

# The headers as Lua's own installation lays them out, for builds against this
# Lua that expect one include folder (LuaRocks).
file(COPY "${LUA_SOURCE_DIR}/src/lua.h" "${LUA_SOURCE_DIR}/src/luaconf.h" "${LUA_SOURCE_DIR}/src/lualib.h"
          "${LUA_SOURCE_DIR}/src/lauxlib.h" "${lua_hpp}" DESTINATION "${CMAKE_BINARY_DIR}/include")

add_library(lua51 SHARED ${lua_library_sources})
# Its files are not written to be compiled as one (a unity build).
set_target_properties(lua51 PROPERTIES PREFIX "" OUTPUT_NAME "lua${lua_version_digits}" C_STANDARD 99 UNITY_BUILD OFF)
target_compile_definitions(lua51 PUBLIC LUA_BUILD_AS_DLL)
# The compatibility switches of Lua's own makefile, as the Windows binaries
# have them; for the library only, so the module never depends on them.
# 5.5 has none: its luaconf.h itself defines LUA_COMPAT_GLOBAL ("global" is
# no reserved word), as its Windows binaries have it.
set(lua_compat_switch_5.2 LUA_COMPAT_ALL)
set(lua_compat_switch_5.3 LUA_COMPAT_5_2)
set(lua_compat_switch_5.4 LUA_COMPAT_5_3)
if(DEFINED lua_compat_switch_${OSBRIDGE_LUA_VERSION})
    target_compile_definitions(lua51 PRIVATE ${lua_compat_switch_${OSBRIDGE_LUA_VERSION}})
endif()
target_include_directories(lua51 PUBLIC "${LUA_SOURCE_DIR}/src")
if(MINGW)
    target_compile_options(lua51 PRIVATE -w)
    target_link_options(lua51 PRIVATE ${osbridge_static_libgcc})
endif()

# Each interpreter's manifest (manifests/HOST.manifest) declares Windows 7 to
# 11, so the system reports its own version to it; lua-utf8's also makes UTF-8
# its ANSI code page, so every text argument and result of the module is UTF-8.
foreach(host IN ITEMS lua lua-utf8)
    set(host_rc "${PROJECT_SOURCE_DIR}/manifests/${host}.rc")
    # The resource compiler's dependencies leave out the manifest it embeds.
    set_source_files_properties("${host_rc}" PROPERTIES
                                OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/manifests/${host}.manifest")
    add_executable(${host} "${LUA_SOURCE_DIR}/src/lua.c" "${host_rc}")
    target_link_libraries(${host} PRIVATE lua51)
    if(DEFINED lua_compat_switch_${OSBRIDGE_LUA_VERSION})
        target_compile_definitions(${host} PRIVATE ${lua_compat_switch_${OSBRIDGE_LUA_VERSION}})
    endif()
    if(MINGW)
        target_compile_options(${host} PRIVATE -w)
        target_link_options(${host} PRIVATE ${osbridge_static_libgcc})
    endif()
endforeach()

# A second 32-bit Lua 5.1, built as common MinGW distributions build it: with
# SSE2 arithmetic (-march=pentium4 -mfpmath=sse), whose lua_tointeger gives
# 0x80000000 for numbers beyond 32 bits where the x87 build above keeps their
# low bits. A host for the suites, lua-sse2/lua51.dll and lua-sse2/lua.exe,
# that loads the module of this build unchanged.
include(CMakeDependentOption)
cmake_dependent_option(OSBRIDGE_LUA_SSE2 "Also build a 32-bit Lua 5.1 with SSE2 arithmetic (lua-sse2/)" ON
                       "OSBRIDGE_LUA_VERSION STREQUAL 5.1;CMAKE_SIZEOF_VOID_P EQUAL 4;MINGW" OFF)
if(OSBRIDGE_LUA_SSE2)
    add_library(lua51_sse2 SHARED ${lua_library_sources})
    add_executable(lua_sse2 "${LUA_SOURCE_DIR}/src/lua.c")
    target_link_libraries(lua_sse2 PRIVATE lua51_sse2)
    target_compile_definitions(lua51_sse2 PUBLIC LUA_BUILD_AS_DLL)
    target_include_directories(lua51_sse2 PUBLIC "${LUA_SOURCE_DIR}/src")
    set_target_properties(lua51_sse2 PROPERTIES PREFIX "" OUTPUT_NAME lua51 C_STANDARD 99 UNITY_BUILD OFF)
    set_target_properties(lua_sse2 PROPERTIES OUTPUT_NAME lua)
    foreach(target IN ITEMS lua51_sse2 lua_sse2)
        set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/lua-sse2"
                                                   ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/lua-sse2")
        target_compile_options(${target} PRIVATE -w -march=pentium4 -mfpmath=sse)
        target_link_options(${target} PRIVATE -static-libgcc)
    endforeach()
endif()

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
# 5.1 keeps lua.hpp in etc/, 5.2 to 5.4 beside the other headers; 5.5's
# repository tree has none, so it gets the one every release ships.
set(lua_hpp "${LUA_SOURCE_DIR}/src/lua.hpp")
if(NOT EXISTS "${lua_hpp}")
    set(lua_hpp "${LUA_SOURCE_DIR}/etc/lua.hpp")
endif()
if(NOT EXISTS "${lua_hpp}")
    set(lua_hpp "${CMAKE_BINARY_DIR}/lua.hpp")
    file(WRITE "${lua_hpp}" "// Lua header files for C++\n"
         "extern \"C\" {\n#include \"lua.h\"\n#include \"lualib.h\"\n#include \"lauxlib.h\"\n}\n")
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
    target_link_options(lua51 PRIVATE -static-libgcc)
endif()

# lua-utf8: the same interpreter with a manifest that makes UTF-8 its ANSI
# code page, so every text argument and result of the module is UTF-8.
foreach(host IN ITEMS lua lua-utf8)
    set(host_sources "${LUA_SOURCE_DIR}/src/lua.c")
    if(host STREQUAL lua-utf8)
        list(APPEND host_sources "${CMAKE_CURRENT_LIST_DIR}/utf8/lua-utf8.rc")
    endif()
    add_executable(${host} ${host_sources})
    target_link_libraries(${host} PRIVATE lua51)
    if(DEFINED lua_compat_switch_${OSBRIDGE_LUA_VERSION})
        target_compile_definitions(${host} PRIVATE ${lua_compat_switch_${OSBRIDGE_LUA_VERSION}})
    endif()
    if(MINGW)
        target_compile_options(${host} PRIVATE -w)
        target_link_options(${host} PRIVATE -static-libgcc)
    endif()
endforeach()

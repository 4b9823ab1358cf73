# Lua 5.1.5 for Windows, built from Debian's lua5.1 source package:
# lua51.dll with its import library, and the standalone lua.exe.
set(LUA_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/lua5.1" CACHE PATH "Unpacked lua5.1 source package")
if(NOT EXISTS "${LUA_SOURCE_DIR}/src/lua.c" AND CMAKE_HOST_UNIX)
    execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/get-lua-source.sh" "${LUA_SOURCE_DIR}"
                    RESULT_VARIABLE lua_fetch_result)
    if(NOT lua_fetch_result EQUAL 0)
        message(FATAL_ERROR "could not unpack the lua5.1 source package into ${LUA_SOURCE_DIR}")
    endif()
endif()

file(GLOB lua_library_sources "${LUA_SOURCE_DIR}/src/*.c")
list(REMOVE_ITEM lua_library_sources
     "${LUA_SOURCE_DIR}/src/lua.c" "${LUA_SOURCE_DIR}/src/luac.c" "${LUA_SOURCE_DIR}/src/print.c")

# The headers as Lua's own installation lays them out, for builds against this
# Lua that expect one include folder (LuaRocks).
file(COPY "${LUA_SOURCE_DIR}/src/lua.h" "${LUA_SOURCE_DIR}/src/luaconf.h" "${LUA_SOURCE_DIR}/src/lualib.h"
          "${LUA_SOURCE_DIR}/src/lauxlib.h" "${LUA_SOURCE_DIR}/etc/lua.hpp" DESTINATION "${CMAKE_BINARY_DIR}/include")

add_library(lua51 SHARED ${lua_library_sources})
set_target_properties(lua51 PROPERTIES PREFIX "" C_STANDARD 99)
target_compile_definitions(lua51 PUBLIC LUA_BUILD_AS_DLL)
target_include_directories(lua51 PUBLIC "${LUA_SOURCE_DIR}/src" "${LUA_SOURCE_DIR}/etc")
if(MINGW)
    target_compile_options(lua51 PRIVATE -w)
    target_link_options(lua51 PRIVATE -static-libgcc)
endif()

add_executable(lua "${LUA_SOURCE_DIR}/src/lua.c")
target_link_libraries(lua PRIVATE lua51)
if(MINGW)
    target_compile_options(lua PRIVATE -w)
    target_link_options(lua PRIVATE -static-libgcc)
endif()

# The same interpreter with a manifest that makes UTF-8 its ANSI code page, so
# every text argument and result of the module is UTF-8.
add_executable(lua-utf8 "${LUA_SOURCE_DIR}/src/lua.c" "${CMAKE_CURRENT_LIST_DIR}/utf8/lua-utf8.rc")
target_link_libraries(lua-utf8 PRIVATE lua51)
if(MINGW)
    target_compile_options(lua-utf8 PRIVATE -w)
    target_link_options(lua-utf8 PRIVATE -static-libgcc)
endif()

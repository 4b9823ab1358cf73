# Release files, made by `cmake --build --preset PRESET --target package` in
# OSBRIDGE_RELEASE_DIR: the build folder, unless every preset is given the same
# folder to gather a whole release there.
#   osbridge-VERSION-luaX.Y-windows-ARCH.zip  the module, the Lua hosts to run it
#                                  (lua.exe, lua-utf8.exe, lua5Y.dll), their
#                                  manifests and resource scripts, docs, the
#                                  tour and recipes, README and licences
#   rocks-X.Y/                     a rocks server folder per Lua version, for
#                                  `luarocks install osbridge --only-server=DIR`:
#                                  the binary rocks (osbridge-VERSION-1.win32-x86.rock,
#                                  ...win32-x86_64.rock, ...win32-arm64.rock), whose
#                                  dependency names Lua X.Y, and the manifest of the folder
#   osbridge-VERSION.tar.gz        the module's source: what the rockspec builds
#   osbridge-VERSION-1.src.rock    the source rock: the rockspec and that archive,
#                                  for `luarocks install FILE`
set(OSBRIDGE_RELEASE_DIR "${CMAKE_BINARY_DIR}" CACHE PATH "Where the package target leaves the release files")
find_program(LUAROCKS_ADMIN luarocks-admin DOC "Writes the manifest of a rocks server folder (Debian: luarocks)")
install(TARGETS lua lua-utf8 lua51 RUNTIME DESTINATION .)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/" DESTINATION docs)
# For users who give their own host what lua.exe and lua-utf8.exe declare.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/manifests/" DESTINATION manifests)
file(GLOB osbridge_examples "${PROJECT_SOURCE_DIR}/examples/*.lua")
install(FILES ${osbridge_examples} DESTINATION examples)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION .)
if(EXISTS "${LUA_SOURCE_DIR}/COPYRIGHT")
    install(FILES "${LUA_SOURCE_DIR}/COPYRIGHT" DESTINATION . RENAME LICENSE-Lua.txt)
else()
    # From 5.2 on the licence is only the closing comment of lua.h.
    file(READ "${LUA_SOURCE_DIR}/src/lua.h" lua_header)
    string(REGEX MATCH "\\* Copyright \\(C\\)[^\n]*PUC-Rio\\.(\n\\*[^\n]*)*SOFTWARE\\." lua_licence "${lua_header}")
    if(NOT lua_licence)
        message(FATAL_ERROR "no licence text at the end of ${LUA_SOURCE_DIR}/src/lua.h")
    endif()
    string(REGEX REPLACE "(^|\n)\\* ?" "\\1" lua_licence "${lua_licence}")
    file(WRITE "${CMAKE_BINARY_DIR}/LICENSE-Lua.txt" "${lua_licence}\n")
    install(FILES "${CMAKE_BINARY_DIR}/LICENSE-Lua.txt" DESTINATION .)
endif()

# The architecture as the zip names it, and as LuaRocks does.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL ARM64)
    set(osbridge_package_arch aarch64)
    set(osbridge_rock_arch win32-arm64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(osbridge_package_arch x86_64)
    set(osbridge_rock_arch win32-x86_64)
else()
    set(osbridge_package_arch i686)
    set(osbridge_rock_arch win32-x86)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME osbridge)
set(CPACK_PACKAGE_FILE_NAME "osbridge-${PROJECT_VERSION}-lua${OSBRIDGE_LUA_VERSION}-windows-${osbridge_package_arch}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")

# Read by binary-rock.cmake and release-files.cmake, which run once the zip is written.
set(CPACK_OSBRIDGE_RELEASE_DIR "${OSBRIDGE_RELEASE_DIR}")
set(CPACK_OSBRIDGE_LUAROCKS_ADMIN "${LUAROCKS_ADMIN}")
set(CPACK_OSBRIDGE_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_OSBRIDGE_SOURCES CMakeLists.txt LICENSE README.md "osbridge-${PROJECT_VERSION}-1.rockspec" cmake docs manifests res src)
set(CPACK_OSBRIDGE_ROCKSPEC "${PROJECT_SOURCE_DIR}/osbridge-${PROJECT_VERSION}-1.rockspec")
set(CPACK_OSBRIDGE_MODULE "${CMAKE_BINARY_DIR}/osbridge.dll")
set(CPACK_OSBRIDGE_DOCS "${PROJECT_SOURCE_DIR}/docs")
set(CPACK_OSBRIDGE_LUA_VERSION "${OSBRIDGE_LUA_VERSION}")
set(CPACK_OSBRIDGE_ROCK_ARCH ${osbridge_rock_arch})
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/binary-rock.cmake" "${CMAKE_CURRENT_LIST_DIR}/release-files.cmake")
include(CPack)

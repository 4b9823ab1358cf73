# Release archives, made by `cmake --build --preset PRESET --target package`,
# one pair per Lua version and architecture:
#   osbridge-VERSION-luaX.Y-windows-ARCH.zip   the module, the Lua hosts to run it
#                                               (lua.exe, lua-utf8.exe, lua5Y.dll),
#                                               docs, the tour and
#                                               recipes, README and licences
#   osbridge-VERSION-1.win32-ARCH.rock         the binary rock for `luarocks install
#                                               FILE`; its dependency names Lua X.Y
install(TARGETS lua lua-utf8 lua51 RUNTIME DESTINATION .)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/" DESTINATION docs)
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

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(osbridge_package_arch x86_64)
else()
    set(osbridge_package_arch i686)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME osbridge)
set(CPACK_PACKAGE_FILE_NAME "osbridge-${PROJECT_VERSION}-lua${OSBRIDGE_LUA_VERSION}-windows-${osbridge_package_arch}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")

# Read by binary-rock.cmake, which runs once the zip is written.
set(CPACK_OSBRIDGE_ROCKSPEC "${PROJECT_SOURCE_DIR}/osbridge-${PROJECT_VERSION}-1.rockspec")
set(CPACK_OSBRIDGE_MODULE "${CMAKE_BINARY_DIR}/osbridge.dll")
set(CPACK_OSBRIDGE_DOCS "${PROJECT_SOURCE_DIR}/docs")
set(CPACK_OSBRIDGE_LUA_VERSION "${OSBRIDGE_LUA_VERSION}")
if(osbridge_package_arch STREQUAL x86_64)
    set(CPACK_OSBRIDGE_ROCK_ARCH win32-x86_64)
else()
    set(CPACK_OSBRIDGE_ROCK_ARCH win32-x86)
endif()
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/binary-rock.cmake")
include(CPack)

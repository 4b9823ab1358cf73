-- LuaRocks configuration for building the module on Debian for Windows with
-- the mingw-w64 cross compilers, against the Lua of a preset build:
--
--   OSB_ROOT=$PWD OSB_ARCH=x86_64 OSB_LUA_VERSION=5.4 LUAROCKS_CONFIG=$PWD/tests/pkg/luarocks-mingw.lua \
--       luarocks --lua-version 5.4 make --tree /tmp/rocks osbridge-1.0.42-1.rockspec
--
-- OSB_ARCH is x86_64, i686 or aarch64, OSB_LUA_VERSION 5.1 (the default) to 5.5, the
-- same as --lua-version; the preset build of that architecture and version
-- (build/x86_64, build/x86_64-lua54, ...; or the folder OSB_LUA_BUILD names)
-- must exist already: its include/ and lua51.dll (lua54.dll, ...).
local root = os_getenv("OSB_ROOT") or "."
local cpu = os_getenv("OSB_ARCH") or "x86_64"
local lua_digits = (os_getenv("OSB_LUA_VERSION") or "5.1"):gsub("%.", "")
local triplet = cpu .. "-w64-mingw32"
local preset = lua_digits == "51" and cpu or (cpu .. "-lua" .. lua_digits)
local lua_build = os_getenv("OSB_LUA_BUILD") or (root .. "/build/" .. preset)

-- LuaRocks' own file handling stays Unix; the target is MinGW.
platforms = { "unix", "mingw32" }
arch = ({ i686 = "win32-x86", aarch64 = "win32-arm64" })[cpu] or "win32-x86_64"
lib_extension = "dll"
external_lib_extension = "dll"
cmake_generator = "Unix Makefiles"
variables = {
   -- CMake 3.21 and later take the toolchain from the environment.
   CMAKE = "env CMAKE_TOOLCHAIN_FILE=" .. root .. "/cmake/" .. triplet .. ".cmake cmake",
   CC = triplet .. "-gcc",
   LD = triplet .. "-gcc",
   LUA_INCDIR = lua_build .. "/include",
   LUA_LIBDIR = lua_build,
   LUA_BINDIR = lua_build,
   LUALIB = "lua" .. lua_digits .. ".dll",
}
-- For the tests of binary rocks: no build tool at all.
if os_getenv("OSB_ROCK_NO_TOOLS") then
   variables.CMAKE, variables.CC, variables.LD, variables.MAKE = "false", "false", "false", "false"
end

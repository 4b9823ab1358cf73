-- LuaRocks configuration for building the module on Debian for Windows with
-- the mingw-w64 cross compilers, against the Lua 5.1.5 of a preset build:
--
--   OSB_ROOT=$PWD OSB_ARCH=x86_64 LUAROCKS_CONFIG=$PWD/tests/pkg/luarocks-mingw.lua \
--       luarocks make --tree /tmp/rocks osbridge-1.0.42-1.rockspec
--
-- OSB_ARCH is x86_64 or i686; the preset build of that architecture (or the
-- folder OSB_LUA_BUILD names) must exist already: its include/ and lua51.dll.
local root = os_getenv("OSB_ROOT") or "."
local cpu = os_getenv("OSB_ARCH") or "x86_64"
local triplet = cpu .. "-w64-mingw32"
local lua_build = os_getenv("OSB_LUA_BUILD") or (root .. "/build/" .. cpu)

-- LuaRocks' own file handling stays Unix; the target is MinGW.
platforms = { "unix", "mingw32" }
arch = cpu == "i686" and "win32-x86" or "win32-x86_64"
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
   LUALIB = "lua51.dll",
}
-- For the tests of binary rocks: no build tool at all.
if os_getenv("OSB_ROCK_NO_TOOLS") then
   variables.CMAKE, variables.CC, variables.LD, variables.MAKE = "false", "false", "false", "false"
end

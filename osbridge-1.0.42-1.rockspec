rockspec_format = "3.0"
package = "osbridge"
version = "1.0.42-1"
-- The module has no public address: its source is the release's own archive,
-- which the source rock (osbridge-1.0.42-1.src.rock) holds beside this file.
source = {
   url = "osbridge-1.0.42.tar.gz",
}
description = {
   summary = "Drive Windows from Lua 5.1 to 5.5: windows, keys, registry, files, processes and more",
   detailed = [[
      A module for Lua 5.1 to 5.5 and LuaJIT on Windows: find, move and focus windows; synthesize keys
      and register hot keys; read and write the registry; copy, move and delete files; start,
      list and end processes; message boxes, a password dialog, the clipboard and sounds;
      power, locale and system metrics; dial-up connections, the URL cache, the root
      certificate store and raw printing; CRC-16 and hexadecimal text.
   ]],
   license = "MIT",
   labels = { "windows", "win32", "system" },
}
supported_platforms = { "windows", "mingw32" }
dependencies = { "lua >= 5.1, < 5.6" }
build = {
   type = "cmake",
   -- The project's CMake build takes the Lua that LuaRocks names, builds only
   -- the module, and installs it into the rock's lib folder.
   variables = {
      CMAKE_BUILD_TYPE = "Release",
      -- The sources compiled in a few batches: a fifth of the time.
      CMAKE_UNITY_BUILD = "ON",
      CMAKE_INSTALL_PREFIX = "$(PREFIX)",
      LUA_INCLUDE_DIR = "$(LUA_INCDIR)",
      LUA_LIBRARIES = "$(LUA_LIBDIR)/$(LUALIB)",
      OSBRIDGE_INSTALL_LIBDIR = "$(LIBDIR)",
   },
   copy_directories = { "docs" },
}

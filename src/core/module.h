#pragma once

#include "core/lua_compat.h"

#include "core/bindings.h"

namespace osbridge {

// The loader's work with the entry points taken from `loader`; the exported
// luaopen_osbridge runs it with the system's own.
int open_module(lua_State* L, Loader& loader);

} // namespace osbridge

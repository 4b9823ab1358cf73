// What the registry functions share with their tests.
#pragma once

#include <windows.h>

namespace osbridge {

// Values up to this many bytes are read in one query into a stack block.
constexpr DWORD reg_value_stack_bytes = 512;

} // namespace osbridge

#pragma once

#include <cstdint>

namespace osbridge {

struct Constant {
    const char* name;
    uint32_t value;
};

// Both end with a row whose name is null.
extern const Constant unsigned_constants[];
extern const Constant signed_constants[];

} // namespace osbridge

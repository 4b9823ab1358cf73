// The existence test of file_exist, shared with exec's check of its program.
#pragma once

#include <windows.h>

namespace osbridge {

// True for a file named by text in `code_page` that exists and can be opened
// for reading; false for a directory, a missing or unreadable file, and "".
bool file_exists(const char* path, UINT code_page);

} // namespace osbridge

// The existence test of file_exist, shared with exec's check of its program.
#pragma once

namespace osbridge {

// True for a file named by ANSI text that exists and can be opened for
// reading; false for a directory, a missing or unreadable file, and "".
bool file_exists(const char* path);

} // namespace osbridge

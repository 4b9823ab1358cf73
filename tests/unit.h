// A small test harness in the manner of Wine's tests: ok(condition, format,
// ...) with messages that carry the values actually seen.
#pragma once

#include <cstdarg>

namespace unit {

using TestFunction = void (*)();

struct Registration {
    Registration(const char* name, TestFunction function);
};

void ok_at(const char* file, int line, bool condition, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Marks the running test skipped, saying why (a limitation of the system it
// runs on, never of the module); the test returns right after.
void skip(const char* reason);

} // namespace unit

#define TEST(name)                                                   \
    static void name();                                              \
    static const unit::Registration name##_registration(#name, name); \
    static void name()

#define ok(condition, ...) unit::ok_at(__FILE__, __LINE__, (condition), __VA_ARGS__)

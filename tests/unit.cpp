#include "unit.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace unit {
namespace {

struct Test {
    const char* name;
    TestFunction function;
};

std::vector<Test>& tests()
{
    static std::vector<Test> all;
    return all;
}

int failures_in_test;

} // namespace

Registration::Registration(const char* name, TestFunction function)
{
    tests().push_back({name, function});
}

void ok_at(const char* file, int line, bool condition, const char* format, ...)
{
    if (condition)
        return;
    ++failures_in_test;
    const char* base = std::strrchr(file, '/');
    std::printf("%s:%d: Test failed: ", base ? base + 1 : file, line);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
}

} // namespace unit

int main(int argc, char** argv)
{
    int passed = 0;
    int failed = 0;
    for (const unit::Test& test : unit::tests()) {
        if (argc > 1 && std::strcmp(argv[1], test.name) != 0)
            continue;
        unit::failures_in_test = 0;
        test.function();
        if (unit::failures_in_test) {
            ++failed;
            std::printf("FAIL %s\n", test.name);
        } else {
            ++passed;
        }
        std::fflush(stdout);
    }
    std::printf("unit tests: %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

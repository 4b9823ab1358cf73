#include "unit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
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
const char* skipped_because;

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

void skip(const char* reason)
{
    skipped_because = reason;
}

} // namespace unit

namespace {

// With arguments, only the tests whose names begin with one of them run.
bool selected(const char* name, int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(name, argv[i], std::strlen(argv[i])) == 0)
            return true;
    return argc < 2;
}

// The harness names the test that was running when the suite outlives its
// bound: OSB_PROGRESS is a file that holds the name of the one that started last.
void note_start(const char* name)
{
    const char* progress = std::getenv("OSB_PROGRESS");
    if (progress && *progress)
        std::ofstream(progress) << name;
}

} // namespace

// Under the harness, which sets OSB_PROGRESS, the file names this test.
TEST(unit_runner_names_the_running_test)
{
    const char* progress = std::getenv("OSB_PROGRESS");
    if (!progress || !*progress)
        return;
    std::string name;
    std::getline(std::ifstream(progress), name);
    ok(name == "unit_runner_names_the_running_test", "OSB_PROGRESS holds \"%s\"", name.c_str());
}

//   osbridge_tests [NAME_PREFIX...]
int main(int argc, char** argv)
{
    int passed = 0;
    int failed = 0;
    for (const unit::Test& test : unit::tests()) {
        if (!selected(test.name, argc, argv))
            continue;
        unit::failures_in_test = 0;
        unit::skipped_because = nullptr;
        note_start(test.name);
        test.function();
        if (unit::skipped_because && !unit::failures_in_test) {
            std::printf("skipped: %s: %s\n", test.name, unit::skipped_because);
        } else if (unit::failures_in_test) {
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

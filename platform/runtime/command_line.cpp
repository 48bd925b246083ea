// The program's start-up before main, which takes no arguments itself: glibc hands the command
// line to the functions in .init_array, so the platform reads it here. Linked into the program
// alone; the tests and benchmarks start the platform with arguments of their own.
#include "platform/runtime/start.h"

namespace {

void start(int argc, char** argv, char**) { start_platform(argc, argv); }

using start_function = void (*)(int, char**, char**);
__attribute__((section(".init_array"), used)) const start_function starter = start;

}  // namespace

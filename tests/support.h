// Shared test helpers: pictures compared within a tolerance (a difference picture is written on
// failure), child processes, and temporary directories.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct image {  // 8-bit RGB, top row first
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};
image read_png(const std::string& path);  // width 0 if it cannot be read

// Each channel of each pixel within the tolerance; on failure the worst pixel's expected and
// observed colours, and NAME.observed.png and NAME.diff.png in the build's failed-pictures/.
::testing::AssertionResult same_picture(const image& expected, const image& observed,
                                        const std::string& name, int tolerance = 3);

struct child {
    std::vector<std::string> argv, env;  // env: "NAME=value" sets, a bare "NAME" unsets
    std::string dir;
    int err_fd = -1;       // stderr; /dev/null if -1
    long file_limit = -1;  // RLIMIT_FSIZE
};
pid_t spawn(const child& c);  // stdin and stdout on /dev/null; its own process group; dies with the test

bool eventually(const std::function<bool()>& done, double seconds);  // polls every 10 ms
int wait_for_exit(pid_t& pid, double seconds);  // status (128 + signal), -1 if still running
void end_process(pid_t& pid, int signal);       // then SIGKILL after 5 s; always reaps

struct temp_dir {
    temp_dir();
    ~temp_dir();
    std::string path;
    std::string file(const std::string& name) const { return path + "/" + name; }
};
std::vector<std::string> list_dir(const std::string& path);  // sorted
std::string read_file(const std::string& path);

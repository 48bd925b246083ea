// Shared test helpers: pixel probes with a tolerance, PNG decoding, running the real binary,
// and (through harness/in_process.h) the program started in the test process.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "harness/in_process.h"  // start_scene: the engine, a fresh context per test

struct rgb {
    int r, g, b;
};

// An image with the top row first, 3 bytes per pixel.
struct image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    rgb at(int x, int y) const;
};

bool near(rgb a, rgb b, int tolerance);

// Compares each channel within the tolerance; on failure the message names the point and
// gives the expected and observed colours.
::testing::AssertionResult probe(const image& picture, int x, int y, rgb expected,
                                 int tolerance = 3);

// Decodes a PNG with libpng; fails the test if it is not 8-bit RGB.
image read_png(const std::string& path);

// Reads the current GL framebuffer (320 x 240) top row first.
image read_framebuffer();

struct run_result {
    int status = -1;  // exit status, or 128 + signal
    std::string err;
};

// Starts argv[0] in dir (if given) with the environment changed as run_program describes, stdin
// and stdout on /dev/null, stderr to err_fd (/dev/null when -1); keep_fd stays open in the
// child. The child is killed if the test process dies.
pid_t spawn_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    int err_fd = -1, int keep_fd = -1, const std::string& dir = "");

// Polls done() every 10 ms until it holds or the time is up; true if it held.
bool eventually(const std::function<bool()>& done, double seconds = 5);

// The exit status (or 128 + signal) once the process has ended, -1 if it is still running
// after the given time. pid becomes -1 once the process is reaped.
int wait_for_exit(pid_t& pid, double seconds);

// Sends the signal and reaps the process, killing it if it has not ended after 5 s.
void end_process(pid_t& pid, int signal);

// Runs the real binary in directory dir with extra environment entries "NAME=value" (an entry
// "NAME=" without value removes NAME). Kills it after timeout_s.
run_result run_program(const std::vector<std::string>& env, const std::string& dir,
                       int timeout_s = 60);

// A fresh temporary directory, removed with its contents at destruction.
struct temp_dir {
    temp_dir();
    ~temp_dir();
    std::string path;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

bool file_exists(const std::string& path);
std::vector<std::string> list_dir(const std::string& path);

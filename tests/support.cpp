#include "support.h"

#include <GL/gl.h>
#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>


extern char** environ;

rgb image::at(int x, int y) const {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
}

bool near(rgb a, rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

::testing::AssertionResult probe(const image& picture, int x, int y, rgb expected,
                                 int tolerance) {
    const rgb seen = picture.at(x, y);
    if (near(seen, expected, tolerance)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "Probe color at (" << x << "," << y << ")\n  Expected: " << expected.r << " "
           << expected.g << " " << expected.b << " (tolerance " << tolerance << ")\n  Observed: "
           << seen.r << " " << seen.g << " " << seen.b;
}

image read_png(const std::string& path) {
    image result;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        ADD_FAILURE() << "cannot decode " << path << ": " << png.message;
        return result;
    }
    EXPECT_EQ(png.format, static_cast<png_uint_32>(PNG_FORMAT_RGB)) << path << " is not 8-bit RGB";
    png.format = PNG_FORMAT_RGB;
    result.width = static_cast<int>(png.width);
    result.height = static_cast<int>(png.height);
    result.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, result.pixels.data(), 0, nullptr))
        ADD_FAILURE() << "cannot decode " << path << ": " << png.message;
    return result;
}

image read_framebuffer() {
    image result;
    result.width = 320;
    result.height = 240;
    std::vector<uint8_t> bottom_up(320 * 240 * 3);
    glReadPixels(0, 0, 320, 240, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    for (int y = 0; y < 240; ++y)
        result.pixels.insert(result.pixels.end(), bottom_up.begin() + (239 - y) * 960,
                             bottom_up.begin() + (240 - y) * 960);
    return result;
}

pid_t spawn_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    int err_fd, int keep_fd, const std::string& dir) {
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) entries.emplace_back(*e);
    for (const std::string& change : env) {
        const std::string name = change.substr(0, change.find('=') + 1);
        for (auto it = entries.begin(); it != entries.end();)
            it = it->compare(0, name.size(), name) == 0 ? entries.erase(it) : it + 1;
        if (change.size() > name.size()) entries.push_back(change);
    }
    std::vector<char*> envp, args;
    for (std::string& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv_copy = argv;
    for (std::string& a : argv_copy) args.push_back(a.data());
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(err_fd >= 0 ? err_fd : null, 2);
        if (keep_fd >= 0) fcntl(keep_fd, F_SETFD, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // nothing outlives a test that is killed
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

namespace {
int exit_status(int wait_status) {
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}
}  // namespace

bool eventually(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int wait_for_exit(pid_t& pid, double seconds) {
    if (pid <= 0) return -1;  // never waitpid(-1): that would reap some other child
    int status = 0;
    if (!eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds)) return -1;
    pid = -1;
    return exit_status(status);
}

void end_process(pid_t& pid, int signal) {
    if (pid <= 0) return;
    kill(pid, signal);
    if (wait_for_exit(pid, 5) < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

run_result run_program(const std::vector<std::string>& env, const std::string& dir,
                       int timeout_s) {
    int err_pipe[2];
    if (pipe2(err_pipe, O_CLOEXEC) != 0) return {};
    const pid_t pid = spawn_process({KAVEX_VIEW_PATH}, env, err_pipe[1], -1, dir);
    close(err_pipe[1]);
    run_result result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{err_pipe[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) == 0) {
            ADD_FAILURE() << "kavex-view did not finish within " << timeout_s << " s";
            kill(pid, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t got = read(err_pipe[0], buffer, sizeof buffer);
        if (got <= 0) break;
        result.err.append(buffer, got);
    }
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = exit_status(status);
    return result;
}

temp_dir::temp_dir() {
    char pattern[] = "/tmp/kavex-test-XXXXXX";
    path = mkdtemp(pattern);
}

temp_dir::~temp_dir() {
    for (const std::string& name : list_dir(path)) unlink(file(name).c_str());
    rmdir(path.c_str());
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> list_dir(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

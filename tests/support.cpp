#include "support.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <png.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

image read_png(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return {};
    png.format = PNG_FORMAT_RGB;
    image result{int(png.width), int(png.height), std::vector<uint8_t>(PNG_IMAGE_SIZE(png))};
    return png_image_finish_read(&png, nullptr, result.rgb.data(), 0, nullptr) ? result : image{};
}

static void save_png(const std::string& path, const image& picture) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = picture.width;
    png.height = picture.height;
    png.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&png, path.c_str(), 0, picture.rgb.data(), 0, nullptr);
}

::testing::AssertionResult same_picture(const image& expected, const image& observed,
                                        const std::string& name, int tolerance) {
    if (expected.width != observed.width || expected.height != observed.height)
        return ::testing::AssertionFailure() << name << ": expected " << expected.width << "x"
               << expected.height << ", observed " << observed.width << "x" << observed.height;
    image diff = expected;
    size_t worst = 0, beyond = 0;
    for (size_t i = 0, worst_d = 0; i < diff.rgb.size(); i += 3) {
        size_t d = 0;
        for (int c = 0; c < 3; ++c) d = std::max<size_t>(d, std::abs(expected.rgb[i + c] - observed.rgb[i + c]));
        if (d > worst_d) worst_d = d, worst = i;
        beyond += d > size_t(tolerance);
        for (int c = 0; c < 3; ++c) diff.rgb[i + c] = d > size_t(tolerance) ? 255 * !c : diff.rgb[i + c] / 4;
    }
    if (!beyond) return ::testing::AssertionSuccess();
    const std::string out = KAVEX_FAILED_PICTURES "/" + name;
    mkdir(KAVEX_FAILED_PICTURES, 0755);
    save_png(out + ".observed.png", observed);
    save_png(out + ".diff.png", diff);
    auto colour = [&](const image& p) { return std::to_string(p.rgb[worst]) + " " +
        std::to_string(p.rgb[worst + 1]) + " " + std::to_string(p.rgb[worst + 2]); };
    return ::testing::AssertionFailure() << name << ": " << beyond << " pixels differ by more than "
           << tolerance << "\nProbe color at (" << worst / 3 % diff.width << "," << worst / 3 / diff.width
           << ")\n  Expected: " << colour(expected) << "\n  Observed: " << colour(observed)
           << "\n  See " << out << ".observed.png and .diff.png";
}

pid_t spawn(const child& c) {
    std::vector<std::string> env, argv = c.argv;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (const std::string& change : c.env) {
        const std::string name = change.substr(0, change.find('=')) + "=";
        env.erase(std::remove_if(env.begin(), env.end(), [&](auto& e) { return !e.rfind(name, 0); }), env.end());
        if (change.size() >= name.size()) env.push_back(change);
    }
    std::vector<char*> envp, args;
    for (std::string& e : env) envp.push_back(e.data());
    for (std::string& a : argv) args.push_back(a.data());
    envp.push_back(nullptr);
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0), dup2(null, 1), dup2(c.err_fd >= 0 ? c.err_fd : null, 2);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    sigset_t none;  // a child of a background job would start with SIGINT ignored
    for (int s = 1; s < NSIG; ++s) signal(s, SIG_DFL);
    sigemptyset(&none), sigprocmask(SIG_SETMASK, &none, nullptr);
    setpgid(0, 0);  // a group of its own, so what it leaves behind can be found
    const rlimit limit{rlim_t(c.file_limit), rlim_t(c.file_limit)};
    if ((c.file_limit < 0 || !setrlimit(RLIMIT_FSIZE, &limit)) && (c.dir.empty() || !chdir(c.dir.c_str())))
        execve(args[0], args.data(), envp.data());
    _exit(127);
}

bool eventually(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (std::chrono::steady_clock::now() > end) return false;
    return true;
}

int wait_for_exit(pid_t& pid, double seconds) {
    int status = 0;
    if (pid <= 0 || !eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds)) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void end_process(pid_t& pid, int signal) {
    if (pid > 0 && (kill(pid, signal), wait_for_exit(pid, 5) < 0))
        kill(pid, SIGKILL), waitpid(pid, nullptr, 0), pid = -1;
}

temp_dir::temp_dir() : path("/tmp/kavex-test-XXXXXX") { mkdtemp(path.data()); }
temp_dir::~temp_dir() {
    nftw(path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16, FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> list_dir(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    for (dirent* e; dir && (e = readdir(dir));)
        if (e->d_name != std::string(".") && e->d_name != std::string("..")) names.emplace_back(e->d_name);
    if (dir) closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The real program under faults, one process per case: script files it cannot use, pictures it
// cannot save, and SIGINT or SIGTERM in the middle of a long headless run.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "support.h"

namespace {

using std::chrono::steady_clock;

const std::string headless = "KAVEX_PLATFORM=headless";

std::string error_line(const std::string& what) { return "kavex-view: " + what + "\n"; }

}  // namespace

TEST(faults, script_files_that_cannot_be_used_are_refused_without_waiting) {
    temp_dir dir;
    std::ofstream(dir.file("big.txt")) << std::string((1 << 20) + 1, '\n');
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);  // nobody ever writes to it
    std::ofstream(dir.file("locked.txt")) << "redraw\n";
    ASSERT_EQ(chmod(dir.file("locked.txt").c_str(), 0), 0);
    struct {
        std::string path;
        std::string error;
    } cases[] = {
        {dir.file("missing.txt"),
         "cannot read script file '" + dir.file("missing.txt") + "': No such file or directory"},
        {dir.path, "cannot read script file '" + dir.path + "': Is a directory"},
        {dir.file("big.txt"), "script file '" + dir.file("big.txt") + "' is larger than 1 MiB"},
        {dir.file("fifo"), "cannot read script file '" + dir.file("fifo") + "': not a regular file"},
        {"/dev/zero", "cannot read script file '/dev/zero': not a regular file"},
        {"/proc/self/mem", "cannot read script file '/proc/self/mem': Input/output error"},
        {"", "cannot read script file '': No such file or directory"},
        // Permissions do not stop root, so this case only counts for other users.
        {dir.file("locked.txt"), geteuid() == 0 ? "" : "cannot read script file '" +
                                     dir.file("locked.txt") + "': Permission denied"},
    };
    temp_dir work;
    for (const auto& c : cases) {
        if (c.error.empty()) continue;
        const run_result run = run_program({headless, "KAVEX_SCRIPT=@" + c.path}, work.path, 20);
        EXPECT_EQ(run.status, 2) << c.path;
        EXPECT_EQ(run.err, error_line(c.error));
        EXPECT_TRUE(list_dir(work.path).empty()) << c.path;
    }
}

TEST(faults, snaps_that_cannot_be_saved_leave_nothing_behind) {
    temp_dir dir;
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
    struct {
        const char* path;
        const char* error;  // what follows "cannot write 'PATH': "; the system's words vary
    } cases[] = {
        {"folder", "Is a directory"},
        {"/proc/kavex-view.png", nullptr},  // not writable, not even for root
        {"/sys/kavex-view.png", nullptr},
    };
    for (const auto& c : cases) {
        const run_result run =
            run_program({headless, std::string("KAVEX_SCRIPT=redraw; snap ") + c.path}, dir.path);
        EXPECT_EQ(run.status, 2) << c.path;
        const std::string prefix =
            std::string("kavex-view: script line 1: cannot write '") + c.path + "': ";
        EXPECT_EQ(run.err.substr(0, prefix.size()), prefix);
        if (c.error) {
            EXPECT_EQ(run.err, prefix + c.error + "\n");
        }
        EXPECT_EQ(list_dir(dir.path), std::vector<std::string>{"folder"}) << c.path;
        EXPECT_TRUE(list_dir(dir.file("folder")).empty()) << c.path;
    }
    rmdir(dir.file("folder").c_str());
}

namespace {

// The real binary in the background on a headless script, stderr into a file.
class background_run {
public:
    background_run(const std::string& script, const std::string& dir) : err_path_(dir + ".err") {
        const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_ = spawn_process({KAVEX_VIEW_PATH},
                             {"KAVEX_PLATFORM=headless", "KAVEX_SCRIPT=" + script}, err, -1, dir);
        close(err);
    }
    ~background_run() {
        end_process(pid_, SIGKILL);
        unlink(err_path_.c_str());
    }

    bool wait_for_file(const std::string& path, double seconds) {
        return eventually([&] { return file_exists(path); }, seconds);
    }

    // Waits for the process to end: its exit status (128 + signal), or -1 after the time.
    int wait_for_exit(double seconds) { return ::wait_for_exit(pid_, seconds); }

    void signal(int number) const { kill(pid_, number); }

    std::string err() const {
        std::ifstream in(err_path_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    pid_t pid_;
    std::string err_path_;
};

}  // namespace

TEST(faults, sigint_and_sigterm_close_a_long_headless_run) {
    for (int number : {SIGINT, SIGTERM}) {
        temp_dir dir;
        background_run run("redraw 5; snap started.png; redraw 1000000; snap finished.png",
                           dir.path);
        ASSERT_TRUE(run.wait_for_file(dir.file("started.png"), 60))
            << "the run did not get going: " << run.err();
        const auto sent = steady_clock::now();
        run.signal(number);
        // Ending takes one frame and the clean-up; a second leaves room for a busy machine.
        const int status = run.wait_for_exit(1);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            steady_clock::now() - sent);
        EXPECT_EQ(status, 0) << strsignal(number) << ": the run did not close within 1 s (took "
                             << took.count() << " ms, status " << status << ")";
        EXPECT_EQ(run.err(), "");
        EXPECT_EQ(list_dir(dir.path), std::vector<std::string>{"started.png"});
    }
}

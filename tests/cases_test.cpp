// The real program, one process per case, from the tables in tests/cases/ (their format is in
// tests/cases/README.md): the environment and script of each run, and what must come of it.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "support.h"

namespace {

struct test_case {
    std::string name;
    std::vector<std::pair<std::string, std::string>> lines;  // directive, argument
};
void PrintTo(const test_case& c, std::ostream* out) { *out << c.name; }

std::vector<test_case> load_cases() {
    std::vector<test_case> cases;
    for (const std::string& file : list_dir(KAVEX_SOURCE_DIR "/tests/cases")) {
        std::ifstream in(KAVEX_SOURCE_DIR "/tests/cases/" + file);
        for (std::string line; file.find(".txt") != std::string::npos && std::getline(in, line);) {
            const auto space = std::min(line.find(' '), line.size());
            if (line[0] == '[')
                cases.push_back({std::regex_replace(file.substr(0, file.size() - 4) + "_" +
                                 line.substr(1, line.size() - 2), std::regex("[^A-Za-z0-9]"), "_"), {}});
            else if (!line.empty() && line[0] != '#' && !cases.empty())
                cases.back().lines.emplace_back(line.substr(0, space), line.substr(std::min(space + 1, line.size())));
        }
    }
    return cases;
}

// {dir}, {src}, {fault} and {name:N} (N bytes) are replaced; \n, \t, \e, \0 and \\ are escapes.
std::string expand(std::string s, const std::string& dir) {
    for (size_t at; (at = s.find("{name:")) != std::string::npos;) s.replace(at, s.find('}', at) + 1 - at, std::stoul(s.substr(at + 6)), 'n');
    for (auto [key, value] : {std::pair<std::string, std::string>{"{dir}", dir}, {"{src}", KAVEX_SOURCE_DIR},
                              {"{fault}", FAULT_INJECT_PATH}})
        for (size_t at; (at = s.find(key)) != std::string::npos;) s.replace(at, key.size(), value);
    const std::string escapes = "nte\\0", meanings("\n\t\x1b\\", 5);
    for (size_t i = 0; (i = s.find('\\', i)) != std::string::npos && i + 1 < s.size(); ++i)
        if (escapes.find(s[i + 1]) != std::string::npos) s.replace(i, 2, 1, meanings[escapes.find(s[i + 1])]);
    return s;
}

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    return {std::istream_iterator<std::string>(in), {}};
}

class program : public ::testing::TestWithParam<test_case> {};

TEST_P(program, run) {
    temp_dir dir;
    child c{{KAVEX_VIEW_PATH}, {"KAVEX_PLATFORM=headless", "KAVEX_SCRIPT", "KAVEX_RECORD", "KAVEX_SCALE",
            "DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, dir.path};
    int status = 0, seen_status = -1, signal_number = 0;
    std::string err, signal_when;
    bool closed = false;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> pictures, modes;
    std::map<std::string, std::string> texts;  // file: its lines
    for (const auto& [what, raw] : GetParam().lines) {
        const std::string arg = expand(raw, dir.path), path = dir.file(words(arg + " -")[0]);
        const auto w = words(arg);
        if (what == "env") c.env.push_back(arg);
        else if (what == "script") c.env.push_back("KAVEX_SCRIPT=" + arg);
        else if (what == "status") status = std::stoi(arg);
        else if (what == "stderr") err += arg.size() > 1 && arg.substr(arg.size() - 2) == "\\c" ? arg.substr(0, arg.size() - 2) : arg + "\n";
        else if (what == "files") files.insert(files.end(), w.begin(), w.end());
        else if (what == "picture") pictures.emplace_back(w.at(0), w.at(1));
        else if (what == "text") texts[w.at(0)] += arg.substr(w[0].size() + 1) + "\n";
        else if (what == "mode") modes.emplace_back(w.at(0), w.at(1));
        else if (what == "file-limit") c.file_limit = std::stol(arg);
        else if (what == "stderr-closed") closed = true;
        else if (what == "signal") {
            for (int n = 1; n < 32; ++n) signal_number = w.at(0) == sigabbrev_np(n) ? n : signal_number;
            signal_when = w.at(1);
        } else if (what == "setup" && w.at(0) == "dir") ASSERT_EQ(mkdir(dir.file(w.at(1)).c_str(), 0755), 0);
        else if (what == "setup" && (w[0] == "fifo" || w[0] == "device" || w[0] == "socket")) {
            if (mknod(dir.file(w.at(1)).c_str(), (w[0] == "fifo" ? S_IFIFO : w[0] == "device" ? S_IFCHR : S_IFSOCK) | 0600, 0))
                GTEST_SKIP() << "cannot make " << w[0] << ": " << strerror(errno);
        } else if (what == "setup" && w[0] == "link") ASSERT_EQ(symlink(w.at(2).c_str(), dir.file(w.at(1)).c_str()), 0);
        else if (what == "setup" && w[0] == "hardlink") ASSERT_EQ(link(dir.file(w.at(2)).c_str(), dir.file(w.at(1)).c_str()), 0);
        else if (what == "setup" && w[0] == "chmod") ASSERT_EQ(chmod(dir.file(w.at(1)).c_str(), std::stoul(w.at(2), nullptr, 8)), 0);
        else if (what == "setup" && w[0] == "file") {
            int at = 0;  // where TEXT starts
            sscanf(arg.c_str(), "%*s %*s %*d %n", &at);
            for (std::ofstream out(dir.file(w.at(1))); at > 0 && out.tellp() < std::stol(w.at(2));) out << arg.substr(at) << '\n';
        }
        else FAIL() << "unknown directive " << what << " " << arg;
    }
    for (const auto& p : pictures) files.push_back(p.first);
    for (const auto& t : texts) files.push_back(t.first);
    for (const auto& f : list_dir(dir.path)) files.push_back(f);

    int fds[2] = {-1, -1};
    const std::string err_path = dir.path + ".stderr";  // beside the working directory
    if (closed) {  // a pipe nobody reads
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        close(fds[0]);
    }
    c.err_fd = closed ? fds[1] : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_t pid = spawn(c);
    close(c.err_fd);
    eventually([&] {
        if (!signal_when.empty() && !access(dir.file(signal_when).c_str(), F_OK)) kill(pid, signal_number), signal_when.clear();
        return (seen_status = wait_for_exit(pid, 0)) >= 0;
    }, 60);
    end_process(pid, SIGKILL);
    const std::string seen_err = read_file(err_path);
    unlink(err_path.c_str());
    EXPECT_EQ(signal_when, "") << "it never appeared, so no signal was sent";
    EXPECT_EQ(seen_status, status) << "(-1: still running after 60 s) stderr: " << seen_err;
    auto pattern = [](const std::string& text) { std::string p;
        for (char ch : text) p += ch == '*' ? "[^\n]*" : std::isalnum(ch) || ch == '\n' ? std::string(1, ch) : "\\" + std::string(1, ch);
        return std::regex(p); };
    EXPECT_TRUE(std::regex_match(seen_err, pattern(err))) << "stderr expected:\n" << err << "observed:\n" << seen_err;
    for (const auto& [file, text] : texts)
        EXPECT_TRUE(std::regex_match(read_file(dir.file(file)), pattern(text))) << file << " expected:\n" << text << "observed:\n" << read_file(dir.file(file));
    std::sort(files.begin(), files.end()), files.erase(std::unique(files.begin(), files.end()), files.end());
    EXPECT_EQ(list_dir(dir.path), files);
    struct stat st {};
    for (const auto& [file, mode] : modes)
        EXPECT_EQ(lstat(dir.file(file).c_str(), &st) ? 0 : st.st_mode, std::stoul(mode, nullptr, 8)) << file;
    for (const auto& [file, golden] : pictures) {
        const std::string expected = KAVEX_SOURCE_DIR "/" + golden, observed = read_file(dir.file(file));
        if (getenv("KAVEX_UPDATE_PICTURES") && read_file(expected) != observed)
            std::ofstream(expected, std::ios::binary) << observed, printf("updated %s\n", golden.c_str());
        EXPECT_TRUE(same_picture(read_png(expected), read_png(dir.file(file)),
                                 golden.substr(golden.rfind('/') + 1, golden.size() - golden.rfind('/') - 5)));
    }
}

INSTANTIATE_TEST_SUITE_P(cases, program, ::testing::ValuesIn(load_cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace

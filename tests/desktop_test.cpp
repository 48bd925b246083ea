// The real program on a real display: a private Xvfb per case, driven as a user and a window
// manager would, through Xlib and XTest. Every wait is for a condition, with a generous deadline.
#include "support.h"  // before Xlib, whose macros clash with GoogleTest

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

const char* const title = "Kavex Mesa/OpenGL View";

class desktop : public ::testing::Test {
protected:
    void TearDown() override {
        end_process(program_, SIGKILL);
        end_process(desktop_, SIGTERM);
        if (display_) XCloseDisplay(display_);
        end_process(server_, SIGTERM);
    }

    // Xvfb picks a free display itself and writes its number once it listens.
    void start_x() {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        server_ = spawn({{"/usr/bin/Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                          "1024x768x24", "-nolisten", "tcp"}, {}, "", -1, -1});
        close(ready[1]);
        std::string number;
        pollfd fd{ready[0], POLLIN, 0};
        for (char c; poll(&fd, 1, 20000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n';) number += c;
        close(ready[0]);
        ASSERT_NE(number, "") << "Xvfb did not start";
        display_name_ = ":" + number;
        ASSERT_TRUE(display_ = XOpenDisplay(display_name_.c_str()));
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // windows may vanish
    }

    // On the X server: a window manager, or a Wayland compositor whose display is "wl".
    void start_desktop(const std::vector<std::string>& argv) {
        desktop_ = spawn({argv, {"DISPLAY=" + display_name_, "XDG_RUNTIME_DIR=" + dir_.path}, "", -1, -1});
        const Atom wm = XInternAtom(display_, "_NET_CLIENT_LIST", False);  // openbox has started
        ASSERT_TRUE(eventually([&] { Atom t; int f; unsigned long n = 0, a; unsigned char* d = nullptr;
            XGetWindowProperty(display_, DefaultRootWindow(display_), wm, 0, 1, False, AnyPropertyType, &t, &f, &n, &a, &d);
            return XFree(d), t != None || access(dir_.file("wl").c_str(), F_OK) == 0; }, 30)) << argv[0] << " did not start";
    }

    void start_program(std::vector<std::string> env = {}) {
        env.insert(env.begin(), {"DISPLAY=" + display_name_, "KAVEX_PLATFORM", "KAVEX_RECORD", "KAVEX_SCALE", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
        const int err = open(dir_.file("stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        program_ = spawn({{KAVEX_VIEW_PATH}, env, dir_.path, err});
        close(err);
    }

    // The program's window (or another by its title), wherever a window manager has put it.
    Window find_window(Window under, const std::string& wanted = title) {
        XTextProperty name{};
        const bool ours = XGetWMName(display_, under, &name) && std::string((char*)name.value, name.nitems) == wanted;
        XFree(name.value);
        if (ours) return under;
        Window root, parent, *children = nullptr, found = 0;
        unsigned count = 0;
        if (XQueryTree(display_, under, &root, &parent, &children, &count))
            for (unsigned i = 0; i < count && !found; ++i) found = find_window(children[i], wanted);
        if (children) XFree(children);
        return found;
    }

    void await_window() {
        ASSERT_TRUE(eventually([&] { return (window_ = find_window(DefaultRootWindow(display_))) != 0; }, 30))
            << "no window titled \"" << title << "\"; stderr: " << err();
        XWindowAttributes a;
        ASSERT_TRUE(eventually([&] { return XGetWindowAttributes(display_, window_, &a) && a.map_state == IsViewable; }, 30));
        XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
        XSync(display_, False);
    }

    image grab(Window w, int width = 320, int height = 240, int x = 0, int y = 0) {
        image result{width, height, {}};
        XImage* shot = XGetImage(display_, w, x, y, width, height, AllPlanes, ZPixmap);
        if (!shot) return {};
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column) {
                const unsigned long pixel = XGetPixel(shot, column, row);
                for (unsigned long mask : {shot->red_mask, shot->green_mask, shot->blue_mask})
                    result.rgb.push_back(static_cast<uint8_t>(pixel / (mask & ~(mask << 1)) & 0xFF));
            }
        XDestroyImage(shot);
        return result;
    }

    void key(KeySym symbol, int times = 1) {
        for (int i = 0; i < times; ++i)
            for (bool down : {true, false})
                XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, symbol), down, CurrentTime);
        XSync(display_, False);
    }

    // What a window manager sends when the user closes the window.
    void ask_to_close() {
        XEvent e{};
        e.xclient = {ClientMessage, 0, True, display_, window_, XInternAtom(display_, "WM_PROTOCOLS", False), 32, {}};
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        XSendEvent(display_, window_, False, NoEventMask, &e);
        XSync(display_, False);
    }

    // The picture stands still: the same over a tenth of a second, three times running.
    bool still() {
        int same = 0;
        return eventually([&] {
            const image a = grab(window_);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return (same = grab(window_).rgb == a.rgb ? same + 1 : 0) == 3;
        }, 30);
    }

    std::string err() const { return read_file(dir_.file("stderr")); }

    long cpu_ticks() const {  // utime + stime
        const std::string stat = read_file("/proc/" + std::to_string(program_) + "/stat");
        long user = 0, system = 0;
        sscanf(stat.c_str() + stat.rfind(')'), ") %*c%*d%*d%*d%*d%*d%*u%*u%*u%*u%*u%ld%ld", &user, &system);
        return user + system;
    }

    temp_dir dir_;
    std::string display_name_;
    pid_t server_ = -1, program_ = -1, desktop_ = -1;
    Display* display_ = nullptr;
    Window window_ = 0;
};

int count(const image& picture, bool (*match)(const uint8_t*)) {
    int n = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) n += match(picture.at(x, y));
    return n;
}
bool pattern_blue(const uint8_t* p) { return p[0] < 4 && p[1] < 4 && p[2] > 116 && p[2] < 124; }
bool covered(const uint8_t* p) { return p[0] != 26 || p[1] != 26 || p[2] != 26; }
bool background(const uint8_t* p) { return !covered(p); }

}  // namespace

TEST_F(desktop, x11_window_shows_the_box_takes_keys_and_closes) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_program());
    ASSERT_NO_FATAL_FAILURE(await_window());
    XWindowAttributes a;
    Window child;
    int x = 0, y = 0;
    XGetWindowAttributes(display_, window_, &a);
    XTranslateCoordinates(display_, window_, a.root, 0, 0, &x, &y, &child);
    EXPECT_EQ(std::vector<int>({x, y, a.width, a.height}), std::vector<int>({200, 60, 320, 240}));
    EXPECT_TRUE(eventually([&] { return covered(grab(window_).at(160, 120)); }, 30)) << "no box";
    key(XK_t);
    EXPECT_TRUE(eventually([&] { return count(grab(window_), pattern_blue) > 100; }, 30)) << "t shows no pattern";
    key(XK_space);
    EXPECT_TRUE(still()) << "space does not stop the spin";
    const int near = count(grab(window_), covered);
    key(XK_Page_Up, 10);  // 5.5 units away instead of 5: about (5 / 5.5)^2 of the area
    EXPECT_TRUE(eventually([&] { return count(grab(window_), covered) < near * 0.9; }, 30)) << "Page Up does not move it away";
    ask_to_close();
    EXPECT_EQ(wait_for_exit(program_, 30), 0);
    EXPECT_EQ(err(), "");
}

TEST_F(desktop, a_lost_display_ends_the_program_with_one_line) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_program());
    ASSERT_NO_FATAL_FAILURE(await_window());
    XCloseDisplay(display_);
    display_ = nullptr;
    end_process(server_, SIGTERM);
    EXPECT_EQ(wait_for_exit(program_, 30), 1);
    EXPECT_EQ(err(), "kavex-view: lost the connection to the display\n");
}

TEST_F(desktop, a_recorded_session_replays_headless_to_the_last_picture) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_program({"KAVEX_RECORD=" + dir_.file("session")}));
    ASSERT_NO_FATAL_FAILURE(await_window());
    for (KeySym symbol : {XK_t, XK_m, XK_Left, XK_Page_Down, XK_b, XK_Up, XK_space}) key(symbol);
    // The record has the space once every key before it has been drawn (new switch states take
    // llvmpipe a while to compile, and the picture stands still meanwhile); then it stands still.
    ASSERT_TRUE(eventually([&] { return read_file(dir_.file("session")).find("\nkey space\n") != std::string::npos; }, 30));
    ASSERT_TRUE(still()) << "space does not stop the spin";
    const image shown = grab(window_);
    ask_to_close();
    ASSERT_EQ(wait_for_exit(program_, 30), 0) << err();
    std::string record = read_file(dir_.file("session"));
    for (const char* line : {"\nkey t\n", "\nkey m\n", "\ncode 100\n", "\ncode 53\n", "\nkey b\n", "\ncode 98\n", "\nkey space\n"})
        EXPECT_NE(record.find(line), std::string::npos) << line << " is not in " << record;
    ASSERT_EQ(record.substr(record.size() - 6), "close\n") << record;
    std::ofstream(dir_.file("replay")) << record.replace(record.size() - 6, 6, "snap replay.png\n");
    pid_t replay = spawn({{KAVEX_VIEW_PATH}, {"KAVEX_PLATFORM=headless", "KAVEX_SCRIPT=@replay", "KAVEX_RECORD"}, dir_.path});
    ASSERT_EQ(wait_for_exit(replay, 60), 0);
    EXPECT_TRUE(same_picture(shown, read_png(dir_.file("replay.png")), "replay", 0)) << record;
}

TEST_F(desktop, pure_wayland_in_weston_shows_the_box_takes_keys_and_ends_on_sigterm) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_desktop({"/usr/bin/weston", "--backend=x11-backend.so", "--socket=wl", "--idle-time=0"}));  // no Xwayland
    ASSERT_NO_FATAL_FAILURE(start_program({"DISPLAY", "WAYLAND_DISPLAY=wl", "XDG_RUNTIME_DIR=" + dir_.path}));
    // weston draws its output into a window on the X server; keys reach it under the pointer.
    const Window root = DefaultRootWindow(display_);
    EXPECT_TRUE(eventually([&] { return count(grab(root, 1024, 768), background) > 20000; }, 60)) << "no picture; " << err();
    XTestFakeMotionEvent(display_, -1, 400, 300, CurrentTime);
    key(XK_t);
    EXPECT_TRUE(eventually([&] { return count(grab(root, 1024, 768), pattern_blue) > 100; }, 30)) << "t shows no pattern";
    kill(program_, SIGTERM);
    EXPECT_EQ(wait_for_exit(program_, 30), 0) << err();
}

TEST_F(desktop, under_openbox_an_icon_whole_pixel_scaling_rest_when_iconified_and_a_fatal_box_that_obeys_sigterm) {
    ASSERT_NO_FATAL_FAILURE(start_x());
    ASSERT_NO_FATAL_FAILURE(start_desktop({"/usr/bin/openbox"}));
    ASSERT_NO_FATAL_FAILURE(start_program({"KAVEX_SCALE=2"}));
    ASSERT_NO_FATAL_FAILURE(await_window());
    Atom type;
    int format;
    unsigned long n = 0, after;
    long* icon = nullptr;  // width, height, pixels
    XGetWindowProperty(display_, window_, XInternAtom(display_, "_NET_WM_ICON", False), 0, 2, False, XA_CARDINAL, &type, &format, &n, &after, (unsigned char**)&icon);
    EXPECT_TRUE(n == 2 && icon[0] >= 32 && icon[1] >= 32 && after > 0) << "no icon of 32 x 32 or more";
    XFree(icon);
    XWindowAttributes a;
    XGetWindowAttributes(display_, window_, &a);
    EXPECT_EQ(std::vector<int>({a.width, a.height}), std::vector<int>({640, 480}));
    image big;
    EXPECT_TRUE(eventually([&] { return count(big = grab(window_, 640, 480), covered) > 20000; }, 30)) << "no box";
    for (int i = 0; i < 640 * 480; ++i)  // each pixel of the view a 2 x 2 block
        ASSERT_EQ(memcmp(big.at(i % 640, i / 640), big.at(i % 640 & ~1, i / 640 & ~1), 3), 0) << "pixel " << i;

    // Iconified, it rests: a second with at most one tick (10 ms) of CPU, where drawing takes
    // several; restored, the spin goes on.
    XIconifyWindow(display_, window_, DefaultScreen(display_));
    XSync(display_, False);
    EXPECT_TRUE(eventually([&] {
        const long before = cpu_ticks();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return cpu_ticks() - before <= 1;
    }, 30)) << "it does not rest while iconified";
    XMapWindow(display_, window_);
    XSync(display_, False);
    EXPECT_TRUE(eventually([&] {
        const image first = grab(window_, 640, 480);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return first.width && grab(window_, 640, 480).rgb != first.rgb;
    }, 30)) << "the spin does not resume";
    kill(program_, SIGTERM);
    EXPECT_EQ(wait_for_exit(program_, 30), 0);

    // The engine fails: SIGTERM while the "Fatal error" box is up ends the program with status 1
    // and leaves neither the box nor a process (orphans come to this process, which reaps them).
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    ASSERT_NO_FATAL_FAILURE(start_program({"LD_PRELOAD=" FAULT_INJECT_PATH, "KAVEX_TEST_FAULT=display"}));
    const pid_t group = program_;
    ASSERT_TRUE(eventually([&] { return find_window(DefaultRootWindow(display_), "Fatal error") != 0; }, 30)) << err();
    kill(program_, SIGTERM);
    EXPECT_EQ(wait_for_exit(program_, 30), 1);
    EXPECT_TRUE(eventually([&] { while (waitpid(-group, nullptr, WNOHANG) > 0) {} return kill(-group, 0) != 0; }, 30));
    EXPECT_TRUE(eventually([&] { return find_window(DefaultRootWindow(display_), "Fatal error") == 0; }, 30));
    EXPECT_EQ(err(), "Fatal error: Unable to intialize mesa engine\n");
}

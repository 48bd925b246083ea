// The real program in a real window: each case starts its own Xvfb (no window manager), runs
// the binary on it and plays the window manager and the user through Xlib and XTest.
#include "support.h"  // before Xlib, whose macros (None, Bool, ...) clash with GoogleTest

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>


namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const char* const title = "Kavex Mesa/OpenGL View";
const rgb background = {26, 26, 26};
const rgb pattern_blue = {0, 0, 120};  // the texture's squares, exact in decal mode
const rgb red = {230, 51, 51};         // the front face's bottom-left corner

struct area {
    int x0, y0, x1, y1;  // x1 and y1 excluded
};
const area whole = {0, 0, 320, 240};

int count(const image& picture, const std::function<bool(rgb)>& match, area where = whole) {
    int n = 0;
    for (int y = where.y0; y < where.y1; ++y)
        for (int x = where.x0; x < where.x1; ++x) n += match(picture.at(x, y));
    return n;
}

int count_near(const image& picture, rgb colour, int tolerance, area where = whole) {
    return count(picture, [&](rgb c) { return near(c, colour, tolerance); }, where);
}

// Pixels the box covers.
int covered(const image& picture) {
    return count(picture, [](rgb c) { return !near(c, background, 3); });
}

std::string window_title(Display* display, Window window) {
    const Atom net_name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long items, left;
    unsigned char* data = nullptr;
    std::string result;
    if (XGetWindowProperty(display, window, net_name, 0, 1024, False, utf8, &type, &format,
                           &items, &left, &data) == Success &&
        data) {
        result.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
        return result;
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        result = name;
        XFree(name);
    }
    return result;
}

class x11_window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(start_server());
        ASSERT_NO_FATAL_FAILURE(start_program());
        ASSERT_NO_FATAL_FAILURE(find_window());
    }

    void TearDown() override {
        end_process(program_, SIGKILL);
        if (display_) XCloseDisplay(display_);
        end_process(server_, SIGTERM);
    }

    // Xvfb picks a free display itself and writes its number on the pipe once it listens.
    void start_server() {
        int ready[2];
        ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
        server_ = spawn_process({"/usr/bin/Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                         "640x480x24", "-nolisten", "tcp"},
                        {}, -1, ready[1]);
        close(ready[1]);
        std::string number;
        pollfd fd{ready[0], POLLIN, 0};
        char c;
        while (poll(&fd, 1, 10000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        close(ready[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display_name_ = ":" + number;
        display_ = XOpenDisplay(display_name_.c_str());
        ASSERT_NE(display_, nullptr) << "cannot connect to Xvfb on " << display_name_;
        // Xlib's default ends the test on an error, such as a window that went away while it
        // was being looked at; the calls' results tell enough.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(display_, &event, &error, &major, &minor));
    }

    void start_program() {
        err_path_ = dir_.file("stderr");
        const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(err, 0);
        program_ = spawn_process({KAVEX_VIEW_PATH},
                         {"DISPLAY=" + display_name_, "KAVEX_PLATFORM=", "WAYLAND_DISPLAY=",
                          "SDL_VIDEODRIVER="},
                         err);
        close(err);
    }

    // Without a window manager the window is a child of the root, placed where it asked.
    void find_window() {
        const bool found = eventually(
            [&] {
                Window root, parent, *children = nullptr;
                unsigned count = 0;
                XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children,
                           &count);
                for (unsigned i = 0; i < count && !window_; ++i) {
                    XWindowAttributes attributes;
                    if (window_title(display_, children[i]) == title &&
                        XGetWindowAttributes(display_, children[i], &attributes) &&
                        attributes.map_state == IsViewable)
                        window_ = children[i];
                }
                if (children) XFree(children);
                return window_ != 0;
            },
            15);
        ASSERT_TRUE(found) << "no viewable window titled \"" << title << "\"; stderr: " << err();
        // Focus, as a window manager gives it to a new window.
        XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
        XSync(display_, False);
    }

    std::string err() const {
        std::ifstream in(err_path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The window's picture, top row first.
    image grab() {
        image result;
        XImage* shot = XGetImage(display_, window_, 0, 0, 320, 240, AllPlanes, ZPixmap);
        if (!shot) {
            ADD_FAILURE() << "cannot read the window";
            return result;
        }
        result.width = shot->width;
        result.height = shot->height;
        auto channel = [](unsigned long pixel, unsigned long mask) {
            int shift = 0;
            while (mask && !(mask & 1)) mask >>= 1, ++shift;
            return static_cast<uint8_t>((pixel >> shift) & 0xFF);
        };
        for (int y = 0; y < shot->height; ++y)
            for (int x = 0; x < shot->width; ++x) {
                const unsigned long pixel = XGetPixel(shot, x, y);
                result.pixels.push_back(channel(pixel, shot->red_mask));
                result.pixels.push_back(channel(pixel, shot->green_mask));
                result.pixels.push_back(channel(pixel, shot->blue_mask));
            }
        XDestroyImage(shot);
        return result;
    }

    // Whether the picture changes within a short while.
    bool moving() {
        const image before = grab();
        std::this_thread::sleep_for(milliseconds(200));
        return grab().pixels != before.pixels;
    }

    // Stops the spin with space and waits until the picture has stood still for a while, long
    // enough that a briefly stalled program is not taken for a stopped box.
    void stop_spin() {
        press(XK_space);
        int still = 0;
        ASSERT_TRUE(eventually([&] { return (still = moving() ? 0 : still + 1) == 3; }))
            << "the box still spins after space";
    }

    void key(KeySym symbol, bool down) {
        const KeyCode code = XKeysymToKeycode(display_, symbol);
        ASSERT_NE(code, 0) << "no key for " << XKeysymToString(symbol);
        XTestFakeKeyEvent(display_, code, down, CurrentTime);
        XSync(display_, False);
    }

    void press(KeySym symbol, int times = 1) {
        for (int i = 0; i < times; ++i) {
            key(symbol, true);
            key(symbol, false);
        }
    }

    // What a window manager sends when the user closes the window.
    void ask_to_close() {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window_;
        event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window_, False, NoEventMask, &event);
        XSync(display_, False);
    }

    void expect_clean_close() {
        ask_to_close();
        EXPECT_EQ(wait_for_exit(program_, 3), 0) << "stderr: " << err();
    }

    temp_dir dir_;
    std::string err_path_;
    std::string display_name_;
    pid_t server_ = -1;
    pid_t program_ = -1;
    Display* display_ = nullptr;
    Window window_ = 0;
};

}  // namespace

TEST_F(x11_window, opens_at_200_60_with_320_by_240_pixels) {
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display_, window_, &attributes));
    EXPECT_EQ(attributes.width, 320);
    EXPECT_EQ(attributes.height, 240);
    int x = -1, y = -1;
    Window child;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 60);
}

// Closing as a window manager asks ends with status 0 and nothing on stderr.
TEST_F(x11_window, shows_the_box_on_the_dark_background_until_closed) {
    // The box spins, so wait for a picture with its red corner in the lower left quarter.
    image picture;
    EXPECT_TRUE(eventually(
        [&] {
            picture = grab();
            return count_near(picture, red, 16, {0, 120, 160, 240}) > 0;
        },
        15))
        << "no red corner at the lower left";
    for (const auto& [x, y] : {std::pair{5, 5}, {314, 5}, {5, 234}, {314, 234}})
        EXPECT_TRUE(probe(picture, x, y, background));
    EXPECT_FALSE(near(picture.at(160, 120), background, 3)) << "nothing at the centre";
    expect_clean_close();
    EXPECT_EQ(err(), "");
}

class x11_signal : public x11_window, public ::testing::WithParamInterface<int> {};

TEST_P(x11_signal, closes_the_window_with_status_0) {
    kill(program_, GetParam());
    EXPECT_EQ(wait_for_exit(program_, 3), 0);
    EXPECT_EQ(err(), "");
}

INSTANTIATE_TEST_SUITE_P(x11, x11_signal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST_F(x11_window, a_lost_display_ends_the_program_with_one_line) {
    XCloseDisplay(display_);  // the test's own connection would fail the same way
    display_ = nullptr;
    end_process(server_, SIGTERM);
    EXPECT_EQ(wait_for_exit(program_, 5), 1);
    EXPECT_EQ(err(), "kavex-view: lost the connection to the display\n");
}

TEST_F(x11_window, t_shows_the_pattern_and_a_second_t_hides_it) {
    ASSERT_NO_FATAL_FAILURE(stop_spin());
    EXPECT_EQ(count_near(grab(), pattern_blue, 3), 0);
    press(XK_t);
    EXPECT_TRUE(eventually([&] { return count_near(grab(), pattern_blue, 3) > 100; }))
        << "no pattern after t";
    press(XK_t);
    EXPECT_TRUE(eventually([&] { return count_near(grab(), pattern_blue, 3) == 0; }))
        << "the pattern stays after a second t";
    expect_clean_close();
}

TEST_F(x11_window, page_up_moves_the_box_away_and_page_down_brings_it_back) {
    ASSERT_NO_FATAL_FAILURE(stop_spin());
    const int near_size = covered(grab());
    press(XK_Page_Up, 10);
    int far_size = 0;
    // Ten steps of 0.05 from 5 to 5.5 units away: the area shrinks to about (5 / 5.5)^2.
    EXPECT_TRUE(eventually([&] {
        far_size = covered(grab());
        return far_size < near_size * 0.9;
    })) << near_size << " pixels covered before Page Up, " << far_size << " after";
    press(XK_Page_Down, 10);
    int back_size = 0;
    EXPECT_TRUE(eventually([&] {
        back_size = covered(grab());
        return std::abs(back_size - near_size) <= near_size / 100;
    })) << near_size << " pixels covered at first, " << back_size << " after Page Down";
    expect_clean_close();
}

TEST_F(x11_window, holding_page_up_repeats) {
    ASSERT_NO_FATAL_FAILURE(stop_spin());
    press(XK_Page_Up);
    std::this_thread::sleep_for(milliseconds(300));
    const int once = covered(grab());
    key(XK_Page_Up, true);
    std::this_thread::sleep_for(milliseconds(1500));
    key(XK_Page_Up, false);
    int held = 0;
    EXPECT_TRUE(eventually([&] {
        held = covered(grab());
        return held < once * 0.9;
    })) << once << " pixels covered after one press, " << held << " after holding the key";
    expect_clean_close();
}

class x11_spin_key : public x11_window, public ::testing::WithParamInterface<KeySym> {};

TEST_P(x11_spin_key, starts_a_stopped_spin) {
    ASSERT_NO_FATAL_FAILURE(stop_spin());
    press(GetParam(), 10);
    EXPECT_TRUE(eventually([&] { return moving(); })) << "the box stands still";
    press(XK_space);
    EXPECT_TRUE(eventually([&] { return !moving(); })) << "space does not stop it again";
    expect_clean_close();
}

INSTANTIATE_TEST_SUITE_P(x11, x11_spin_key, ::testing::Values(XK_Right, XK_Left, XK_Up, XK_Down),
                         [](const auto& info) { return std::string(XKeysymToString(info.param)); });

TEST_F(x11_window, letters_act_in_lower_case_only) {
    ASSERT_NO_FATAL_FAILURE(stop_spin());
    const image before = grab();
    key(XK_Shift_L, true);
    press(XK_l);  // L: lighting stays off
    key(XK_Shift_L, false);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_TRUE(grab().pixels == before.pixels) << "Shift+l changed the picture";
    press(XK_l);
    EXPECT_TRUE(eventually([&] { return grab().pixels != before.pixels; }))
        << "l did not switch the lighting on";
    expect_clean_close();
}

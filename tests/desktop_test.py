# The real program on real displays: a private Xvfb per test, alone, with openbox, or under
# weston (its X11 backend, no Xwayland), driven as a user and a window manager would, through
# python3-xlib and XTest. Every wait is for a condition, with a generous deadline.
import os
import re
import signal
import struct
import subprocess
import time
from pathlib import Path

import pytest
from helpers import PROGRAM, against_golden, compare, eventually, fill, start
from PIL import Image
from xvfb import start_xvfb
from Xlib import X, Xatom, display, error, protocol

TITLE = "Kavex Mesa/OpenGL View"
BACKGROUND = (0x1a, 0x1a, 0x1a)
TO_WINDOW_MANAGER = X.SubstructureRedirectMask | X.SubstructureNotifyMask


# Whether a picture is made of blocks of scale x scale alike pixels.
def in_blocks(picture, scale):
    small = picture.resize((picture.width // scale, picture.height // scale), Image.NEAREST)
    return small.resize(picture.size, Image.NEAREST) == picture


def assert_same(expected, observed, name):
    difference = compare(expected, observed, name, 0)
    assert not difference, difference


# An X server in the test's tmp_path, and what runs on it.
class Desktop:
    def __init__(self, folder, *options):
        self.dir = folder
        self.server, self.name = start_xvfb(*options)
        self.processes = [self.server]
        self.x = display.Display(self.name)
        self.x.set_error_handler(lambda *_: None)  # windows may vanish while looked at
        self.root = self.x.screen().root

    # Starts the program on the X server with args, its stdout and stderr into files of those
    # names (or stdout into the pipe given); or argv, a window manager or a compositor.
    def start(self, argv=None, args=(), stdout=None, ignored=(), **env):
        folder = str(self.dir)
        env = {"DISPLAY": self.name, "XDG_RUNTIME_DIR": folder, "HOME": folder, **env}
        if argv:
            return self.processes.append(start(env, self.dir, argv))
        with open(self.path("stdout"), "w") as out, open(self.path("stderr"), "w") as err:
            program = start(env, self.dir, [PROGRAM, *args], stdout or out, err, ignored=ignored)
            self.processes.append(program)
        self.program = self.processes[-1]

    def path(self, name):
        return os.path.join(self.dir, name)

    def read(self, name):
        return (self.dir / name).read_text()

    def ended(self, status, stderr=""):
        assert (self.program.wait(30), self.read("stderr")) == (status, stderr)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.name},
                              capture_output=True, text=True).stdout

    def find(self, title=TITLE, under=None):
        under = under or self.root
        try:
            if under.get_full_text_property(Xatom.WM_NAME) in (title, title.encode()):
                return under
            found = (self.find(title, child) for child in under.query_tree().children)
            return next(filter(None, found), None)
        except error.XError:
            return None

    def await_window(self):
        def shown():
            window = self.find()
            return window and window.get_attributes().map_state == X.IsViewable and window
        self.window = eventually(shown)
        assert self.window, self.read("stderr")
        self.window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)

    # The window's picture, or None while it does not show.
    def grab(self, window=None, width=320, height=240):
        try:
            image = (window or self.window).get_image(0, 0, width, height, X.ZPixmap, 0xffffffff)
            data = image.data
        except error.XError:
            return None
        return Image.frombytes("RGB", (width, height), data, "raw", "BGRX")

    # Whether the window's picture (or grab's) is the same a tenth of a second later, three
    # times in a row.
    def still(self, grab=None):
        grab = grab or self.grab
        looks = [grab()]
        for _ in range(3):
            time.sleep(0.1)
            looks.append(grab())
        return looks[0] and looks.count(looks[0]) == 4

    # Whether the window of width x height shows the picture at scale, centred on black.
    def framed(self, scale, width, height):
        picture = self.grab(None, width, height)
        if not picture:
            return False
        left = (width - 320 * scale) // 2
        top = (height - 240 * scale) // 2
        box = (left, top, left + 320 * scale, top + 240 * scale)
        inner = picture.crop(box)
        picture.paste((0, 0, 0), box)
        if picture.getbbox():
            return False
        return inner.getpixel((0, 0)) == BACKGROUND and in_blocks(inner, scale)

    def place(self):
        origin = self.root.translate_coords(self.window, 0, 0)
        geometry = self.window.get_geometry()
        return origin.x, origin.y, geometry.width, geometry.height

    def key(self, *names):  # "Control_L+q": q with Control_L held
        self.xdotool("key", *names)

    def send(self, window, kind, data, mask=0):
        data = (32, data + [0] * (5 - len(data)))
        kind = self.x.intern_atom(kind)
        message = protocol.event.ClientMessage(window=self.window, client_type=kind, data=data)
        window.send_event(message, event_mask=mask)
        self.x.sync()

    # Replays the record headless with a snap in place of its close; the snap's picture.
    def replayed(self):
        (self.dir / "replay").write_text(self.read("record")[:-6] + "snap replay.png\n")
        replay = start({"KAVEX_SCRIPT": "@replay", "KAVEX_PLATFORM": "headless"}, self.dir)
        assert replay.wait(60) == 0
        return Image.open(self.dir / "replay.png")


@pytest.fixture
def desktop(tmp_path, request):
    desktop = Desktop(tmp_path, *getattr(request, "param", ()))
    yield desktop
    desktop.server.send_signal(signal.SIGCONT)
    if not desktop.x.display.socket_error:
        desktop.x.close()
    for process in reversed(desktop.processes):
        process.kill()
        process.wait()


def test_x11_window_keys_record_script_and_a_display_that_hangs_refuses_or_goes(desktop):
    # Xvfb gives no refresh rate: 60 Hz is taken.
    desktop.start(args=["--info"])
    desktop.ended(0)
    assert re.search("present: shared memory.*\n.*, 60 Hz\n$", desktop.read("stdout"))
    # X11 where the Wayland display does not answer.
    desktop.start(KAVEX_RECORD=desktop.path("record"), WAYLAND_DISPLAY="gone")
    desktop.await_window()
    assert desktop.place() == (200, 60, 320, 240)
    icon_atom = desktop.x.intern_atom("_NET_WM_ICON")
    icon = desktop.window.get_full_property(icon_atom, Xatom.CARDINAL)
    assert icon and min(icon.value[:2]) >= 32, "no icon of 32 x 32 or more"
    desktop.key("t", "m", "Left", "Page_Down", "b", "Up", "space")
    # Once the space has arrived and the box stands still, the close button.
    assert eventually(lambda: "key space\n" in desktop.read("record") and desktop.still())
    shown = desktop.grab()
    desktop.send(desktop.window, "WM_PROTOCOLS", [desktop.x.intern_atom("WM_DELETE_WINDOW")])
    desktop.ended(0)
    keys = [line for line in desktop.read("record").splitlines() if not line.startswith("redraw")]
    assert keys[1:] == ["key t", "key m", "code 100", "code 53", "key b", "code 98", "key space",
                        "close"]
    assert_same(shown, desktop.replayed(), "replayed")
    # A script plays in the window as headless, whatever is typed meanwhile.
    script = "key l; redraw 40; code 99; redraw 40; snap window.png"
    desktop.start(KAVEX_SCRIPT=script)
    desktop.await_window()
    desktop.key("t", "b")
    desktop.ended(0)
    headless = start({"KAVEX_SCRIPT": script.replace("window", "headless")}, desktop.dir)
    assert headless.wait(60) == 0
    window = Image.open(desktop.path("window.png"))
    assert_same(window, Image.open(desktop.path("headless.png")), "played")
    # A display that stops answering: SIGTERM ends the program all the same, with one line,
    # status 1 and the record's close.
    desktop.start(KAVEX_RECORD=desktop.path("record"))
    desktop.await_window()
    desktop.server.send_signal(signal.SIGSTOP)
    desktop.program.terminate()
    desktop.ended(1, f"kavex-view: gave up waiting for the display '{desktop.name}' to answer\n")
    assert desktop.read("record").endswith("\nclose\n"), desktop.read("record")
    # A display that goes away.
    desktop.server.send_signal(signal.SIGCONT)
    desktop.start()
    desktop.await_window()
    desktop.x.close()
    desktop.server.terminate()
    desktop.ended(1, "kavex-view: lost the connection to the display\n")
    # A server that refuses the connection (a cookie the program does not have): the
    # program's own line alone, though libxcb writes the server's reason on stderr.
    cookie = struct.pack(">HHHH18sH16x", 256, 0, 0, 18, b"MIT-MAGIC-COOKIE-1", 16)
    (desktop.dir / "cookies").write_bytes(cookie)
    server, name = start_xvfb("-auth", desktop.path("cookies"))
    desktop.processes.append(server)
    desktop.start(DISPLAY=name)
    desktop.ended(1, f"kavex-view: cannot open a window: the X server on '{name}' refused the "
                     "connection; KAVEX_PLATFORM=headless runs without a display\n")


# A second screen of 320 x 240, and a stdout that nobody reads.
@pytest.mark.parametrize("desktop", [("-screen", "1", "320x240x24")], indirect=True)
def test_x11_second_screen_small_and_a_stdout_nobody_reads(desktop):
    reader, writer = os.pipe()
    fill(writer)
    desktop.start(args=["--scale=2", "--record=record"], stdout=writer,
                  DISPLAY=desktop.name + ".1")
    desktop.root = desktop.x.screen(1).root  # the window opens on the screen DISPLAY names
    desktop.await_window()
    assert desktop.place() == (0, 0, 320, 240)
    desktop.key("F12", "t")
    assert eventually(lambda: "key t" in desktop.read("record"))
    desktop.program.terminate()
    assert desktop.program.wait(30) == 0
    assert re.fullmatch(
        "kavex-view: --scale 2 makes a window larger than the screen's usable 320 x 240; "
        "using 1\nkavex-view: standard output takes no line now; saved the screenshot as "
        "'.*/kavex-view-[-0-9]+\\.png'\n", desktop.read("stderr"))
    os.close(reader)
    os.close(writer)
    assert re.search(r"\nsnap kavex-view-[-0-9]+\.png\nkey t\n", desktop.read("record"))
    # The record on stdout: the screenshot's path on stderr, and the record replays.
    desktop.start(args=["--record=/dev/stdout"], DISPLAY=desktop.name + ".1")
    desktop.await_window()
    desktop.key("F12")
    assert eventually(lambda: desktop.read("stderr").endswith(".png\n"))
    desktop.program.terminate()
    desktop.program.wait(30)
    (desktop.dir / "record").write_text(desktop.read("stdout"))
    desktop.replayed()


def test_weston_with_xwayland_at_scale_2_a_wayland_window_in_2_x_2_device_pixels(desktop):
    # weston's output: 512 x 384 in the desktop's units, 1024 x 768 pixels; an X server beside
    # it, as desktops run one, and both displays named.
    desktop.start(["/usr/bin/weston", "--backend=x11-backend.so", "--socket=wl", "--xwayland",
                   "--idle-time=0", "--scale=2", "--width=512", "--height=384", "--log=log"])
    assert eventually(lambda: os.path.exists(desktop.path("wl"))), "no weston"
    xwayland = eventually(lambda: re.search(r"listening on display (:\d+)", desktop.read("log")))
    both = {"DISPLAY": xwayland[1], "WAYLAND_DISPLAY": "wl", "XDG_RUNTIME_DIR": str(desktop.dir)}
    # Wayland first, unless SDL_VIDEODRIVER says otherwise.
    info = lambda **env: subprocess.run([PROGRAM, "--info"], env={**os.environ, **both, **env},
                                        cwd=desktop.dir, capture_output=True, text=True).stdout
    assert re.search("(?s)window system: Wayland.*, scale 2,", info()), info()
    assert "window system: X11" in info(SDL_VIDEODRIVER="x11"), info(SDL_VIDEODRIVER="x11")
    desktop.start(KAVEX_RECORD=desktop.path("record"), **both)
    desktop.xdotool("mousemove", "1023", "767")  # weston draws the pointer

    # The picture on weston's output, by its top row (background) and in 2 x 2 blocks.
    def picture():
        output = desktop.grab(desktop.root, 1024, 768)
        at = output.tobytes().find(bytes(BACKGROUND) * 640) // 3
        left = at % 1024
        top = at // 1024
        if at < 0 or top + 480 > 768:
            return None
        shown = output.crop((left, top, left + 640, top + 480))
        return in_blocks(shown, 2) and shown

    first = eventually(picture, 60)
    assert first, desktop.read("stderr")
    assert eventually(lambda: picture() not in (None, False, first)), "it stands"
    desktop.key("t", "space")
    assert eventually(lambda: "key space" in desktop.read("record")), "no keys"
    # Once the box stands, its picture is the record's last: a headless replay draws it.
    assert eventually(lambda: desktop.still(picture)), "it does not stand"
    shown = picture()
    desktop.program.terminate()
    assert desktop.program.wait(30) == 0
    small = shown.resize((320, 240), Image.NEAREST)
    assert_same(small, desktop.replayed(), "wayland")


def test_openbox_maximised_fullscreen_status_layer_screenshot_and_a_fatal_box(desktop):
    desktop.start(["/usr/bin/openbox"])
    clients = desktop.x.intern_atom("_NET_CLIENT_LIST")
    has_clients = lambda: desktop.root.get_full_property(clients, X.AnyPropertyType)
    assert eventually(has_clients), "no openbox"
    desktop.start(KAVEX_SCALE="2", KAVEX_RECORD=desktop.path("record"))
    desktop.await_window()
    windowed = desktop.place()
    # The minimum size comes just after the window shows.
    hints = eventually(lambda: (h := desktop.window.get_wm_normal_hints()).min_width and h)
    assert (windowed[2:], hints.min_width, hints.min_height) == ((640, 480), 320, 240)
    # Maximised on the 1024 x 768 screen, 3 x centred on black; F11 fills the screen, and
    # Escape gives the window back its place and size.
    maximised = [desktop.x.intern_atom(f"_NET_WM_STATE_MAXIMIZED_{w}") for w in ("VERT", "HORZ")]
    desktop.send(desktop.root, "_NET_WM_STATE", [1] + maximised, TO_WINDOW_MANAGER)
    at_3 = lambda: desktop.place()[2] == 1024 and desktop.framed(3, *desktop.place()[2:])
    assert eventually(at_3), desktop.place()
    desktop.send(desktop.root, "_NET_WM_STATE", [0] + maximised, TO_WINDOW_MANAGER)
    assert eventually(lambda: desktop.place() == windowed), desktop.place()
    desktop.key("F11")
    filled = lambda: desktop.place() == (0, 0, 1024, 768) and desktop.framed(3, 1024, 768)
    assert eventually(filled), desktop.place()
    desktop.key("Escape")
    back = lambda: desktop.place() == windowed and desktop.framed(2, 640, 480)
    assert eventually(back), desktop.place()
    # F1 shows the status layer at the top left, as its golden (additive on, though blending is
    # off), and hides it; F12, while it shows, saves the picture without it, and names the file
    # on stdout.
    blank = Image.new("RGB", (1, 1))
    layer = lambda: (desktop.grab(None, 640, 480) or blank).crop((0, 0, 160, 56))
    desktop.key("a", "F1")
    assert eventually(lambda: len(layer().getcolors()) > 1), "no status layer"
    shows = lambda: not against_golden(layer(), "status-layer")
    assert eventually(shows), against_golden(layer(), "status-layer")
    desktop.key("F12")
    assert eventually(lambda: desktop.read("stdout").endswith(".png\n"))
    saved = desktop.read("stdout").strip()
    assert re.fullmatch(f"{desktop.dir}/Pictures/kavex-view/kavex-view-[-0-9]+\\.png", saved)
    desktop.key("F1")
    assert eventually(lambda: layer().getcolors() == [(160 * 56, BACKGROUND)]), "it stays"
    # Wider than the picture's shape: the largest scale that fits both ways.
    desktop.window.configure(width=960, height=300)
    assert eventually(lambda: desktop.framed(1, 960, 300)), desktop.place()
    # Ctrl+Q closes; the record's replay saves the screenshot's picture.
    desktop.key("Control_L+q")
    desktop.ended(0)
    name = os.path.basename(saved)
    assert f"\nsnap {name}\n" in desktop.read("record")
    desktop.replayed()
    assert_same(Image.open(desktop.path(name)), Image.open(saved), "screenshot")
    # The engine fails: SIGTERM while the "Fatal error" box is up ends the program with
    # status 1, and takes the box with it. A SIGCHLD that the launcher ignored does not reach
    # the box's process.
    desktop.start(ignored=["CHLD"], __EGL_VENDOR_LIBRARY_FILENAMES="/nonexistent.json")
    assert eventually(lambda: desktop.find("Fatal error")), desktop.read("stderr")
    pid = desktop.program.pid
    box = Path(f"/proc/{pid}/task/{pid}/children").read_text().split()[0]
    ignored = re.search(r"SigIgn:\s*(\w+)", Path(f"/proc/{box}/status").read_text())[1]
    assert not int(ignored, 16) & 1 << signal.SIGCHLD - 1, "SIGCHLD ignored in the box"
    desktop.program.terminate()
    failed = "eglGetPlatformDisplay failed: EGL_BAD_PARAMETER"
    desktop.ended(1, f"Fatal error: Unable to intialize mesa engine (EGL: {failed})\n")
    assert eventually(lambda: not desktop.find("Fatal error")), "the box is left"

# The real program on real displays: a private Xvfb per case, alone, with openbox, or under
# weston (its X11 backend, no Xwayland), driven as a user and a window manager would, through
# python3-xlib and XTest. Every wait is for a condition, with a generous deadline.
import ctypes
import os
import shutil
import signal
import struct
import tempfile
import time
import unittest
from pathlib import Path

from driver import PROGRAM, eventually, picture_difference, pngfile, start
from xvfb import start_xvfb
from Xlib import X, XK, Xatom, display, error, protocol
from Xlib.ext import xtest

TITLE = "Kavex Mesa/OpenGL View"
BACKGROUND = b"\x1a\x1a\x1a"
TO_WINDOW_MANAGER = X.SubstructureRedirectMask | X.SubstructureNotifyMask


# Whether rows of RGB pixels are blocks of scale x scale alike pixels.
def in_blocks(rows, scale):
    for y, row in enumerate(rows):
        if row != rows[y - y % scale]:
            return False
        for k in range(1, scale):
            if any(row[c + 3 * k::3 * scale] != row[c::3 * scale] for c in range(3)):
                return False
    return True


class Desktop(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kavex-test-")
        self.server, self.name = start_xvfb()
        self.processes = [self.server]
        self.x = display.Display(self.name)
        self.x.set_error_handler(lambda *_: None)  # windows may vanish while looked at
        self.root = self.x.screen().root

    def tearDown(self):
        self.server.send_signal(signal.SIGCONT)
        if not self.x.display.socket_error:
            self.x.close()
        for process in reversed(self.processes):
            process.kill()
            process.wait()
        shutil.rmtree(self.dir)

    # Starts the program on the X server, its stdout and stderr into files of those names; or
    # argv, a window manager or a compositor.
    def start(self, argv=None, **env):
        env = {"DISPLAY": self.name, "XDG_RUNTIME_DIR": self.dir, "HOME": self.dir, **env}
        if argv:
            return self.processes.append(start(env, self.dir, argv))
        with open(self.path("stdout"), "w") as out, open(self.path("stderr"), "w") as err:
            self.processes.append(start(env, self.dir, [PROGRAM], out, err))
        self.program = self.processes[-1]

    def path(self, name):
        return os.path.join(self.dir, name)

    def read(self, name):
        return Path(self.path(name)).read_text()

    def ended(self, status, stderr=""):
        self.assertEqual((self.program.wait(30), self.read("stderr")), (status, stderr))

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
        self.assertTrue(self.window, self.read("stderr"))
        self.window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)

    # The window's picture as pngfile reads one, or None while it does not show.
    def grab(self, window=None, width=320, height=240):
        try:
            image = (window or self.window).get_image(0, 0, width, height, X.ZPixmap, 0xffffffff)
            data = image.data
        except error.XError:
            return None
        rgb = bytearray(width * height * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = data[2::4], data[1::4], data[0::4]
        return width, height, 3, bytes(rgb)

    def still(self):
        first = self.grab()
        time.sleep(0.1)
        return first and first == self.grab()

    # Whether the window of width x height shows the picture at scale, centred on black.
    def framed(self, scale, width, height):
        picture = self.grab(None, width, height)
        if not picture:
            return False
        rows = [picture[3][y * width * 3:(y + 1) * width * 3] for y in range(height)]
        left, top = (width - 320 * scale) // 2 * 3, (height - 240 * scale) // 2
        inner = rows[top:top + 240 * scale]
        around = rows[:top] + rows[top + 240 * scale:]
        around += [row[:left] + row[left + 960 * scale:] for row in inner]
        inner = [row[left:left + 960 * scale] for row in inner]
        return not any(map(any, around)) and inner[0][:3] == BACKGROUND and in_blocks(inner, scale)

    def place(self):
        origin = self.root.translate_coords(self.window, 0, 0)
        geometry = self.window.get_geometry()
        return origin.x, origin.y, geometry.width, geometry.height

    def key(self, *names):  # "Control_L+q": q with Control_L held
        for name in names:
            codes = [self.x.keysym_to_keycode(XK.string_to_keysym(n)) for n in name.split("+")]
            for code in codes:
                xtest.fake_input(self.x, X.KeyPress, code)
            for code in reversed(codes):
                xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()

    def send(self, window, kind, data, mask=0):
        data = (32, data + [0] * (5 - len(data)))
        kind = self.x.intern_atom(kind)
        message = protocol.event.ClientMessage(window=self.window, client_type=kind, data=data)
        window.send_event(message, event_mask=mask)
        self.x.sync()

    # Replays the record headless with a snap in place of its close; the snap's picture.
    def replayed(self):
        Path(self.path("replay")).write_text(self.read("record")[:-6] + "snap replay.png\n")
        replay = start({"KAVEX_SCRIPT": "@replay", "KAVEX_PLATFORM": "headless"}, self.dir)
        self.assertEqual(replay.wait(60), 0)
        return pngfile.read_png(self.path("replay.png"))

    def test_x11_window_keys_record_script_and_a_display_that_hangs_or_goes(self):
        # X11 first, where there is a Wayland display too.
        self.start(KAVEX_RECORD=self.path("record"), WAYLAND_DISPLAY="gone")
        self.await_window()
        self.assertEqual(self.place(), (200, 60, 320, 240))
        icon = self.window.get_full_property(self.x.intern_atom("_NET_WM_ICON"), Xatom.CARDINAL)
        self.assertTrue(icon and min(icon.value[:2]) >= 32, "no icon of 32 x 32 or more")
        self.key("t", "m", "Left", "Page_Down", "b", "Up", "space")
        # Once the space has arrived and the box stands still, the close button.
        stands = []
        arrived = lambda: "key space\n" in self.read("record") and stands.append(self.still())
        self.assertTrue(eventually(lambda: arrived() or stands[-3:] == [True] * 3))
        shown = self.grab()
        self.send(self.window, "WM_PROTOCOLS", [self.x.intern_atom("WM_DELETE_WINDOW")])
        self.ended(0)
        keys = [line for line in self.read("record").splitlines() if not line.startswith("redraw")]
        self.assertEqual(keys[1:], ["key t", "key m", "code 100", "code 53", "key b", "code 98",
                                    "key space", "close"])
        self.assertIsNone(picture_difference(shown, self.replayed(), "replayed", 0))
        # A script plays in the window as headless, whatever is typed meanwhile.
        script = "key l; redraw 40; code 99; redraw 40; snap window.png"
        self.start(KAVEX_SCRIPT=script)
        self.await_window()
        self.key("t", "b")
        self.ended(0)
        headless = start({"KAVEX_SCRIPT": script.replace("window", "headless")}, self.dir)
        self.assertEqual(headless.wait(60), 0)
        snaps = [pngfile.read_png(self.path(name)) for name in ("window.png", "headless.png")]
        self.assertIsNone(picture_difference(*snaps, "played", 0))
        # A display that stops answering: SIGTERM ends the program all the same, with one line,
        # status 1 and the record's close.
        self.start(KAVEX_RECORD=self.path("record"))
        self.await_window()
        self.server.send_signal(signal.SIGSTOP)
        self.program.terminate()
        self.ended(1, f"kavex-view: gave up waiting for the display '{self.name}' to answer\n")
        self.assertTrue(self.read("record").endswith("\nclose\n"), self.read("record"))
        # A display that goes away.
        self.server.send_signal(signal.SIGCONT)
        self.start()
        self.await_window()
        self.x.close()
        self.server.terminate()
        self.ended(1, "kavex-view: lost the connection to the display\n")
        # A server that refuses the connection (a cookie the program does not have): the
        # program's own line alone, though libxcb writes the server's reason on stderr.
        cookie = struct.pack(">HHHH18sH16x", 256, 0, 0, 18, b"MIT-MAGIC-COOKIE-1", 16)
        Path(self.path("cookies")).write_bytes(cookie)
        server, name = start_xvfb("-auth", self.path("cookies"))
        self.processes.append(server)
        self.start(DISPLAY=name)
        self.ended(1, f"kavex-view: cannot open a window: the X server on '{name}' refused the "
                      "connection; KAVEX_PLATFORM=headless runs without a display\n")
        # A server that does not answer before the window opens: a signal's line all the same.
        server.send_signal(signal.SIGSTOP)
        self.start(DISPLAY=name)
        fds = f"/proc/{self.program.pid}/fd/"

        def has_socket():
            for fd in os.listdir(fds):
                try:
                    if os.readlink(fds + fd).startswith("socket:"):
                        return True
                except FileNotFoundError:  # closed since the listing
                    pass
            return False

        self.assertTrue(eventually(has_socket))
        self.program.terminate()
        self.ended(1, f"kavex-view: gave up waiting for the display '{name}' to answer\n")

    def test_weston_at_scale_2_draws_2_x_2_device_pixels_moves_takes_keys_ends_on_sigterm(self):
        # weston's output: 512 x 384 in the desktop's units, 1024 x 768 pixels.
        self.start(["/usr/bin/weston", "--backend=x11-backend.so", "--socket=wl",
                    "--idle-time=0", "--scale=2", "--width=512", "--height=384"])
        self.assertTrue(eventually(lambda: os.path.exists(self.path("wl"))), "no weston")
        self.start(DISPLAY=None, WAYLAND_DISPLAY="wl", KAVEX_RECORD=self.path("record"))
        xtest.fake_input(self.x, X.MotionNotify, x=1023, y=767)  # weston draws the pointer

        # The picture on weston's output, by its top row (background) and in 2 x 2 blocks.
        def picture():
            output = self.grab(self.root, 1024, 768)[3]
            at = output.find(BACKGROUND * 640) // 3
            left, top = at % 1024, at // 1024
            if at < 0 or top + 480 > 768:
                return None
            rows = [output[(top + y) * 3072 + left * 3:][:1920] for y in range(480)]
            return in_blocks(rows, 2) and rows

        first = eventually(picture, 60)
        self.assertTrue(first, self.read("stderr"))
        self.assertTrue(eventually(lambda: picture() not in (None, False, first)), "it stands")
        xtest.fake_input(self.x, X.MotionNotify, x=512, y=384)  # keys go where the pointer is
        self.key("t")
        self.assertTrue(eventually(lambda: "\nkey t\n" in self.read("record")), "no key")
        self.program.terminate()
        self.assertEqual(self.program.wait(30), 0)  # libdecor without its plugin says so

    def test_openbox_maximised_fullscreen_status_layer_screenshot_rest_and_a_fatal_box(self):
        self.start(["/usr/bin/openbox"])
        clients = self.x.intern_atom("_NET_CLIENT_LIST")
        has_clients = lambda: self.root.get_full_property(clients, X.AnyPropertyType)
        self.assertTrue(eventually(has_clients), "no openbox")
        self.start(KAVEX_SCALE="2", KAVEX_RECORD=self.path("record"))
        self.await_window()
        windowed = self.place()
        hints = self.window.get_wm_normal_hints()
        self.assertEqual((windowed[2:], hints.min_width, hints.min_height), ((640, 480), 320, 240))
        # Maximised on the 1024 x 768 screen, 3 x centred on black; F11 fills the screen, and
        # Escape gives the window back its place and size.
        maximised = [self.x.intern_atom(f"_NET_WM_STATE_MAXIMIZED_{w}") for w in ("VERT", "HORZ")]
        self.send(self.root, "_NET_WM_STATE", [1] + maximised, TO_WINDOW_MANAGER)
        at_3 = lambda: self.place()[2] == 1024 and self.framed(3, *self.place()[2:])
        self.assertTrue(eventually(at_3), self.place())
        self.send(self.root, "_NET_WM_STATE", [0] + maximised, TO_WINDOW_MANAGER)
        self.assertTrue(eventually(lambda: self.place() == windowed), self.place())
        self.key("F11")
        filled = lambda: self.place() == (0, 0, 1024, 768) and self.framed(3, 1024, 768)
        self.assertTrue(eventually(filled), self.place())
        self.key("Escape")
        back = lambda: self.place() == windowed and self.framed(2, 640, 480)
        self.assertTrue(eventually(back), self.place())
        # F1 shows the status layer (light green on the background) and hides it; F12, while it
        # shows, saves the picture without it, and names the file on stdout.
        layer = lambda: b"\x79\xc6\x79" * 2 in (self.grab(None, 640, 480) or [b""] * 4)[3]
        self.key("F1")
        self.assertTrue(eventually(layer), "no status layer")
        self.key("F12")
        self.assertTrue(eventually(lambda: self.read("stdout").endswith(".png\n")))
        saved = self.read("stdout").strip()
        self.assertRegex(saved, f"^{self.dir}/Pictures/kavex-view/kavex-view-[-0-9]+\\.png$")
        self.key("F1")
        self.assertTrue(eventually(lambda: not layer()), "the status layer stays")
        # Iconified, it rests: a second with at most one tick of CPU (10 ms) where drawing
        # takes several; restored, the spin goes on.
        stat = Path(f"/proc/{self.program.pid}/stat")
        ticks = lambda: sum(map(int, stat.read_text().rsplit(")", 1)[1].split()[11:13]))
        rests = lambda: -ticks() + (time.sleep(1), ticks())[1] <= 1
        self.send(self.root, "WM_CHANGE_STATE", [3], TO_WINDOW_MANAGER)
        self.assertTrue(eventually(rests), "it does not rest while iconified")
        self.window.map()
        self.assertTrue(eventually(lambda: not self.still()), "the spin does not go on")
        # Ctrl+Q closes; the record's replay saves the screenshot's picture.
        self.window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
        self.key("Control_L+q")
        self.ended(0)
        name = os.path.basename(saved)
        self.assertIn(f"\nsnap {name}\n", self.read("record"))
        self.replayed()
        screenshot, snap = pngfile.read_png(saved), pngfile.read_png(self.path(name))
        self.assertIsNone(picture_difference(snap, screenshot, "screenshot", 0))
        # The engine fails: SIGTERM while the "Fatal error" box is up ends the program with
        # status 1, and leaves neither the box nor a process (orphans come to this process).
        ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
        self.start(__EGL_VENDOR_LIBRARY_FILENAMES="/nonexistent.json")
        self.assertTrue(eventually(lambda: self.find("Fatal error")), self.read("stderr"))
        self.program.terminate()
        failed = "eglGetPlatformDisplay failed: EGL_BAD_PARAMETER"
        self.ended(1, f"Fatal error: Unable to intialize mesa engine (EGL: {failed})\n")

        def group_gone():
            try:
                while os.waitpid(-self.program.pid, os.WNOHANG)[0] > 0:
                    pass
                return os.killpg(self.program.pid, 0)
            except (ChildProcessError, ProcessLookupError):
                return True

        self.assertTrue(eventually(group_gone), "a process is left")
        self.assertTrue(eventually(lambda: not self.find("Fatal error")), "the box is left")


if __name__ == "__main__":
    unittest.main()

# The real program on real displays: a private Xvfb per case, alone, with openbox, or under
# weston (its X11 backend, no Xwayland), driven as a user and a window manager would through
# python3-xlib and XTest. Every wait is for a condition, with a generous deadline.
import ctypes, os, re, shutil, signal, subprocess, tempfile, time, unittest
from pathlib import Path
from Xlib import X, XK, Xatom, display, error, protocol
from Xlib.ext import xtest
from support import PROGRAM, eventually, picture_difference, read_png, start
from xvfb import start_xvfb

TITLE = "Kavex Mesa/OpenGL View"


def background(picture):  # pixels of the background colour
    return sum(picture[3][i:i + 3] == b"\x1a\x1a\x1a" for i in range(0, len(picture[3]), 3)) if picture else 0


def in_blocks(rows, scale):  # rows of RGB pixels, each repeated in a scale x scale block
    return all(row == rows[y - y % scale] and all(row[c + 3 * k::3 * scale] == row[c::3 * scale]
                                                  for c in range(3) for k in range(1, scale))
               for y, row in enumerate(rows))


class Desktop(unittest.TestCase):
    def setUp(self):
        self.dir, self.processes = tempfile.mkdtemp(prefix="kavex-test-"), []
        server, self.name = start_xvfb()
        self.processes.append(server)
        self.x = display.Display(self.name)
        self.x.set_error_handler(lambda *_: None)  # windows may vanish while looked at
        self.root = self.x.screen().root

    def tearDown(self):
        if not self.x.display.socket_error: self.x.close()  # a case may have closed it already
        for process in reversed(self.processes):
            process.kill()
            process.wait()
        shutil.rmtree(self.dir)

    def start(self, argv=None, **env):  # the program, or a window manager or Wayland compositor
        with open(self.path("stderr"), "w") as stderr, open(self.path("stdout"), "w") as stdout:
            stdout = subprocess.DEVNULL if argv else stdout  # the program's alone
            self.processes.append(start({"DISPLAY": self.name, "XDG_RUNTIME_DIR": self.dir, **env}, self.dir,
                                        stderr, argv=argv or [PROGRAM], stdout=stdout))
        self.program = self.processes[-1]

    def path(self, name): return os.path.join(self.dir, name)

    def err(self): return Path(self.path("stderr")).read_text()

    def find(self, title=TITLE, under=None):  # by WM_NAME, of type STRING or UTF8_STRING
        try:
            under = under or self.root
            if under.get_full_text_property(Xatom.WM_NAME) in (title, title.encode()): return under
            return next(filter(None, (self.find(title, w) for w in under.query_tree().children)), None)
        except error.XError:
            return None

    def await_window(self):
        self.assertTrue(eventually(lambda: (w := self.find()) and w.get_attributes().map_state == X.IsViewable), self.err())
        self.window = self.find()
        self.window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)

    def grab(self, window=None, width=320, height=240):  # None while the window is not viewable
        try: data = (window or self.window).get_image(0, 0, width, height, X.ZPixmap, 0xffffffff).data
        except error.XError: return None
        rgb = bytearray(width * height * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = data[2::4], data[1::4], data[0::4]
        return width, height, 3, bytes(rgb)

    def framed(self, scale, width, height):  # the picture at scale, centred on black
        picture = self.grab(None, width, height)
        if not picture: return False
        left = (width - 320 * scale) // 2 * 3
        top = (height - 240 * scale) // 2
        right = left + 320 * scale * 3
        rows = [picture[3][y * width * 3:(y + 1) * width * 3] for y in range(height)]
        inner = rows[top:top + 240 * scale]
        around = rows[:top] + rows[top + 240 * scale:] + [row[:left] + row[right:] for row in inner]
        inner = [row[left:right] for row in inner]
        corner = inner[0][:3] == b"\x1a\x1a\x1a"  # the view's top left is background
        return not any(map(any, around)) and in_blocks(inner, scale) and corner

    def place(self):
        origin, geometry = self.root.translate_coords(self.window, 0, 0), self.window.get_geometry()
        return origin.x, origin.y, geometry.width, geometry.height

    def moving(self, *size):
        return None != self.grab(None, *size) != (time.sleep(0.1), self.grab(None, *size))[1]

    def key(self, *names):  # "Control_L+q" holds Control_L down while q is pressed
        for name in names:
            codes = [self.x.keysym_to_keycode(XK.string_to_keysym(n)) for n in name.split("+")]
            for code in codes: xtest.fake_input(self.x, X.KeyPress, code)
            for code in reversed(codes): xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()

    def send(self, window, kind, data, mask=0):
        window.send_event(protocol.event.ClientMessage(window=self.window, client_type=self.x.intern_atom(kind),
                                                       data=(32, data + [0] * (5 - len(data)))), event_mask=mask)
        self.x.sync()

    def test_x11_window_has_an_icon_takes_keys_closes_its_record_replays_to_the_last_picture_and_ends_when_its_display_hangs_or_goes(self):
        self.start(KAVEX_RECORD=self.path("session"))
        self.await_window()
        origin, geometry = self.root.translate_coords(self.window, 0, 0), self.window.get_geometry()
        self.assertEqual((origin.x, origin.y, geometry.width, geometry.height), (200, 60, 320, 240))
        # Its own icon: with no window manager here to lend one.
        icon = self.window.get_full_property(self.x.intern_atom("_NET_WM_ICON"), Xatom.CARDINAL)
        self.assertTrue(icon and icon.value[0] >= 32 and icon.value[1] >= 32, "no icon of 32 x 32 or more")
        self.key("t", "m", "Left", "Page_Down", "b", "Up", "space")
        # The record has the space once every key before it has been drawn (a new switch state
        # takes llvmpipe a while, and the picture stands still meanwhile); then it stands still.
        session = lambda: Path(self.path("session")).read_text()
        runs = []
        self.assertTrue(eventually(lambda: "\nkey space\n" in session() and (runs.append(self.moving()) or runs[-3:] == [False] * 3)))
        shown = self.grab()
        self.send(self.window, "WM_PROTOCOLS", [self.x.intern_atom("WM_DELETE_WINDOW")])  # the close button
        self.assertEqual((self.program.wait(30), self.err()), (0, ""))
        self.assertTrue(session().endswith("\nclose\n"), session())
        Path(self.path("replay")).write_text(session()[:-6] + "snap replay.png\n")
        self.assertEqual(start({"KAVEX_PLATFORM": "headless", "KAVEX_SCRIPT": "@replay"}, self.dir).wait(60), 0)
        self.assertIsNone(picture_difference(shown, read_png(self.path("replay.png")), "replay", 0), session())
        # A display that stops answering: SIGTERM ends the program all the same, with one line,
        # status 1 and the record's close.
        os.remove(self.path("stderr"))
        self.start(KAVEX_RECORD=self.path("session"))
        self.await_window()
        self.processes[0].send_signal(signal.SIGSTOP)
        self.program.terminate()
        gave_up = f"kavex-view: gave up waiting for the display '{self.name}' to answer\n"
        self.assertEqual((self.program.wait(30), self.err()), (1, gave_up))
        self.assertTrue(session().endswith("\nclose\n"), session())
        self.processes[0].send_signal(signal.SIGCONT)
        # A display that goes away ends the program with one line.
        os.remove(self.path("stderr"))
        self.start()
        self.await_window()
        self.x.close()
        self.processes[0].terminate()
        self.assertEqual((self.program.wait(30), self.err()), (1, "kavex-view: lost the connection to the display\n"))

    def test_weston_at_scale_2_draws_2_x_2_device_pixels_takes_keys_ends_on_sigterm(self):
        # weston's output: 512 x 384 in the desktop's units, 1024 x 768 pixels.
        self.start(["/usr/bin/weston", "--backend=x11-backend.so", "--socket=wl", "--idle-time=0",
                    "--scale=2", "--width=512", "--height=384"])
        self.assertTrue(eventually(lambda: os.path.exists(self.path("wl"))), "weston did not start")
        self.start(DISPLAY=None, WAYLAND_DISPLAY="wl", KAVEX_RECORD=self.path("session"))
        # weston shows its output in a window on the X server, and passes keys on under the
        # pointer. The picture's top row is background: 640 pixels of the output's.
        def sharp():  # (left, top) of the picture where it shows in 2 x 2 blocks
            picture = self.grab(self.root, 1024, 768)[3]
            at = picture.find(b"\x1a\x1a\x1a" * 640)
            left, top = at // 3 % 1024, at // 3 // 1024
            if at < 0 or at % 3 or top + 480 > 768: return None
            rows = [picture[(top + y) * 3072:(top + y + 1) * 3072][left * 3:(left + 640) * 3]
                    for y in range(480)]
            return in_blocks(rows, 2) and (left, top)
        xtest.fake_input(self.x, X.MotionNotify, x=1023, y=767)  # weston draws the pointer
        self.assertTrue(eventually(sharp, 60), self.err())
        left, top = sharp()
        xtest.fake_input(self.x, X.MotionNotify, x=left + 320, y=top + 240)
        self.key("t")
        self.assertTrue(eventually(lambda: "\nkey t\n" in Path(self.path("session")).read_text()), "the key did not arrive")
        self.program.terminate()
        self.assertEqual(self.program.wait(30), 0, self.err())

    def test_openbox_maximised_fullscreen_status_layer_screenshot_rest_and_a_fatal_box(self):
        self.start(["/usr/bin/openbox"])
        clients = self.x.intern_atom("_NET_CLIENT_LIST")
        self.assertTrue(eventually(lambda: self.root.get_full_property(clients, X.AnyPropertyType)), "openbox did not start")
        self.start(KAVEX_SCALE="2", KAVEX_RECORD=self.path("session"), HOME=self.dir,
                   XDG_CONFIG_HOME=None)
        self.await_window()
        windowed = self.place()
        self.assertEqual(windowed[2:], (640, 480))
        hints = self.window.get_wm_normal_hints()
        self.assertEqual((hints.min_width, hints.min_height), (320, 240))
        self.assertTrue(eventually(lambda: self.framed(2, 640, 480)), "not in 2 x 2 blocks")
        self.assertTrue(eventually(lambda: background(self.grab(None, 640, 480)) < 640 * 480 - 20000), "no box")
        # Maximised on the 1024 x 768 screen, 3 x centred on black; F11 fills the screen; Escape
        # leaves fullscreen for the window's earlier place and size.
        maximised = [self.x.intern_atom(f"_NET_WM_STATE_MAXIMIZED_{w}") for w in ("VERT", "HORZ")]
        to_wm = X.SubstructureRedirectMask | X.SubstructureNotifyMask
        self.send(self.root, "_NET_WM_STATE", [1] + maximised, to_wm)
        at_3 = lambda: self.place()[2] == 1024 and self.framed(3, *self.place()[2:])
        self.assertTrue(eventually(at_3), self.place())
        self.send(self.root, "_NET_WM_STATE", [0] + maximised, to_wm)
        self.assertTrue(eventually(lambda: self.place() == windowed), self.place())
        self.key("F11")
        screen = (0, 0, 1024, 768)
        self.assertTrue(eventually(lambda: self.place() == screen and self.framed(3, 1024, 768)))
        self.key("Escape")
        back = lambda: self.place() == windowed and self.framed(2, 640, 480)
        self.assertTrue(eventually(back), self.place())
        # F1 shows the status layer (light green over the background) and hides it; F12, while it
        # shows, saves the picture without it and names the file.
        layer = lambda: b"\x79\xc6\x79" * 2 in (self.grab(None, 640, 480) or [b""] * 4)[3]
        self.key("F1")
        self.assertTrue(eventually(layer), "no status layer")
        self.key("F12")
        stdout = lambda: Path(self.path("stdout")).read_text()
        self.assertTrue(eventually(lambda: stdout().endswith("\n")), self.err())
        saved = stdout().strip()
        folder = f"{re.escape(self.dir)}/Pictures/kavex-view"
        self.assertRegex(saved, f"^{folder}/kavex-view-[0-9]{{8}}-[0-9]{{6}}\\.png$")
        self.key("F1")
        self.assertTrue(eventually(lambda: not layer()), "the status layer stays")
        # Iconified, it rests: a second with at most one tick (10 ms) of CPU where drawing takes
        # several; restored, the spin goes on.
        ticks = lambda: sum(map(int, Path(f"/proc/{self.program.pid}/stat").read_text().rsplit(")", 1)[1].split()[11:13]))
        self.send(self.root, "WM_CHANGE_STATE", [3], to_wm)
        self.assertTrue(eventually(lambda: -ticks() + (time.sleep(1), ticks())[1] <= 1), "it does not rest while iconified")
        self.window.map()
        self.assertTrue(eventually(lambda: self.moving(640, 480)), "the spin does not resume")
        # Ctrl+Q closes; the record names the screenshot, and its replay writes the same picture.
        self.window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
        self.key("Control_L+q")
        self.assertEqual((self.program.wait(30), self.err()), (0, ""))
        session = Path(self.path("session")).read_text()
        name = os.path.basename(saved)
        self.assertTrue(f"\nsnap {name}\n" in session and session.endswith("\nclose\n"), session)
        replay = start({"KAVEX_PLATFORM": "headless", "KAVEX_SCRIPT": "@session"}, self.dir)
        self.assertEqual(replay.wait(60), 0)
        snap = read_png(self.path(name))
        self.assertIsNone(picture_difference(snap, read_png(saved), "screenshot", 0))
        # The engine fails: SIGTERM while the "Fatal error" box is up ends the program with status 1
        # and leaves neither the box nor a process (orphans come to this process, which reaps them).
        ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
        self.start(__EGL_VENDOR_LIBRARY_FILENAMES="/nonexistent.json", __EGL_VENDOR_LIBRARY_DIRS="/nonexistent")
        self.assertTrue(eventually(lambda: self.find("Fatal error")), self.err())
        self.program.terminate()
        self.assertEqual(self.program.wait(30), 1)
        def group_gone():
            try:
                while os.waitpid(-self.program.pid, os.WNOHANG)[0] > 0: pass
                return os.killpg(self.program.pid, 0)
            except (ChildProcessError, ProcessLookupError):
                return True
        self.assertTrue(eventually(group_gone) and eventually(lambda: not self.find("Fatal error")), "a process or the box is left")
        no_vendor = "(EGL: eglGetPlatformDisplay failed: EGL_BAD_PARAMETER)"
        self.assertEqual(self.err(), f"Fatal error: Unable to intialize mesa engine {no_vendor}\n")


unittest.main()

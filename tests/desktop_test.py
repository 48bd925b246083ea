# The real program on real displays: a private Xvfb per case, alone, with openbox, or under
# weston (its X11 backend, no Xwayland), driven as a user and a window manager would through
# python3-xlib and XTest. Every wait is for a condition, with a generous deadline.
import ctypes, os, shutil, signal, tempfile, time, unittest
from pathlib import Path
from Xlib import X, XK, Xatom, display, error, protocol
from Xlib.ext import xtest
from support import PROGRAM, eventually, picture_difference, read_png, start
from xvfb import start_xvfb

TITLE = "Kavex Mesa/OpenGL View"


def background(picture):  # pixels of the background colour
    return sum(picture[3][i:i + 3] == b"\x1a\x1a\x1a" for i in range(0, len(picture[3]), 3)) if picture else 0


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
        with open(self.path("stderr"), "w") as stderr:
            self.processes.append(start({"DISPLAY": self.name, "XDG_RUNTIME_DIR": self.dir, **env}, self.dir,
                                        stderr, argv=argv or [PROGRAM]))
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

    def moving(self, *size):
        return None != self.grab(None, *size) != (time.sleep(0.1), self.grab(None, *size))[1]

    def key(self, *names):
        for name in names:
            for kind in (X.KeyPress, X.KeyRelease):
                xtest.fake_input(self.x, kind, self.x.keysym_to_keycode(XK.string_to_keysym(name)))
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

    def test_pure_wayland_in_weston_shows_the_box_takes_keys_and_ends_on_sigterm(self):
        self.start(["/usr/bin/weston", "--backend=x11-backend.so", "--socket=wl", "--idle-time=0"])
        self.assertTrue(eventually(lambda: os.path.exists(self.path("wl"))), "weston did not start")
        self.start(DISPLAY=None, WAYLAND_DISPLAY="wl", KAVEX_RECORD=self.path("session"))
        # weston shows its output in a window on the X server, and passes keys on under the pointer.
        self.assertTrue(eventually(lambda: background(self.grab(self.root, 1024, 768)) > 20000, 60), self.err())
        xtest.fake_input(self.x, X.MotionNotify, x=400, y=300)
        self.key("t")
        self.assertTrue(eventually(lambda: "\nkey t\n" in Path(self.path("session")).read_text()), "the key did not arrive")
        self.program.terminate()
        self.assertEqual(self.program.wait(30), 0, self.err())

    def test_under_openbox_whole_pixels_rest_when_iconified_and_a_fatal_box_that_obeys_sigterm(self):
        self.start(["/usr/bin/openbox"])
        clients = self.x.intern_atom("_NET_CLIENT_LIST")
        self.assertTrue(eventually(lambda: self.root.get_full_property(clients, X.AnyPropertyType)), "openbox did not start")
        self.start(KAVEX_SCALE="2")
        self.await_window()
        geometry = self.window.get_geometry()
        self.assertEqual((geometry.width, geometry.height), (640, 480))
        self.assertTrue(eventually(lambda: background(self.grab(None, 640, 480)) < 640 * 480 - 20000), "no box")
        rgb = self.grab(None, 640, 480)[3]
        rows = [rgb[y * 1920:(y + 1) * 1920] for y in range(480)]
        self.assertTrue(all(row == rows[y & ~1] and all(row[c + 3::6] == row[c::6] for c in range(3))
                            for y, row in enumerate(rows)), "the view's pixels are not 2 x 2 blocks")
        # Iconified, it rests: a second with at most one tick (10 ms) of CPU where drawing takes
        # several; restored, the spin goes on.
        ticks = lambda: sum(map(int, Path(f"/proc/{self.program.pid}/stat").read_text().rsplit(")", 1)[1].split()[11:13]))
        self.send(self.root, "WM_CHANGE_STATE", [3], X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        self.assertTrue(eventually(lambda: -ticks() + (time.sleep(1), ticks())[1] <= 1), "it does not rest while iconified")
        self.window.map()
        self.assertTrue(eventually(lambda: self.moving(640, 480)), "the spin does not resume")
        self.program.terminate()
        self.assertEqual(self.program.wait(30), 0)
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

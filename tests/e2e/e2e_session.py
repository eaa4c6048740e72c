"""A private desktop for driving the real kestrovan binary from outside.

Session starts, in a throw-away folder, a virtual display (Xvfb), a D-Bus session bus, the
accessibility bus and, when they are not already up, the demo site and proxies; close() ends
every process it started and nothing else. Every wait is bounded.
"""

import ctypes
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time

# Ports of the demo (home site, lookup service, working proxy, slow proxy); loopback only.
DEMO_PORTS = (17480, 17481, 8080, 8081)
LOOPBACK = "127.0.0.1"
SCREEN_SIZE = (1024, 768)


class SessionError(RuntimeError):
    pass


def port_open(port, timeout=0.5):
    try:
        with socket.create_connection((LOOPBACK, port), timeout=timeout):
            return True
    except OSError:
        return False


def wait_until(predicate, timeout, interval=0.1):
    """Polls predicate until it returns a true value or timeout seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def read_line(stream, timeout):
    """One line from a pipe, or None when none arrives within timeout seconds."""
    deadline = time.monotonic() + timeout
    data = b""
    while not data.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            return None
        ready, _, _ = select.select([stream], [], [], remaining)
        if not ready:
            return None
        chunk = os.read(stream.fileno(), 1)
        if not chunk:
            return None
        data += chunk
    return data.decode().strip()


class Session:
    def __init__(self, source_dir, build_dir, keep_logs_in=None):
        self.source_dir = source_dir
        self.build_dir = build_dir
        self.keep_logs_in = keep_logs_in
        self.root = tempfile.mkdtemp(prefix="kestrovan-e2e-")
        self.env = dict(os.environ)
        self._processes = []  # (name, Popen), each the leader of its own process group
        self._demo_started = False
        self.display = None

    # ---- start-up -------------------------------------------------------------------------

    def start(self):
        config = os.path.join(self.root, "config")
        runtime = os.path.join(self.root, "runtime")
        os.makedirs(config)
        os.makedirs(runtime, mode=0o700)
        for proxy_var in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                          "ALL_PROXY", "no_proxy", "NO_PROXY"):
            self.env.pop(proxy_var, None)
        self.env.update({
            "XDG_CONFIG_HOME": config,
            "XDG_RUNTIME_DIR": runtime,
            "HOME": self.root,
            "LANG": "C.UTF-8",
            "NO_AT_BRIDGE": "0",
        })
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.env.pop("AT_SPI_BUS_ADDRESS", None)
        self._start_display()
        self._start_session_bus()
        self._start_accessibility_bus()
        self._start_demo()

    def _spawn(self, name, argv, **kwargs):
        log = open(os.path.join(self.root, name + ".log"), "wb")
        kwargs.setdefault("stdout", log)
        kwargs.setdefault("stderr", log)
        process = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL,
                                   start_new_session=True, **kwargs)
        log.close()
        self._processes.append((name, process))
        return process

    def _start_display(self):
        read_end, write_end = os.pipe()
        process = self._spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                       "%dx%dx24" % SCREEN_SIZE, "-nolisten", "tcp", "-noreset"],
                              pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as reader:
            number = read_line(reader, 15)
        if not number or not number.isdigit():
            raise SessionError("Xvfb did not report a display within 15 s (exit %s)" % process.poll())
        self.display = ":" + number
        self.env["DISPLAY"] = self.display

    def _start_session_bus(self):
        process = self._spawn("dbus", ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE)
        address = read_line(process.stdout, 10)
        if not address:
            raise SessionError("the D-Bus session bus did not start within 10 s")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def _start_accessibility_bus(self):
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if not os.path.exists(launcher):
            raise SessionError("%s is missing (apt-get install at-spi2-core)" % launcher)
        self._spawn("at-spi", [launcher, "--launch-immediately"])
        # The launcher answers on the session bus once its own bus runs.
        def bus_ready():
            result = subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                 "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True, timeout=5)
            return result.returncode == 0 and b"unix:" in result.stdout
        if not wait_until(bus_ready, 15, 0.2):
            raise SessionError("the accessibility bus did not start within 15 s")

    def _start_demo(self):
        open_ports = [port for port in DEMO_PORTS if port_open(port)]
        if len(open_ports) == len(DEMO_PORTS):
            return  # someone else's demo: used as it is, and left running
        if open_ports:
            raise SessionError("demo ports %s are in use, %s are not; stop the other programs or "
                               "run scripts/demo-up.sh" % (open_ports, sorted(set(DEMO_PORTS) - set(open_ports))))
        script = os.path.join(self.source_dir, "scripts", "demo-up.sh")
        result = subprocess.run([script, self.build_dir], env=self.env, capture_output=True, timeout=60)
        # demo-down.sh finds what to stop through the pid files in our runtime folder, also after a
        # partial start.
        self._demo_started = True
        if result.returncode != 0:
            raise SessionError("demo-up.sh failed:\n" + result.stderr.decode(errors="replace"))

    def owns_demo(self):
        """True when this session started the demo, so that its servers may be stopped."""
        return self._demo_started

    def restart_home_site(self, *demo_arguments):
        """Replaces the demo this session started by a bare kestrovan-demo with other arguments.
        Returns False when the demo running is someone else's, which is left alone."""
        if not self._demo_started:
            return False
        script = os.path.join(self.source_dir, "scripts", "demo-down.sh")
        subprocess.run([script], env=self.env, capture_output=True, timeout=30, check=True)
        self._demo_started = False
        demo = os.path.join(self.build_dir, "demo", "kestrovan-demo")
        self._spawn("demo-again", [demo] + list(demo_arguments))
        if not wait_until(lambda: port_open(DEMO_PORTS[0]) and port_open(DEMO_PORTS[1]), 10, 0.1):
            raise SessionError("kestrovan-demo %s did not open its ports within 10 s" % " ".join(demo_arguments))
        return True

    # ---- the program ----------------------------------------------------------------------

    def start_program(self, program, extra_env=None):
        env = dict(self.env)
        env.update({"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1",
                    "QT_QPA_PLATFORM": "xcb"})
        env.update(extra_env or {})
        saved = self.env
        self.env = env
        try:
            # From its private home: the save dialog opens there.
            return self._spawn("kestrovan", [program], cwd=self.root)
        finally:
            self.env = saved

    def screenshot(self, path):
        """The whole virtual screen as a PNG."""
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display],
                             capture_output=True, timeout=20, check=True)
        subprocess.run(["convert", "xwd:-", "png:" + path], input=xwd.stdout, capture_output=True,
                       timeout=30, check=True)

    def paint_window(self, path, window_id, x, y):
        """Paints the window's own picture over the screen's in the PNG at path, at x, y: a window
        with a visual of its own (the message boxes') shows black in the picture of the root."""
        xwd = subprocess.run(["xwd", "-id", str(window_id), "-silent", "-display", self.display],
                             capture_output=True, timeout=20, check=True)
        subprocess.run(["convert", path, "xwd:-", "-geometry", "+%d+%d" % (x, y), "-composite", path],
                       input=xwd.stdout, capture_output=True, timeout=30, check=True)

    def x_windows(self, pid):
        """The mapped X windows of process pid that carry a title, as the window system holds them:
        a list of dicts with id, the titles _NET_WM_NAME and WM_NAME, the WM_TRANSIENT_FOR window
        (or None) and the geometry x, y, width, height on the screen."""
        def run(*argv):
            return subprocess.run(argv, env=self.env, capture_output=True, timeout=10).stdout.decode(errors="replace")
        found = []
        for window in re.findall(r"^\s*(0x[0-9a-f]+) ", run("xwininfo", "-root", "-tree"), re.M):
            props = run("xprop", "-id", window, "_NET_WM_PID", "_NET_WM_NAME", "WM_NAME", "WM_TRANSIENT_FOR")
            if not re.search(r"^_NET_WM_PID\(CARDINAL\) = %d$" % pid, props, re.M):
                continue
            info = run("xwininfo", "-id", window)
            if "IsViewable" not in info:
                continue
            title = lambda name: (re.findall(r'^%s\([A-Z0-9_]+\) = "(.*)"$' % name, props, re.M) or [None])[0]
            transient = re.findall(r"^WM_TRANSIENT_FOR\(WINDOW\): window id # (0x[0-9a-f]+)", props, re.M)
            number = lambda label: int(re.search(r"%s:\s+(-?\d+)" % label, info).group(1))
            found.append({"id": int(window, 16), "net_wm_name": title("_NET_WM_NAME"), "wm_name": title("WM_NAME"),
                          "transient_for": int(transient[0], 16) if transient else None,
                          "geometry": (number("Absolute upper-left X"), number("Absolute upper-left Y"),
                                       number("Width"), number("Height"))})
        return found

    def move_window(self, window, x, y):
        """Moves a top-level X window, as a user dragging it would (there is no window manager)."""
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        connection = xlib.XOpenDisplay(self.display.encode())
        if not connection:
            raise SessionError("cannot open display " + self.display)
        xlib.XMoveWindow(ctypes.c_void_p(connection), ctypes.c_ulong(window), x, y)
        xlib.XCloseDisplay(ctypes.c_void_p(connection))

    def registry_query(self, reg_tool, key):
        result = subprocess.run([reg_tool, "query", key], env=self.env, capture_output=True, timeout=10)
        return result.returncode, result.stdout.decode(errors="replace")

    def log_text(self, name):
        try:
            with open(os.path.join(self.root, name + ".log"), "rb") as log:
                return log.read().decode(errors="replace")
        except OSError:
            return ""

    # ---- the end --------------------------------------------------------------------------

    def close(self):
        if self._demo_started:
            script = os.path.join(self.source_dir, "scripts", "demo-down.sh")
            try:
                subprocess.run([script], env=self.env, capture_output=True, timeout=30)
            except (OSError, subprocess.TimeoutExpired):
                pass
        for name, process in reversed(self._processes):
            stop_group(process)
        if self.keep_logs_in:
            os.makedirs(self.keep_logs_in, exist_ok=True)
            for entry in os.listdir(self.root):
                if entry.endswith(".log"):
                    shutil.copy(os.path.join(self.root, entry), self.keep_logs_in)
        shutil.rmtree(self.root, ignore_errors=True)


def stop_group(process, grace=5):
    """Ends a process we started and everything in its process group."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=grace)
            if sig == signal.SIGTERM:
                # The leader is gone; take stragglers of its group with it.
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            return
        except subprocess.TimeoutExpired:
            continue

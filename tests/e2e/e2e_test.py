#!/usr/bin/python3
"""End-to-end run of the real kestrovan binary on a private virtual desktop.

It drives the window through the accessibility bus the way a user would: start-up, fetch, the save
dialog left with 取消, pick 127.0.0.1:8080, enable and disable the system proxy, a speed test through
the working proxy, a location query, the check of the whole list from List1's menu opened with the
Menu key (the window answering a button while it runs), and the exit, first with 取消, then with 确定; the substitute
registry is read back with kestrovan-reg. Qt's own buttons are pressed by their Chinese captions.
Only loopback addresses are used. Exit status 0 when every check passes.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_session import SCREEN_SIZE, Session, wait_until  # noqa: E402

try:
    import e2e_atspi as atspi
except (ImportError, ValueError) as error:  # python3-gi or gir1.2-atspi-2.0 missing
    atspi = None
    ATSPI_ERROR = str(error)

# Exit status that CTest counts as a skipped test.
SKIPPED = 77

INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
TITLE = "【Tolvaren】"
WORKING_PROXY = "127.0.0.1:8080"
DEMO_ENTRIES = ("127.0.0.1:8080", "127.0.0.1:8081", "127.0.0.1:8089")
MENU_KEY, UP_KEY, DOWN_KEY, ESCAPE_KEY = 0xFF67, 0xFF52, 0xFF54, 0xFF1B  # X keysyms


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--program", required=True, help="the kestrovan binary to run")
    parser.add_argument("--reg-tool", required=True, help="the kestrovan-reg binary")
    parser.add_argument("--artifacts", required=True,
                        help="where logs and screenshots go (screenshots go to docs/screenshots instead "
                             "when KESTROVAN_UPDATE_SCREENSHOTS=1)")
    parser.add_argument("--home-url", default="http://127.0.0.1:17480",
                        help="the home site base address the program was built with")
    parser.add_argument("--short", action="store_true",
                        help="start-up and exit only (used to check an installed package)")
    return parser.parse_args()


class Run:
    """One pass of the scenario; each step either returns or raises with what it saw."""

    def __init__(self, args, session):
        self.args = args
        self.session = session
        self.process = None
        self.window = None
        self.started = time.monotonic()
        update = os.environ.get("KESTROVAN_UPDATE_SCREENSHOTS") == "1"
        self.shots = (os.path.join(args.source_dir, "docs", "screenshots") if update
                      else os.path.join(args.artifacts, "screenshots"))

    def note(self, text):
        print("[%6.1f s] %s" % (time.monotonic() - self.started, text), flush=True)

    # ---- what the window shows -------------------------------------------------------------

    def log_lines(self):
        return atspi.item_texts(self.log_list)

    def wait_log(self, pattern, timeout, after=0):
        """The first message-log line from index `after` on that matches pattern."""
        regex = re.compile(pattern)

        def matching():
            for line in self.log_lines()[after:]:
                if regex.search(line):
                    return line
            return None
        line = wait_until(matching, timeout, 0.2)
        if line is None:
            raise AssertionError("no log line matching %r within %s s; the log holds %r"
                                 % (pattern, timeout, self.log_lines()))
        return line

    def status_text(self):
        return atspi.name_of(self.status_label)

    def wait_status(self, expected, timeout):
        if not wait_until(lambda: self.status_text() == expected, timeout, 0.1):
            raise AssertionError("status line %r, expected %r within %s s"
                                 % (self.status_text(), expected, timeout))

    def registry(self):
        code, text = self.session.registry_query(self.args.reg_tool, INTERNET_SETTINGS)
        values = {}
        for line in text.splitlines():
            fields = line.split(None, 2)
            if len(fields) >= 2 and fields[1].startswith("REG_"):
                values[fields[0]] = fields[2] if len(fields) == 3 else ""
        return code, values, text

    def expect_registry(self, enable, server=None):
        code, values, text = self.registry()
        if code != 0 or values.get("ProxyEnable") != enable or (server and values.get("ProxyServer") != server):
            raise AssertionError("registry: expected ProxyEnable %s%s; kestrovan-reg said (%d):\n%s"
                                 % (enable, " ProxyServer " + server if server else "", code, text))

    def screenshot(self, name, dialog_title=None, tool_tip=False):
        os.makedirs(self.shots, exist_ok=True)
        path = os.path.join(self.shots, name)
        whole = path + ".root.png"
        time.sleep(0.5)  # the last paint reaches the screen
        self.session.screenshot(whole)
        x, y, width, height = atspi.window_extents(self.window)
        if dialog_title is not None:  # the window and the dialog over it, which may reach past it
            dialog = self.x_window(self.process.pid, dialog_title)
            dx, dy, dw, dh = dialog["geometry"]
            self.session.paint_window(whole, dialog["id"], dx, dy)
            right, bottom = max(x + width, dx + dw), max(y + height, dy + dh)
            x, y = min(x, dx), min(y, dy)
            width, height = right - x, bottom - y
        if tool_tip:  # the program's one other window, which may stand past the window's edge
            tip = [window for window in self.session.x_windows(self.process.pid) if window["net_wm_name"] != TITLE]
            assert len(tip) == 1, "no single tool tip shows; the program's windows: %r" % tip
            self.session.paint_window(whole, tip[0]["id"], *tip[0]["geometry"][:2])
        # The window alone, with a small margin of the desktop around it.
        margin = 8
        crop = "%dx%d+%d+%d" % (width + 2 * margin, height + 2 * margin, max(0, x - margin), max(0, y - margin))
        subprocess.run(["convert", whole, "-crop", crop, "+repage", "-strip", path], check=True, timeout=30)
        os.remove(whole)
        self.note("screenshot " + path)

    def x_window(self, pid, title):
        """The program's window whose title bar, as the window system holds it, reads exactly title."""
        def titled():
            return [window for window in self.session.x_windows(pid) if window["net_wm_name"] == title]
        windows = wait_until(titled, 5, 0.2)
        assert windows, "no window titled %r; the program's windows: %r" % (title, self.session.x_windows(pid))
        window = windows[0]
        assert window["wm_name"] == title, "WM_NAME %r, _NET_WM_NAME %r" % (window["wm_name"], title)
        return window

    def expect_centred(self, pid, title, x, y, width, height, what):
        """The window titled title comes to rest centred over the rectangle. Qt leaves room above and
        to the left for the frame it expects a window manager to add: 10 x 40 pixels without one."""
        def offset():
            wx, wy, ww, wh = self.x_window(pid, title)["geometry"]
            return wx + ww / 2 - (x + width / 2), wy + wh / 2 - (y + height / 2)
        if not wait_until(lambda: -12 <= offset()[0] <= 2 and -42 <= offset()[1] <= 2, 5, 0.2):
            raise AssertionError("%r at %r is not centred over %s at %r" % (
                title, self.x_window(pid, title)["geometry"], what, (x, y, width, height)))
        return self.x_window(pid, title)

    # ---- the scenario ---------------------------------------------------------------------

    def start_up(self):
        self.process = self.session.start_program(self.args.program)
        self.window = atspi.wait_top_level(TITLE, 40, self.process.pid)
        self.log_list = atspi.require(self.window, "list", "信息提示")
        self.proxy_list = atspi.require(self.window, "list", "代理列表")
        self.status_label = self._status_label()
        first = self.wait_log(r"^程序初始化成功\.\.\.\.\.\.$", 10)
        lines = self.log_lines()
        assert lines == [first], "after start-up the log holds %r" % lines
        assert atspi.item_texts(self.proxy_list) == [], "the proxy list is not empty at start"
        # The monitor's first tick replaces the design caption.
        if not wait_until(lambda: self.status_text().startswith("代理状态:"), 5, 0.1):
            raise AssertionError("status line still %r" % self.status_text())
        self.note("window up; log %r; status %r" % (lines, self.status_text()))

    def _status_label(self):
        frame = atspi.require(self.window, "panel", "代理状态栏")
        label = wait_until(lambda: atspi.find(frame, "label"), 5, 0.2)
        if label is None:
            raise AssertionError("no status label in the frame 代理状态栏")
        return label

    def fetch(self):
        before = len(self.log_lines())
        atspi.press(self.window, "获取代理")
        self.wait_log(r"^代理获取中\.\.\.\.\.\.$", 10, before)
        done = self.wait_log(r"^代理获取结束,已成功获取\d+个\. $", 20, before)
        count = int(re.search(r"(\d+)", done).group(1))
        entries = wait_until(lambda: atspi.item_texts(self.proxy_list), 5, 0.2)
        assert count == len(entries) and count > 0, "log says %d, list holds %r" % (count, entries)
        for entry in DEMO_ENTRIES:
            assert entry in entries, "%s missing from the fetched list %r" % (entry, entries)
        button = atspi.require(self.window, "push button", "获取代理")
        assert wait_until(lambda: atspi.is_enabled(button), 5, 0.2), "获取代理 stays disabled"
        self.note("fetched %d entries: %s" % (count, ", ".join(entries)))

    def select(self, entry):
        item = atspi.find(self.proxy_list, "list item", entry)
        assert item is not None, "no list item %r" % entry
        atspi.click(item)
        states = lambda: item.get_state_set().contains(atspi.Atspi.StateType.SELECTED)
        assert wait_until(states, 5, 0.1), "the click did not select %r" % entry
        self.note("selected " + entry)

    def enable(self):
        atspi.press(self.window, "启用代理")
        self.wait_status("代理状态:启用 " + WORKING_PROXY, 2.5)
        self.expect_registry("0x1", WORKING_PROXY)
        self.expect_desktop_proxy("'manual'", "'127.0.0.1'", "8080")
        self.note("proxy on: status %r, registry ProxyEnable 0x1 ProxyServer %s, desktop manual" %
                  (self.status_text(), WORKING_PROXY))

    def disable(self):
        atspi.press(self.window, "关闭代理")
        self.wait_status("代理状态:关闭", 2.5)
        self.expect_registry("0x0")
        self.expect_desktop_proxy("'none'")
        self.note("proxy off: status %r, registry ProxyEnable 0x0, desktop none" % self.status_text())

    def expect_desktop_proxy(self, mode, host=None, port=None):
        """The desktop's own proxy setting (GSettings on the private session bus) follows the switch."""
        def read(schema, key):
            result = subprocess.run(["gsettings", "get", schema, key], env=self.session.env,
                                    capture_output=True, timeout=10)
            return result.stdout.decode(errors="replace").strip()
        if shutil.which("gsettings") is None:
            return
        wanted = [("org.gnome.system.proxy", "mode", mode)]
        if host is not None:
            wanted += [("org.gnome.system.proxy.http", "host", host),
                       ("org.gnome.system.proxy.http", "port", port)]
        for schema, key, value in wanted:
            assert wait_until(lambda: read(schema, key) == value, 5, 0.1), \
                "desktop %s %s is %r, expected %r" % (schema, key, read(schema, key), value)

    def speed_test(self):
        before = len(self.log_lines())
        atspi.press(self.window, "代理测速")
        self.wait_log(r"^测速开始\. 测试IP地址 127\.0\.0\.1$", 10, before)
        line = self.wait_log(r"^测速结束,", 25, before)
        assert re.fullmatch(r"测速结束,延时:(0|[1-9]\d*)(\.\d)?秒", line), "speed test ended with %r" % line
        # Either end of a test switches the system proxy off.
        self.wait_status("代理状态:关闭", 2.5)
        self.expect_registry("0x0")
        self.note("speed test: " + line)

    def query_location(self):
        before = len(self.log_lines())
        atspi.press(self.window, "查询归属")
        self.wait_log(r"^归属查询中\.\.\.\.\.\.$", 10, before)
        line = self.wait_log(r"^查询(结束|失败)", 20, before)
        assert line.startswith("查询结束,归属:") and len(line) > len("查询结束,归属:"), "query ended with %r" % line
        self.note("location: " + line)

    def mapped_libraries(self):
        """The file names of the shared libraries the running program has mapped."""
        with open("/proc/%d/maps" % self.process.pid, encoding="utf-8", errors="replace") as maps:
            return {os.path.basename(line.split()[-1]) for line in maps if "/" in line}

    def check_whole_list(self):
        """检测全部代理 from List1's menu, opened with the Menu key: working entries first, fastest
        first, each with its verdict as its description, the refused one after them. The slow proxy
        keeps the check running for 3 s, in which the buttons and the status line still answer.
        libcurl and its TLS library are loaded by the first check, not before."""
        entries = atspi.item_texts(self.proxy_list)
        check_only = [name for name in self.mapped_libraries() if name.startswith(("libcurl", "libssl", "libgnutls"))]
        assert not check_only, "before any check the program has mapped %r" % check_only
        self.select(WORKING_PROXY)  # List1 has the keyboard focus
        before = len(self.log_lines())
        atspi.do_named_action(atspi.menu_item_by_keys((MENU_KEY, DOWN_KEY), "检测全部代理", 5), "Press")
        atspi.key(ESCAPE_KEY)  # an item's accessible action leaves Qt's menu open
        self.wait_log(r"^检测中\.\.\.\.\.\.\(\d+/%d\)$" % len(entries), 5, before)
        # The status line is the monitor's, which reads the setting once a second.
        pressed = time.monotonic()
        atspi.press(self.window, "启用代理")
        self.wait_status("代理状态:启用 " + WORKING_PROXY, 1.5)
        answered = time.monotonic() - pressed
        assert not any(line.startswith("检测结束") for line in self.log_lines()[before:]), \
            "the check ended before the button answered; the slow proxy did not hold it up"
        atspi.press(self.window, "关闭代理")
        self.wait_status("代理状态:关闭", 1.5)
        line = self.wait_log(r"^检测结束,", 30, before)
        assert line == "检测结束,共%d个,可用2个,支持HTTPS的1个." % len(entries), "the check ended with %r" % line
        assert any(name.startswith("libcurl") for name in self.mapped_libraries()), "the check ran without libcurl"
        items = [item for item in atspi.children(self.proxy_list) if atspi.role_of(item) == "list item"]
        seen = [(atspi.name_of(item), atspi.description_of(item)) for item in items[:3]]
        assert sorted(atspi.name_of(item) for item in items) == sorted(entries), "the check changed the entries"
        assert [name for name, _ in seen] == ["127.0.0.1:8080", "127.0.0.1:8081", "127.0.0.1:8089"] and \
            re.fullmatch(r"延时:\d+(\.\d)?秒 HTTPS:支持", seen[0][1]) and \
            re.fullmatch(r"延时:[34](\.\d)?秒 HTTPS:不支持", seen[1][1]) and seen[2][1] == "连接被拒绝", \
            "after the check List1 begins %r" % seen
        atspi.hover(items[1])
        time.sleep(1.5)  # its tool tip shows
        self.note("whole-list check: %r; 启用代理 showed in the status line after %.2f s while it ran; "
                  "List1 begins %r" % (line, answered, seen))

    def auto_switch(self):
        """自动切换失效代理, the menu's last item, turned on through AT-SPI with WatchSeconds 5; then the
        demo's tinyproxy is stopped. The watch finds it dead and switches to the slow proxy, the only
        other working entry, rechecked first (no HTTPS through it)."""
        pid_file = os.path.join(self.session.env["XDG_RUNTIME_DIR"], "kestrovan-demo", "tinyproxy.pid")
        if not self.session.owns_demo() or not os.path.exists(pid_file):
            self.note("automatic switch skipped: the demo running is not this run's own")
            return
        subprocess.run([self.args.reg_tool, "add", "HKCU\\Software\\Kestrovan", "/v", "WatchSeconds", "/t",
                        "REG_DWORD", "/d", "5", "/f"], env=self.session.env, check=True, timeout=10)
        self.select(WORKING_PROXY)
        self.enable()
        item = atspi.menu_item_by_keys((MENU_KEY, UP_KEY), "自动切换失效代理", 5)
        atspi.do_named_action(item, "Press")
        atspi.key(ESCAPE_KEY)
        code, text = self.session.registry_query(self.args.reg_tool, "HKCU\\Software\\Kestrovan")
        assert code == 0 and re.search(r"AutoSwitch\s+REG_DWORD\s+0x1", text), "the store holds %r" % text
        atspi.menu_item_by_keys((MENU_KEY, UP_KEY), "自动切换失效代理", 5)
        self.screenshot("auto-switch-menu.png", tool_tip=True)
        atspi.key(ESCAPE_KEY)
        before = len(self.log_lines())
        with open(pid_file) as pid:
            os.kill(int(pid.read().strip()), signal.SIGTERM)
        stopped = time.monotonic()
        self.wait_log(r"^当前代理已失效: 127\.0\.0\.1:8080$", 5 + 2 * 15 + 5, before)
        line = self.wait_log(r"^已自动切换到 ", 20, before)
        assert re.fullmatch(r"已自动切换到 127\.0\.0\.1:8081,延时:\d+(\.\d)?秒,不支持HTTPS", line), "switch: %r" % line
        took = time.monotonic() - stopped
        self.wait_status("代理状态:启用 127.0.0.1:8081", 2.5)
        self.expect_registry("0x1", "127.0.0.1:8081")
        self.note("automatic switch %.1f s after tinyproxy stopped: %r" % (took, line))

    def export_cancelled(self):
        """The save dialog speaks Chinese; 取消 leaves it without a file or a log line."""
        lines = self.log_lines()
        atspi.press(self.window, "导出代理")
        dialog = atspi.wait_top_level("保存代理", 10, self.process.pid)
        self.screenshot("save-dialog.png", "保存代理")
        atspi.press(dialog, "取消")
        assert wait_until(lambda: atspi.find_top_level("保存代理", self.process.pid) is None, 5, 0.2), \
            "保存代理 stays up after 取消"
        assert self.log_lines() == lines, "取消 in the save dialog logged %r" % self.log_lines()[len(lines):]
        self.note("save dialog 保存代理 left with 取消")

    def exit_box(self):
        atspi.press(self.window, "退出程序")
        box = atspi.wait_top_level("退出提示", 10, self.process.pid)
        atspi.require(box, "label", "您是否确定退出程序?", 5)
        return box

    def exit_with_ok(self):
        # Away from the middle of the screen, where the box would go if it belonged to no window.
        main = self.x_window(self.process.pid, TITLE)
        self.session.move_window(main["id"], 40, 60)
        assert wait_until(lambda: self.x_window(self.process.pid, TITLE)["geometry"][:2] == (40, 60), 5, 0.1), \
            "the window did not move to 40,60"
        main = self.x_window(self.process.pid, TITLE)
        lines = self.log_lines()
        box = self.exit_box()
        self.screenshot("exit-box.png", "退出提示")
        atspi.press(box, "取消")
        assert wait_until(lambda: atspi.find_top_level("退出提示", self.process.pid) is None, 5, 0.2), \
            "退出提示 stays up after 取消"
        assert self.process.poll() is None and self.log_lines() == lines, "取消 did not keep the program as it was"
        self.note("exit with 取消: the program runs on")
        box = self.exit_box()
        ok = atspi.require(box, "push button", "确定", 5)
        # The title bar reads the box's title alone; the box belongs to the window and sits over it.
        shown = self.expect_centred(self.process.pid, "退出提示", *main["geometry"], "the window")
        assert shown["transient_for"] == main["id"], "the 退出提示 box is transient for %r, not for the window %#x" \
            % (shown["transient_for"], main["id"])
        self.note("exit box at %r over the window at %r" % (shown["geometry"], main["geometry"]))
        atspi.do_named_action(ok, "Press")
        try:
            status = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end within 10 s of OK")
        assert status == 0, "the program ended with status %s" % status
        self.note("exit with OK: status 0")

    def scenario(self):
        self.start_up()
        if self.args.short:
            self.screenshot("installed.png")
            self.exit_with_ok()
            return
        self.fetch()
        self.screenshot("fetch.png")
        self.export_cancelled()
        self.select(WORKING_PROXY)
        self.enable()
        self.screenshot("proxy-on.png")
        self.disable()
        self.speed_test()
        self.screenshot("speed-test.png")
        self.query_location()
        self.check_whole_list()
        self.screenshot("list-check.png", tool_tip=True)
        self.auto_switch()
        self.screenshot("auto-switch.png")
        self.exit_with_ok()
        self.expired_version()

    def expired_version(self):
        """With a version file that names another version, the program says so, opens the home
        site in the browser and ends."""
        if not self.session.restart_home_site("--version-text", "1.4"):
            self.note("expiry path skipped: the demo running is not this run's own")
            return
        opened = os.path.join(self.session.root, "browser-opened.txt")
        browser = os.path.join(self.session.root, "browser.sh")
        with open(browser, "w") as script:
            script.write('#!/bin/sh\nprintf "%%s\\n" "$@" >>"%s"\n' % opened)
        os.chmod(browser, 0o755)
        # xdg-open, on a machine without a desktop environment, hands web addresses to $BROWSER.
        process = self.session.start_program(self.args.program, {"BROWSER": browser})
        box = atspi.wait_top_level("升级提示", 40, process.pid)
        atspi.require(box, "label", "您使用的版本已过期,请下载最新版本。", 5)
        ok = atspi.require(box, "push button", "确定", 5)
        assert atspi.find_top_level(TITLE, process.pid) is None, "the main window is shown"
        self.expect_centred(process.pid, "升级提示", 0, 0, *SCREEN_SIZE, "the screen")
        atspi.do_named_action(ok, "Press")
        try:
            status = process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end within 10 s of the expiry message")
        read = lambda: open(opened).read().split() if os.path.exists(opened) else []
        assert wait_until(lambda: read() == [self.args.home_url], 10, 0.1), "the browser was given %r" % read()
        self.note("expired version: message, browser opened at %s, ended with status %s" % (self.args.home_url, status))


def missing_tools():
    missing = [tool for tool in ("Xvfb", "dbus-daemon", "dbus-send", "xwd", "convert", "tinyproxy", "xprop",
                                 "xwininfo")
               if shutil.which(tool) is None]
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        missing.append("/usr/libexec/at-spi-bus-launcher")
    if atspi is None:
        missing.append("the AT-SPI bindings for %s (%s)" % (sys.executable, ATSPI_ERROR))
    return missing


def main():
    args = parse_arguments()
    os.makedirs(args.artifacts, exist_ok=True)
    missing = missing_tools()
    if missing:
        print("skipped: missing %s; install xvfb dbus dbus-x11 at-spi2-core python3-gi gir1.2-atspi-2.0 "
              "x11-apps imagemagick tinyproxy" % ", ".join(missing))
        return SKIPPED
    for binary in (args.program, args.reg_tool):
        if not os.access(binary, os.X_OK):
            print("missing binary: " + binary, file=sys.stderr)
            return 1
    session = Session(args.source_dir, args.build_dir, keep_logs_in=os.path.join(args.artifacts, "logs"))
    run = None
    try:
        session.start()
        # The driver talks to the private buses, never to the caller's.
        for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"):
            os.environ[name] = session.env[name]
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        atspi.init()
        run = Run(args, session)
        run.note("display %s, demo %s" % (session.display, "started" if session._demo_started else "reused"))
        run.scenario()
        run.note("all checks passed")
        return 0
    except Exception:
        traceback.print_exc()
        if run is not None and run.window is not None:
            try:
                session.screenshot(os.path.join(args.artifacts, "failure.png"))
                print("screen at the failure: " + os.path.join(args.artifacts, "failure.png"))
            except Exception:  # the screenshot is a courtesy; the failure above is what counts
                pass
        print("--- program output ---\n" + session.log_text("kestrovan"), file=sys.stderr)
        return 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())

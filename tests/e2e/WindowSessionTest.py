#!/usr/bin/env python3
"""The whole program in a real X server, driven as a user drives it.

Starts its own Xvfb and openbox, runs the brindlecast executable against the throwaway test server and
works it with real key presses and mouse clicks (xdotool). It reads results back only where a user can:
the clipboard (xclip), screenshots (ImageMagick's import) and, for connections, the server's own
process list. Every wait is bounded; a step that does not happen fails with a message and the path of a
screenshot taken at that moment. Everything it starts is stopped on every way out.

usage: WindowSessionTest.py PROGRAM [--artifacts DIR]
The test server's state file is named by $BRINDLECAST_TESTDB (KEY=VALUE lines from scripts/testdb).
"""

import argparse
import ctypes
import difflib
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

MAIN_TITLE = "Brindlecast 2.0"
# The items of the menu "Соединения", top to bottom.
CONNECTIONS_MENU = ["Установить соединение", "Разорвать соединение", "Переподключиться", "Выполнить файл…",
                    "Сохранить протокол…", "Запоминать подключения и историю"]
DIALOG_TITLE = "Создать соединение"
CRLF = "\r\n"

NAVY = (0, 0, 128)
WHITE = (255, 255, 255)
YELLOW = (255, 255, 0)
SILVER = (192, 192, 192)

# Bounds for one wait. They are generous because the program runs under the sanitizers on a machine
# that other builds keep busy; a passing run never waits for them.
START_TIMEOUT = 90
STEP_TIMEOUT = 45

TOOLS = ["Xvfb", "openbox", "setxkbmap", "xprop", "xwininfo", "xdotool", "xclip", "import", "convert", "mariadb"]


class Failure(Exception):
    """A step did not happen as a user would see it happen."""


def die_with_parent():
    # Runs in each child before exec: should this script be killed outright (a test timeout), the
    # kernel ends the X server, the window manager and the program with it.
    libc = ctypes.CDLL(None, use_errno=True)
    pr_set_pdeathsig = 1
    libc.prctl(pr_set_pdeathsig, signal.SIGKILL)


def read_state(path):
    state = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, sep, value = line.strip().partition("=")
            if sep:
                state[key] = value
    for key in ("TESTDB_HOST", "TESTDB_PORT", "TESTDB_SOCKET", "TESTDB_ROOT_PASSWORD"):
        if not state.get(key):
            raise Failure(f"the test server's state file {path} has no {key}")
    return state


def show_text(text):
    return "\n".join("    " + repr(line) for line in text.split("\n"))


def text_difference(expected, actual):
    diff = difflib.unified_diff(expected.split(CRLF), actual.split(CRLF), "expected", "clipboard",
                                lineterm="", n=2)
    return "\n".join("    " + line for line in diff)


class Image:
    """An RGB picture read from a PPM (P6) that ImageMagick's convert writes."""

    def __init__(self, data):
        fields = []
        at = 0
        while len(fields) < 4:
            while data[at:at + 1].isspace():
                at += 1
            end = at
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[at:end])
            at = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Failure(f"unexpected picture format {fields[0]!r} / {fields[3]!r}")
        self.width = int(fields[1])
        self.height = int(fields[2])
        self.pixels = data[at + 1:at + 1 + 3 * self.width * self.height]

    def pixel(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self.pixels[at:at + 3])


class Session:
    """The X server, the window manager, the program and the clipboard helpers of one run."""

    def __init__(self, program, artifacts, state):
        self.program_path = program
        self.artifacts = artifacts
        self.state = state
        self.work = tempfile.mkdtemp(prefix="brindlecast-e2e.")  # mode 0700: also the runtime directory
        self.children = []
        self.program = None
        self.program_log = "program.log"
        self.sentinel = None
        self.sentinel_count = 0
        self.main_window = None
        self.shots = 0
        # A user of its own, so that the server's process list shows exactly this program's
        # connections while other tests use the server at the same time.
        self.user = f"e2e_{os.getpid()}"
        self.password = "e2e-pw"
        self.user_created = False
        self.env = dict(os.environ)
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY", "SESSION_MANAGER"):
            self.env.pop(key, None)
        self.env.update({
            "XDG_RUNTIME_DIR": self.work,
            "XDG_CONFIG_HOME": os.path.join(self.work, "config"),
            "XDG_DATA_HOME": os.path.join(self.work, "data"),
            "XDG_CACHE_HOME": os.path.join(self.work, "cache"),
        })

    # ---- processes

    def spawn(self, argv, log_name, **kwargs):
        log = open(os.path.join(self.artifacts, log_name), "wb")
        try:
            child = subprocess.Popen(argv, env=kwargs.pop("env", self.env), stdin=subprocess.DEVNULL,
                                     stdout=log, stderr=subprocess.STDOUT,
                                     preexec_fn=kwargs.pop("preexec_fn", die_with_parent), **kwargs)
        finally:
            log.close()
        self.children.append(child)
        return child

    def run(self, argv, timeout=30, check=True, input_bytes=None):
        try:
            done = subprocess.run(argv, env=self.env, input=input_bytes, capture_output=True,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{argv[0]} did not finish within {timeout} s: {' '.join(argv)}") from None
        if check and done.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed ({done.returncode}): "
                          f"{done.stderr.decode(errors='replace').strip()}")
        return done

    def stop(self):
        if self.sentinel is not None and self.sentinel.poll() is None:
            self.sentinel.kill()
        # The program first, the X server last: each in turn is asked to end, then killed.
        for child in reversed(self.children):
            if child.poll() is None:
                child.terminate()
                try:
                    child.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    child.kill()
                    child.wait(timeout=10)
        if self.user_created:
            try:
                self.sql(f"DROP USER IF EXISTS '{self.user}'@'%'")
            except Failure as error:
                print(f"note: could not drop the test user: {error}")
        shutil.rmtree(self.work, ignore_errors=True)

    def program_log_tail(self, lines=60):
        path = os.path.join(self.artifacts, self.program_log)
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                tail = f.read().splitlines()[-lines:]
        except OSError:
            return ""
        return "\n".join("    | " + line for line in tail)

    def show_failure(self, shot_name):
        """Prints what tells why a step failed: a screenshot of that moment and, while the program
        runs, the end of its output."""
        if "DISPLAY" in self.env:
            try:
                print(f"screenshot at the failure: {self.screenshot(shot_name)}")
            except Failure as shot_error:
                print(f"no screenshot: {shot_error}")
        if self.program is not None and self.program.poll() is None:
            tail = self.program_log_tail(30)
            if tail:
                print(f"the program's output so far ends with:\n{tail}")

    def check_alive(self):
        if self.program is not None and self.program.poll() is not None:
            raise Failure(f"the program ended unexpectedly with exit status {self.program.returncode}; "
                          f"its output ends with:\n{self.program_log_tail()}")

    def wait_until(self, what, probe, timeout=STEP_TIMEOUT, interval=0.1):
        deadline = time.monotonic() + timeout
        while True:
            self.check_alive()
            value = probe()
            if value:
                return value
            if time.monotonic() > deadline:
                raise Failure(f"{what}: did not happen within {timeout} s")
            time.sleep(interval)

    # ---- the server

    def sql(self, statement):
        done = self.run(["mariadb", "--no-defaults", "-uroot", f"-p{self.state['TESTDB_ROOT_PASSWORD']}",
                         f"--socket={self.state['TESTDB_SOCKET']}", "-N", "-B", "-e", statement])
        return done.stdout.decode().strip()

    def connection_count(self):
        return int(self.sql("SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                            f"WHERE USER = '{self.user}'"))

    def wait_for_connections(self, count, what):
        seen = []

        def settled():
            seen[:] = [self.connection_count()]
            return seen[0] == count

        try:
            self.wait_until(what, settled, interval=0.25)
        except Failure as error:
            raise Failure(f"{error} (the server lists {seen[0] if seen else '?'} connections of "
                          f"{self.user}, expected {count})") from None

    # ---- start-up

    def start(self):
        self.start_desktop()
        self.start_program()

    def start_desktop(self):
        """The X server, the window manager and the test user on the server."""
        missing = [tool for tool in TOOLS if shutil.which(tool) is None]
        if missing:
            raise Failure(f"missing tools: {', '.join(missing)} (scripts/deps installs them)")
        if not os.access(self.program_path, os.X_OK):
            raise Failure(f"no executable program at {self.program_path}")

        self.start_x_server()
        # A known layout, so that xdotool's key names and typed characters arrive as written.
        self.run(["setxkbmap", "-layout", "us"])
        self.start_window_manager()

        self.sql(f"CREATE OR REPLACE USER '{self.user}'@'%' IDENTIFIED BY '{self.password}'")
        self.user_created = True

    def program_env(self):
        """The environment the program runs in: the X server, and the sanitizers' settings."""
        env = dict(self.env)
        env["QT_QPA_PLATFORM"] = "xcb"
        # Allocation stacks two frames deep: the allocator and the function that called it. A leak
        # is then suppressed only when a third-party library itself made the allocation, never
        # because our code happened to run below one of its frames (every event handler does).
        # Options already in the environment come last, so that they win.
        env["ASAN_OPTIONS"] = ":".join(
            filter(None, ["detect_leaks=1", "malloc_context_size=2", env.get("ASAN_OPTIONS", "")]))
        env["LSAN_OPTIONS"] = ":".join(filter(None, [
            "suppressions=" + os.path.join(HERE, "third-party-leaks.supp"), "print_suppressions=0",
            env.get("LSAN_OPTIONS", "")]))
        env["UBSAN_OPTIONS"] = env.get("UBSAN_OPTIONS", "print_stacktrace=1")
        return env

    def start_program(self, args=(), log_name="program.log", **kwargs):
        """Starts the program and waits until its main window is active; kwargs go to spawn."""
        self.program_log = log_name
        self.program = self.spawn([self.program_path, *args], log_name,
                                  env=kwargs.pop("env", None) or self.program_env(), **kwargs)
        self.main_window = self.wait_until(
            f'the main window "{MAIN_TITLE}" appears', lambda: self.window_named(MAIN_TITLE),
            timeout=START_TIMEOUT)
        self.wait_active(self.main_window, "the main window")

    def start_x_server(self):
        # Xvfb picks a free display itself and writes its number to the pipe once it accepts clients.
        reader, writer = os.pipe()
        try:
            server = self.spawn(["Xvfb", "-displayfd", str(writer), "-noreset", "-nolisten", "tcp",
                                 "-screen", "0", "1280x1024x24"], "xvfb.log", pass_fds=(writer,))
        finally:
            os.close(writer)
        number = b""
        deadline = time.monotonic() + START_TIMEOUT
        try:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or server.poll() is not None:
                    raise Failure("Xvfb did not report a display number (see xvfb.log in "
                                  f"{self.artifacts})")
                ready, _, _ = select.select([reader], [], [], min(left, 0.5))
                if ready:
                    chunk = os.read(reader, 16)
                    if not chunk:
                        raise Failure("Xvfb closed its display pipe without a display number")
                    number += chunk
        finally:
            os.close(reader)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_window_manager(self):
        manager = self.spawn(["openbox", "--sm-disable", "--config-file",
                              os.path.join(HERE, "openbox-rc.xml")], "openbox.log")

        def managed():
            if manager.poll() is not None:
                raise Failure(f"openbox ended with exit status {manager.returncode} (see openbox.log in "
                              f"{self.artifacts})")
            done = self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)
            return done.returncode == 0 and b"window id" in done.stdout

        self.wait_until("the window manager takes over the screen", managed, timeout=START_TIMEOUT)

    # ---- windows, keys and the mouse

    def xdotool(self, *args, check=True):
        return self.run(["xdotool", *args], check=check)

    def windows(self):
        """The program's visible windows, id -> title."""
        done = self.xdotool("search", "--onlyvisible", "--pid", str(self.program.pid), check=False)
        found = {}
        for word in done.stdout.decode().split():
            name = self.xdotool("getwindowname", word, check=False)
            if name.returncode == 0:
                found[word] = name.stdout.decode().strip()
        return found

    def window_named(self, title):
        for window, name in self.windows().items():
            if name == title:
                return window
        return None

    def active_window(self):
        done = self.xdotool("getactivewindow", check=False)
        return done.stdout.decode().strip() if done.returncode == 0 else None

    def wait_active(self, window, what):
        # The window manager gives a new window the focus; keys go to whatever window has it.
        self.wait_until(f"{what} becomes the active window", lambda: self.active_window() == window)

    def geometry(self, window):
        done = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in done.stdout.decode().split() if "=" in line)
        return int(values["WIDTH"]), int(values["HEIGHT"])

    def frame(self, window):
        """The window with the frame the window manager drew around it: left, top, width, height."""
        # xwininfo, since xdotool counts a reparented window's offset in its frame twice.
        info = self.run(["xwininfo", "-id", window]).stdout.decode()
        values = {}
        for line in info.splitlines():
            name, _, value = line.strip().partition(":")
            if value.strip().lstrip("-").isdigit():
                values[name] = int(value)
        extents = self.run(["xprop", "-id", window, "_NET_FRAME_EXTENTS"]).stdout.decode()
        if "=" not in extents:
            raise Failure(f"the window manager gives window {window} no frame extents: {extents.strip()}")
        left, right, top, bottom = (int(v) for v in extents.split("=", 1)[1].split(","))
        return (values["Absolute upper-left X"] - left, values["Absolute upper-left Y"] - top,
                values["Width"] + left + right, values["Height"] + top + bottom)

    def screen_size(self):
        done = self.xdotool("getdisplaygeometry")
        width, height = done.stdout.decode().split()
        return int(width), int(height)

    def key(self, *keys):
        self.xdotool("key", "--delay", "40", *keys)

    def type_lines(self, lines):
        for index, line in enumerate(lines):
            if index > 0:
                self.key("Return")
            if line:
                self.xdotool("type", "--delay", "20", "--", line)

    def click(self, window, x, y):
        self.xdotool("mousemove", "--window", window, "--sync", str(x), str(y), "click", "1")

    def open_first_menu(self):
        """Clicks the menu "Соединения" at the left of the menu bar and returns its window."""
        before = set(self.windows())
        self.click(self.main_window, 30, 13)
        return self.wait_until(
            'the menu "Соединения" opens',
            lambda: next((w for w in self.windows() if w not in before), None))

    def choose_menu_item(self, index, caption):
        """Opens the menu "Соединения" at the left of the menu bar and clicks its item at index."""
        popup = self.open_first_menu()
        width, height = self.geometry(popup)
        # The menu holds its items without separators, one equal share of its height each.
        items = len(CONNECTIONS_MENU)
        self.click(popup, width // 3, height * (2 * index + 1) // (2 * items))
        self.wait_until(f'the menu closes after choosing "{caption}"',
                        lambda: popup not in self.windows())

    # ---- the clipboard and the primary selection

    def clipboard(self, selection="clipboard"):
        done = self.run(["xclip", "-selection", selection, "-o"], timeout=15, check=False)
        return done.stdout.decode("utf-8", errors="replace") if done.returncode == 0 else None

    def copy(self, keys, what, selection="clipboard", act=None):
        """Presses keys (or runs act) that copy something and returns the new text of the clipboard
        (or of the primary selection). A sentinel put there first tells a copy that happened (an
        empty text included) from one that did not."""
        if self.sentinel is not None and self.sentinel.poll() is None:
            self.sentinel.kill()
            self.sentinel.wait()
        self.sentinel_count += 1
        marker = f"<e2e {selection} sentinel {self.sentinel_count}>"
        # xclip serves the text until another client takes the selection, then ends by itself.
        self.sentinel = subprocess.Popen(["xclip", "-quiet", "-selection", selection, "-i"],
                                         env=self.env, stdin=subprocess.PIPE,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                         preexec_fn=die_with_parent)
        self.sentinel.stdin.write(marker.encode())
        self.sentinel.stdin.close()
        self.wait_until(f"the {selection} takes the sentinel text", lambda: self.clipboard(selection) == marker)
        if act is not None:
            act()
        else:
            self.key(*keys)
        text = []

        def changed():
            now = self.clipboard(selection)
            if now is not None and now != marker:
                text.append(now)
                return True
            return False

        self.wait_until(f"{what} reaches the {selection}", changed)
        return text[0]

    def expect_copy(self, keys, expected, what):
        actual = self.copy(keys, what)
        if actual != expected:
            raise Failure(f"{what}: the clipboard holds\n{show_text(actual)}\nexpected\n"
                          f"{show_text(expected)}\ndifference:\n{text_difference(expected, actual)}")

    # ---- screenshots

    def screenshot(self, name, window="root"):
        self.shots += 1
        path = os.path.join(self.artifacts, f"{self.shots:02d}-{name}.png")
        self.run(["import", "-window", window, path], timeout=60)
        return path

    def picture(self, path):
        done = self.run(["convert", path, "-depth", "8", "ppm:-"], timeout=60)
        return Image(done.stdout)

    def wait_for_picture(self, name, window, check, what):
        """Takes screenshots of a window until check accepts one (the program may not have painted
        yet); returns check's result and the screenshot's path."""
        self.shots += 1
        path = os.path.join(self.artifacts, f"{self.shots:02d}-{name}.png")
        outcome = []
        last_error = ["no screenshot taken"]

        def accepted():
            self.run(["import", "-window", window, path], timeout=60)
            try:
                outcome.append(check(self.picture(path)))
                return True
            except Failure as error:
                last_error[0] = str(error)
                return False

        try:
            self.wait_until(what, accepted, interval=0.5)
        except Failure as error:
            raise Failure(f"{error}: {last_error[0]} (screenshot {path})") from None
        return outcome[0], path


# ---- what the screenshot of the main window shows


def navy_bands(image):
    """Runs of rows, top to bottom, in which navy fills at least a third of the row: the panes."""
    bands = []
    start = None
    for y in range(image.height + 1):
        navy = 0
        if y < image.height:
            navy = sum(1 for x in range(0, image.width, 2) if image.pixel(x, y) == NAVY)
        inside = navy * 2 >= image.width // 3
        if inside and start is None:
            start = y
        elif not inside and start is not None:
            if y - start >= 40:
                bands.append((start, y))
            start = None
    return bands


def text_lines(image, band):
    """The pane's text columns, and its text lines: runs of rows with anything but navy in them, each
    with its top and bottom row and, per colour, the x of every pixel of that colour."""
    top, bottom = band
    # Columns where navy is the rule inside the pane; a column that is never navy is a border or
    # the margin line, not text.
    columns = [x for x in range(image.width)
               if sum(1 for y in range(top, bottom) if image.pixel(x, y) == NAVY) * 2 > bottom - top]
    lines = []
    current = None
    for y in range(top, bottom + 1):
        colours = {}
        if y < bottom:
            for x in columns:
                colour = image.pixel(x, y)
                if colour != NAVY:
                    colours.setdefault(colour, []).append(x)
        if colours:
            if current is None:
                current = {"top": y, "bottom": y, "colours": {}}
            current["bottom"] = y
            for colour, xs in colours.items():
                current["colours"].setdefault(colour, []).extend(xs)
        elif current is not None:
            lines.append(current)
            current = None
    return columns, lines


def check_transcript_colours(image):
    bands = navy_bands(image)
    if len(bands) < 2:
        raise Failure(f"the screenshot shows {len(bands)} navy panes, expected the transcript and the "
                      "query pane")
    top, bottom = bands[0]
    columns, lines = text_lines(image, bands[0])
    area = len(columns) * (bottom - top)
    navy = sum(1 for x in columns for y in range(top, bottom) if image.pixel(x, y) == NAVY)
    if area == 0 or navy * 10 < area * 6:
        raise Failure(f"the transcript pane (rows {top}-{bottom}) is not navy: {navy} of {area} pixels")
    if not lines:
        raise Failure(f"no text on navy in the transcript pane (rows {top}-{bottom}): a selection is "
                      "left, or nothing is painted")
    # An echoed statement: the prompt in the plain colour, then the keyword in white.
    echo = [line for line in lines
            if WHITE in line["colours"] and YELLOW in line["colours"]
            and min(line["colours"][YELLOW]) < min(line["colours"][WHITE])]
    if not echo:
        raise Failure("no transcript line shows a white keyword after the yellow prompt; colours per "
                      "line: " + "; ".join(
                          f"rows {line['top']}-{line['bottom']}: "
                          + ", ".join(f"{c}x{len(xs)}" for c, xs in sorted(
                              line["colours"].items(), key=lambda item: -len(item[1]))[:4])
                          for line in lines))
    # Outcome lines are comments: silver, without the keyword colour.
    if not any(SILVER in line["colours"] and WHITE not in line["colours"]
               and YELLOW not in line["colours"] for line in lines):
        raise Failure("no transcript line is painted in the comment colour alone")
    return len(echo), len(lines)


# ---- the steps


def expected_transcript(*blocks):
    return CRLF.join(line for block in blocks for line in block)


TABLE_STATEMENT = ["SELECT 1 AS id, 'Ann' AS name", "", "-- the second row has no name",
                   "UNION ALL SELECT 22, NULL;"]
TABLE_TRANSCRIPT = [
    "mysql> SELECT 1 AS id, 'Ann' AS name",
    "     > UNION ALL SELECT 22, NULL;",
    "-- +----+------+",
    "-- | id | name |",
    "-- +----+------+",
    "-- | 1  | Ann  |",
    "-- | 22 |      |",
    "-- +----+------+",
    "-- 2 rows",
]

ERROR_MESSAGE = ("The table named in this statement is locked by another connection at the moment, "
                 "so the server refused to run it")
FAILING_STATEMENT = ["SIGNAL SQLSTATE '45000'", f"  SET MESSAGE_TEXT = '{ERROR_MESSAGE}';"]
# The last piece of a wrapped error ends with a blank, which the pane does not keep.
FAILING_TRANSCRIPT = [
    "mysql> SIGNAL SQLSTATE '45000'",
    f"     > SET MESSAGE_TEXT = '{ERROR_MESSAGE}';",
    "-- The table named in this statement is locked by another connection",
    "-- at the moment, so the server refused to run it",
]

# Indentation, a blank line, a comment, commas and double quotes: all must come back as typed.
RECALLED_STATEMENT = ['SELECT "a, b" AS pair,', "", '    -- "quoted", with commas', "  'c' AS single;"]
RECALLED_TRANSCRIPT = [
    'mysql> SELECT "a, b" AS pair,',
    "     > 'c' AS single;",
    "-- +------+--------+",
    "-- | pair | single |",
    "-- +------+--------+",
    "-- | a, b | c      |",
    "-- +------+--------+",
    "-- 1 rows",
]

COPY_ALL = ("ctrl+a", "ctrl+c")


def connect(s, what):
    """Opens the connect dialog from the menu, fills it in as a user types, and presses Enter."""
    s.choose_menu_item(0, "Установить соединение")
    dialog = s.wait_until(f'the dialog "{DIALOG_TITLE}" opens ({what})',
                          lambda: s.window_named(DIALOG_TITLE))
    s.wait_active(dialog, "the connect dialog")
    # Host and port hold their defaults: each is selected whole and typed over.
    s.key("ctrl+a")
    s.type_lines([s.state["TESTDB_HOST"]])
    s.key("Tab", "ctrl+a")
    s.type_lines([s.state["TESTDB_PORT"]])
    s.key("Tab")
    s.type_lines([s.user])
    s.key("Tab")
    s.type_lines([s.password])
    s.key("Return")

    def closed():
        shown = s.windows()
        # A message box (a refused connection, for one) stops the run at once, with its title.
        extra = [name for window, name in shown.items() if window not in (s.main_window, dialog)]
        if extra:
            raise Failure(f"a window other than the dialog opened: {extra}")
        return dialog not in shown

    s.wait_until(f"the connect dialog closes ({what})", closed)
    s.wait_active(s.main_window, "the main window, after the dialog,")


def probe_query_pane(s, typed, expected, what):
    """Types into the focused pane and copies the whole pane back: only a pane with the focus shows
    the typed text, and the rest of what it holds tells which pane it is. The selection is dropped
    afterwards (End), so that the next typing does not replace it."""
    s.type_lines([typed])
    s.expect_copy(COPY_ALL, expected, what)
    s.key("End")


def step1(s):
    connect(s, "first connection")
    probe_query_pane(s, "-- focus probe", "-- focus probe",
                     "typing right after connecting lands in the new tab's query pane")
    s.key("ctrl+a", "ctrl+Delete")
    s.expect_copy(COPY_ALL, "", "the query pane after deleting the probe")
    # The dialog's test connection is closed; the console holds the one connection.
    s.wait_for_connections(1, "one connection on the server after connecting")


def step2(s):
    s.type_lines(TABLE_STATEMENT)
    s.key("ctrl+Return", "ctrl+Tab")
    s.expect_copy(COPY_ALL, expected_transcript(TABLE_TRANSCRIPT), "the transcript after a SELECT")
    s.key("ctrl+Tab")
    s.expect_copy(COPY_ALL, "", "the query pane after a successful statement")


def step3(s):
    s.type_lines(FAILING_STATEMENT)
    s.key("ctrl+Return", "ctrl+Tab")
    s.expect_copy(COPY_ALL, expected_transcript(TABLE_TRANSCRIPT, FAILING_TRANSCRIPT),
                  "the transcript after a failing statement")
    s.key("ctrl+Tab")
    s.expect_copy(COPY_ALL, CRLF.join(FAILING_STATEMENT), "the query pane after a failing statement")
    s.key("ctrl+Delete")
    s.expect_copy(COPY_ALL, "", "the query pane after deleting the failed statement")


def step4(s):
    s.type_lines(RECALLED_STATEMENT)
    # What the pane holds is the text as typed, with whatever indentation the editor added at each
    # line break; the recalled text must match it to the character.
    typed = s.copy(COPY_ALL, "the query pane before running")
    if [line.strip() for line in typed.split(CRLF)] != [line.strip() for line in RECALLED_STATEMENT]:
        raise Failure(f"the query pane holds\n{show_text(typed)}\nafter typing\n"
                      f"{show_text(CRLF.join(RECALLED_STATEMENT))}")
    s.key("End", "ctrl+Return")
    s.expect_copy(COPY_ALL, "", "the query pane after the further successful statement")
    s.key("ctrl+shift+Up")
    s.expect_copy(COPY_ALL, typed, "the query pane after Ctrl+Shift+Up")
    s.key("End", "ctrl+shift+Down")
    s.expect_copy(COPY_ALL, "", "the query pane after Ctrl+Shift+Down")


def step5(s):
    connect(s, "second connection")
    s.wait_for_connections(2, "two connections on the server with two tabs")
    probe_query_pane(s, "-- tab 2", "-- tab 2", "the second tab's query pane after connecting")
    # Each switch is checked by what the shown tab's query pane holds after typing into it: the
    # first tab's pane was emptied in step 4, the second's holds what was typed here. One switch
    # starts from the transcript pane: the focus still lands in the query pane of the tab shown.
    switches = [
        (["alt+Left"], "-- tab 1", "-- tab 1", "Alt+Left to the first tab"),
        (["alt+Right"], " back", "-- tab 2 back", "Alt+Right to the second tab"),
        (["ctrl+Tab", "alt+Right"], " again", "-- tab 1 again",
         "Alt+Right from the transcript, past the last tab to the first"),
        (["alt+Left"], " again", "-- tab 2 back again", "Alt+Left past the first tab to the last"),
    ]
    for keys, typed, expected, what in switches:
        s.key(*keys)
        probe_query_pane(s, typed, expected, what)

    s.choose_menu_item(1, "Разорвать соединение")
    s.wait_for_connections(1, "Disconnect closes the second tab's connection")
    # The focus rests on the window after Disconnect; a click puts it into the remaining tab, whose
    # query pane is the lower of the two navy panes.

    def panes(image):
        bands = navy_bands(image)
        if len(bands) < 2:
            raise Failure(f"the main window shows {len(bands)} navy panes, expected the transcript and "
                          "the query pane")
        return bands

    bands, _ = s.wait_for_picture("after-disconnect", s.main_window, panes,
                                  "the remaining tab shows its panes after Disconnect")
    query_top, query_bottom = bands[1]
    s.click(s.main_window, s.geometry(s.main_window)[0] // 2, (query_top + query_bottom) // 2)
    s.key("ctrl+End")
    probe_query_pane(s, "!", "-- tab 1 again!",
                     "the remaining tab is the first one, and a click focuses its query pane")


def step6(s):
    s.key("ctrl+Tab")
    s.expect_copy(COPY_ALL, expected_transcript(TABLE_TRANSCRIPT, FAILING_TRANSCRIPT,
                                                RECALLED_TRANSCRIPT),
                  "the first tab's whole transcript")
    # An arrow key drops the selection, so that the pane shows its own colours again.
    s.key("Up")
    (echoes, lines), shot = s.wait_for_picture(
        "colours", s.main_window, check_transcript_colours,
        "the transcript shows its colours without a selection")
    print(f"      {lines} text lines in the transcript, {echoes} with a white keyword after the prompt; "
          f"screenshot {shot}")


def about_box_keeps_the_focus(s):
    """Opens "О программе" from the menu "Справка" (Left from the first menu wraps to it), checks
    that the box is centred on the screen, and closes it with Enter."""
    first = s.open_first_menu()
    s.key("Left")
    s.wait_until('the menu "Справка" replaces "Соединения"', lambda: first not in s.windows())
    # Up reaches the menu's last item whether or not the first one was made current on opening.
    s.key("Up", "Return")
    box = s.wait_until('the About box "О программе" opens', lambda: s.window_named("О программе"))
    s.wait_active(box, "the About box")
    left, top, width, height = s.frame(box)
    screen_width, screen_height = s.screen_size()
    off = (left + width / 2 - screen_width / 2, top + height / 2 - screen_height / 2)
    if max(abs(off[0]), abs(off[1])) > 1:
        raise Failure(f"the About box's frame ({width}x{height} at {left},{top}) is {off} pixels off the "
                      f"centre of the {screen_width}x{screen_height} screen (screenshot "
                      f"{s.screenshot('about-box')})")
    s.key("Return")
    s.wait_until("the About box closes", lambda: box not in s.windows())
    s.wait_active(s.main_window, "the main window, after the About box,")


def step7(s):
    # The focus is in the transcript since step 6; the About box gives it back there.
    about_box_keeps_the_focus(s)
    s.expect_copy(COPY_ALL, expected_transcript(TABLE_TRANSCRIPT, FAILING_TRANSCRIPT,
                                                RECALLED_TRANSCRIPT),
                  "the transcript, still focused after the About box")
    s.key("Up")

    # A bookmark round trip under the Russian layout, whose digit row shifts to other symbols than
    # the US one (Shift+2 is a double quote there).
    s.key("ctrl+Tab", "ctrl+a", "ctrl+Delete")
    s.type_lines(["-- one", "-- two", "-- three"])
    s.key("Up", "End")
    s.run(["setxkbmap", "-layout", "ru"])
    try:
        s.key("ctrl+shift+2", "ctrl+Home", "ctrl+2")
    finally:
        s.run(["setxkbmap", "-layout", "us"])
    s.type_lines(["!"])
    s.expect_copy(COPY_ALL, CRLF.join(["-- one", "-- two!", "-- three"]),
                  "the query pane after Ctrl+Shift+2, Ctrl+Home, Ctrl+2 under the Russian layout")
    s.screenshot("main-window")


def step8(s):
    """A mouse drag over the transcript's first line puts it in the primary selection; a middle click
    pastes it into the query pane."""
    # End drops the query pane's selection, which would hide its navy; the transcript shows its start.
    s.key("End", "ctrl+Tab", "ctrl+Home")

    def panes(image):
        bands = navy_bands(image)
        if len(bands) < 2:
            raise Failure(f"the main window shows {len(bands)} navy panes, expected the transcript and "
                          "the query pane")
        columns, _ = text_lines(image, bands[0])
        return bands, min(columns), max(columns)

    (bands, left, right), _ = s.wait_for_picture("before-drag", s.main_window, panes,
                                                 "the panes show before the mouse drag")
    # The navy starts two pixels left of the gutter's edge, the first cell five pixels right of it:
    # a point a little into the first cell, in the middle of the first row.
    start_x = left + 7
    row_y = bands[0][0] + 7
    window = s.main_window

    def drag():
        s.xdotool("mousemove", "--window", window, "--sync", str(start_x), str(row_y), "mousedown", "1",
                  "mousemove", "--window", window, "--sync", str(right - 5), str(row_y), "mouseup", "1")

    first_line = TABLE_TRANSCRIPT[0]
    selected = s.copy([], "a mouse drag over the transcript's first line", selection="primary", act=drag)
    if selected != first_line:
        raise Failure(f"the primary selection holds {selected!r} after dragging over the first line "
                      f"{first_line!r} (screenshot {s.screenshot('after-drag')})")

    s.key("ctrl+Tab", "ctrl+a", "ctrl+Delete")
    query_row_y = bands[1][0] + 7
    s.xdotool("mousemove", "--window", window, "--sync", str(start_x), str(query_row_y), "click", "2")
    s.expect_copy(COPY_ALL, first_line, "the query pane after a middle click")


def step9(s):
    s.wait_active(s.main_window, "the main window")
    # Alt+F4 is the window manager's close: the window is asked to close, as by its close button.
    s.key("alt+F4")
    program = s.program
    deadline = time.monotonic() + START_TIMEOUT
    while program.poll() is None:
        if time.monotonic() > deadline:
            raise Failure(f"the program did not end within {START_TIMEOUT} s of closing its window")
        time.sleep(0.1)
    status = program.returncode
    s.program = None
    if status != 0:
        raise Failure(f"the program ended with exit status {status}; its output ends with:\n"
                      f"{s.program_log_tail()}")
    s.wait_for_connections(0, "no connection of the program left on the server")


STEPS = [
    (1, "connect from the menu; the focus is in the new tab's query pane", step1),
    (2, "a multi-line statement runs; its echo and table reach the clipboard", step2),
    (3, "a failing statement: wrapped error lines, the statement stays", step3),
    (4, "Ctrl+Shift+Up recalls the last statement as typed, Ctrl+Shift+Down empties the pane", step4),
    (5, "a second tab; Alt+Left / Alt+Right move the focus; Disconnect removes the tab", step5),
    (6, "the transcript shows navy with a white keyword", step6),
    (7, "the About box leaves the focus in the transcript; bookmarks under the Russian layout", step7),
    (8, "a mouse drag sets the primary selection, a middle click in the query pane pastes it", step8),
    (9, "closing the window ends the program with status 0 and no connection left", step9),
]


def prepare_run(artifacts, prefix):
    """What a run of an end-to-end script needs first: output that reaches ctest line by line, an
    artifacts directory without the logs and screenshots of an earlier run (a new temporary one when
    none is named), and SIGTERM and SIGHUP as SystemExit, so that everything started is stopped.
    Answers the artifacts directory."""
    # ctest keeps what was printed before a kill only if every line goes out at once.
    sys.stdout.reconfigure(line_buffering=True)
    artifacts = artifacts or tempfile.mkdtemp(prefix=prefix)
    os.makedirs(artifacts, exist_ok=True)
    for name in os.listdir(artifacts):
        if name.endswith((".png", ".log")):
            os.remove(os.path.join(artifacts, name))

    def terminated(number, _frame):
        raise SystemExit(128 + number)

    signal.signal(signal.SIGTERM, terminated)
    signal.signal(signal.SIGHUP, terminated)
    return artifacts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="the brindlecast executable")
    parser.add_argument("--artifacts", help="where logs and screenshots go (kept after the run)")
    args = parser.parse_args()
    artifacts = prepare_run(args.artifacts, "brindlecast-e2e-artifacts.")

    state_path = os.environ.get("BRINDLECAST_TESTDB")
    if not state_path:
        print("FAILED: BRINDLECAST_TESTDB does not name the test server's state file")
        return 1

    began = time.monotonic()
    session = None
    current = (0, "start-up")
    try:
        session = Session(os.path.abspath(args.program), artifacts, read_state(state_path))
        session.start()
        print(f"start-up: ok ({time.monotonic() - began:.1f} s, display {session.env['DISPLAY']})")
        for number, title, run in STEPS:
            current = (number, title)
            step_began = time.monotonic()
            run(session)
            print(f"step {number}: {title}: ok ({time.monotonic() - step_began:.1f} s)")
        print(f"passed in {time.monotonic() - began:.1f} s")
        return 0
    except Failure as error:
        number, title = current
        print(f"FAILED at step {number} ({title}): {error}")
        if session is not None:
            session.show_failure(f"failure-step{number}")
        print(f"logs: {artifacts}")
        return 1
    except SystemExit:
        number, title = current
        print(f"stopped from outside at step {number} ({title}); logs: {artifacts}")
        raise
    finally:
        if session is not None:
            session.stop()


if __name__ == "__main__":
    sys.exit(main())

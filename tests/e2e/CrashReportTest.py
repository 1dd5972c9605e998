#!/usr/bin/env python3
"""The error report in a real X server, met as a user meets it.

For each way the program can fail (its test faults: a null dereference, abort(), an exception that
escapes a thread, an exception that escapes an event handler, a stack overflow on a client thread,
SIGABRT while a SIGSEGV is being handled; and kill -SEGV from outside) it starts the program, makes
it fail and checks the window "Отчёт об ошибке": that it appears, what its report says, that
"Сохранить…" writes the report, "Печать…" prints it to a PDF file, "Отправить…" hands it to the mail
program (or says that there is none), "Продолжить" leaves the program working and "Перезапустить"
brings up a fresh main window, also of an executable replaced while the program ran. A report made
after a login holds no password, no statement and no result; the program writes no core file at all;
a report never asks the debug-information server that DEBUGINFOD_URLS names; and a failure with no
display is told once on the standard error, with no second process.

The X server, the window manager, the keys and the clipboard are the window session test's
(WindowSessionTest.py beside this file). This script makes itself the subreaper of what it starts, so
that the report process and a restarted program, which outlive the program that started them, are
still its children: it waits for them and ends them.

usage: CrashReportTest.py PROGRAM [--artifacts DIR]
The test server's state file is named by $BRINDLECAST_TESTDB (KEY=VALUE lines from scripts/testdb).
"""

import argparse
import ctypes
import mmap
import os
import resource
import select
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.parse

# The window session test is imported from the source tree, which gets no compiled files.
sys.dont_write_bytecode = True
from WindowSessionTest import (COPY_ALL, MAIN_TITLE, START_TIMEOUT, Failure, Session,  # noqa: E402
                               connect, die_with_parent, prepare_run, read_state)

REPORT_TITLE = "Отчёт об ошибке"
SAVE_TITLE = "Сохранить отчёт"
PRINT_TITLE = "Печать отчёта"
MESSAGE_TITLE = "Ошибка"

# The report window's buttons in their tab order after the report text; "Продолжить" only after an
# exception.
EXCEPTION_BUTTONS = ["Изменить", "Сохранить…", "Печать…", "Отправить…", "Продолжить", "Перезапустить",
                     "Закрыть"]
CRASH_BUTTONS = [b for b in EXCEPTION_BUTTONS if b != "Продолжить"]


class CrashSession(Session):
    """A session whose program is started once per case, and whose windows may belong to any process
    of the display: the report window of a crash comes from a process of its own."""

    def __init__(self, program, artifacts, state):
        super().__init__(program, artifacts, state)
        # Distinctive, so that finding it in a core file means it was left there.
        self.user = f"e2e_crash_{os.getpid()}"
        self.password = f"Crash-{os.getpid()}-Secret"
        # The executables whose processes are the program's: a copy that a case replaces joins them.
        self.program_files = {os.path.realpath(program)}

    def windows(self):
        """The visible windows, id -> title, of the program and of the programs it left behind."""
        pids = self.adopted_programs()
        if self.program is not None and self.program.poll() is None:
            pids.append(self.program.pid)
        found = {}
        for pid in pids:
            done = self.xdotool("search", "--onlyvisible", "--pid", str(pid), check=False)
            for word in done.stdout.decode().split():
                name = self.xdotool("getwindowname", word, check=False)
                if name.returncode == 0:
                    found[word] = name.stdout.decode().strip()
        return found

    def window_pid(self, window):
        return int(self.xdotool("getwindowpid", window).stdout.decode().strip())

    # ---- processes of the program that this script did not start itself

    def adopted_programs(self):
        """Running processes of the program whose parent is this script but that it did not start:
        report processes and restarted programs, handed to it as the subreaper."""
        own = {child.pid for child in self.children}
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) in own:
                continue
            try:
                with open(f"/proc/{entry}/stat", encoding="utf-8", errors="replace") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                exe = os.readlink(f"/proc/{entry}/exe")
            except OSError:
                continue
            if exe.endswith(" (deleted)"):
                exe = exe[:-len(" (deleted)")]
            if int(fields[1]) == os.getpid() and fields[0] not in "ZX" and exe in self.program_files:
                found.append(int(entry))
        return found

    def wait_for_exit(self, pid, what, timeout=START_TIMEOUT):
        """Waits for an adopted process to end and answers its exit code (negative: a signal)."""
        deadline = time.monotonic() + timeout
        while True:
            done, status = os.waitpid(pid, os.WNOHANG)
            if done == pid:
                return os.waitstatus_to_exitcode(status)
            if time.monotonic() > deadline:
                raise Failure(f"{what}: process {pid} did not end within {timeout} s")
            time.sleep(0.1)

    def end_adopted(self):
        for pid in self.adopted_programs():
            try:
                os.kill(pid, signal.SIGTERM)
                self.wait_for_exit(pid, "an adopted program asked to end", timeout=10)
            except (OSError, Failure):
                try:
                    os.kill(pid, signal.SIGKILL)
                    os.waitpid(pid, 0)
                except OSError:
                    pass

    def end_program(self):
        if self.program is not None and self.program.poll() is None:
            self.program.terminate()
            try:
                self.program.wait(timeout=10)
            except Exception:  # noqa: BLE001 - a hung program is killed either way
                self.program.kill()
                self.program.wait(timeout=10)
        self.program = None
        self.end_adopted()

    def stop(self):
        self.end_adopted()
        super().stop()


# ---- what the report says


def core_files_possible():
    """Whether a crash here writes a core file this script can read: the system writes cores into
    the crashing process's directory, and the core size limit may be raised."""
    with open("/proc/sys/kernel/core_pattern", encoding="utf-8") as f:
        pattern = f.read().strip()
    hard = resource.getrlimit(resource.RLIMIT_CORE)[1]
    if pattern.startswith("|") or "/" in pattern or hard == 0:
        return False, f"core_pattern {pattern!r}, core size limit {hard}"
    return True, ""


def with_cores():
    die_with_parent()
    hard = resource.getrlimit(resource.RLIMIT_CORE)[1]
    resource.setrlimit(resource.RLIMIT_CORE, (hard, hard))


def core_files(directory):
    return [os.path.join(directory, name) for name in os.listdir(directory) if name.startswith("core")]


def file_holds(path, secret):
    """Whether the file holds the text as UTF-8 or as UTF-16 (Qt's strings)."""
    if os.path.getsize(path) == 0:
        return False
    with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as data:
        return any(data.find(secret.encode(encoding)) >= 0 for encoding in ("utf-8", "utf-16-le"))


def expect_in_report(report, expected, what):
    missing = [text for text in expected if text not in report]
    if missing:
        raise Failure(f"{what}: the report lacks {missing}; it reads:\n{report}")


def expect_private(s, report, markers=()):
    """Nothing of the login, the statements or their results is in the report."""
    leaked = [text for text in (s.password, *markers) if text in report]
    if leaked:
        raise Failure(f"the report holds {leaked}; it reads:\n{report}")


def console_line(s, version):
    return (f"'{s.user}'@'{s.state['TESTDB_HOST']}', порт {s.state['TESTDB_PORT']}, "
            f"сервер {version}")


# ---- the report window


def wait_for_report(s, since, what):
    window = s.wait_until(f'the window "{REPORT_TITLE}" appears ({what})',
                          lambda: s.window_named(REPORT_TITLE), timeout=START_TIMEOUT)
    print(f"      the report window appeared {time.monotonic() - since:.1f} s after the failure")
    s.wait_active(window, "the report window")
    return window


def press(s, window, caption, buttons):
    """Presses a button of the report window from the keyboard: a click puts the focus into the
    report text, from which each button is a number of Tabs away."""
    width, height = s.geometry(window)
    # Without --sync, which would wait for a move that does not happen when the pointer is there.
    s.xdotool("mousemove", "--window", window, str(width // 2), str(height // 2), "click", "1")
    s.key(*["Tab"] * (buttons.index(caption) + 1), "space")


def open_dialog(s, window, caption, buttons, title):
    press(s, window, caption, buttons)
    dialog = s.wait_until(f'"{caption}" opens the dialog "{title}"', lambda: s.window_named(title))
    s.wait_active(dialog, f'the dialog "{title}"')
    return dialog


def save_report(s, window, path, buttons):
    dialog = open_dialog(s, window, "Сохранить…", buttons, SAVE_TITLE)
    # The file name box has the focus, with a suggested name in it.
    s.key("ctrl+a")
    s.type_lines([path])
    s.key("Return")
    s.wait_until("the save dialog closes", lambda: dialog not in s.windows())
    s.wait_until(f"the report is saved in {path}", lambda: os.path.exists(path))
    with open(path, encoding="utf-8") as f:
        return f.read()


def print_report(s, window, path, buttons):
    dialog = open_dialog(s, window, "Печать…", buttons, PRINT_TITLE)
    # Without a print server the dialog offers printing to a PDF file. Its file box is "Вывод в
    # &файл:" in Qt's Russian translation, which the program loads: Alt+Ф, the key of A under the
    # Russian layout.
    s.run(["setxkbmap", "-layout", "ru"])
    try:
        s.key("alt+Cyrillic_ef")
    finally:
        s.run(["setxkbmap", "-layout", "us"])
    s.key("ctrl+a")
    s.type_lines([path])
    s.key("Return")
    s.wait_until("the print dialog closes", lambda: dialog not in s.windows())

    def printed():
        if not os.path.exists(path):
            return False
        with open(path, "rb") as f:
            data = f.read()
        return data.startswith(b"%PDF-") and data.rstrip().endswith(b"%%EOF")

    s.wait_until(f"a whole PDF file is printed to {path}", printed)
    print(f"      printed {os.path.getsize(path)} bytes of PDF")


def send_report(s, window, buttons, mail_file):
    """"Отправить…" with a mail program set (xdg-email's $MAILER): it gets a letter whose body is
    the report."""
    press(s, window, "Отправить…", buttons)
    s.wait_until("the mail program is started", lambda: os.path.exists(mail_file))

    def letter():
        with open(mail_file, encoding="utf-8") as f:
            uri = f.read().strip()
        return uri if uri.endswith("<end>") else None

    uri = s.wait_until("the mail program gets its letter", letter)[:-len("<end>")]
    # xdg-email escapes every character but letters, digits and a few signs, and sends line breaks
    # as CR LF.
    query = urllib.parse.urlsplit(uri.strip()).query
    for field in query.split("&"):
        name, _, value = field.partition("=")
        if name == "body":
            return urllib.parse.unquote(value).replace("\r\n", "\n")
    return ""


def send_without_mail_program(s, window, buttons):
    press(s, window, "Отправить…", buttons)
    box = s.wait_until('"Отправить…" without a mail program shows a message',
                       lambda: s.window_named(MESSAGE_TITLE))
    s.wait_active(box, "the message")
    s.key("Return")
    s.wait_until("the message closes", lambda: box not in s.windows())


def mailer_script(directory):
    """A mail program for xdg-email's $MAILER: it writes the mailto URI it is given to a file."""
    path = os.path.join(directory, "mailer")
    out = os.path.join(directory, "letter.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(f"#!/bin/sh\nprintf '%s<end>\\n' \"$1\" > '{out}.part' && mv '{out}.part' '{out}'\n")
    os.chmod(path, 0o755)
    return path, out


# ---- the cases


class Case:
    def __init__(self, s, name):
        self.s = s
        self.dir = os.path.join(s.work, name)
        os.makedirs(self.dir)
        self.cores_checked = False

    def start(self, args=(), env=None):
        s = self.s
        program_env = s.program_env()
        # The sanitizer turns core dumps off unless told otherwise; xdg-email finds no browser to
        # fall back on.
        program_env["ASAN_OPTIONS"] += ":disable_coredump=0"
        program_env["BROWSER"] = "false"
        program_env.update(env or {})
        s.start_program(args, log_name=f"program-{os.path.basename(self.dir)}.log", env=program_env,
                        cwd=self.dir, preexec_fn=with_cores)
        self.program = s.program

    def fail(self, how, ends=True):
        """Makes the program fail: SIGUSR1 sets off its test fault, or another signal itself. A
        failure that ends the program leaves its window to the report process."""
        since = time.monotonic()
        os.kill(self.program.pid, how)
        if ends:
            self.s.program = None
        return since

    def crashed(self, signal_number):
        """The program has ended with the signal; the report process lives on."""
        try:
            status = self.program.wait(timeout=START_TIMEOUT)
        except Exception:  # noqa: BLE001
            raise Failure(f"the program did not end within {START_TIMEOUT} s of its crash") from None
        if status != -signal_number:
            raise Failure(f"the program ended with status {status}, not by signal {signal_number}")

    def crash(self, how, ended_by, what):
        """Makes the program fail in a way that ends it, waits for the report window and for the
        program's end, and saves the report. Answers the window, the report process and the report."""
        since = self.fail(how)
        window = wait_for_report(self.s, since, what)
        reporter = self.s.window_pid(window)
        self.crashed(ended_by)
        report = save_report(self.s, window, os.path.join(self.dir, "report.txt"), CRASH_BUTTONS)
        return window, reporter, report

    def check_cores(self, secrets=()):
        """The program wrote no core file, and none holds a secret; a process of this script's own
        that fails the same way beside it does write one, so the absence means something."""
        possible, why = core_files_possible()
        if not possible:
            print(f"      note: no core file can be read here ({why}); the core check is left out")
            return
        cores = core_files(self.dir)
        for core in cores:
            for secret in (self.s.password, *secrets):
                if file_holds(core, secret):
                    raise Failure(f"the core file {core} holds {secret!r}")
        control = os.path.join(self.dir, "control")
        os.makedirs(control, exist_ok=True)
        subprocess.run(["sh", "-c", "kill -SEGV $$"], cwd=control, preexec_fn=with_cores, check=False)
        if not core_files(control):
            raise Failure("a shell killed by SIGSEGV beside the program wrote no core file, so the "
                          "absence of the program's cores proves nothing")
        if cores:
            raise Failure(f"the program wrote core files: {cores}")

    def login(self):
        connect(self.s, f"login before the failure in {os.path.basename(self.dir)}")
        # The console connects on its own after the dialog: a statement's answer shows it is there.
        self.s.type_lines(["SELECT 'logged' AS state;"])
        self.s.key("ctrl+Return")

        def answered():
            text = case_transcript(self.s, focus_back=True)
            if "SELECT 'logged'" not in text:
                # Still connecting, the console took no statement: it is still in the query pane.
                self.s.key("ctrl+Return")
                return False
            return "-- | logged |" in text

        self.s.wait_until("the console answers after the login", answered, interval=1)
        return self.s.sql("SELECT VERSION()")



def case_exception(s):
    case = Case(s, "exception")
    case.start(["--test-fault=exception"])
    version = case.login()
    marker = f"marker-{os.getpid()}"
    s.type_lines([f"SELECT '{marker}' AS marker;"])
    s.key("ctrl+Return")
    s.wait_until("the statement before the failure has run",
                 lambda: case_transcript(s, focus_back=True).count(marker) >= 2)
    since = case.fail(signal.SIGUSR1, ends=False)
    window = wait_for_report(s, since, "an exception escaped an event handler")
    if s.window_pid(window) != case.program.pid:
        raise Failure("the report of an exception comes from another process than the program's")
    report = save_report(s, window, os.path.join(case.dir, "report.txt"), EXCEPTION_BUTTONS)
    expect_in_report(report, [
        "исключение std::logic_error: «тестовая ошибка: исключение из обработчика события»",
        "TestFaults::ThrowFromEventHandler()", "src/crash/TestFaults.cpp:",
        "главный поток программы", console_line(s, version)],
        "the report of an exception")
    expect_private(s, report, [marker])

    press(s, window, "Продолжить", EXCEPTION_BUTTONS)
    s.wait_until("the report window closes on Продолжить", lambda: window not in s.windows())
    s.wait_active(s.main_window, "the main window, after Продолжить,")
    s.type_lines(["SELECT 6*7 AS answer;"])
    s.key("ctrl+Return")
    s.wait_until("a statement runs after Продолжить",
                 lambda: "-- | 42     |" in case_transcript(s, focus_back=True))
    s.key("alt+F4")
    status = case.program.wait(timeout=START_TIMEOUT)
    s.program = None
    if status != 0:
        raise Failure(f"the program, continued after the exception, ended with status {status}")


def case_transcript(s, focus_back):
    """The transcript's text, copied from the pane; the focus goes back to the query pane."""
    s.key("ctrl+Tab")
    text = s.copy(COPY_ALL, "the transcript")
    s.key("Up")
    if focus_back:
        s.key("ctrl+Tab")
    return text


def case_null(s):
    case = Case(s, "null")
    mailer, letter = mailer_script(case.dir)
    case.start(["--test-fault=null"], env={"MAILER": mailer})
    version = case.login()
    # A password inside a statement, as an administrator sets one for another account.
    marker = f"Marker-{os.getpid()}-Password"
    s.type_lines([f"SELECT PASSWORD('{marker}') AS hash;"])
    s.key("ctrl+Return")
    s.wait_until("the statement with a password has run",
                 lambda: "-- | hash" in case_transcript(s, focus_back=True))
    window, reporter, report = case.crash(signal.SIGUSR1, signal.SIGSEGV, "a null dereference")
    expect_in_report(report, [
        "сигнал SIGSEGV (обращение к недопустимому адресу памяти) по адресу 0x0",
        "TestFaults::DereferenceNull()", "src/crash/TestFaults.cpp:", "главный поток программы",
        console_line(s, version)], "the report of a null dereference")
    expect_private(s, report, [marker])
    case.check_cores([marker])

    body = send_report(s, window, CRASH_BUTTONS, letter)
    if body.strip() != report.strip():
        raise Failure(f"the letter's body is not the report:\n{body}")

    press(s, window, "Закрыть", CRASH_BUTTONS)
    status = s.wait_for_exit(reporter, "the report process after Закрыть")
    if status != 0:
        raise Failure(f"the report process ended with status {status} after Закрыть")


def case_abort(s):
    case = Case(s, "abort")
    case.start(["--test-fault=abort"])
    window, _, report = case.crash(signal.SIGUSR1, signal.SIGABRT, "abort()")
    print_report(s, window, os.path.join(case.dir, "report.pdf"), CRASH_BUTTONS)
    expect_in_report(report, ["сигнал SIGABRT", "TestFaults::CallAbort()", "Открытые соединения:\n  нет"],
                     "the report of abort()")
    case.check_cores()
    send_without_mail_program(s, window, CRASH_BUTTONS)


def case_terminate(s):
    case = Case(s, "terminate")
    case.start(["--test-fault=terminate"])
    case.login()
    window, reporter, report = case.crash(signal.SIGUSR1, signal.SIGABRT, "an exception escaped a thread")
    expect_in_report(report, [
        "вызов std::terminate из-за необработанного исключения std::runtime_error: "
        "«тестовая ошибка: исключение покинуло поток»",
        "«test-fault ", "TestFaults::ThrowOutOfThread()"], "the report of std::terminate")
    expect_private(s, report)

    press(s, window, "Перезапустить", CRASH_BUTTONS)
    status = s.wait_for_exit(reporter, "the report process after Перезапустить")
    if status != 0:
        raise Failure(f"the report process ended with status {status} after Перезапустить")
    s.main_window = s.wait_until("Перезапустить brings up a fresh main window",
                                 lambda: s.window_named(MAIN_TITLE), timeout=START_TIMEOUT)
    fresh = s.window_pid(s.main_window)
    if fresh in (case.program.pid, reporter):
        raise Failure("the main window after Перезапустить is not a fresh process's")
    s.wait_for_connections(0, "the fresh program restores no connection")
    s.wait_active(s.main_window, "the fresh main window")
    s.key("alt+F4")
    status = s.wait_for_exit(fresh, "the restarted program after its window is closed")
    if status != 0:
        raise Failure(f"the restarted program ended with status {status}")


def silent_server():
    """A debug-information server that takes connections into its queue and never answers."""
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    return server


def called(server):
    return bool(select.select([server], [], [], 0)[0])


def case_kill(s):
    case = Case(s, "kill")
    server = silent_server()
    url = f"http://127.0.0.1:{server.getsockname()[1]}"
    case.start(env={"DEBUGINFOD_URLS": url})
    version = case.login()
    window, reporter, report = case.crash(signal.SIGSEGV, signal.SIGSEGV, "kill -SEGV from outside")
    expect_in_report(report, [
        f"сигнал SIGSEGV (обращение к недопустимому адресу памяти), посланный процессом {os.getpid()}",
        "src/shell/main.cpp:", console_line(s, version)], "the report of kill -SEGV")
    expect_private(s, report)
    if called(server):
        raise Failure(f"the report asked the debug-information server at {url}")
    with open(f"/proc/{reporter}/maps", encoding="utf-8") as f:
        if "libdebuginfod" in f.read():
            raise Failure("the report process loaded the debug-information client")
    server.close()
    # Named like the program in the process list, although started through /proc/self/exe.
    with open(f"/proc/{reporter}/comm", encoding="utf-8") as f:
        name = f.read().strip()
    if name != os.path.basename(s.program_path):
        raise Failure(f"the report process is called {name!r} in the process list")
    case.check_cores()
    s.wait_for_connections(0, "no connection of the crashed program left on the server")
    # Закрыть is the default button.
    s.key("Return")
    status = s.wait_for_exit(reporter, "the report process after Enter")
    if status != 0:
        raise Failure(f"the report process ended with status {status}")


def case_replaced(s):
    """A package upgrade replaces the executable while the program runs: the report still names
    the program's own frames, and Перезапустить starts the program installed now."""
    case = Case(s, "replaced")
    installed = os.path.join(case.dir, "bin", os.path.basename(s.program_path))
    os.makedirs(os.path.dirname(installed))
    shutil.copy2(s.program_path, installed)
    s.program_files.add(installed)
    saved_path = s.program_path
    s.program_path = installed
    try:
        case.start(["--test-fault=null"])
    finally:
        s.program_path = saved_path
    # As a package manager does it: the new file beside, then renamed over the old one.
    shutil.copy2(s.program_path, installed + ".new")
    os.rename(installed + ".new", installed)
    window, reporter, report = case.crash(signal.SIGUSR1, signal.SIGSEGV,
                                          "a null dereference of a replaced executable")
    expect_in_report(report, ["TestFaults::DereferenceNull()", "src/crash/TestFaults.cpp:"],
                     "the report of a replaced executable")
    if "(deleted)" in report:
        raise Failure(f"the report names the removed file:\n{report}")
    press(s, window, "Перезапустить", CRASH_BUTTONS)
    s.wait_for_exit(reporter, "the report process after Перезапустить")
    s.main_window = s.wait_until("Перезапустить brings up a fresh main window",
                                 lambda: s.window_named(MAIN_TITLE), timeout=START_TIMEOUT)
    fresh = s.window_pid(s.main_window)
    if os.stat(f"/proc/{fresh}/exe").st_ino != os.stat(installed).st_ino:
        raise Failure(f"the restarted program is not the one installed now: {os.readlink(f'/proc/{fresh}/exe')}")
    s.wait_active(s.main_window, "the fresh main window")
    s.key("alt+F4")
    status = s.wait_for_exit(fresh, "the restarted program after its window is closed")
    if status != 0:
        raise Failure(f"the restarted program ended with status {status}")


def case_segv_abrt(s):
    """SIGABRT arrives while a SIGSEGV is being handled: it waits, and the report comes."""
    case = Case(s, "segv-abrt")
    case.start(["--test-fault=segv-abrt"])
    since = case.fail(signal.SIGUSR1)
    window = wait_for_report(s, since, "SIGABRT during the handling of SIGSEGV")
    reporter = s.window_pid(window)
    try:
        status = case.program.wait(timeout=START_TIMEOUT)
    except Exception:  # noqa: BLE001
        raise Failure(f"the program did not end within {START_TIMEOUT} s of its crash") from None
    if status not in (-signal.SIGSEGV, -signal.SIGABRT):
        raise Failure(f"the program ended with status {status}")
    report = save_report(s, window, os.path.join(case.dir, "report.txt"), CRASH_BUTTONS)
    expect_in_report(report, ["сигнал SIGSEGV", "TestFaults::DereferenceNull()"],
                     "the report of SIGSEGV then SIGABRT")
    s.key("Return")
    s.wait_for_exit(reporter, "the report process after Enter")


def case_client_overflow(s):
    """A stack overflow on a console's client thread: the handler runs on the thread's own signal
    stack. The sanitizer's signal stacks are off, so that the program's own are what is tested."""
    case = Case(s, "client-overflow")
    env = s.program_env()
    env["ASAN_OPTIONS"] += ":use_sigaltstack=0"
    case.start(["--test-fault=client-overflow"], env=env)
    window, reporter, report = case.crash(signal.SIGUSR1, signal.SIGSEGV,
                                          "a stack overflow on a client thread")
    expect_in_report(report, ["сигнал SIGSEGV", "«client ", "Recurse"],
                     "the report of a stack overflow on a client thread")
    if "главный поток программы" in report:
        raise Failure(f"the report names the main thread:\n{report}")
    s.key("Return")
    s.wait_for_exit(reporter, "the report process after Enter")


def case_no_display(s):
    """No display: the program fails before any window; that is told once on the standard error,
    and no report process is started (it would fail the same way)."""
    case = Case(s, "no-display")
    env = s.program_env()
    env.pop("DISPLAY", None)
    env["ASAN_OPTIONS"] += ":disable_coredump=0"
    log = os.path.join(case.dir, "stderr.txt")
    with open(log, "wb") as out:
        program = subprocess.Popen([s.program_path], env=env, cwd=case.dir, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=out, preexec_fn=with_cores)
        try:
            status = program.wait(timeout=START_TIMEOUT)
        except subprocess.TimeoutExpired:
            program.kill()
            raise Failure("the program without a display did not end") from None
    if status != -signal.SIGABRT:
        raise Failure(f"the program without a display ended with status {status}")
    # A report process would be started before the program ends; orphaned, it is this script's
    # child now, running or ended.
    others = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="utf-8", errors="replace") as f:
                head, _, tail = f.read().rpartition(")")
        except OSError:
            continue
        name = head.split("(", 1)[1]
        # Started through /proc/self/exe, a report process may be called "exe".
        if int(tail.split()[1]) == os.getpid() and name in (os.path.basename(s.program_path), "exe"):
            others.append(f"{entry} {name}")
    if others:
        raise Failure(f"the program without a display left processes behind: {others}")
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    told = text.count("fatal error before any window was shown")
    if told != 1 or text.count("could not connect to display") != 1:
        raise Failure(f"the standard error does not tell the failure once:\n{text}")
    case.check_cores()


CASES = [
    ("exception", "an exception escapes an event handler; Сохранить…, Продолжить", case_exception),
    ("null", "a null dereference after a password in a statement; Сохранить…, Отправить…, no core",
     case_null),
    ("abort", "abort() before any login; Печать…, Сохранить…, no mail program, no core", case_abort),
    ("terminate", "an exception escapes a thread; Перезапустить", case_terminate),
    ("kill", "kill -SEGV from outside after a login, DEBUGINFOD_URLS silent; Закрыть", case_kill),
    ("replaced", "the executable replaced while running; Перезапустить", case_replaced),
    ("segv-abrt", "SIGABRT while a SIGSEGV is handled", case_segv_abrt),
    ("client-overflow", "a stack overflow on a client thread", case_client_overflow),
    ("no-display", "no display: one message, one process, no core", case_no_display),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="the brindlecast executable")
    parser.add_argument("--artifacts", help="where logs and screenshots go (kept after the run)")
    parser.add_argument("--only", help="run only the cases of these names, separated by commas")
    args = parser.parse_args()
    artifacts = prepare_run(args.artifacts, "brindlecast-crash-artifacts.")
    # Orphans of the program (its report process, a restarted program) come to this script.
    pr_set_child_subreaper = 36
    ctypes.CDLL(None, use_errno=True).prctl(pr_set_child_subreaper, 1)

    state_path = os.environ.get("BRINDLECAST_TESTDB")
    if not state_path:
        print("FAILED: BRINDLECAST_TESTDB does not name the test server's state file")
        return 1

    began = time.monotonic()
    session = None
    current = "start-up"
    try:
        session = CrashSession(os.path.abspath(args.program), artifacts, read_state(state_path))
        session.start_desktop()
        print(f"start-up: ok ({time.monotonic() - began:.1f} s, display {session.env['DISPLAY']})")
        for name, title, run in CASES:
            if args.only and name not in args.only.split(","):
                continue
            current = f"{name} ({title})"
            case_began = time.monotonic()
            run(session)
            session.end_program()
            print(f"{name}: {title}: ok ({time.monotonic() - case_began:.1f} s)")
        print(f"passed in {time.monotonic() - began:.1f} s")
        return 0
    except Failure as error:
        print(f"FAILED in {current}: {error}")
        if session is not None:
            session.show_failure("failure")
        print(f"logs: {artifacts}")
        return 1
    except SystemExit:
        print(f"stopped from outside in {current}; logs: {artifacts}")
        raise
    finally:
        if session is not None:
            session.stop()


if __name__ == "__main__":
    sys.exit(main())

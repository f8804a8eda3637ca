#!/usr/bin/env python3
"""What the real Orca says while a keyboard user reads Lumbra against the sandbox.

Runs inside a private desktop session (scripts/screen-reader-check.sh): starts Orca, the
sandbox and Lumbra, sends each step's keys with xdotool and waits until Orca's own speech
log says what the step expects. Orca's speech is logged rather than played, so no sound
device is needed.

    orca-speaks.py LUMBRA SANDBOX
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

# Each step: the keys (xdotool names; "type:..." types text; "focus:..." gives the window
# of that name the focus, as a window manager would), then what Orca must say
# after them, as a regular expression over one spoken line. "until" repeats the keys until
# it is said, at most that many times.
LONG_READ_SENTENCE = "The path climbs past the old mill and the river turns below it."
STEPS = [
    # A login that fails says why; the address typed again logs in, through the browser,
    # and ends on the sources.
    ("type:127.0.0.1:9", None),
    ("Return", r"Can't reach 127\.0\.0\.1:9: connection refused"),
    ("shift+Tab", r"^Server text"),
    ("type:{server}", None),
    ("Return", r"^All Unread, 12 unread"),
    # Tab and Shift+Tab reach every control, in the order the columns read.
    ("shift+Tab", r"^Refresh"),
    ("Tab", r"^All Unread, 12 unread"),
    # The keyboard passes over the sources' headings; the row under one says it.
    ("Down", r"^All Articles"),
    ("Down", r"^Starred, \d+ starred"),
    ("Down", r"^Folders: Empty Folder, folder, no unread"),
    # A folder opens and closes with Right and Left, and says so.
    ("Down", r"^Tech & Science, folder"),
    ("Right", r"expanded"),
    ("Left", r"collapsed"),
    ("Up Up Up Up", r"^All Unread, 12 unread"),
    # Entering the list says the row the keyboard is on; Down goes to the next one.
    ("Tab", r"^Mark All as Read"),
    ("Tab", r"^Search articles"),
    ("Tab", r"^Unread\. A walk of a day\. Long Reads, "),
    # M acts on the row the keyboard is on before it is opened, and says so.
    ("m", r"^Marked as read\.?$"),
    ("m", r"^Marked as unread\.?$"),
    # Opening an unread row marks it read: both are said, with the feed and the age.
    ("Down", r"^Unread, now read\. Ten links for the weekend\. Daily Links, \d+ minutes ago\.$"),
    ("Down Down Down Down Down", r"^Unread, now read, starred\. Why your build is slow"),
    ("Up Up Up Up Up Up", r"^Unread, now read\. A walk of a day"),
    # Changes made from the keyboard are said, and so is the server refusing one.
    ("s", r"Starred\.?$"),
    (None, r"Nextcloud refused the change: The server ran into an error of its own"),
    ("m", r"Marked as unread\.?$"),
    ("m", r"Marked as read\.?$"),
    # The toolbar's toggles say whether they are on, and their key.
    ("Tab", r"^Starred check box not checked"),
    (None, r"^Star \(S\)$"),
    ("Tab", r"^Unread check box not checked"),
    (None, r"^Mark as Unread \(M\)$"),
    ("space", r"^checked"),
    ("space", r"^not checked"),
    ("Tab", r"^Save Quote to Obsidian"),
    ("Tab", r"^Open in Browser"),
    ("Tab", r"^Share"),
    # The article, as text: say-all to its last sentence, headings with H.
    ("Tab", r"^Article text"),
    # Its first line is read on the focus, or once the text came if the focus came first.
    (None, r"A walk of a day"),
    ("KP_Add", r"That is where the walk ends\."),
    ("ctrl+Home", None),
    ("h", r"At dawn, heading level 2"),
    ("h", r"By noon, heading level 2"),
    ("shift+h", r"At dawn, heading level 2"),
    # One sentence selected with the keyboard becomes exactly that quote.
    ("p", r"Part 1\. The path climbs"),
    (" ".join(["Right"] * len("Part 1. ")), None),
    (" ".join(["shift+Right"] * len(LONG_READ_SENTENCE)), r"^\.|period|dot"),
    ("shift+ctrl+h", r"Quote added to"),
    # The quote is marked at once: Q moves to it and says it, the toolbar counts it.
    ("ctrl+Home", None),
    ("q", r"Quote 1 of 1: The path climbs past the old mill"),
    ({"keys": "shift+Tab", "until": 4}, r"^1 quote"),
    # The toolbar's Share menu opens on its first entry.
    ({"keys": "shift+Tab", "until": 12}, r"^Share"),
    ("space", r"^Copy Link"),
    ("Escape", None),
    # The text's own menu, from the keyboard, offers the quote first.
    ({"keys": "Tab", "until": 6}, r"^Article text"),
    ("shift+F10", r"^Save Quote to Obsidian"),
    ("Escape", None),
    # A search says how many articles match, once typing pauses.
    ("ctrl+f", r"^Search articles"),
    ("type:heron", r"1 of 1[0-9] articles"),
    ("type:xyz", r"No articles match"),
    # Settings: each button and check box is heard with the words beside it.
    ("ctrl+comma", r"^Log Out push button"),
    (None, r"^Logged in as \S+ on http://127\.0\.0\.1"),
    ("Tab", r"^Choose Vault"),
    (None, r"^Obsidian vault: .*vault\. Each article you quote gets a note"),
    ("Tab", r"^Load remote images check box checked"),
    (None, r"no site learns what you read"),
    ("Tab", r"^Show articles as text for screen readers check box"),
    ("Tab", r"Refresh every 15 min spin button"),
    ("Up", r"^16 min"),
    ("Tab", r"^Tell me about new articles check box checked"),
    ("Tab", r"^Keep running in the panel when closed check box"),
    ("Tab", r"^Start in the panel when I log in check box not checked"),
    ("Escape", None),
    ("focus:^Lumbra$", None),
    # Opened again, Settings starts at its first control, not the one left last.
    ("ctrl+comma", r"^Log Out push button"),
    ("Escape", None),
    ("focus:^Lumbra$", None),
    # Subscribing: the dialog's fields are named, and why a feed was not added is said.
    ("ctrl+n", r"^Address text"),
    (None, r"address, for example https://example\.org/feed\.xml"),
    ("type:file:///etc/passwd", None),
    ("Return", r"Only web addresses \(http:// or https://\) can be subscribed"),
    # A combo box says its choice, and each new one (Qt 6.4 gives Orca neither).
    ("Tab", r"^Folder combo box"),
    (None, r"Top level"),
    ("Down", r"Empty Folder"),
    ("Up", r"Top level"),
    ("shift+Tab", r"^Address text"),
    # A site's address: the feeds its page names are offered, and the one taken is said.
    ("type:{server}/subscribable/", None),
    ("Return", r"It names 2 feeds"),
    (None, r"Field Notes"),
    ("Return", r"Subscribed to .Field Notes"),
    ("focus:^Lumbra$", None),
    # Its articles are listed; a row without a date leaves none to say.
    ("Escape", r"^Unread\. Reading the tides\. Field Notes\.$"),
    # Unsubscribing from the sources' menu asks first, naming the feed and what goes.
    ("shift+Tab", r"^Search articles"),
    ("shift+Tab", r"^Mark All as Read"),
    ("shift+Tab", r"^Field Notes, feed, 2 unread"),
    ("shift+F10", r"^Add Feed"),
    ("Up", r"^Unsubscribe"),
    ("Return", r"Unsubscribe from .Field Notes.\? Its 2 unread articles go with it"),
    (None, r"^Cancel push button"),
    ("Escape", None),
    ("focus:^Lumbra$", None),
    # Delete asks the same from the row, as a file manager does of a file.
    ("Delete", r"Unsubscribe from .Field Notes.\?"),
    ("Escape", None),
    ("focus:^Lumbra$", None),
    # Kept, its articles are marked read at once.
    ("shift+ctrl+a", r"2 articles marked as read"),
    # Renamed with F2; a new folder, from the menu, is chosen once the server made it.
    ("F2", r"^New name of the feed text"),
    ("type:Tides", None),
    ("Return", None),
    ("focus:^Lumbra$", r"^Tides, feed, no unread"),
    ("shift+F10", r"^Add Feed"),
    ("Down", r"^New Folder"),
    ("Return", r"^Name of the new folder text"),
    ("type:Reading", None),
    ("Return", None),
    ("focus:^Lumbra$", r"^Reading, folder, no unread"),
    # The menu opened again says its entries as the first time; deleting asks first.
    ("shift+F10", r"^Add Feed"),
    ("Up", r"^Delete Folder"),
    ("Return", r"Delete the folder .Reading.\?"),
    (None, r"^Cancel push button"),
    ("Escape", None),
]

STEP_WAIT = 60  # seconds; a step normally takes well under one


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Speech:
    """Orca's speech log, read as it grows."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.heard = []
        self.pending = []  # said after the last line a step waited for

    def new_lines(self):
        try:
            with open(self.path, encoding="utf-8", errors="replace") as log:
                log.seek(self.offset)
                text = log.read()
        except FileNotFoundError:
            return []
        # Only whole lines; a line being written is read next time.
        end = text.rfind("\n") + 1
        self.offset += len(text[:end].encode("utf-8"))
        lines = []
        for line in text[:end].splitlines():
            said = re.match(r"SPEECH OUTPUT: '(.*)'", line)
            if said:
                lines.append(said.group(1))
        self.heard += lines
        return lines

    def wait_for(self, pattern, deadline):
        while True:
            self.pending += self.new_lines()
            for index, line in enumerate(self.pending):
                if re.search(pattern, line):
                    del self.pending[:index + 1]
                    return True
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.2)

    def forget(self):
        self.pending = self.new_lines() and []


def settle(debug_log, deadline):
    """Waits until Orca has worked through what the keys set off: its debug log, written
    with each event it handles, holds still for half a second. Orca drops messages once
    more than a hundred events wait, so the next keys must not pile onto these."""
    size, still_since = -1, time.monotonic()
    while time.monotonic() < deadline:
        now_size = os.path.getsize(debug_log) if os.path.exists(debug_log) else 0
        if now_size != size:
            size, still_since = now_size, time.monotonic()
        elif time.monotonic() - still_since >= 0.5:
            return
        time.sleep(0.1)


def focus(title):
    """Gives the focus to the shown window whose title matches, once there is one."""
    deadline = time.monotonic() + STEP_WAIT
    while True:
        # A window that goes while xdotool walks the tree (Qt and Chromium make short-lived
        # ones as they start) ends its search with BadWindow: walk it again.
        done = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", title,
                               "windowfocus", "--sync"], timeout=STEP_WAIT)
        if done.returncode == 0:
            return
        if time.monotonic() > deadline:
            sys.exit(f"no window {title} to give the focus to")
        time.sleep(0.2)


def send(keys, server):
    if keys.startswith("focus:"):
        # What a window manager does when a dialog closes; none runs here.
        focus(keys[6:])
    elif keys.startswith("type:"):
        subprocess.run(["xdotool", "type", "--delay", "40", keys[5:].format(server=server)],
                       check=True)
    else:
        subprocess.run(["xdotool", "key", "--delay", "80"] + keys.split(), check=True)


def main():
    lumbra, sandbox = sys.argv[1], sys.argv[2]
    scratch = tempfile.mkdtemp(prefix="orca-speaks-")
    home = os.environ["HOME"]  # a throwaway one, made by screen-reader-check.sh
    vault = os.path.join(scratch, "vault")
    os.makedirs(os.path.join(home, ".config", "lumbra.app"), exist_ok=True)
    os.makedirs(os.path.join(home, ".local", "share", "orca"), exist_ok=True)
    os.makedirs(os.path.join(vault, ".obsidian"))
    speech_log = os.path.join(scratch, "speech.log")
    orca_debug = os.path.join(scratch, "orca-debug.log")
    # Orca reads this at start: its speech log goes to a file, written line by line.
    with open(os.path.join(home, ".local", "share", "orca", "orca-customizations.py"), "w") as f:
        f.write("import logging\n"
                f"handler = logging.FileHandler({speech_log!r})\n"
                "handler.setFormatter(logging.Formatter('%(message)s'))\n"
                "logging.getLogger('speech').addHandler(handler)\n")
    with open(os.path.join(home, ".config", "lumbra.app", "Lumbra.conf"), "w") as f:
        f.write(f"[General]\nvaultPath={vault}\n")
    # Plays the user's browser: opens the login page and presses "Grant access".
    browser = os.path.join(scratch, "browser")
    with open(browser, "w") as f:
        f.write("#!/bin/sh\n"
                "base=$(printf '%s' \"$1\" | sed 's#^\\(https*://[^/]*\\).*#\\1#')\n"
                "page=$(curl -s \"$1\")\n"
                "flow=$(printf '%s' \"$page\" | sed -n 's/.*name=\"flow\" value=\"\\([^\"]*\\)\".*/\\1/p')\n"
                "action=$(printf '%s' \"$page\" | sed -n 's/.*<form[^>]*action=\"\\([^\"]*\\)\".*/\\1/p')\n"
                "case \"$action\" in /*) action=\"$base$action\" ;; esac\n"
                "curl -s -d \"flow=$flow\" \"$action\" > /dev/null\n")
    os.chmod(browser, 0o755)
    # Qt hands web addresses to the first xdg-open on the PATH. The desktop's own would
    # open the browser the machine has (Chromium takes http), not the stand-in.
    bin_dir = os.path.join(scratch, "bin")
    os.makedirs(bin_dir)
    with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
        f.write(f"#!/bin/sh\nexec {browser} \"$1\"\n")
    os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)

    env = dict(os.environ, BROWSER=browser, LANGUAGE="en", QT_QPA_PLATFORM="xcb",
               QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu",
               PATH=bin_dir + os.pathsep + os.environ["PATH"])
    env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)  # Orca's presence turns it on
    port = free_port()
    server = f"http://127.0.0.1:{port}"
    processes = []
    failures = []
    speech = Speech(speech_log)
    try:
        processes.append(subprocess.Popen(
            [sandbox, "--port", str(port), "--demo", "--long-read", "--fault", "item-star=500"],
            stdout=subprocess.DEVNULL))
        orca_out = os.path.join(scratch, "orca.out")
        orca = subprocess.Popen(
            ["orca", "--disable=speech", "--debug-file=" + orca_debug],
            env=env, stdout=open(orca_out, "w"), stderr=subprocess.DEVNULL)
        processes.append(orca)
        deadline = time.monotonic() + STEP_WAIT
        while not os.path.exists(speech_log) and time.monotonic() < deadline:
            if orca.poll() is not None:
                said = open(orca_out, encoding="utf-8", errors="replace").read().strip()
                if "Another screen reader process is already running" in said:
                    # The user's own Orca started after screen-reader-check.sh looked.
                    print("orca-speaks: skipped: this user already runs Orca, and Orca runs "
                          "once per user")
                    return 77
                sys.exit(f"orca ended at its start: {said}")
            time.sleep(0.2)  # Orca makes it once it has read its settings
        if not os.path.exists(speech_log):
            sys.exit("orca did not start")
        processes.append(subprocess.Popen([lumbra], env=env, stdout=subprocess.DEVNULL,
                                          stderr=open(os.path.join(scratch, "lumbra.log"), "w")))
        # No window manager gives the new window the focus: the user's click does.
        focus("^Lumbra$")
        if not speech.wait_for(r"^Server text", time.monotonic() + STEP_WAIT):
            sys.exit("lumbra's login was not said")
        # The example address is said as an example, not as if it were typed in.
        if not speech.wait_for(r"address, for example cloud\.example\.org",
                               time.monotonic() + STEP_WAIT):
            failures.append(("login", "the server field's description"))
            print("FAIL the server field's example is not said as an example", flush=True)
        for keys, expected in STEPS:
            until = 1
            if isinstance(keys, dict):
                keys, until = keys["keys"], keys["until"]
            said = expected is None
            for _ in range(until):
                if keys:
                    speech.forget()
                    send(keys, server)
                if expected is None:
                    settle(orca_debug, time.monotonic() + STEP_WAIT)
                    break
                if speech.wait_for(expected, time.monotonic() + (STEP_WAIT if until == 1 else 5)):
                    said = True
                    break
            status = "ok  " if said else "FAIL"
            print(f"{status} {keys or '(waits)':<40} {expected or ''}", flush=True)
            if not said:
                failures.append((keys, expected))
                break  # later steps start from where this one should have left off
        # Lumbra's own words are said as they are, never after the word "notification".
        announced = [line for line in speech.heard if line.lower().startswith("notification")]
        if announced:
            failures.append(("notification", announced[0]))
            print(f"FAIL said as a notification: {announced[0]}", flush=True)
        notes = [os.path.join(root, name) for root, _, names in os.walk(vault)
                 for name in names if name.endswith(".md")]
        quoted = "".join(open(note, encoding="utf-8").read() for note in notes)
        if not failures:
            if "> " + LONG_READ_SENTENCE not in quoted:
                failures.append(("quote", LONG_READ_SENTENCE))
                print("FAIL the note does not quote exactly the selected sentence:\n" + quoted)
            else:
                print("ok   the note quotes exactly the selected sentence")
    finally:
        for process in reversed(processes):
            process.terminate()
        for process in processes:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
    if failures:
        print("\nOrca said, last first:")
        for line in reversed(speech.heard[-40:]):
            print("   ", line)
        print(f"(Orca's debug log and Lumbra's output are in {scratch})")
        return 1
    shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""What the real Orca says while a keyboard user reads Lumbra against the sandbox.

Runs inside a private desktop session (scripts/screen-reader-check.sh): starts Orca, the
sandbox and Lumbra, sends each step's keys with xdotool and waits until Orca's own speech
log says what the step expects. Orca's speech is logged rather than played, so no sound
device is needed.

    orca-speaks.py LUMBRA SANDBOX [LANGUAGE]   (en, de or fr; default en)

One language a desktop session: Lumbra keeps its account in the session's keyring, so a
second run in the same session would start logged in.

With ORCA_SPEAKS_KEEP set, Orca's logs are kept even when every step passed.
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
# it is said, at most that many times; "quiet" is never said from the keys until Orca is done.
# The window's name and role, as Orca says them when the window becomes active.
WINDOW_SAID = r"^Lumbra \S+\.?$"
LONG_READ_SENTENCE = "The path climbs past the old mill and the river turns below it."
ENGLISH = [
    # The example address is said as an example, not as if it were typed in.
    (None, r"address, for example cloud\.example\.org"),
    # A server nobody vouches for: what is wrong is said, then each of the certificate's
    # values with its row, to compare by ear.
    ("type:{secure}", None),
    ("Return", r"nobody vouches for its certificate"),
    ("Tab", r"^Nobody vouches for its certificate: it is self-signed"),
    ("Tab", r"^Server https://127\.0\.0\.1:\d+ label"),
    ("Tab", r"^Issued to 127\.0\.0\.1 label"),
    ("Tab", r"^Issued by 127\.0\.0\.1 label"),
    ("Tab", r"^Valid from \w+, .*20\d\d.* label"),
    ("Tab", r"^Valid until \w+, .*20\d\d.* label"),
    ("Tab", r"^Certificate SHA-256 ([0-9A-F]{2}:){31}[0-9A-F]{2} label"),
    ("Tab", r"^Public key SHA-256 ([0-9A-F]{2}:){31}[0-9A-F]{2} label"),
    ("Tab", r"^Copy the certificate's details push button"),
    ("Tab", r"^Trust This Certificate push button"),
    ("Tab", r"^Log In push button"),
    ({"keys": "Tab", "until": 4}, r"^Server text"),
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
    # Tab goes from link to link in the article's text, each said once, as a link.
    ({"keys": "Tab", "until": 8}, r"^Article text"),
    ("Tab", r"^Ten links for the weekend, link"),
    ("Tab", r"^First, link"),
    ("Tab", r"^Second, link"),
    # Back in the rows, the article opened is said as read: it was said as just read.
    ({"keys": "shift+Tab", "until": 10}, r"^Ten links for the weekend\. Daily Links"),
    ("Down Down Down Down Down", r"^Unread, now read, starred\. Why your build is slow"),
    ("Up Up Up Up Up Up", r"^Unread, now read\. A walk of a day"),
    # Changes made from the keyboard are said, and so is the server refusing one.
    ("s", r"Starred\.?$"),
    (None, r"Nextcloud refused the change: The server ran into an error of its own"),
    ("m", r"Marked as unread\.?$"),
    ("m", r"Marked as read\.?$"),
    # The refusal waits at the Tab order's end; dismissed with Escape, the focus is back
    # where it was before the keyboard went to it.
    ({"keys": "shift+Tab", "until": 8}, r"^Dismiss push button"),
    ("Escape", r"^Refresh push button"),
    ({"keys": "Tab", "until": 5}, r"A walk of a day\. Long Reads"),
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
    # The toolbar's Share menu opens on its first entry, and neither it nor the text's own
    # menu, which offers the quote first, says the window again as it opens or closes.
    ({"keys": "shift+Tab", "until": 12}, r"^Share"),
    ({"keys": "space", "quiet": WINDOW_SAID}, r"^Copy Link"),
    ({"keys": "Escape", "quiet": WINDOW_SAID}, None),
    ({"keys": "Tab", "until": 6}, r"^Article text"),
    ({"keys": "shift+F10", "quiet": WINDOW_SAID}, r"^Save Quote to Obsidian"),
    ({"keys": "Escape", "quiet": WINDOW_SAID}, None),
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
    # Each choice is said alone: the sentence above is not read again before it.
    ("Down", r"^Release Log \(RSS\) — http"),
    ("Up", r"^Field Notes \(RSS\) — http"),
    ("Return", r"Subscribed to .Field Notes"),
    ("focus:^Lumbra$", None),
    # Its articles are listed; a row without a date leaves none to say.
    ("Escape", r"^Unread\. Reading the tides\. Field Notes\.$"),
    # Unsubscribing from the sources' menu asks first, naming the feed and what goes.
    ("shift+Tab", r"^Search articles"),
    ("shift+Tab", r"^Mark All as Read"),
    ("shift+Tab", r"^Field Notes, feed, 2 unread"),
    ({"keys": "shift+F10", "quiet": WINDOW_SAID}, r"^Add Feed"),
    ({"keys": "Up", "quiet": WINDOW_SAID}, r"^Unsubscribe"),
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

# In German and French, from a fresh login too: Lumbra's words in the language with its
# dates and quotation marks, and Orca's own around them.
GERMAN = [
    (None, r"^Die Adresse Ihrer Nextcloud, zum Beispiel cloud\.example\.org"),
    ("type:{secure}", None),
    ("Return", r"niemand bürgt für sein Zertifikat"),
    ("Tab", r"^Niemand bürgt für sein Zertifikat: Es ist selbst signiert"),
    ("Tab", r"^Server https://127\.0\.0\.1:\d+ "),
    ("Tab", r"^Ausgestellt für 127\.0\.0\.1 "),
    ("Tab", r"^Ausgestellt von 127\.0\.0\.1 "),
    ("Tab", r"^Gültig ab \w+, \d+\. \w+ 20\d\d"),
    ("Tab", r"^Gültig bis \w+, \d+\. \w+ 20\d\d"),
    ("Tab", r"^SHA-256 des Zertifikats ([0-9A-F]{2}:){31}[0-9A-F]{2} "),
    ("Tab", r"^SHA-256 des öffentlichen Schlüssels ([0-9A-F]{2}:){31}[0-9A-F]{2} "),
    ("Tab", r"^Die Angaben des Zertifikats kopieren "),
    ("Tab", r"^Diesem Zertifikat vertrauen "),
    ({"keys": "Tab", "until": 4}, r"^Server "),
    ("type:{server}", None),
    ("Return", r"^Alle ungelesenen, 12 ungelesen"),
    ("Tab", r"^Alle als gelesen markieren"),
    ("Tab", r"^Artikel durchsuchen"),
    ("Tab", r"^Ungelesen\. A walk of a day\. Long Reads, "),
    ("m", r"^Als gelesen markiert\.?$"),
    ("Down", r"^Ungelesen, jetzt gelesen\. Ten links for the weekend\. Daily Links, vor \d+ Minuten"),
    ("s", r"^Zu Favoriten hinzugefügt\.?$"),
    (None, r"^Nextcloud hat die Änderung abgelehnt: Auf dem Server ist ein Fehler aufgetreten"),
    ("ctrl+f", r"^Artikel durchsuchen"),
    ("type:heron", r"1 von 1[0-9] Artikeln"),
    ("ctrl+n", r"^Adresse "),
    ("type:{server}/subscribable/", None),
    ("Return", r"Sie nennt 2 Feeds: Wählen Sie einen und drücken Sie „Hinzufügen“"),
    (None, r"Field Notes"),
    ("Return", r"^„Field Notes“ abonniert"),
]
FRENCH = [
    (None, r"^L’adresse de votre Nextcloud, par exemple cloud\.example\.org"),
    ("type:{secure}", None),
    ("Return", r"personne ne garantit son certificat"),
    ("Tab", r"^Personne ne garantit son certificat\s: il est auto-signé"),
    ("Tab", r"^Serveur https://127\.0\.0\.1:\d+ "),
    ("Tab", r"^Délivré à 127\.0\.0\.1 "),
    ("Tab", r"^Délivré par 127\.0\.0\.1 "),
    ("Tab", r"^Valide à partir du \w+ \d+ \w+ 20\d\d"),
    ("Tab", r"^Valide jusqu’au \w+ \d+ \w+ 20\d\d"),
    ("Tab", r"^SHA-256 du certificat ([0-9A-F]{2}:){31}[0-9A-F]{2} "),
    ("Tab", r"^SHA-256 de la clé publique ([0-9A-F]{2}:){31}[0-9A-F]{2} "),
    ("Tab", r"^Copier les détails du certificat "),
    ("Tab", r"^Faire confiance à ce certificat "),
    ({"keys": "Tab", "until": 4}, r"^Serveur "),
    ("type:{server}", None),
    ("Return", r"^Tous les non lus, 12 non lus"),
    ("Tab", r"^Tout marquer comme lu"),
    ("Tab", r"^Rechercher dans les articles"),
    ("Tab", r"^Non lu\. A walk of a day\. Long Reads, "),
    ("m", r"^Marqué comme lu\.?$"),
    ("Down", r"^Non lu, maintenant lu\. Ten links for the weekend\. Daily Links, il y a \d+\sminutes"),
    ("s", r"^Ajouté aux favoris\.?$"),
    (None, r"^Nextcloud a refusé la modification\s: Le serveur a rencontré une erreur interne"),
    ("ctrl+f", r"^Rechercher dans les articles"),
    ("type:heron", r"1 sur 1[0-9] articles"),
    ("ctrl+n", r"^Adresse "),
    ("type:{server}/subscribable/", None),
    ("Return", r"Elle mentionne 2 flux\s: choisissez-en un et appuyez sur «\sAjouter\s»"),
    (None, r"Field Notes"),
    ("Return", r"^Abonné à «\sField Notes\s»"),
]
TABLES = {"en": ENGLISH, "de": GERMAN, "fr": FRENCH}
# Lumbra's dates and numbers follow the locale; Orca's words follow LANGUAGE.
LOCALES = {"en": "en_US.UTF-8", "de": "de_DE.UTF-8", "fr": "fr_FR.UTF-8"}
# Sentences Orca must not repeat as the focus moves on (a dialog's status before each of
# its choices).
SAID_ONCE = [r"It names 2 feeds", r"Sie nennt 2 Feeds", r"Elle mentionne 2 flux"]
# Never said: a link's text read out as a selection, besides Lumbra's "First, link".
NEVER_SAID = [r"^First\.?$", r"^Second\.?$", r"\bunselected\b", r"^Ten links for the weekend$"]
# The login's first field, as Orca says it when Lumbra starts.
LOGIN_FIELD = {"en": r"^Server ", "de": r"^Server ", "fr": r"^Serveur "}
# What Orca says before a notification's text, in its language.
NOTIFICATION = {"en": "notification", "de": "benachrichtigung", "fr": "notification"}

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


def send(keys, servers):
    if keys.startswith("focus:"):
        # What a window manager does when a dialog closes; none runs here.
        focus(keys[6:])
    elif keys.startswith("type:"):
        subprocess.run(["xdotool", "type", "--delay", "40", keys[5:].format(**servers)],
                       check=True)
    else:
        subprocess.run(["xdotool", "key", "--delay", "80"] + keys.split(), check=True)


def run(lumbra, sandbox, language, steps, scratch):
    """One session of the table in one language, from a fresh login, with its own Orca,
    sandboxes and settings. Returns the failures."""
    home = os.path.join(scratch, language)
    config, data = os.path.join(home, ".config"), os.path.join(home, ".local", "share")
    vault = os.path.join(home, "vault")
    os.makedirs(os.path.join(config, "lumbra.app"))
    os.makedirs(os.path.join(data, "orca"))
    os.makedirs(os.path.join(vault, ".obsidian"))
    speech_log = os.path.join(home, "speech.log")
    orca_debug = os.path.join(home, "orca-debug.log")
    # Orca reads this at start: its speech log goes to a file, written line by line.
    with open(os.path.join(data, "orca", "orca-customizations.py"), "w") as f:
        f.write("import logging\n"
                f"handler = logging.FileHandler({speech_log!r})\n"
                "handler.setFormatter(logging.Formatter('%(message)s'))\n"
                "logging.getLogger('speech').addHandler(handler)\n")
    with open(os.path.join(config, "lumbra.app", "Lumbra.conf"), "w") as f:
        f.write(f"[General]\nvaultPath={vault}\n")
    # Orca speaks the language too (its own words through gettext); Lumbra also takes
    # its dates and numbers from it.
    env = dict(os.environ, LANGUAGE=language, XDG_CONFIG_HOME=config, XDG_DATA_HOME=data)
    lumbra_env = dict(env, LC_ALL=LOCALES[language])
    port, secure_port = free_port(), free_port()
    server = f"http://127.0.0.1:{port}"
    servers = {"server": server, "secure": f"https://127.0.0.1:{secure_port}"}
    processes = []
    failures = []
    speech = Speech(speech_log)
    try:
        processes.append(subprocess.Popen(
            [sandbox, "--port", str(port), "--demo", "--long-read", "--fault", "item-star=500"],
            stdout=subprocess.DEVNULL))
        processes.append(subprocess.Popen(
            [sandbox, "--port", str(secure_port), "--demo", "--https"],
            stdout=subprocess.DEVNULL))
        orca_out = os.path.join(home, "orca.out")
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
                    raise Skipped()
                sys.exit(f"orca ended at its start: {said}")
            time.sleep(0.2)  # Orca makes it once it has read its settings
        if not os.path.exists(speech_log):
            sys.exit("orca did not start")
        processes.append(subprocess.Popen([lumbra], env=lumbra_env, stdout=subprocess.DEVNULL,
                                          stderr=open(os.path.join(home, "lumbra.log"), "w")))
        # No window manager gives the new window the focus: the user's click does.
        focus("^Lumbra$")
        if not speech.wait_for(LOGIN_FIELD[language], time.monotonic() + STEP_WAIT):
            sys.exit("lumbra's login was not said")
        for keys, expected in steps:
            until, quiet = 1, None
            if isinstance(keys, dict):
                keys, until, quiet = keys["keys"], keys.get("until", 1), keys.get("quiet")
            heard_before = len(speech.heard)
            said = expected is None
            for _ in range(until):
                if keys:
                    speech.forget()
                    heard_before = len(speech.heard)  # what the keys set off, from here
                    send(keys, servers)
                if expected is None:
                    settle(orca_debug, time.monotonic() + STEP_WAIT)
                    break
                if speech.wait_for(expected, time.monotonic() + (STEP_WAIT if until == 1 else 5)):
                    said = True
                    break
            if said and quiet:
                settle(orca_debug, time.monotonic() + STEP_WAIT)
                speech.pending += speech.new_lines()
                loud = [line for line in speech.heard[heard_before:] if re.search(quiet, line)]
                if loud:
                    said = False
                    expected = f"{expected or ''} and never {loud[0]!r}"
            status = "ok  " if said else "FAIL"
            print(f"{status} {language} {keys or '(waits)':<40} {expected or ''}", flush=True)
            if not said:
                failures.append((keys, expected))
                break  # later steps start from where this one should have left off
        for pattern in SAID_ONCE:
            times = sum(1 for line in speech.heard if re.search(pattern, line))
            if times > 1:
                failures.append(("said once", pattern))
                print(f"FAIL {language} said {times} times: {pattern}", flush=True)
        for pattern in NEVER_SAID:
            heard = [line for line in speech.heard if re.search(pattern, line)]
            if heard:
                failures.append(("never said", pattern))
                print(f"FAIL {language} said: {heard[0]}", flush=True)
        # Lumbra's own words are said as they are, never after the word "notification".
        announced = [line for line in speech.heard
                     if line.lower().startswith(NOTIFICATION[language])]
        if announced:
            failures.append(("notification", announced[0]))
            print(f"FAIL {language} said as a notification: {announced[0]}", flush=True)
        notes = [os.path.join(root, name) for root, _, names in os.walk(vault)
                 for name in names if name.endswith(".md")]
        quoted = "".join(open(note, encoding="utf-8").read() for note in notes)
        if not failures and language == "en":
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
        print(f"\nOrca said in {language}, last first:")
        for line in reversed(speech.heard[-40:]):
            print("   ", line)
    return failures


class Skipped(Exception):
    pass


def main():
    lumbra, sandbox = sys.argv[1], sys.argv[2]
    language = sys.argv[3] if len(sys.argv) > 3 else "en"
    scratch = tempfile.mkdtemp(prefix="orca-speaks-")
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
    os.environ.update(BROWSER=browser, QT_QPA_PLATFORM="xcb",
                      QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu",
                      PATH=bin_dir + os.pathsep + os.environ["PATH"])
    os.environ.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)  # Orca's presence turns it on
    try:
        failures = run(lumbra, sandbox, language, TABLES[language], scratch)
    except Skipped:
        print("orca-speaks: skipped: this user already runs Orca, and Orca runs once per user")
        return 77
    if failures or os.environ.get("ORCA_SPEAKS_KEEP"):
        print(f"(Orca's debug logs and Lumbra's output are in {scratch})")
        return 1 if failures else 0
    shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Fails when a translation is behind the sources.

    check-translations.py LUPDATE SOURCE_ROOT

Runs lupdate over copies of translations/*.ts and fails on any text it finds new or
unfinished (untranslated), any text the sources no longer have (obsolete), and any
translation that drops or adds a placeholder of its source (%1, %n).
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

PLACEHOLDER = re.compile(r"%L?(?:n|\d+)")


def placeholders(text):
    return sorted(set(PLACEHOLDER.findall(text or "")))


def problems(ts):
    for context in ET.parse(ts).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source")
            translation = message.find("translation")
            where = f"{ts.name}: {name}: {source!r}"
            kind = translation.get("type")
            if kind in ("unfinished", None) and not (translation.text or "").strip() and \
                    not translation.findall("numerusform"):
                yield f"untranslated: {where}"
                continue
            if kind == "unfinished":
                yield f"unfinished: {where}"
            if kind in ("vanished", "obsolete"):
                yield f"obsolete: {where}"
                continue
            forms = [f.text for f in translation.findall("numerusform")] or [translation.text]
            for form in forms:
                if not (form or "").strip():
                    yield f"a plural form missing: {where}"
                elif placeholders(form) != placeholders(source):
                    yield f"placeholders {placeholders(form)} instead of " \
                          f"{placeholders(source)}: {where}"


def main():
    lupdate, root = sys.argv[1], pathlib.Path(sys.argv[2])
    sources = [str(root / "Lumbra"), str(root / "LumbraCore")]
    found = []
    with tempfile.TemporaryDirectory() as scratch:
        for ts in sorted((root / "translations").glob("lumbra_*.ts")):
            copy = pathlib.Path(scratch) / ts.name
            shutil.copy(ts, copy)
            extra = ["-pluralonly"] if ts.name == "lumbra_en.ts" else []
            subprocess.run([lupdate, "-silent", "-locations", "none", *extra, *sources,
                            "-ts", str(copy)], check=True, stderr=subprocess.DEVNULL)
            found += problems(copy)
    for problem in found:
        print(problem)
    if found:
        print(f"{len(found)} problems; scripts/update-translations.sh brings the files in "
              "step, then translate what is unfinished.")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

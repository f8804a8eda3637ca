#!/usr/bin/env python3
"""Mutation check: how many one-token mutants of a source file its suites catch.

Applies one mutant at a time (a flipped comparison, an off-by-one, a dropped negation, a
swapped logical operator), rebuilds the suites in the given build folder, runs them and
counts the mutant as killed when any fails or does not build. The file is restored after
each mutant and at the end, whatever happens.

    scripts/mutate.py BUILD FILE SUITE [SUITE ...] [--limit N]

SUITE is a test program name (built in BUILD/tests), optionally with test functions after
a colon: tst_reader:refreshReplacesLists,changesOnlyRefresh. At most N mutants (default
25), spread evenly over the file. Prints each mutant and the score.
"""
import argparse
import os
import pathlib
import re
import subprocess
import sys

OPERATORS = [
    (r"(?<![<>=!])==(?!=)", "!="),
    (r"!=", "=="),
    (r"(?<![<>-])<=", "<"),
    (r"(?<![<>-])>=", ">"),
    (r"(?<![<>=-])<(?![<=])", "<="),
    (r"(?<![<>=-])>(?![>=])", ">="),
    (r"&&", "||"),
    (r"\|\|", "&&"),
    (r"\+ 1\b", "+ 2"),
    (r"- 1\b", "- 2"),
    (r"\btrue\b", "false"),
    (r"\bfalse\b", "true"),
    (r"!(?=[A-Za-z_(])", ""),
]

# Lines a mutant would only break the build with, or that say nothing about behaviour.
SKIP = re.compile(r"^\s*(#|//|\*|template|static_assert)|->|\boperator\b|<[A-Za-z_:]+>|#include")


def candidates(text):
    for number, line in enumerate(text.split("\n")):
        if SKIP.search(line):
            continue
        for pattern, replacement in OPERATORS:
            for match in re.finditer(pattern, line):
                yield number, match.start(), match.end(), replacement


def run(command, cwd=None, timeout=900):
    # A mutant that makes a test hang fails it within a minute, by Qt Test's watchdog.
    environment = dict(os.environ, QTEST_FUNCTION_TIMEOUT="60000")
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, env=environment,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("file")
    parser.add_argument("suites", nargs="+")
    parser.add_argument("--limit", type=int, default=25)
    arguments = parser.parse_args()
    build = pathlib.Path(arguments.build).resolve()
    source = pathlib.Path(arguments.file)
    original = source.read_text()
    found = list(candidates(original))
    step = max(1, len(found) // arguments.limit)
    chosen = found[::step][: arguments.limit]
    suites = [suite.split(":", 1) for suite in arguments.suites]
    targets = [suite[0] for suite in suites]
    killed = 0
    try:
        for number, start, end, replacement in chosen:
            lines = original.split("\n")
            line = lines[number]
            lines[number] = line[:start] + replacement + line[end:]
            source.write_text("\n".join(lines))
            caught = run(["cmake", "--build", str(build), "-j2", "--target", *targets]) != 0
            for suite in suites:
                if caught:
                    break
                command = [str(build / "tests" / suite[0])]
                if len(suite) > 1:
                    command += suite[1].split(",")
                caught = run(command, cwd=build) != 0
            killed += caught
            print(f"{'killed' if caught else 'LIVED '}  {source}:{number + 1}: "
                  f"{line.strip()[:60]!r} -> {lines[number].strip()[:60]!r}", flush=True)
    finally:
        source.write_text(original)
        run(["cmake", "--build", str(build), "-j2", "--target", *targets])
    print(f"{source}: {killed} of {len(chosen)} mutants killed "
          f"({100 * killed // max(1, len(chosen))}%)")


if __name__ == "__main__":
    sys.exit(main())

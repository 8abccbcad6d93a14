"""The options a program's --help lists, for the manual's tools.

An option line of --help starts with blanks and a dash: "  -p, --port PORT  ...",
"      --rle  ...". Each gives its names and, when it takes one, its value's name
in capitals (PORT, FILE, "ID NAME IMAGE")."""

import re
import subprocess

OPTION_LINE = re.compile(r"^\s+(-[A-Za-z0-9-].*?)(?:\s{2,}|$)")
NAME = re.compile(r"^--?[A-Za-z0-9][A-Za-z0-9-]*")


def help_text(program):
    return subprocess.run([program, "--help"], check=True, capture_output=True,
                          text=True).stdout


def options(help_output):
    """(names, value) for each option line: names like ["-p", "--port"], value
    like "PORT" or None."""
    found = []
    for line in help_output.splitlines():
        match = OPTION_LINE.match(line)
        if not match:
            continue
        names = []
        value = None
        for part in match.group(1).split(", "):
            name = NAME.match(part.strip())
            if not name:
                break
            names.append(name.group(0))
            rest = part.strip()[len(name.group(0)):].lstrip(" =")
            if rest and rest[0].isupper():
                value = rest
        if names:
            found.append((names, value))
    return found

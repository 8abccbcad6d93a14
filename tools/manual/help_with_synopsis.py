"""Runs a program and prints what it prints, with the usage lines of its --help
in the form that help2man makes a manual page's SYNOPSIS of:

    help_with_synopsis.py PROGRAM ARGUMENT...

The programs begin their --help with "usage: PROGRAM ..." and write each
further form aligned under the first; help2man wants "Usage: PROGRAM ..." and
"  or:  PROGRAM ..." and otherwise leaves the usage in the description. Exits
with the program's status."""

import subprocess
import sys

USAGE = "usage: "
USAGE_FOR_HELP2MAN = "Usage: "
FURTHER_FORM_FOR_HELP2MAN = "  or:  "


def with_synopsis(help_output):
    lines = help_output.split("\n")
    if not lines[0].startswith(USAGE):
        return help_output
    program = lines[0][len(USAGE):].split(" ")[0]
    further_form = " " * len(USAGE) + program
    lines[0] = USAGE_FOR_HELP2MAN + lines[0][len(USAGE):]
    for number in range(1, len(lines)):
        line = lines[number]
        if line != further_form and not line.startswith(further_form + " "):
            break
        lines[number] = FURTHER_FORM_FOR_HELP2MAN + line[len(USAGE):]
    return "\n".join(lines)


def main():
    run = subprocess.run(sys.argv[1:], stdout=subprocess.PIPE, text=True)
    sys.stdout.write(with_synopsis(run.stdout))
    sys.exit(run.returncode)


if __name__ == "__main__":
    main()

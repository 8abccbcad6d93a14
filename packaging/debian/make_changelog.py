#!/usr/bin/env python3
"""Writes the Debian package's changelog from the project's history.

Usage: make_changelog.py PACKAGE VERSION MAINTAINER OUTPUT [SOURCE_DIR]

With SOURCE_DIR (a git checkout), each version of the project (the VERSION of
project() in its top CMakeLists.txt) is one entry, newest first, that lists
the subjects of the commits made while it was the version, in the order they
were made. The history followed is the first parent's: the main line, where
each merge's subject tells what it brought. The newest entry is VERSION (the
package's, which names the commit) and MAINTAINER's; an older one is named by
its base version and by the committer of its last commit, at that commit's
time. Without SOURCE_DIR (sources outside a git checkout) there is one entry.

The newest entry's time is SOURCE_DATE_EPOCH, or else its last commit's, so
that the same commit always gives the same changelog.
"""

import os
import re
import subprocess
import sys
import textwrap
import time

# Debian's changelog tools and checkers want lines of at most 80 characters.
WIDTH = 79

VERSION_LINE = re.compile(r"^project\([^)]*\bVERSION\s+([0-9][0-9.]*)", re.MULTILINE)


def git(source_dir, *arguments):
    return subprocess.run(["git", "-C", source_dir] + list(arguments), check=True,
                          capture_output=True, text=True).stdout


def version_changes(source_dir):
    """The main line's commits that set the project's version, newest first,
    as (commit, version)."""
    changes = []
    for commit in git(source_dir, "log", "--first-parent", "--diff-merges=first-parent",
                      "--no-patch", "--format=%H", r"-G^project\(", "--",
                      "CMakeLists.txt").split():
        found = VERSION_LINE.search(git(source_dir, "show", commit + ":CMakeLists.txt"))
        if found:
            changes.append((commit, found.group(1)))
    return changes


def history_entries(source_dir):
    """The main line's commits grouped by version, newest version first, as
    dicts of version, commits (oldest first), time and committer of the last."""
    changes = version_changes(source_dir)
    entries = []
    version = None  # commits before the first version was set go with it
    log = git(source_dir, "log", "--first-parent", "--format=%H%x1f%ct%x1f%cn <%ce>%x1f%s")
    for line in log.splitlines():
        commit, commit_time, committer, subject = line.split("\x1f", 3)
        if changes:
            version = changes[0][1]
        if not entries or entries[-1]["version"] != version:
            entries.append({"version": version, "subjects": [], "time": int(commit_time),
                            "person": committer})
        entries[-1]["subjects"].insert(0, subject)
        if changes and commit == changes[0][0]:
            changes.pop(0)
    return entries


def format_time(seconds):
    # The C locale's day and month names, which Debian's date format wants.
    return time.strftime("%a, %d %b %Y %H:%M:%S +0000", time.gmtime(seconds))


def format_entry(package, version, items, person, seconds):
    lines = ["%s (%s) unstable; urgency=medium" % (package, version), ""]
    for item in items:
        lines += textwrap.wrap(item, WIDTH, initial_indent="  * ", subsequent_indent="    ",
                               break_long_words=False, break_on_hyphens=False)
    lines += ["", " -- %s  %s" % (person, format_time(seconds))]
    return "\n".join(lines) + "\n"


def changelog(package, version, maintainer, source_dir, source_date_epoch):
    if source_dir is None:
        seconds = int(source_date_epoch) if source_date_epoch else int(time.time())
        return format_entry(package, version, ["Version %s, built from a source archive." % version],
                            maintainer, seconds)
    entries = history_entries(source_dir)
    entries[0]["version"] = version
    entries[0]["person"] = maintainer
    if source_date_epoch:
        entries[0]["time"] = int(source_date_epoch)
    return "\n".join(format_entry(package, entry["version"], entry["subjects"], entry["person"],
                                  entry["time"]) for entry in entries)


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__.split("\n\n")[1])
    package, version, maintainer, output = sys.argv[1:5]
    source_dir = sys.argv[5] if len(sys.argv) == 6 else None
    text = changelog(package, version, maintainer, source_dir, os.environ.get("SOURCE_DATE_EPOCH"))
    with open(output, "w", encoding="utf-8") as file:
        file.write(text)


if __name__ == "__main__":
    main()

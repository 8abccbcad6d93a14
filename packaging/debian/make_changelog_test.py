"""The Debian changelog made from a small history: one entry per version of the
project, the main line's subjects only, wrapped under Debian's line limit, and
the same text for the same commit."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_changelog.py")

LONG_SUBJECT = ("Update files from SVF: the converter follows the player's own moves, so that "
                "what it writes plays as the device will play it")


class History:
    """A git checkout whose commits have fixed times and committers."""

    def __init__(self, folder):
        self.folder = folder
        self.clock = 1_700_000_000
        self.git("init", "-q", "-b", "main")

    def git(self, *arguments, committer="Ann Example"):
        env = dict(os.environ, GIT_AUTHOR_NAME=committer, GIT_COMMITTER_NAME=committer,
                   GIT_AUTHOR_EMAIL="ann@example.org", GIT_COMMITTER_EMAIL="ann@example.org",
                   GIT_AUTHOR_DATE="@%d +0000" % self.clock,
                   GIT_COMMITTER_DATE="@%d +0000" % self.clock)
        subprocess.run(["git", "-C", self.folder] + list(arguments), check=True, env=env,
                       capture_output=True)

    def commit(self, subject, version=None, committer="Ann Example"):
        self.clock += 3600
        if version:
            with open(os.path.join(self.folder, "CMakeLists.txt"), "w") as file:
                file.write("project(Thing VERSION %s LANGUAGES CXX)\n" % version)
        with open(os.path.join(self.folder, "work.txt"), "a") as file:
            file.write(subject + "\n")
        self.git("add", "-A")
        self.git("commit", "-q", "-m", subject, committer=committer)


def make_changelog(*arguments, epoch="1800000000"):
    with tempfile.TemporaryDirectory() as folder:
        output = os.path.join(folder, "changelog")
        env = dict(os.environ, SOURCE_DATE_EPOCH=epoch)
        subprocess.run([sys.executable, SCRIPT, "thing", arguments[0], "Max Keeper <max@example.org>",
                        output] + list(arguments[1:]), check=True, env=env)
        with open(output, encoding="utf-8") as file:
            return file.read()


class ChangelogTest(unittest.TestCase):
    def test_history_gives_one_entry_per_version_of_the_main_line(self):
        with tempfile.TemporaryDirectory() as folder:
            history = History(folder)
            history.commit("Start the thing", version="1.6")
            history.commit("Fix the start", committer="Bob Example")
            history.git("checkout", "-q", "-b", "side")
            history.commit("Side work that the merge tells")
            history.git("checkout", "-q", "main")
            history.clock += 3600
            history.git("merge", "-q", "--no-ff", "-m", "Merge the side work", "side")
            history.commit("Version 1.7", version="1.7")
            history.commit(LONG_SUBJECT)
            text = make_changelog("1.7+gabcdef0", folder)
        self.assertEqual(text, """\
thing (1.7+gabcdef0) unstable; urgency=medium

  * Version 1.7
  * Update files from SVF: the converter follows the player's own moves, so
    that what it writes plays as the device will play it

 -- Max Keeper <max@example.org>  Fri, 15 Jan 2027 08:00:00 +0000

thing (1.6) unstable; urgency=medium

  * Start the thing
  * Fix the start
  * Merge the side work

 -- Ann Example <ann@example.org>  Wed, 15 Nov 2023 02:13:20 +0000
""")
        self.assertLessEqual(max(len(line) for line in text.splitlines()), 79)

    def test_without_a_checkout_one_entry_names_the_version(self):
        self.assertEqual(make_changelog("1.7", epoch="1700000000"), """\
thing (1.7) unstable; urgency=medium

  * Version 1.7, built from a source archive.

 -- Max Keeper <max@example.org>  Tue, 14 Nov 2023 22:13:20 +0000
""")


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Tests of scripts/check-layers: it passes the tree as it is and fails, with its
message, on each kind of include that breaks the layers, planted in a copy of the
tree or in a tree of a few files."""

import contextlib
import importlib.machinery
import importlib.util
import io
import os
import shutil
import tempfile
import unittest

SCRIPTS = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(SCRIPTS)


def load_check():
    """The check as a module (its file name has no .py), run in this process."""
    loader = importlib.machinery.SourceFileLoader(
        "check_layers", os.path.join(SCRIPTS, "check-layers"))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


CHECK = load_check()


def run_check(root, *files):
    """The check's exit status and what it printed on stdout and stderr."""
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        status = CHECK.main(["--root", root, *files])
    return status, out.getvalue(), err.getvalue()


def sources_only(folder, names):
    """What shutil.copytree leaves out of a copy of the tree: all but the sources."""
    return [name for name in names
            if name.startswith(("build", ".git"))
            or (os.path.isfile(os.path.join(folder, name)) and not name.endswith((".cpp", ".h")))]


class Tree:
    """A tree of source files in a temporary folder."""

    def __init__(self, test):
        self.root = tempfile.mkdtemp(prefix="check-layers-")
        test.addCleanup(shutil.rmtree, self.root)

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as file:
            file.write(text)


class TheTreeTest(unittest.TestCase):
    def test_a_copy_of_the_tree_fails_on_a_planted_upward_include(self):
        tree = Tree(self)
        copy = os.path.join(tree.root, "copy")
        shutil.copytree(ROOT, copy, ignore=sources_only)
        status, out, _ = run_check(copy)
        self.assertEqual(status, 0, out)

        path = os.path.join(copy, "link", "command_link.cpp")
        with open(path, encoding="utf-8") as file:
            lines = file.read().split("\n")
        lines.insert(1, '#include "engine/messages.h"')
        with open(path, "w", encoding="utf-8") as file:
            file.write("\n".join(lines))
        status, out, err = run_check(copy)
        self.assertEqual(status, 1)
        self.assertEqual(out, 'link/command_link.cpp:2: link may not include "engine/messages.h" '
                              "(engine)\n")
        self.assertEqual(err, "check-layers: 1 lines break the layers\n")


class IncludesTest(unittest.TestCase):
    def check(self, files):
        tree = Tree(self)
        for path, text in files.items():
            tree.write(path, text)
        return run_check(tree.root, *files)

    def assert_breaks(self, files, expected):
        status, out, _ = self.check(files)
        self.assertEqual(status, 1, out)
        self.assertEqual(out, expected)

    def assert_keeps(self, files):
        status, out, _ = self.check(files)
        self.assertEqual(status, 0, out)

    def test_layers_include_downwards_only(self):
        self.assert_keeps({"svf/a.cpp": '#include "xsvf/xsvf_program.h"\n'
                                        '#include "link/jtag_cable.h"\n',
                           "engine/a.cpp": '#include "xsvf/debug_log.h"\n'})
        self.assert_breaks({"xsvf/a.h": '#pragma once\n#include "svf/svf_reader.h"\n'},
                           'xsvf/a.h:2: xsvf may not include "svf/svf_reader.h" (svf)\n')
        # svf and engine stand side by side.
        self.assert_breaks({"engine/a.cpp": '#include "svf/svf_converter.h"\n'},
                           'engine/a.cpp:1: engine may not include "svf/svf_converter.h" (svf)\n')
        self.assert_breaks({"engine/a.cpp": '#include "tools/cli/update_cli.h"\n'},
                           'engine/a.cpp:1: engine may not include "tools/cli/update_cli.h" '
                           "(tools)\n")

    def test_the_device_shares_only_the_protocol_bytes(self):
        self.assert_keeps({"sim/a.cpp": '#include "link/protocol_bytes.h"\n'})
        self.assert_breaks({"sim/a.cpp": '#include "link/command_link.h"\n'},
                           'sim/a.cpp:1: sim may not include "link/command_link.h" (link)\n')
        self.assert_breaks({"engine/a.cpp": '#include "sim/scenario.h"\n'},
                           'engine/a.cpp:1: engine may not include "sim/scenario.h" (sim)\n')

    def test_tests_use_the_device_and_the_test_support_of_their_layer(self):
        self.assert_keeps({"xsvf/a_test.cpp": '#include "sim/demo_chip.h"\n'
                                              '#include "testsupport/player_test_fixture.h"\n'})
        self.assert_breaks({"link/a_test.cpp": '#include "testsupport/player_test_fixture.h"\n'},
                           'link/a_test.cpp:1: link tests may not include '
                           '"testsupport/player_test_fixture.h" (test player)\n')
        self.assert_breaks({"testsupport/memory_port.cpp": '#include "engine/update_state.h"\n'},
                           'testsupport/memory_port.cpp:1: test link may not include '
                           '"engine/update_state.h" (engine)\n')

    def test_an_include_outside_the_table_breaks_it(self):
        self.assert_breaks({"link/a.cpp": '#include "vendor/player.h"\n'},
                           'link/a.cpp:1: includes "vendor/player.h", which is in no part of '
                           "the layer table\n")
        self.assert_breaks({"vendor/a.cpp": "int a;\n"}, "vendor/a.cpp: in no part of the layer "
                                                         "table\n")

    def test_platform_code_stays_in_its_platform_files(self):
        self.assert_keeps({"link/serial_port_posix.cpp": "#include <termios.h>\n",
                           "xsvf/output_file_win32.cpp": "#include <windows.h>\n"
                                                         "#include <fcntl.h>\n",
                           "engine/sha256_openssl.cpp": "#include <openssl/evp.h>\n"})
        self.assert_breaks({"link/serial_port.cpp": "#include <cstdio>\n#include <sys/ioctl.h>\n"},
                           "link/serial_port.cpp:2: <sys/ioctl.h> is POSIX code, which belongs "
                           "in the platform files\n")
        self.assert_breaks({"link/serial_port_posix.cpp": "#include <windows.h>\n"},
                           "link/serial_port_posix.cpp:1: <windows.h> is Windows code, which "
                           "belongs in the platform files\n")
        self.assert_breaks({"engine/sha256.cpp": "#include <openssl/sha.h>\n"},
                           "engine/sha256.cpp:1: <openssl/sha.h> is OpenSSL code, which belongs "
                           "in the platform files\n")

    def test_portable_code_does_not_tell_the_platforms_apart(self):
        self.assert_keeps({"xsvf/debug_log_win32.cpp": "#if defined(_WIN32)\n#endif\n",
                           "app/settings_test.cpp": "#ifdef _WIN32\n#endif\n"})
        self.assert_breaks({"xsvf/debug_log.cpp": "#if defined(_WIN32)\n#else\n#endif\n"},
                           "xsvf/debug_log.cpp:1: tells the platforms apart outside the platform "
                           "files: #if defined(_WIN32)\n")


if __name__ == "__main__":
    unittest.main()

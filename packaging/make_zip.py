#!/usr/bin/env python3
"""Zips a folder so that the zip depends on nothing but the files' names and bytes.

Usage: make_zip.py FOLDER OUTPUT.zip

The entries are the files under FOLDER, by their paths relative to it, sorted,
without entries for folders. Every entry carries the time SOURCE_DATE_EPOCH (in
UTC; required), mode 0755 for programs (.exe) and 0644 for everything else, and
no owner; the data is deflated at level 9. The same files always give the same
zip, whatever the machine, the user, the umask or the order in which the file
system lists them.
"""

import os
import sys
import time
import zipfile


def entries(folder):
    """The files under `folder` as (path in the zip, path on disk), sorted."""
    found = []
    for directory, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(directory, name)
            found.append((os.path.relpath(path, folder).replace(os.sep, "/"), path))
    return sorted(found)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1])
    folder, output = sys.argv[1:]
    # Zip times start in 1980.
    stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
    with zipfile.ZipFile(output, "w") as archive:
        for name, path in entries(folder):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 3  # Unix, so that the mode below counts
            mode = 0o755 if name.lower().endswith(".exe") else 0o644
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as data:
                archive.writestr(info, data.read(), compresslevel=9)


if __name__ == "__main__":
    main()

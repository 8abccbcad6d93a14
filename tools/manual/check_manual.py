"""Checks that a program's manual page has a SYNOPSIS of the program's usage
lines, nothing else in it and no usage lines left in its description, and that
every option its --help lists is accepted by the program, and appears in its
manual page and, where it has one, its bash completion:

    check_manual.py PROGRAM MANPAGE [COMPLETION]

Prints "manual: N passed, M failed" and exits non-zero on a failure."""

import os
import re
import subprocess
import sys

from options_from_help import help_text, options


def synopsis_holds_only_usage(page_text):
    """Each form of the SYNOPSIS is ".B PROGRAM" and one line of its arguments,
    the forms apart by ".br": a help whose description follows its usage line
    without an empty line between runs the description into the last form."""
    section = re.search(r"^\.SH SYNOPSIS\n(.*?)^\.SH ", page_text, re.MULTILINE | re.DOTALL)
    if not section:
        return False
    forms = section.group(1).split(".br\n")
    return all(len(form.splitlines()) == 2 for form in forms)


def main():
    program, manpage = sys.argv[1:3]
    completion = sys.argv[3] if len(sys.argv) > 3 else None
    with open(manpage, encoding="utf-8") as page:
        # roff writes a dash as \-.
        page_text = page.read().replace("\\-", "-")
    completion_text = open(completion, encoding="ascii").read() if completion else ""
    passed = failed = 0
    if not re.search(r"^\.SH SYNOPSIS\n\.B %s\n" % re.escape(os.path.basename(program)),
                     page_text, re.MULTILINE) or "usage:" in page_text or \
            not synopsis_holds_only_usage(page_text):
        print("%s has no SYNOPSIS of the program's usage lines" % manpage)
        failed += 1
    else:
        passed += 1
    listed = options(help_text(program))
    if not listed:
        print("%s --help lists no options" % program)
        failed += 1
    for names, value in listed:
        for name in names:
            problems = []
            arguments = [name] + (value.split(" ") if value else []) + ["--help"]
            if subprocess.run([program] + arguments, capture_output=True).returncode != 0:
                problems.append("is not accepted")
            if name not in page_text:
                problems.append("is not in " + manpage)
            if completion and " %s " % name not in " %s " % completion_text.replace(
                    '"', " ").replace("|", " ").replace(")", " "):
                problems.append("is not in " + completion)
            if problems:
                print("%s %s %s" % (program, name, " and ".join(problems)))
                failed += 1
            else:
                passed += 1
    print("manual: %d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()

"""Writes a bash completion script for a program from its --help:

    make_completion.py PROGRAM NAME OUTPUT

Options complete after a dash; the value of an option that names a port
completes to the serial devices, any other value and operands to file names."""

import sys

from options_from_help import help_text, options

TEMPLATE = """# bash completion for {name}; made by the build from {name} --help.
_{function}() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD-1]}}
  case $prev in
    {ports})
      COMPREPLY=($(compgen -f -- "${{cur:-/dev/tty}}"))
      return ;;
    {words})
      return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "{all}" -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
}}
complete -o filenames -F _{function} {name}
"""


def main():
    program, name, output = sys.argv[1:4]
    listed = options(help_text(program))
    every = [option for names, _ in listed for option in names]
    ports = [option for names, value in listed if value == "PORT" for option in names]
    # Values that are no file names: numbers, versions, ids and the like.
    words = [option for names, value in listed
             if value in ("N", "MS", "SECONDS", "VERSION", "ID:KIND[:...]",
                          "KIND:POINT:N[:xK][:0xHH]")
             for option in names]
    script = TEMPLATE.format(name=name, function=name.replace("-", "_"),
                             ports="|".join(ports) or "--no-such-option",
                             words="|".join(words) or "--no-such-option",
                             all=" ".join(every))
    with open(output, "w", encoding="ascii") as out:
        out.write(script)


if __name__ == "__main__":
    main()

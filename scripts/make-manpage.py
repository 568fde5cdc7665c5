#!/usr/bin/env python3
"""Writes the manual page of sondralis-cli from its own help texts.

    make-manpage.py SONDRALIS-CLI OUT.1

The commands are those `sondralis-cli --help` lists under "Commands:"; each
one's section is its `--help` text. The build runs this after building the
program, so the page always says what the program does.
"""
import re
import subprocess
import sys


def run(cli, *args):
    return subprocess.run([cli, *args], check=True, capture_output=True, text=True).stdout


def roff(text):
    """Text for a no-fill block: backslashes escaped, no line read as a request."""
    lines = []
    for line in text.rstrip("\n").split("\n"):
        line = line.replace("\\", "\\e")
        if line.startswith((".", "'")):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make-manpage.py SONDRALIS-CLI OUT.1")
    cli, out = sys.argv[1], sys.argv[2]
    version = run(cli, "--version").split()[-1]
    usage = run(cli, "--help")
    listing = usage.split("Commands:\n", 1)[1].split("\n\n", 1)[0]
    commands = re.findall(r"^  ([a-z]+) ", listing, re.M)
    if not commands:
        sys.exit("make-manpage.py: no commands in the help text")
    description = usage.split("\n\n", 2)[1]
    exit_status = usage.rsplit("\n\n", 1)[1]

    page = [
        '.TH SONDRALIS-CLI 1 "" "Sondralis %s" "User Commands"' % version,
        ".SH NAME",
        "sondralis-cli \\- depth maps, contour lines and HT files for Humminbird units",
        ".SH SYNOPSIS",
        ".B sondralis-cli",
        "\\fICOMMAND\\fR [\\fIOPTIONS\\fR] \\fIFILE\\fR...",
        ".br",
        ".B sondralis-cli",
        "\\fICOMMAND\\fR \\fB\\-\\-help\\fR",
        ".SH DESCRIPTION",
        roff(description.replace("\n", " ")),
        ".PP",
        "The window program, \\fBsondralis\\fR, does the same job interactively; a",
        "project file (.sondralis) it saves can be given to \\fBmap\\fR.",
        ".SH COMMANDS",
        ".nf",
        roff(listing),
        ".fi",
    ]
    for command in commands:
        page += [".SS %s" % command, ".nf", roff(run(cli, command, "--help")), ".fi"]
    page += [".SH EXIT STATUS", roff(exit_status.replace("\n", " ")), ""]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(page))


if __name__ == "__main__":
    main()

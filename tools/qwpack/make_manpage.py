#!/usr/bin/env python3
"""Writes qwpack's manual page from the help the built qwpack prints
(qwpack --help, --version and each command's --help), so the two cannot
drift apart.

    make_manpage.py QWPACK OUTPUT.1.gz
"""
import gzip
import re
import subprocess
import sys


def run(qwpack, *arguments):
    return subprocess.run([qwpack, *arguments], check=True, capture_output=True,
                          text=True).stdout


def roff(text):
    """Plain text as roff: backslashes and hyphens escaped, no line taken for a request."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\n".join("\\&" + line if line[:1] in (".", "'") else line for line in text.split("\n"))


def commands(usage):
    """(name, summary) from the top-level help's command list."""
    listed = usage.split("commands:\n", 1)[1].split("\n\n", 1)[0]
    return [tuple(re.split(r"\s{2,}", line.strip(), maxsplit=1)) for line in listed.splitlines()]


def command_section(name, help_text):
    """One command's help: its description, usage line and its items."""
    description, _, rest = help_text.partition("Usage: ")
    usage, _, rest = rest.partition("\n")
    lines = [f".SS {roff(name)}", roff(" ".join(description.split())), ".PP",
             f".B {roff(usage.strip())}"]
    for heading, body in re.findall(r"^(\w+):\n((?:  .*\n?)+)", rest, re.M):
        lines.append(f".PP\n{heading}:")
        items = []
        for line in body.splitlines():
            if re.match(r"\s{4,}", line) and items:  # a description on the line below
                items[-1][1] = line.strip()
            else:
                option, *text = re.split(r"\s{2,}", line.strip(), maxsplit=1)
                items.append([option, text[0] if text else ""])
        for option, text in items:
            lines += [".TP", f".B {roff(option)}", roff(text)]
    return "\n".join(lines)


def main():
    qwpack, output = sys.argv[1], sys.argv[2]
    usage = run(qwpack, "--help")
    version = run(qwpack, "--version").split()[-1]
    page = [
        f'.TH QWPACK 1 "" "qwpack {version}" "User Commands"',
        ".SH NAME",
        "qwpack \\- pack, list, verify and extract self\\-extracting setup launchers for Windows",
        ".SH SYNOPSIS",
        ".B qwpack",
        ".I command",
        "[\\fIoptions\\fR]",
        ".br",
        ".B qwpack \\-\\-version",
        ".SH DESCRIPTION",
        roff("qwpack puts a folder of installation files into one Windows program, the "
             "launcher, which unpacks them and starts the folder's QWSetup.exe. It also "
             "lists, verifies and extracts launchers, as the launcher itself would."),
        ".SH COMMANDS",
    ]
    for name, summary in commands(usage):
        page.append(f".TP\n.B {roff(name)}\n{roff(summary)}")
    for name, _ in commands(usage):
        page.append(command_section(name, run(qwpack, name, "--help")))
    page += [
        ".SH FILES",
        ".TP",
        ".I ../share/qwpack/launcher\\-win32.exe",
        ".TQ",
        ".I ../share/qwpack/launcher\\-win64.exe",
        roff("The launchers for 32-bit (the default) and 64-bit Windows, relative to the "
             "folder of qwpack: pack --stub win32 and --stub win64 take them from here."),
        ".SH EXIT STATUS",
        roff("0 on success; 1 when a command fails (a folder refused, a damaged launcher); "
             "another value when the command line is not understood."),
        ".SH EXAMPLES",
        ".B qwpack pack \\-o Setup.exe folder/",
        ".br",
        ".B qwpack list Setup.exe",
        ".br",
        ".B qwpack verify Setup.exe",
        "",
    ]
    with gzip.GzipFile(output, "wb", compresslevel=9, mtime=0) as out:
        out.write("\n".join(page).encode("utf-8"))


if __name__ == "__main__":
    main()

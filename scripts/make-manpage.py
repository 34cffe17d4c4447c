#!/usr/bin/env python3
"""Writes a manual page from a roff template and the program's own --help.

    make-manpage.py PROGRAM TEMPLATE OUTPUT

The template's markers are replaced: @VERSION@ and @DATE@ (the release and
the day of SOURCE_DATE_EPOCH, else today), @VARIANTS@ (the numbered effect
list of PROGRAM --help), and, for a program with subcommands, @COMMANDS@
(each subcommand's description and usage), @OPTIONS@ (every option of
every subcommand once, with the subcommands that take it) and @EXIT_STATUS@.

A program that lists its options and exit codes for the manual (PROGRAM
--manual options, PROGRAM --manual exit-status: tab-separated lines) is read
that way, each entry whole; another one's --help is read by its columns.
"""
import os
import re
import subprocess
import sys
import time

COLUMN = 26  # where the command line's help puts the descriptions


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def listing(program, what):
    """The tab-separated fields of PROGRAM --manual WHAT, or None."""
    done = subprocess.run([program, "--manual", what], capture_output=True, text=True)
    if done.returncode != 0:
        return None
    return [line.split("\t") for line in done.stdout.splitlines() if line]


def sentence(text):
    text = text.strip()
    return (text[:1].upper() + text[1:] + ("" if text.endswith(".") else ".")) if text else ""


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.M)


def block(help_text, heading):
    """The lines under heading: up to the next blank line."""
    match = re.search(r"^" + re.escape(heading) + r"\n((?:.+\n?)*)", help_text, re.M)
    return match.group(1).rstrip("\n").split("\n") if match else []


def items(lines, column):
    """(name, description) of an aligned two-column listing."""
    out = []
    for line in lines:
        if line[:column].strip() and not line.startswith(" " * column):
            out.append([line[:column].strip(), line[column:].strip()])
        elif out:
            out[-1][1] = (out[-1][1] + " " + line.strip()).strip()
    return out


def variants(help_text):
    lines = block(help_text, "Variants (--variant N or --variant NAME):") or block(help_text, "Effects:")
    out = []
    for line in lines:
        match = re.match(r"^ +(\d+)  (.*)$", line)
        if match:
            number, rest = match.groups()
            slug = re.match(r"^([a-z-]+) +(.*)$", rest)
            name = f"\\fB{number}\\fR, \\fB{roff(slug.group(1))}\\fR" if slug else f"\\fB{number}\\fR"
            out.append([name, (slug.group(2) if slug else rest).strip()])
        elif out:
            out[-1][1] += " " + line.strip()
    return "".join(f".TP\n{name}\n{roff(text)}\n" for name, text in out)


def option_name(name):
    # "-v,--variant VARIANT" -> bold spellings, italic value
    spellings, _, value = name.partition(" ")
    text = ", ".join(f"\\fB{roff(s)}\\fR" for s in spellings.split(","))
    return text + (f" \\fI{value}\\fR" if value else "")


def main():
    program, template, output = sys.argv[1:4]
    help_text = run(program, "--help")
    version = re.search(r"(\d+(?:\.\d+)+)", run(program, "--version").split("\n")[0]).group(1)
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    page = open(template, encoding="utf-8").read()
    page = page.replace("@VERSION@", version)
    page = page.replace("@DATE@", time.strftime("%Y-%m-%d", time.gmtime(epoch)))
    page = page.replace("@VARIANTS@", variants(help_text))

    commands = [name for name, _ in items(block(help_text, "Subcommands:"), COLUMN)]
    # Only the command line (a program with subcommands) is asked: the window
    # would take --manual for a file to open.
    listed_options = listing(program, "options") if commands else None
    listed_codes = listing(program, "exit-status") if commands else None
    if listed_codes is not None:
        page = page.replace("@EXIT_STATUS@", "".join(
            f".TP\n.B {code}\n{roff(sentence(meaning) + (' ' + more if more else ''))}\n"
            for code, meaning, more in listed_codes))
    sections, options, order = "", {}, []
    for command in commands:
        text = run(program, command, "--help")
        about = " ".join(text.split("Usage:")[0].split())
        usage = re.search(r"^Usage: \S+ (.*)$", text, re.M).group(1)
        sections += f".TP\n\\fB{command}\\fR {roff(usage.split(' ', 1)[1])}\n{roff(about)}\n"
        for name, description in ([] if listed_options is not None else items(block(text, "Options:"), COLUMN)):
            if name == "-h,--help":
                continue
            if name not in options:
                options[name] = (description, [])
                order.append(name)
            options[name][1].append(command)
    if listed_options is not None:
        for names, value, description, taken_by in listed_options:
            name = names + (" " + value if value else "")
            options[name] = (description, taken_by.split(", "))
            order.append(name)
    listed = "".join(
        f".TP\n{option_name(name)}\n{roff(options[name][0])}"
        f" ({', '.join(options[name][1]) if len(options[name][1]) < len(commands) else 'all commands'})\n"
        for name in order)
    page = page.replace("@COMMANDS@", sections).replace("@OPTIONS@", listed)
    open(output, "w", encoding="utf-8").write(page)


main()

#!/usr/bin/python3
"""Our reading of ingredient lines against another program's: each Meal-Master file given is
read by Gourmet's importer (gourmet_read.py) and imported with larderly-cli, whose
`ingredients ID` lists the amount and unit it read from each line. Per recipe the two lists
of (amount, unit) are lined up in order (Gourmet skips some lines, for example cells of
two-column rows); a line of Gourmet's counts as agreed when ours at the same place holds the
same amount and the same unit (units compared by the unit they name: "c", "cup" and "cups"
alike). Prints the ratio and every disagreement; fails below 97 lines in 100. Exits 77
(skipped) when the judge is not installed.

usage: agree_ingredients.py LARDERLY_CLI [--made N] FILE.mmf ...
"""
import difflib
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from judge_exports import command_line, gourmet, unit  # noqa: E402


def amount(text):
    """An amount to two places as "%g" or "LOW-HIGH", so that "1.50" and "1.5", and a third
    written as 0.333 or 0.333333, compare alike."""
    if not text:
        return ""
    parts = text.split("-")
    try:
        return "-".join("%g" % round(float(p), 2) for p in parts)
    except ValueError:
        return text


def ours(cli, path):
    with tempfile.TemporaryDirectory() as home:
        run = lambda *a: subprocess.run([cli, "--home", home] + list(a), capture_output=True,
                                        text=True, check=True).stdout
        # A file with a recipe the import refuses still gives the others.
        subprocess.run([cli, "--home", home, "import", path], capture_output=True)
        out = []
        for row in run("list").splitlines():
            rid, title = row.split("\t")[:2]
            lines = []
            for l in run("ingredients", rid).splitlines():
                f = l.split("\t")
                if f[0] == "#":
                    continue
                # Gourmet does not know the codes "x" (per serving) and "ea" (each) and
                # reads no unit there.
                u = unit(f[1])
                lines.append((amount(f[0]), "" if u in ("serving", "each") else u))
            out.append((title, lines))
        return out


def main():
    made = tempfile.TemporaryDirectory()
    args = command_line(made.name, ["mmf"])
    if args is None:
        return 77
    cli, files = args
    agreed = total = 0
    for path in files:
        theirs = gourmet("mmf", path)
        mine = ours(cli, path)
        file_agreed = file_total = 0
        by_title = {}
        for t, lines in mine:
            by_title.setdefault(t, lines)
        for k, (title, want) in enumerate(theirs.items()):
            want = [(amount(a), u) for a, u in want]
            # By title; else by place, where the two decode a title's letters differently
            # (a code page 437 file read as Windows-1252).
            got = by_title.get(title.strip(), by_title.get(title))
            if got is None and len(mine) == len(theirs):
                got = mine[k][1]
            m = difflib.SequenceMatcher(None, want, got or [], autojunk=False)
            same = sum(b.size for b in m.get_matching_blocks())
            file_agreed += same
            file_total += len(want)
            if same < len(want):
                print("  %s: %s\n    gourmet %s\n    ours    %s"
                      % (os.path.basename(path), title, want, got or []))
        print("%s: %d of %d lines agree" % (os.path.basename(path), file_agreed, file_total))
        agreed += file_agreed
        total += file_total
    ratio = 100.0 * agreed / total if total else 0
    print("amount and unit agree on %d of %d ingredient lines: %.1f in 100" % (agreed, total, ratio))
    return 0 if total and agreed * 100 >= total * 97 else 1


if __name__ == "__main__":
    sys.exit(main())

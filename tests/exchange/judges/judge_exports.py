#!/usr/bin/python3
"""Other programs as judges of our exports: each recipe file given is imported into a fresh
collection with larderly-cli and exported to the other format; a judge program then reads
the original file and our export, and a recipe counts as read alike when the judge sees the
same amounts and units (units compared by the unit they name: "c", "cup" and "cups" alike)
in the same order. Prints the figures per direction and fails when fewer than 9 recipes in
10 are read alike. Exits 77 (skipped) when the judge is not installed.

usage: judge_exports.py LARDERLY_CLI [--made N] FILE.mmf|FILE.mxp ...
  --made N: also N recipes of each format from make_recipes.py (seed 1)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"

UNITS = {
    "cup": ["c", "cup", "cups"],
    "tsp": ["t", "ts", "tsp", "tsps", "teaspoon", "teaspoons"],
    "tbsp": ["tb", "tbs", "tbsp", "tbsps", "tablespoon", "tablespoons", "tbl"],
    "lb": ["lb", "lbs", "pound", "pounds"],
    "oz": ["oz", "ounce", "ounces"],
    "fl oz": ["fl", "fl oz", "fluid ounce", "fluid ounces"],
    "pint": ["pt", "pint", "pints"],
    "quart": ["qt", "quart", "quarts"],
    "gallon": ["ga", "gal", "gallon", "gallons"],
    "ml": ["ml", "milliliter", "milliliters", "millilitre", "millilitres"],
    "l": ["l", "liter", "liters", "litre", "litres"],
    "g": ["g", "gram", "grams"],
    "kg": ["kg", "kilogram", "kilograms"],
    "can": ["cn", "can", "cans"],
    "package": ["pk", "pkg", "package", "packages"],
    "pinch": ["pn", "pinch", "pinches"],
    "dash": ["ds", "dash", "dashes"],
    "drop": ["dr", "drop", "drops"],
    "slice": ["sl", "slice", "slices"],
    "small": ["sm", "small"],
    "medium": ["md", "medium"],
    "large": ["lg", "large"],
    "clove": ["clove", "cloves"],
    "each": ["ea", "each"],
    "serving": ["x", "per serving"],
}
NO_MM_CODE = {"clove", "head", "stick", "sprig", "stalk", "jar", "envelope", "box", "bottle",
              "packet", "whole", "piece"}
CANON = {}
for canon, spellings in UNITS.items():
    for s in spellings:
        CANON[s] = canon


def unit(u):
    u = u.strip()
    if u in ("T", "Tbs", "TB"):
        return "tbsp"
    u = u.lower().rstrip(".")
    return CANON.get(u, u)


def gourmet(fmt, path):
    if not shutil.which("xvfb-run"):
        return None
    r = subprocess.run(
        ["xvfb-run", "-a", PYTHON, os.path.join(HERE, "gourmet_read.py"), fmt, path],
        capture_output=True, text=True)
    for line in reversed(r.stdout.splitlines()):
        if line.startswith("JSON:"):
            return {t: [(a, unit(u)) for a, u in ings] for t, ings in json.loads(line[5:]).items()}
    raise RuntimeError("gourmet read nothing from %s:\n%s" % (path, r.stderr[-2000:]))


def judge_available():
    # Importing the package needs a display, so only look for it.
    return os.path.exists(PYTHON) and shutil.which("xvfb-run") and subprocess.run(
        [PYTHON, "-c", "import importlib.util, sys; "
         "sys.exit(importlib.util.find_spec('gourmand') is None)"],
        capture_output=True).returncode == 0


def command_line(made, kinds):
    """The program and the files of a judge's command line (LARDERLY_CLI [--made N] FILE...);
    with --made, the generated recipe files of the given kinds ("mmf", "mxp") are written to
    the folder `made` and added. Returns None, having said why, when the judge is not
    installed."""
    if not judge_available():
        print("gourmet (Python package gourmand) or xvfb-run is not installed: skipped")
        return None
    cli, files = sys.argv[1], sys.argv[2:]
    if files[:1] == ["--made"]:
        subprocess.run([sys.executable, os.path.join(HERE, "make_recipes.py"), files[1], "1",
                        made], check=True)
        files = files[2:] + [os.path.join(made, "made." + k) for k in kinds]
    return cli, files


def main():
    made = tempfile.TemporaryDirectory()
    args = command_line(made.name, ["mmf", "mxp"])
    if args is None:
        return 77
    cli, files = args
    failed = False
    totals = {}
    for born in files:
        fmt = "mmf" if born.endswith(".mmf") else "mxp"
        other = "mxp" if fmt == "mmf" else "mmf"
        with tempfile.TemporaryDirectory() as home:
            run = lambda *a: subprocess.run([cli, "--home", home] + list(a), capture_output=True,
                                            text=True, check=True)
            run("import", born)
            out = os.path.join(home, "export." + other)
            run("export", "--format", other, out)
            want = gourmet(fmt, born)
            got = gourmet(other, out)
        # Some units compare as none, where the formats or the judge leave no choice:
        # Meal-Master has no code for a clove, head, stick and the like, so they stand in the
        # item there; Gourmet's Meal-Master reader does not know the codes "x" (per serving)
        # and "ea" (each), which our MasterCook file spells out. A line with neither amount
        # nor unit has none to compare (Gourmet takes such MasterCook lines for headings).
        if other == "mmf":
            want = {t: [(a, "" if u in NO_MM_CODE else u) for a, u in v] for t, v in want.items()}
            got = {t: [(a, "" if u in NO_MM_CODE else u) for a, u in v] for t, v in got.items()}
        else:
            got = {t: [(a, "" if u in ("serving", "each") else u) for a, u in v]
                   for t, v in got.items()}
        want = {t: [i for i in v if i != ("", "")] for t, v in want.items()}
        got = {t: [i for i in v if i != ("", "")] for t, v in got.items()}
        alike = [t for t in want if t in got and got[t] == want[t]]
        # Where Gourmet misses ingredients of the original (it skips some cells of two-column
        # Meal-Master rows), our file may give it every ingredient it read there, in order,
        # and the ones it missed: read as well as the original, and counted apart.
        def more(t):
            it = iter(got.get(t, []))
            return len(got.get(t, [])) > len(want[t]) and all(i in it for i in want[t])
        better = [t for t in want if t not in alike and more(t)]
        print("%s -> %s: gourmet reads %d of %d recipes alike, %d more with every ingredient "
              "it read in the original and ones it missed there"
              % (os.path.basename(born), other, len(alike), len(want), len(better)))
        for t in want:
            if t not in alike:
                print("  %s: %s\n    original %s\n    ours     %s"
                      % ("more" if t in better else "differs", t, want[t], got.get(t)))
        total = totals.setdefault(fmt + " -> " + other, [0, 0])
        total[0] += len(alike) + len(better)
        total[1] += len(want)
    for way, (good, count) in sorted(totals.items()):
        print("%s: %d of %d recipes read as well as the original" % (way, good, count))
        if count == 0 or good * 10 < count * 9:
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Reads a Meal-Master or MasterCook text file with Gourmet's importers, headless, and prints
one JSON object: {"TITLE": [[AMOUNT, UNIT], ...], ...} (the amounts and units Gourmet sees).

Run with the system Python (the importer is a Debian package). Gourmet's recipe store is not
used: a stand-in takes the recipes and ingredients the importer hands it, so neither the
store's upgrade step nor any dialog runs. The file is decoded here (UTF-8, else
Windows-1252), because the importer would ask in a dialog. The packaged Meal-Master start
pattern puts "(?i)" after "^", an error since Python 3.11; it is rewritten here in memory.
"""
import json
import sys

fmt, path = sys.argv[1], sys.argv[2]

import gourmand.check_encodings as check_encodings
import gourmand.importers.importer as importer


class _Stored:
    def __init__(self, n):
        self.id = n


class _Store:
    """Takes what the importer commits."""

    def __init__(self):
        self.add_ing_hooks = []
        self.recipes = []
        self.ings = []
        self.next = 1

    def add_rec(self, rec, accept_ids=False):
        r = _Stored(self.next)
        self.next += 1
        self.recipes.append((r.id, dict(rec)))
        return r

    def add_ings(self, ings):
        self.ings.extend(dict(i) for i in ings)

    def update_hashes(self, r):
        pass

    def new_id(self):
        self.next += 1
        return self.next - 1


class _Keys:
    def get_key_fast(self, item):
        return item

    def get_key(self, item, *a):
        return item


import gourmand.backends.db as db

# The ingredient parser the Meal-Master importer asks the store for, on the stand-in: a unit
# Gourmet does not know is looked up among earlier ingredients, of which there are none.
_Store.parse_ingredient = db.RecipeManager.parse_ingredient
_Store.ingredients_table = None
_Store.fetch_all = lambda self, *a, **k: []
_Store.rd = property(lambda self: self)
_Store.km = _Keys()

STORE = _Store()
importer.get_recipe_manager = lambda *a, **k: STORE
importer.KeyManager.instance = classmethod(lambda cls: _Keys())


def _lines(filename, *a, **k):
    data = open(filename, "rb").read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        text = data.decode("cp1252", errors="replace")
    return text.splitlines()


check_encodings.get_file = _lines

if fmt == "mmf":
    from gourmand.plugins.import_export.mealmaster_plugin import mealmaster_importer as m

    m.mm_start_pattern = "(?i)^" + m.mm_start_pattern.replace("^(?i)", "", 1)
    imp = m.mmf_importer(path)
else:
    from gourmand.plugins.import_export.mastercook_import_plugin import (
        mastercook_plaintext_importer as m,
    )

    imp = m.MastercookPlaintextImporter(path)
imp.pre_run() if hasattr(imp, "pre_run") else None
imp.do_run()

out = {}
titles = {}
for rid, rec in STORE.recipes:
    titles[rid] = rec.get("title", "")
    out.setdefault(titles[rid], [])
for ing in STORE.ings:
    title = titles.get(ing.get("recipe_id"), "")
    amount = ing.get("amount")
    if amount is not None and ing.get("rangeamount"):
        amount = "%g-%g" % (amount, ing["rangeamount"])
    elif amount is not None:
        amount = "%g" % amount
    out.setdefault(title, []).append([amount or "", ing.get("unit") or ""])
sys.stdout.write("\nJSON:" + json.dumps(out, ensure_ascii=False) + "\n")

#!/usr/bin/env python3
"""Checks that the store is closed: outside src/store no C++ file speaks SQL, touches SQLite,
or reaches the store's tables, connection, record buffers or summary changes.

    store_closed.py SRC_FOLDER      scan SRC_FOLDER (src/store left out); exit 1 on a finding
    store_closed.py --self-test     plant findings in a scratch tree and check they are named

Each finding is printed as file:line: what was found.
"""
import os
import re
import sys
import tempfile

# SQL in a string literal (adjacent literals joined): statement shapes in the upper case the
# program's SQL is written in, so that "Select a recipe from the list" in a message is none.
SQL_SHAPES = [
    re.compile(p)
    for p in (
        r"\bSELECT\b.*\bFROM\b",
        r"\bINSERT\s+(OR\s+\w+\s+)?INTO\b",
        r"\bUPDATE\s+[\w.]+\s+SET\b",
        r"\bDELETE\s+FROM\b",
        r"\b(CREATE|DROP)\s+(TEMP\s+|TEMPORARY\s+|VIRTUAL\s+)?(TABLE|INDEX|TRIGGER|VIEW)\b",
        r"\bALTER\s+TABLE\b",
        r"\b(ATTACH|DETACH)\s+DATABASE\b",
        r"\bBEGIN\s+(IMMEDIATE|EXCLUSIVE|DEFERRED|TRANSACTION)\b",
        r"\bPRAGMA\b",
        r"^\s*(COMMIT|ROLLBACK|BEGIN|(SAVEPOINT|RELEASE)\s+\w+)\s*;?\s*$",
    )
] + [re.compile(r"\bupdate\s+[\w.]+\s+set\s+\w+\s*=", re.IGNORECASE)]

# Names in code (comments and strings left out).
CODE_NAMES = [
    (re.compile(r"\bsqlite3\w*"), "SQLite"),
    (re.compile(r"#\s*include\s*[<\"][^>\"]*sqlite3[^>\"]*[>\"]"), "SQLite header"),
    (re.compile(r"#\s*include\s*\"store/(Sqlite|Table)\.h\""), "the store's table layer"),
    (re.compile(r"\b(SqlStatement|SqlConnection|TTable|IndexRestorer|TableDef|KeyValue)\b"),
     "the store's table or connection type"),
    (re.compile(r"\bConnection\s*\(\s*\)"), "the store's connection"),
    (re.compile(r"\btbl(ListLabel|Recipes|RecipeBook|RecipeInBook)\s*\("), "a store table"),
    (re.compile(r"\b(LabelRec|RecipeRec|BookRec|BookEntryRec|RecipeText)\b"),
     "a record buffer"),
    (re.compile(r"\b(ClearBuffers|SaveRecord|LoadRecord|FindRecipe|FindLabel|SetCategorySlot)"
                r"\s*\("), "a record-buffer operation"),
    (re.compile(r"(\.|->)(SaveRecipe|SaveLabel|SaveBook|SaveBookEntry|LoadRecipe|LoadLabel|"
                r"LoadBook|LoadBookEntry)\s*\(\s*\)"), "a record-buffer operation"),
    (re.compile(r"\bTDetachedSummaries\b"), "a summary list of its own"),
]

LITERAL = re.compile(r'R"([^(\s]*)\((.*?)\)\1"|"((?:[^"\\\n]|\\.)*)"|\'(?:[^\'\\\n]|\\.)*\'',
                     re.DOTALL)
COMMENT = re.compile(r"//[^\n]*|/\*.*?\*/", re.DOTALL)


def split(text):
    """The code with comments and literals blanked (lines kept), and the literals with their
    line numbers."""
    code, literals, pos, joinable = [], [], 0, 0
    while pos < len(text):
        lit, com = LITERAL.search(text, pos), COMMENT.search(text, pos)
        first = min((m for m in (lit, com) if m), key=lambda m: m.start(), default=None)
        if not first:
            code.append(text[pos:])
            break
        code.append(text[pos:first.start()])
        chunk = first.group(0)
        if first is lit and not chunk.startswith("'"):
            body = first.group(2) if first.group(2) is not None else first.group(3)
            if literals and joinable and not text[joinable:first.start()].strip():
                literals[-1] = (literals[-1][0], literals[-1][1] + body)
            else:
                literals.append((text.count("\n", 0, first.start()) + 1, body))
            joinable = first.end()
            code.append('""' + "\n" * chunk.count("\n"))
        else:
            code.append(" " + "\n" * chunk.count("\n"))
        pos = first.end()
    return "".join(code), literals


def scan_file(path, shown):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    code, literals = split(text)
    found = []
    for n, line in enumerate(code.split("\n"), 1):
        for pattern, what in CODE_NAMES:
            m = pattern.search(line)
            if m:
                found.append(f"{shown}:{n}: {what} ({m.group(0).strip()})")
                break
    for n, body in literals:
        if any(p.search(body) for p in SQL_SHAPES):
            found.append(f"{shown}:{n}: SQL in a string ({body.strip()[:60]})")
    return found


def scan(src):
    found = []
    for root, dirs, files in os.walk(src):
        dirs.sort()
        rel = os.path.relpath(root, src)
        if rel.split(os.sep)[0] == "store":
            dirs[:] = []
            continue
        for name in sorted(files):
            if name.endswith((".cpp", ".h", ".hpp", ".cc")):
                path = os.path.join(root, name)
                found += scan_file(path, os.path.join("src", os.path.relpath(path, src)))
    return found


def self_test():
    planted = {
        "exchange/Reader.cpp": ('// SELECT Title FROM tblRecipes is only a comment here\n'
                                'auto q = "SELECT Title "\n'
                                '         "FROM x";\n'
                                'void f(TfmTables& t) { t.tblRecipes().First(); }\n'),
        "cli/Cmd.cpp": ('#include <sqlite3.h>\n'
                        'int n = store.RecipeRec.InternalID;\n'
                        'auto m = "Select a recipe from the list";\n'
                        'auto u = "update t set a = 1";\n'),
        "store/Tables.cpp": 'auto ok = "SELECT 1 FROM tblRecipes"; TTable* t;\n',
    }
    want = {
        "src/exchange/Reader.cpp:2: SQL in a string",
        "src/exchange/Reader.cpp:4: a store table",
        "src/cli/Cmd.cpp:1: SQLite",
        "src/cli/Cmd.cpp:2: a record buffer",
        "src/cli/Cmd.cpp:4: SQL in a string",
    }
    with tempfile.TemporaryDirectory() as tmp:
        for rel, text in planted.items():
            os.makedirs(os.path.join(tmp, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(tmp, rel), "w") as f:
                f.write(text)
        found = scan(tmp)
    got = {f.split(" (")[0] for f in found}
    if got != want:
        print("self-test: expected", sorted(want), "got", sorted(got))
        return 1
    print("self-test: every planted finding named, nothing else")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    if len(argv) != 2 or not os.path.isdir(argv[1]):
        print(__doc__)
        return 2
    found = scan(argv[1])
    for f in found:
        print(f)
    if found:
        print(f"store_closed: {len(found)} place(s) outside src/store reach under the store")
        return 1
    print("store_closed: nothing outside src/store speaks SQL or reaches the tables")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

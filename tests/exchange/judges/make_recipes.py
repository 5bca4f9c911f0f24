#!/usr/bin/python3
"""Writes N varied recipes of our own making in each exchange format, for the judges:
OUT/made.mmf (one- and two-column ingredient blocks, continuation lines, headings, ranges,
fractions) and OUT/made.mxp (measure words, "--" preparations, headings, long items).

usage: make_recipes.py N SEED OUT
"""
import random
import sys

n, seed, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rnd = random.Random(seed)

ITEMS = ["flour", "sugar", "brown sugar", "butter", "milk", "eggs", "salt", "black pepper",
         "onion", "garlic", "carrots", "celery", "chicken breasts", "ground beef", "rice",
         "tomatoes", "olive oil", "vinegar", "lemon juice", "parsley", "basil", "oregano",
         "cheddar cheese", "cream cheese", "heavy cream", "potatoes", "mushrooms", "spinach",
         "chicken broth", "soy sauce", "honey", "vanilla extract", "baking soda",
         "baking powder", "cinnamon", "nutmeg", "walnuts", "raisins", "oats", "bacon"]
PREPS = ["chopped", "diced", "minced", "sliced thin", "softened", "beaten", "grated",
         "cut into 1-inch pieces", "at room temperature", "peeled and cubed"]
LONG = ["boneless skinless chicken thighs, trimmed of all visible fat",
        "frozen chopped spinach, thawed and squeezed dry in a towel",
        "sharp cheddar cheese, coarsely grated on the large holes"]
AMOUNTS = ["1", "2", "3", "4", "6", "12", "1/2", "1/4", "3/4", "1/3", "2/3", "1 1/2",
           "2 1/4", "1-2", "2-3", ".5", "1.5", "250", "500", ""]
MM_UNITS = ["c", "ts", "tb", "t", "T", "lb", "oz", "pn", "ds", "cn", "pk", "lg", "md", "sm",
            "ml", "l", "g", "kg", "pt", "qt", "sl", "ea", ""]
MC_UNITS = ["cup", "cups", "teaspoon", "teaspoons", "tablespoon", "tablespoons", "pound",
            "pounds", "ounce", "ounces", "pinch", "dash", "can", "package", "large", "medium",
            "small", "ml", "grams", "cloves", "slices", "quart", ""]
WORDS = ("stir mix bake simmer whisk fold chop pour cover cool serve heat the with until "
         "golden tender smooth minutes over into and in of to oven pan bowl sauce gently").split()


def sentence(k):
    w = [rnd.choice(WORDS) for _ in range(k)]
    return " ".join(w).capitalize() + "."


def directions():
    lines = []
    for _ in range(rnd.randint(1, 3)):
        para = " ".join(sentence(rnd.randint(5, 12)) for _ in range(rnd.randint(1, 3)))
        while para:
            cut = para[:70].rfind(" ") if len(para) > 70 else len(para)
            lines.append("  " + para[:cut].strip())
            para = para[cut:].strip()
        lines.append("")
    return lines


def ingredient(units):
    a = rnd.choice(AMOUNTS)
    u = rnd.choice(units) if a else rnd.choice([units[-1], units[7]])
    if rnd.random() < 0.08:
        item = rnd.choice(LONG)
    else:
        item = rnd.choice(ITEMS)
        if rnd.random() < 0.4:
            item += rnd.choice([", ", "; "]) + rnd.choice(PREPS)
    return a, u, item


def mm_cell(a, u, item, width=None):
    """The Meal-Master lines of one ingredient: items over 28 characters go on on continuation
    lines."""
    head = "%7s %-2s " % (a, u)
    lines = []
    while len(item) > 28:
        cut = item[:28].rfind(" ")
        lines.append(item[:cut])
        item = item[cut + 1:]
    lines.append(item)
    cells = [head + lines[0]] + ["           -" + l for l in lines[1:]]
    return cells


def mmf():
    text = []
    for r in range(n):
        text += ["MMMMM----- Recipe via Meal-Master (tm) v8.05", "",
                 "      Title: Made Recipe %d" % (r + 1),
                 " Categories: " + ", ".join(rnd.sample(["Main", "Soups", "Baking", "Quick",
                                                        "Vegetables", "Desserts"], 2)),
                 "   Servings: %d" % rnd.randint(1, 12), ""]
        for g in range(rnd.randint(1, 2)):
            if g:
                text += ["", "MMMMM-----------------------%s-----------------------"
                         % rnd.choice(["SAUCE", "TOPPING", "FILLING", "GLAZE"])]
            ings = [ingredient(MM_UNITS) for _ in range(rnd.randint(3, 10))]
            if rnd.random() < 0.3:
                # Two columns, each cell a single line.
                cells = [mm_cell(a, u, i[:28])[0] for a, u, i in ings]
                for k in range(0, len(cells), 2):
                    row = cells[k].ljust(40) + (cells[k + 1] if k + 1 < len(cells) else "")
                    text.append(row.rstrip())
            else:
                for a, u, i in ings:
                    text += [c.rstrip() for c in mm_cell(a, u, i)]
        text += [""] + directions() + ["MMMMM", ""]
    return text


def mxp():
    text = []
    for r in range(n):
        title = "Made Recipe %d" % (r + 1)
        cats = rnd.sample(["Main Dish", "Soups", "Baking", "Quick", "Vegetables"], 2)
        text += ["                     *  Exported from  MasterCook  *", "",
                 " " * ((78 - len(title)) // 2) + title, "", "Recipe By     : ",
                 "Serving Size  : %-6dPreparation Time :0:30" % rnd.randint(1, 12),
                 "Categories    : %-33s%s" % (cats[0], cats[1]), "",
                 "  Amount  Measure       Ingredient -- Preparation Method",
                 "--------  ------------  --------------------------------"]
        for g in range(rnd.randint(1, 2)):
            if g:
                text.append(" " * 24 + rnd.choice(["For the sauce:", "Topping:", "Glaze:"]))
            for _ in range(rnd.randint(3, 10)):
                a, u, item = ingredient(MC_UNITS)
                item = item.replace(", ", " -- ", 1).replace("; ", " -- ", 1)
                text.append(("%8s  %-14s%s" % (a, u, item)).rstrip())
        text += [""] + [l.strip() for l in directions()]
        text += ["                   - - - - - - - - - - - - - - - - - - ", ""]
    return text


for name, lines in (("made.mmf", mmf()), ("made.mxp", mxp())):
    with open(out + "/" + name, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")

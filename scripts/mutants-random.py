#!/usr/bin/env python3
"""Random faults for scripts/mutants.sh --random, standard library only.

  mutants-random.py sites SEED   every candidate fault in core/**/*.cpp (or the
                                 folders in MUTATE_DIRS), in the
                                 order SEED draws them, one per line:
                                 file line col kind old new shown (apart by \x1f)
  mutants-random.py apply FILE LINE COL KIND OLD NEW
                                 puts one of them in place

The shell takes the sites in this order and skips the ones that do not build,
so a seed names the same faults on the same tree. Every (place, change) pair
is one candidate and the draw is uniform over all of them, so a file's weight
is its number of candidates, not one in the number of files.
"""

import os
import random
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
HIDDEN = "\x01"  # stands for comment and literal text, so no pattern matches there

# Both directions of each change; binary operators carry spaces in this
# clang-formatted code, which tells them from templates, << and ->.
FLIP = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
BOUNDARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
COMPARISON = re.compile(r"(?<= )(==|!=|<=|>=|<|>)(?= )")
BOOLEAN = re.compile(r"(?<![\w])(true|false)(?![\w])")
INTEGER = re.compile(
    r"(?<![\w.'])(0[xX][0-9A-Fa-f']+|0[bB][01']+|\d[\d']*)([uUlLzZ]*)(?![\w.'])")
CALL_START = re.compile(r"^(?:::)?[A-Za-z_]\w*(?:(?:::|\.|->)~?[A-Za-z_]\w*)*(?:<[^;()]*>)?\(")
MEMBER_CALL = re.compile(r"^(?:\.|->)[A-Za-z_]\w*(?:<[^;()]*>)?\(")
NOT_CALLS = {"static_assert", "sizeof", "alignof", "decltype", "return", "throw"}


def hide_comments_and_literals(text):
    """The text with every comment, string and character literal replaced by
    HIDDEN (newlines kept), so the line/column of code stay where they were."""
    out = list(text)
    i, n = 0, len(text)

    def hide(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = HIDDEN

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            hide(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            hide(i, end)
            i = end
        elif c == '"' and re.search(r"(?<![\w])(?:u8|u|U|L)?R$", text[max(0, i - 3):i]):
            m = re.match(r'"([^()\\\s]{0,16})\(', text[i:])
            close = ")" + (m.group(1) if m else "") + '"'
            end = text.find(close, i + 1)
            end = n if end < 0 else end + len(close)
            hide(i, end)
            i = end
        elif c in "\"'":
            # A quote inside a number is a digit separator (1'000), not a literal.
            if c == "'":
                start = i
                while start > 0 and (text[start - 1].isalnum() or text[start - 1] in "_'"):
                    start -= 1
                if start < i and text[start].isdigit():
                    i += 1
                    continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            end = min(j + 1, n)
            hide(i, end)
            i = end
        else:
            i += 1
    return "".join(out)


def closing_paren(code, at):
    depth = 0
    for k in range(at, len(code)):
        if code[k] == "(":
            depth += 1
        elif code[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


def is_bare_call(code):
    """foo(...); obj.foo(...); obj->foo(...).bar(...); on one line, nothing else."""
    m = CALL_START.match(code)
    if not m:
        return False
    name = re.split(r"::|\.|->", m.group(0).rstrip("(").split("<")[0])[-1]
    if name in NOT_CALLS or (name.isupper() and len(name) > 1):
        return False  # keywords, and macros such as Q_ASSERT that are empty in a release build
    at = m.end() - 1
    while True:
        end = closing_paren(code, at)
        if end < 0:
            return False
        rest = code[end + 1:]
        if rest == ";":
            return True
        m = MEMBER_CALL.match(rest)
        if not m:
            return False
        at = end + 1 + m.end() - 1


def bumped(literal):
    digits = literal.replace("'", "")
    if digits[:2] in ("0x", "0X"):
        value, base = int(digits, 16), 16
    elif digits[:2] in ("0b", "0B"):
        value, base = int(digits, 2), 2
    elif len(digits) > 1 and digits[0] == "0":
        value, base = int(digits, 8), 8
    else:
        value, base = int(digits), 10
    value = {0: 1, 1: 0}.get(value, value + 1)
    if base == 16:
        text = format(value, "X" if any(ch in "ABCDEF" for ch in digits[2:]) else "x")
        return digits[:2] + text
    if base == 2:
        return digits[:2] + format(value, "b")
    if base == 8:
        return "0" + format(value, "o")
    return str(value)


def read(path):
    with open(path, encoding="utf-8", newline="") as f:  # line ends as they are
        return f.read()


def sites_of(path):
    text = read(path)
    lines = text.split("\n")
    code_lines = hide_comments_and_literals(text).split("\n")
    rel = path.relative_to(ROOT).as_posix()
    found = []
    directive = False
    previous = ";"  # the last line with code on it
    for number, (line, code) in enumerate(zip(lines, code_lines), start=1):
        stripped = code.replace(HIDDEN, " ").strip()
        if directive or stripped.startswith("#"):
            directive = code.rstrip().endswith("\\")
            continue  # #include, #pragma, #define: not expressions of the program
        if not stripped:
            continue

        def add(col, kind, old, new):
            found.append((rel, number, col, kind, old, new))

        for m in COMPARISON.finditer(code):
            op = m.group(1)
            add(m.start(), "flip", op, FLIP[op])
            if op in BOUNDARY:
                add(m.start(), "boundary", op, BOUNDARY[op])
        for m in BOOLEAN.finditer(code):
            add(m.start(), "boolean", m.group(1), "false" if m.group(1) == "true" else "true")
        for m in INTEGER.finditer(code):
            add(m.start(), "constant", m.group(1), bumped(m.group(1)))
        if is_bare_call(code.strip()):
            indent = len(code) - len(code.lstrip())
            if previous[-1] in ";{}:":
                add(indent, "call", line[indent:].rstrip(), "")
            elif previous[-1] == ")" or re.search(r"(?<!\w)else$", previous):
                # The whole body of an if/else/loop without braces: an empty
                # block keeps the next statement out of that body (a bare ;
                # is a warning, so an error here).
                add(indent, "call", line[indent:].rstrip(), "{}")
            # else the line goes on an expression (after =, a comma...): no statement
        previous = stripped
    return found


def all_sites():
    # MUTATE_DIRS narrows or widens the draw (a piece's own folders), default core.
    sites = []
    for folder in os.environ.get("MUTATE_DIRS", "core").split():
        for path in sorted((ROOT / folder).rglob("*.cpp")):
            sites.extend(sites_of(path))
    return sites


def mutated_line(line, col, kind, old, new):
    if kind == "call":
        return line[:col] + new
    return line[:col] + new + line[col + len(old):]


def main(argv):
    if len(argv) == 3 and argv[1] == "sites":
        sites = all_sites()
        random.Random(int(argv[2])).shuffle(sites)
        lines = {}
        for rel, number, col, kind, old, new in sites:
            if rel not in lines:
                lines[rel] = read(ROOT / rel).split("\n")
            line = lines[rel][number - 1]
            shown = "%s  =>  %s" % (line.strip(), mutated_line(line, col, kind, old, new).strip() or "(nothing)")
            # Fields apart by \x1f: bash's read folds runs of tabs, which would
            # lose the empty text of a dropped call.
            print("\x1f".join([rel, str(number), str(col), kind, old, new, shown]))
        return 0
    if len(argv) == 8 and argv[1] == "apply":
        rel, number, col, kind, old, new = argv[2], int(argv[3]), int(argv[4]), *argv[5:8]
        path = ROOT / rel
        lines = read(path).split("\n")
        line = lines[number - 1]
        if line[col:col + len(old)] != old:
            sys.exit("mutants: %s:%d no longer holds %r (the tree changed)" % (rel, number, old))
        lines[number - 1] = mutated_line(line, col, kind, old, new)
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write("\n".join(lines))
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""The mutants that scripts/mutation-score.sh applies to the core, one small fault each.

  scripts/mutants.py [--count N] [--out FILE]     writes the list (default scripts/mutants.txt)
  scripts/mutants.py apply FILE OCCURRENCE ORIGINAL MUTANT
                                                  puts one mutant in place; prints its line number

Mutants are found by line text, not line number, so that one list survives the code being moved
about: when a line has moved to another file, the list is edited by hand (or the runner's --map)."""
import argparse
import os
import random
import re
import sys

SEED = 2026
DEFAULT_COUNT = 52
# A mutant in a header recompiles most of the tree (minutes, not seconds), so only a few are taken.
HEADER_CAP = 3
ROOTS = ["main", "watchdog"]
EXTRA_FILES = ["support/unicode.cpp"]
ENTRY_POINTS = {"main/main.cpp", "watchdog/main.cpp"}
KINDS = ["compare", "bool", "logic", "drop", "constant", "return"]

HEADER = """\
# Mutants for scripts/mutation-score.sh, written by scripts/mutants.py (seed {seed}).
# One per line, tab-separated: id, kind, file, occurrence, original line, mutated line.
# A line is found by its text with the surrounding blanks trimmed; the occurrence counts (from 1)
# among the identical lines of that file. When code moves, edit the file or the line here by hand:
# a line that cannot be found is reported as not found and not counted.
"""

# Lines whose numbers only tune speed or polling: moving them by one changes no behaviour, and
# neither does dropping a reservation.
EQUIVALENT_NUMBER_LINES = re.compile(r"\.reserve\(|try_acquire_for|sleepFor\(|runOnce\(")
EQUIVALENT_DROP_LINES = re.compile(r"\.reserve\(")


def core_files(root):
    found = []
    for top in ROOTS:
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                rel = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                if name.endswith((".cpp", ".h")) and rel not in ENTRY_POINTS:
                    found.append(rel)
    found += [f for f in EXTRA_FILES if os.path.exists(os.path.join(root, f))]
    return sorted(found)


def masked_lines(text):
    """Each line with comments and the insides of literals blanked out (same length), so that the
    patterns below only ever see code."""
    out, in_block = [], False
    for line in text.split("\n"):
        chars, i, n = list(line), 0, len(line)
        while i < n:
            if in_block:
                end = line.find("*/", i)
                stop = n if end < 0 else end + 2
                chars[i:stop] = "\x01" * (stop - i)
                in_block, i = end < 0, stop
            elif line.startswith("//", i):
                chars[i:] = "\x01" * (n - i)
                break
            elif line.startswith("/*", i):
                in_block = True
            elif line.startswith('R"', i) and (i == 0 or not (line[i - 1].isalnum() or line[i - 1] == "_")):
                delim_end = line.find("(", i)
                close = line.find(")" + line[i + 2:delim_end] + '"', delim_end)
                stop = n if delim_end < 0 or close < 0 else close + delim_end - i
                chars[i + 1:stop] = "\x01" * (stop - i - 1)
                i = stop
            elif line[i] in "\"'":
                quote, j = line[i], i + 1
                while j < n and line[j] != quote:
                    j += 2 if line[j] == "\\" else 1
                chars[i + 1:min(j, n)] = "\x01" * (min(j, n) - i - 1)
                i = j + 1
            else:
                i += 1
        out.append("".join(chars))
    return out


COMPARE = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
COMPARE_RE = re.compile(r"(?<= )(==|!=|<=|>=|<|>)(?= )")
LOGIC_RE = re.compile(r"(?<= )(&&|\|\|)(?= )")
BOOL_RE = re.compile(r"\b(true|false)\b")
NUMBER_RE = re.compile(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+\.\d+|\d+)(?![\w.])")
STATEMENT_RE = re.compile(
    r"^(?:(?:if|while) \(|(?:\+\+|--)\w|\w+(?:::\w+)*(?:\s*(?:\.|->)\s*\w+)*\s*(?:\(|\+\+|--|[-+*/]?=(?!=)))")
NOT_STATEMENT_RE = re.compile(r"^(?:return|case|default|using|namespace|static_assert|else)\b|= *(?:delete|default);")
HEAD_RE = re.compile(
    r"^(?:template\s*<[^>]*>\s*)?(?P<pre>(?:[\w:<>,*&]+\s+|[\w:<>,]+[*&]\s*)+?)"
    r"(?P<name>(?:\w+::)*(?:operator\W+|~?\w+))\s*\(")
CONTROL = {"if", "for", "while", "switch", "return", "else", "namespace", "class", "struct", "enum", "do"}
SPECIFIERS = {"static", "inline", "friend", "constexpr", "explicit", "virtual"}


def with_replacement(text, start, end, new):
    return text[:start] + new + text[end:]


def mixes_and_or(code):
    """Whether && and || meet at one nesting depth, which -Wparentheses (an error here) rejects."""
    depth, seen = 0, {}
    for i, ch in enumerate(code):
        depth += {"(": 1, ")": -1}.get(ch, 0)
        if code.startswith(("&&", "||"), i):
            seen.setdefault(depth, set()).add(code[i])
    return any(len(ops) > 1 for ops in seen.values())


def balanced(code):
    return all(code.count(a) == code.count(b) for a, b in ("()", "[]", "{}"))


def moved_number(literal, rng):
    if literal.lower().startswith("0x"):
        value = int(literal, 16)
        value += 1 if value == 0 or rng.random() < 0.5 else -1
        digits = f"{value:0{len(literal) - 2}X}" if literal[2:].isupper() or literal[2:].isdigit() else f"{value:x}"
        return literal[:2] + digits
    whole, dot, fraction = literal.partition(".")
    value = int(whole)
    value += 1 if value == 0 or rng.random() < 0.5 else -1
    return f"{value}{dot}{fraction}"


def early_return_value(pre):
    words = [w for w in pre.split() if w not in SPECIFIERS]
    kind = " ".join(words)
    if not words or set(words) & CONTROL:
        return None
    if kind == "void":
        return "return;"
    if kind == "bool":
        return "return false;"
    if kind == "ScreenLockState":  # no default value: the "don't know" state is the neutral one
        return "return ScreenLockState::unknown();"
    if kind.startswith("std::") or kind in {"ProcessResult", "Drawing", "StatusTexts", "DisplayState",
                                             "TerminateReply", "ProtectionMode"}:
        return "return {};"
    return None


def function_head(masked, index):
    """The head of a function definition whose body opens on line `index`, and where its body
    starts in that line; None when the line opens no function body."""
    code = masked[index].rstrip()
    if "{" not in code:
        return None
    indent = len(code) - len(code.lstrip())
    first = index
    while first > 0:
        above = masked[first - 1].strip()
        if not above or above.endswith((";", "{", "}", ":")) or above.startswith("#") or set(above) <= {"\x01"}:
            break
        first -= 1
    # Functions stand at namespace level or, defined in their class, one step in.
    if len(masked[first]) - len(masked[first].lstrip()) not in (0, 2):
        return None
    head = " ".join(m.strip() for m in masked[first:index]) + " " + code.strip()
    head = head.strip()
    match = HEAD_RE.match(head)
    if not match or "=" in match.group("pre") or "[" in head[:match.end()]:
        return None
    if match.group("name") in CONTROL or set(match.group("pre").split()) & CONTROL:
        return None
    # The body's brace: the first one after the parameter list closes.
    depth, at = 0, match.end() - 1
    for at in range(match.end() - 1, len(head)):
        depth += {"(": 1, ")": -1}.get(head[at], 0)
        if depth == 0:
            break
    rest = head[at + 1:]
    if not re.match(r"^\s*(?:const\s*)?(?:override\s*)?(?:noexcept\s*)?\{", rest):
        return None
    # Where that brace is in the last line of the head.
    brace_in_head = at + 1 + rest.index("{")
    offset_in_line = brace_in_head - (len(head) - len(code.strip()))
    if offset_in_line < 0:
        return None
    return match.group("pre"), indent + offset_in_line, match.group("name") + "("


def candidates_in(path, text, rng):
    raw = text.split("\n")
    masked = masked_lines(text)
    seen, found = {}, []
    for index, (line, code) in enumerate(zip(raw, masked)):
        trimmed = line.strip()
        seen[trimmed] = seen.get(trimmed, 0) + 1
        lead = len(line) - len(line.lstrip())
        code_trimmed = code.strip()
        if not trimmed or "\t" in trimmed or code_trimmed.startswith("#") or set(code_trimmed) <= {"\x01"}:
            continue
        body, mask = line[lead:], code[lead:]

        def add(kind, mutated):
            if mutated != trimmed:
                found.append((path, index + 1, seen[trimmed], kind, trimmed, mutated.strip()))

        for m in COMPARE_RE.finditer(mask):
            add("compare", with_replacement(body, m.start(), m.end(), COMPARE[m.group(1)]))
        for m in LOGIC_RE.finditer(mask):
            swapped = "||" if m.group(1) == "&&" else "&&"
            if not mixes_and_or(with_replacement(mask, m.start(), m.end(), swapped)):
                add("logic", with_replacement(body, m.start(), m.end(), swapped))
        for m in BOOL_RE.finditer(mask):
            add("bool", with_replacement(body, m.start(), m.end(), "false" if m.group(1) == "true" else "true"))
        if not EQUIVALENT_NUMBER_LINES.search(mask):
            for m in NUMBER_RE.finditer(mask):
                add("constant", with_replacement(body, m.start(), m.end(), moved_number(m.group(1), rng)))
        above = next((m.strip() for m in reversed(masked[:index]) if m.strip() and set(m.strip()) - {"\x01"}), "")
        if (mask.rstrip().endswith(";") and balanced(mask) and STATEMENT_RE.match(mask)
                and not NOT_STATEMENT_RE.search(mask) and not EQUIVALENT_DROP_LINES.search(mask)
                and above.endswith((";", "{", "}"))):
            add("drop", ";")
        head = function_head(masked, index)
        if head:
            value = early_return_value(head[0])
            if value and head[2] not in value:  # "return unknown();" inside unknown() never returns
                cut = head[1] + 1 - lead
                add("return", body[:cut] + " " + value + body[cut:])
    return found


def shares(count, capacity):
    """`count` split evenly over the kinds, none given more than it can take."""
    quota = {k: 0 for k in KINDS}
    left = count
    while left > 0:
        open_kinds = [k for k in KINDS if quota[k] < capacity[k]]
        if not open_kinds:
            break
        for k in open_kinds[:left]:
            quota[k] += 1
            left -= 1
    return quota


def sample(candidates, count, rng):
    """Stratified: an even share per kind, and within a kind one file after another, so that no kind
    and no file dominates. A kind that cannot fill its share (too few sites, or only in headers)
    leaves the rest to the others."""
    by_kind = {k: [c for c in candidates if c[3] == k] for k in KINDS}
    rotation = {}  # per kind: its files in a shuffled order, and what is left to draw in each
    chosen, lines_taken = [], set()

    def draw(kind, wanted):
        if kind not in rotation:
            files = sorted({c[0] for c in by_kind[kind]})
            rng.shuffle(files)
            rotation[kind] = (files, {f: [c for c in by_kind[kind] if c[0] == f] for f in files})
        files, pool = rotation[kind]
        taken = 0
        while taken < wanted and any(pool.values()):
            for f in files:
                if taken >= wanted:
                    break
                headers = sum(c[0].endswith(".h") for c in chosen)
                options = [c for c in pool[f] if (c[0], c[1]) not in lines_taken
                           and (not c[0].endswith(".h") or headers < HEADER_CAP)]
                if not options:
                    pool[f] = []
                    continue
                pick = rng.choice(options)
                pool[f].remove(pick)
                chosen.append(pick)
                lines_taken.add((pick[0], pick[1]))
                taken += 1
        return taken

    while len(chosen) < count:
        capacity = {k: len(by_kind[k]) if k not in rotation else sum(map(len, rotation[k][1].values()))
                    for k in KINDS}
        quota = shares(count - len(chosen), capacity)
        if sum(draw(k, quota[k]) for k in KINDS) == 0:
            break
    return sorted(chosen, key=lambda c: (c[0], c[1], c[3], c[5]))


def generate(argv):
    parser = argparse.ArgumentParser(description="Writes the list of mutants.")
    parser.add_argument("--count", type=int, default=DEFAULT_COUNT)
    parser.add_argument("--out", default="scripts/mutants.txt")
    parser.add_argument("--all", action="store_true", help="print every candidate instead")
    args = parser.parse_args(argv)
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    rng = random.Random(SEED)
    candidates = []
    for path in core_files(root):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            candidates += candidates_in(path, f.read(), rng)
    chosen = candidates if args.all else sample(candidates, args.count, rng)
    rows = [f"M{n:02d}\t{kind}\t{path}\t{occ}\t{orig}\t{mut}"
            for n, (path, _, occ, kind, orig, mut) in enumerate(chosen, 1)]
    if args.all:
        print("\n".join(rows))
        return
    with open(os.path.join(root, args.out), "w", encoding="utf-8") as f:
        f.write(HEADER.format(seed=SEED) + "\n".join(rows) + "\n")
    counts = {k: sum(c[3] == k for c in chosen) for k in KINDS}
    print(f"{len(chosen)} of {len(candidates)} candidates: "
          + ", ".join(f"{k} {v}" for k, v in counts.items()), file=sys.stderr)


def apply(argv):
    """Exit status 3 when the line is not there; the file is then left untouched."""
    path, occurrence, original, mutant = argv[0], int(argv[1]), argv[2], argv[3]
    try:
        with open(path, "rb") as f:
            lines = f.read().splitlines(keepends=True)
    except FileNotFoundError:
        return 3
    seen = 0
    for number, line in enumerate(lines, 1):
        text = line.decode("utf-8", "surrogateescape")
        if text.strip() != original:
            continue
        seen += 1
        if seen == occurrence:
            body = text.rstrip("\r\n")
            lead = body[:len(body) - len(body.lstrip())]
            lines[number - 1] = (lead + mutant + text[len(body):]).encode("utf-8", "surrogateescape")
            with open(path, "r+b") as f:
                f.write(b"".join(lines))
                f.truncate()
            print(number)
            return 0
    return 3


if __name__ == "__main__":
    if sys.argv[1:2] == ["apply"] and len(sys.argv) == 6:
        sys.exit(apply(sys.argv[2:]))
    generate(sys.argv[1:])

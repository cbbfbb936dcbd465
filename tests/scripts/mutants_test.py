#!/usr/bin/env python3
"""The mutant generator: what it takes for code, the mutants it makes, and putting one in place."""
import os
import random
import sys
import tempfile
import unittest
from contextlib import redirect_stdout
from io import StringIO

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import mutants  # noqa: E402


def mutated(source, kind):
    return [(c[1], c[5]) for c in mutants.candidates_in("f.cpp", source, random.Random(1)) if c[3] == kind]


class CandidatesTest(unittest.TestCase):
    def test_literals_and_comments_are_never_mutated(self):
        source = ('void f() {\n'
                  '  g("a == b && true 1", \'<\');  // x == 1 || false\n'
                  '  h(R"(c != d)");  /* 2 > 3 */\n'
                  '}\n')
        for kind in ("compare", "logic", "bool", "constant"):
            self.assertEqual(mutated(source, kind), [], kind)

    def test_comparisons_flip_but_template_brackets_and_arrows_stay(self):
        source = "bool f(std::optional<int> x) {\n  return x->y < 2 && a >= b;\n}\n"
        self.assertEqual(mutated(source, "compare"),
                         [(2, "return x->y >= 2 && a >= b;"), (2, "return x->y < 2 && a < b;")])

    def test_and_or_swaps_that_would_mix_them_unparenthesised_are_left_out(self):
        source = "bool f() {\n  return a && b && c;\n}\nbool g() {\n  return a && (b || c);\n}\n"
        self.assertEqual(mutated(source, "logic"), [(5, "return a || (b || c);"), (5, "return a && (b && c);")])

    def test_numbers_move_by_one_within_identifiers_never(self):
        source = "void f() {\n  std::int64_t v = x * 10 + 0x212A;\n}\n"
        moves = [m for _, m in mutated(source, "constant")]
        self.assertEqual(len(moves), 2)
        self.assertTrue(moves[0] in ("std::int64_t v = x * 9 + 0x212A;", "std::int64_t v = x * 11 + 0x212A;"))
        self.assertTrue(moves[1].endswith(("0x2129;", "0x212B;")))

    def test_only_whole_statements_that_are_not_declarations_or_returns_are_dropped(self):
        source = ("int f() {\n"
                  "  int a = 1;\n"
                  "  a = 2;\n"
                  "  g(a,\n"
                  "    3);\n"
                  "  if (a) h();\n"
                  "  out.reserve(9);\n"
                  "  return a;\n"
                  "}\n")
        self.assertEqual(mutated(source, "drop"), [(3, ";"), (6, ";")])

    def test_early_returns_type_check(self):
        source = ("void a() {\n}\n"
                  "bool b() { return c(); }\n"
                  "std::string d(int x,\n"
                  "              int y) {\n}\n"
                  "ScreenLockState e() {\n}\n"
                  "Unknown f() {\n}\n"
                  "AppDelegate::AppDelegate(int x)\n    : x_(x) {}\n")
        self.assertEqual(mutated(source, "return"), [
            (1, "void a() { return;"),
            (3, "bool b() { return false; return c(); }"),
            (5, "int y) { return {};"),
            (7, "ScreenLockState e() { return ScreenLockState::unknown();"),
        ])


class SampleTest(unittest.TestCase):
    @staticmethod
    def candidates(in_header):
        return [("a.h" if in_header(n, kind) else "b.cpp", n, 1, kind, f"x{n}", f"y{n}")
                for n, kind in enumerate(mutants.KINDS * 20)]

    def test_the_draw_is_reproducible_and_even_over_kinds_with_few_headers(self):
        candidates = self.candidates(lambda n, kind: (n // 6) % 2)
        first = mutants.sample(candidates, 24, random.Random(mutants.SEED))
        self.assertEqual(first, mutants.sample(candidates, 24, random.Random(mutants.SEED)))
        self.assertEqual({k: sum(c[3] == k for c in first) for k in mutants.KINDS}, dict.fromkeys(mutants.KINDS, 4))
        self.assertLessEqual(sum(c[0].endswith(".h") for c in first), mutants.HEADER_CAP)

    def test_a_kind_found_only_in_headers_leaves_its_share_to_the_others(self):
        candidates = self.candidates(lambda n, kind: kind == "drop")
        drawn = mutants.sample(candidates, 24, random.Random(mutants.SEED))
        self.assertEqual(len(drawn), 24)
        self.assertEqual(sum(c[3] == "drop" for c in drawn), mutants.HEADER_CAP)


class ApplyTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.path = os.path.join(folder.name, "f.cpp")
        self.original = b"int f() {\r\n  x = 1;\r\n\tx = 1;\r\n  return x;\r\n}"
        with open(self.path, "wb") as f:
            f.write(self.original)

    def apply(self, *argv):
        with redirect_stdout(StringIO()):
            return mutants.apply(list(argv))

    def content(self):
        with open(self.path, "rb") as f:
            return f.read()

    def test_the_chosen_occurrence_changes_keeping_indent_and_line_ends(self):
        self.assertEqual(self.apply(self.path, "2", "x = 1;", "x = 2;"), 0)
        self.assertEqual(self.content(), self.original.replace(b"\tx = 1;", b"\tx = 2;"))

    def test_a_missing_line_or_occurrence_leaves_the_file_as_it_was(self):
        self.assertEqual(self.apply(self.path, "3", "x = 1;", "x = 2;"), 3)
        self.assertEqual(self.apply(self.path, "1", "y = 1;", "x = 2;"), 3)
        self.assertEqual(self.apply(self.path + ".gone", "1", "x = 1;", "x = 2;"), 3)
        self.assertEqual(self.content(), self.original)


if __name__ == "__main__":
    unittest.main()

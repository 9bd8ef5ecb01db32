#!/usr/bin/env python3
"""The catalogue generator refuses every input it could not turn into exactly these texts."""
import os
import subprocess
import sys
import tempfile
import unittest

GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "gen_catalogue.py")


def generate(catalogue):
    with tempfile.TemporaryDirectory() as directory:
        source = os.path.join(directory, "catalogue.txt")
        output = os.path.join(directory, "out", "catalogue_data.cpp")
        with open(source, "w", encoding="utf-8") as target:
            target.write(catalogue)
        run = subprocess.run([sys.executable, GENERATOR, source, output], capture_output=True, text=True)
        table = open(output, encoding="ascii").read() if os.path.exists(output) else None
        return run.returncode, run.stderr, table


class Generator(unittest.TestCase):
    def test_refuses_with_the_line_and_writes_nothing(self):
        cases = [
            ("character outside code page 932", '1 ja "\\n\u20ac"\n1 en "x"\n', ":1: code page 932 cannot hold"),
            ("non-ASCII English", '1 ja "x"\n1 en "caf\u00e9"\n', ":2: English text holds"),
            ("unknown escape", '1 ja "\\t"\n1 en "x"\n', ":1: unknown escape \\t"),
            ("raw tab", '1 ja "a\tb"\n1 en "x"\n', ":1: control character"),
            ("unescaped quote", '1 ja "a"b"\n1 en "x"\n', ':1: an unescaped "'),
            ("trailing backslash", '1 ja "a\\"\n1 en "x"\n', ":1:"),
            ("language", '1 fr "x"\n', ":1: expected"),
            ("no quotes", "1 ja x\n", ":1: expected"),
            ("code too high", '101 ja "x"\n101 en "x"\n', ":1: code 101 is above 100"),
            ("twice", '1 ja "x"\n1 ja "y"\n1 en "x"\n', ":2: second ja text for code 1"),
            ("one language missing", '\n1 en "x"\n', ":2: code 1 has no ja text"),
            ("conversions differ", '1 ja "%d"\n1 en "%.4s"\n', "different conversions"),
            ("conversion without arguments to match", '1 ja "%s"\n1 en "%s"\n', "unsupported printf conversion"),
        ]
        for name, catalogue, message in cases:
            with self.subTest(name):
                code, error, table = generate(catalogue)
                self.assertEqual(code, 1)
                self.assertIn(message, error)
                self.assertIsNone(table)

    def test_writes_code_page_932_bytes_and_the_utf8_text(self):
        code, error, table = generate('# comment\n\n13 ja "\u3000\uff92-\u80fd\\r\\n\\"%%"\n13 en "A\\"B%%"\n'
                                      '14 ja "%d"\n14 en "%d"\n')
        self.assertEqual(code, 0, error)
        # Ideographic space 0x81 0x40, half-width katakana as one byte, the hyphen kept, and a
        # second byte that is a backslash escaped as one.
        self.assertIn('"\\201@\\322-\\224\\\\\\r\\n\\"%%"', table)
        self.assertIn('"\\343\\200\\200\\357\\276\\222-\\350\\203\\275\\r\\n\\"%%"', table)
        self.assertIn("{nullptr, nullptr, nullptr},  // 12", table)


if __name__ == "__main__":
    unittest.main()

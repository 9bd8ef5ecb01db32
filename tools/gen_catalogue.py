#!/usr/bin/env python3
"""Turns the readable message catalogue (UTF-8) into a C++ table of code page 932 bytes.

Usage: gen_catalogue.py CATALOGUE_TXT OUTPUT_CPP

Every line of the catalogue is blank, a comment (#) or one text:

    <code> <ja|en> "<text>"

with the escapes \\r, \\n and \\" in the text and nothing else. Anything the program could not
write exactly as the catalogue reads (a malformed line, an unknown escape, a character that code
page 932 cannot hold, a non-ASCII English text, texts of one code that take different printf
conversions) stops the build with the file name and line.
"""
import os
import re
import sys

LAST_CODE = 100
LANGUAGES = ("ja", "en")
LINE = re.compile(r'^(\d+) (ja|en) "(.*)"$')
# The conversions the catalogue's formats may use; the caller passes arguments to match.
CONVERSION = re.compile(r"%(?:%|\.\d+s|d)")


class CatalogueError(Exception):
    pass


def unescape(body):
    text = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\":
            if i + 1 >= len(body):
                raise CatalogueError("a backslash ends the text")
            escape = body[i + 1]
            if escape not in 'rn"':
                raise CatalogueError(f"unknown escape \\{escape} (only \\r, \\n and \\\" are allowed)")
            text.append({"r": "\r", "n": "\n", '"': '"'}[escape])
            i += 2
            continue
        if c == '"':
            raise CatalogueError('an unescaped " inside the text')
        if ord(c) < 0x20 or ord(c) == 0x7F:
            raise CatalogueError(f"control character U+{ord(c):04X} in the text (write it as an escape)")
        text.append(c)
        i += 1
    return "".join(text)


def conversions(text):
    found = []
    i = 0
    while True:
        i = text.find("%", i)
        if i < 0:
            return found
        match = CONVERSION.match(text, i)
        if match is None:
            raise CatalogueError(f"unsupported printf conversion at {text[i:i + 6]!r}")
        if match.group(0) != "%%":
            found.append(match.group(0))
        i = match.end()


def encode(text, language):
    if language == "en":
        try:
            return text.encode("ascii")
        except UnicodeEncodeError as error:
            raise CatalogueError(f"English text holds the non-ASCII character {text[error.start]!r}") from None
    try:
        return text.encode("cp932")
    except UnicodeEncodeError as error:
        bad = text[error.start]
        raise CatalogueError(f"code page 932 cannot hold {bad!r} (U+{ord(bad):04X})") from None


def read_catalogue(path):
    rows = {}
    where = {}
    with open(path, encoding="utf-8") as source:
        lines = source.read().split("\n")
    for number, line in enumerate(lines, start=1):
        try:
            if line.strip() == "" or line.startswith("#"):
                continue
            match = LINE.match(line)
            if match is None:
                raise CatalogueError('expected <code> <ja|en> "<text>"')
            code, language, body = int(match.group(1)), match.group(2), match.group(3)
            if code > LAST_CODE:
                raise CatalogueError(f"code {code} is above {LAST_CODE}")
            row = rows.setdefault(code, {})
            if language in row:
                raise CatalogueError(f"second {language} text for code {code} (first on line {where[code, language]})")
            text = unescape(body)
            row[language] = (text, encode(text, language))
            where[code, language] = number
        except CatalogueError as error:
            raise CatalogueError(f"{path}:{number}: {error}") from None
    for code, row in sorted(rows.items()):
        for language in LANGUAGES:
            if language not in row:
                other = next(iter(row))
                raise CatalogueError(f"{path}:{where[code, other]}: code {code} has no {language} text")
        try:
            japanese, english = conversions(row["ja"][0]), conversions(row["en"][0])
        except CatalogueError as error:
            raise CatalogueError(f"{path}:{where[code, 'ja']}: code {code}: {error}") from None
        if japanese != english:
            raise CatalogueError(
                f"{path}:{where[code, 'ja']}: code {code}: the languages take different conversions "
                f"({' '.join(japanese) or 'none'} against {' '.join(english) or 'none'})")
    return rows


def c_string(data):
    """A C++ string literal of exactly these bytes; every byte outside printable ASCII escaped."""
    out = ['"']
    for byte in data:
        if byte == 0x22:
            out.append('\\"')
        elif byte == 0x5C:
            out.append("\\\\")
        elif byte == 0x0D:
            out.append("\\r")
        elif byte == 0x0A:
            out.append("\\n")
        elif 0x20 <= byte < 0x7F:
            out.append(chr(byte))
        else:
            out.append(f"\\{byte:03o}")  # three octal digits never run into what follows
    out.append('"')
    return "".join(out)


def generate(rows):
    out = [
        "// Generated by tools/gen_catalogue.py from src/messages/catalogue.txt. Do not edit.",
        '#include "messages/catalogue.h"',
        "",
        "namespace rflash {",
        "namespace {",
        "",
        f"const CatalogueRow kRows[{LAST_CODE + 1}] = {{",
    ]
    for code in range(LAST_CODE + 1):
        if code not in rows:
            out.append(f"    {{nullptr, nullptr, nullptr}},  // {code}: no text of its own")
            continue
        japanese, english = rows[code]["ja"], rows[code]["en"]
        out.append(f"    {{  // {code}")
        out.append(f"        {c_string(japanese[1])},")
        out.append(f"        {c_string(english[1])},")
        out.append(f"        {c_string(japanese[0].encode('utf-8'))},")
        out.append("    },")
    out += [
        "};",
        "",
        "}  // namespace",
        "",
        "const CatalogueRow* catalogueRow(std::uint32_t code) {",
        "    if (code > kLastMessageCode || kRows[code].english == nullptr) return nullptr;",
        "    return &kRows[code];",
        "}",
        "",
        "}  // namespace rflash",
        "",
    ]
    return "\n".join(out)


def main(argv):
    if len(argv) != 3:
        print("usage: gen_catalogue.py CATALOGUE_TXT OUTPUT_CPP", file=sys.stderr)
        return 2
    try:
        rows = read_catalogue(argv[1])
    except CatalogueError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    except UnicodeDecodeError as error:
        print(f"error: {argv[1]}: not UTF-8 ({error})", file=sys.stderr)
        return 1
    output = argv[2]
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    # Written whole and then renamed, so that a failed run never leaves a half table behind.
    temporary = output + ".tmp"
    with open(temporary, "w", encoding="ascii", newline="\n") as target:
        target.write(generate(rows))
    os.replace(temporary, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""Differential test of the recognizers' patterns: Python's `re` against ours.

The patterns are written in Python's `re` dialect, so Python is the oracle.
The probe lists every pattern the library's recognizers compile (the Indonesian
recognizers, the project pattern with its deny list, the predefined
recognizers); each runs under the analysis flags (IGNORECASE | MULTILINE |
DOTALL = 26, and 24 without IGNORECASE) over generated texts, through
re.finditer and through the probe, and every match and group span must agree.

The Indonesian recognizers' patterns are also compared with their text as
documented below, so a typo in a C++ raw string cannot pass unnoticed.

Usage: pattern_oracle_test.py PATH_TO_REGEX_PROBE [--texts N] [--seed S]
"""
import argparse
import json
import random
import re
import subprocess
import sys

# The documented patterns, by recognizer and pattern name.
DOCUMENTED = {
    ("KTPRecognizer", "KTP (medium)"):
        r"(\b\d{6}([04][1-9]|[1256][0-9]|[37][01])(0[1-9]|1[0-2])\d{2}\d{4})(?![a-zA-Z0-9])",
    ("NPWPRecognizer", "NPWP (medium)"):
        r"(\b[\d]{2}[.][\d]{3}[.][\d]{3}[.][\d][-][\d]{3}[.][\d]{3}\b)",
    ("BPJSNumberRecognizer", "BPJS_NUMBER"): r"\b\d{13}\b",
    ("FamilyCardNumberRecognizer", "FAMILY_CARD_NUMBER"): r"\b\d{16}\b",
    ("HalvernEmployeeIdRecognizer", "Employee ID (low)"): r"\b0\d{7}\b",
    ("IndonesianPhoneNumberRecognizer", "PHONE_NUMBER", 0):
        r"(?<!\w)(?:\+62|0|62)(?:8[1-9]|2[1-9]|3[1-468]|5[1-9]|7[0-8]|9[0-8])[0-9]{7,10}\b",
    ("IndonesianPhoneNumberRecognizer", "PHONE_NUMBER", 1):
        r"(?<!\w)(?:\+62|0|62)\s?(?:8[1-9]|2[1-9]|3[1-468]|5[1-9]|7[0-8]|9[0-8])\d{0,2}[-\s]\d{3,4}[-\s]\d{3,4}\b",
    ("BankAccountNumberRecognizer", "BANK_ACCOUNT", 0): r"\b\d{15}\b",
    ("BankAccountNumberRecognizer", "BANK_ACCOUNT", 1): r"\b\d{10}\b",
    ("BankAccountNumberRecognizer", "BANK_ACCOUNT", 2): r"\b\d{13}\b",
    ("BankAccountNumberRecognizer", "BANK_ACCOUNT", 3): r"\b\d{16}\b",
    ("BankAccountNumberRecognizer", "BANK_ACCOUNT", 4): r"\b\d{12}\b",
    ("FacebookAccountRecognizer", "FACEBOOK_ACCOUNT"):
        r"(?:https?://)?(?:www\.)?facebook\.com/([a-zA-Z0-9\.]+)",
    ("LinkedinAccountRecognizer", "LINKEDIN_ACCOUNT"):
        r"(?:https?://)?(?:www\.)?linkedin\.com/(?:in|en)/([a-zA-Z0-9-]+)",
    ("MoneyRecognizer", "MONEY_WITH_SYMBOL"):
        r"(?<!\d)(?:[\$€£¥]|USD|EUR|GBP|JPY|Rp)\s?(?!0+(?:\.\d+)?$)(?:\d{1,3}(?:[.,]\d{3})*|\d+)(?:\.\d{2})?(?!\d)",
    ("MoneyRecognizer", "MONEY_WITHOUT_SYMBOL"):
        r"\b(?!0+(?:\.\d+)?$)(?:\d{1,3}(?:[.,]\d{3})*|\d{2,})(?:[.,]\d{2})?\b",
    ("OrganizationNameRecognizer", "ORGANIZATION (medium)"):
        r"(?-i:\b(?:PT|CV)\s(?:[A-Z][a-z]+|[A-Z]{2,})(?:\s(?:[A-Z][a-z]+|[A-Z]{2,}))*)",
    ("ProjectNameRecognizer", "Project (medium)"):
        r"\b(Project\s(?:E|[A-Z][a-z]+)|Halvern|Morvale|MORVALE|TRELIS|DORNAK|Project E|PELKA|TANDO)\b",
}

FLAG_SETS = (re.I | re.M | re.S, re.M | re.S)

# Building blocks of the generated texts.
WORDS = [
    "rekening", "nomor", "telepon", "hubungi", "gaji", "sebesar", "dan", "di", "kantor", "saja", "Jalan",
    "Project", "project", "proyek", "Morvale", "MORVALE", "morvale", "Halvern", "PELKA", "PELKAS", "TANDO",
    "TRELIS", "Treli\u017f", "DORNAK", "dorna\u212a", "Tandon", "Halver",
    "Project E", "Senin", "Minggu", "Agustus", "Mei", "May", "Desember", "Okt", "pukul", "jam", "WIB", "PM",
    "tanggal", "tbk", "Tbk", "Alpha", "plan", "bpjs", "kk", "npwp", "email", "www", "com", "co", "id",
]
CURRENCY = ["Rp", "Rp.", "rp", "RP", "USD", "usd", "U\u017fD", "$", "€", "£", "¥", "EUR", "GBP", "JPY", "IDR"]
SEPARATORS = [" ", " ", " ", ".", ",", "-", "/", ":", "\n", "\t", "  ", " - ", ". ", ", ", "\n\n", "_", "+", "(", ")"]
URL_BITS = [
    "https://", "http://", "www.", "facebook.com/", "FACEBOOK.COM/", "linkedin.com/in/", "linkedin.com/en/",
    "linkedin.com/company/", "budi.santoso", "budi-santoso", "budi99", "example.co.id", "contoh.com/a?b=1",
    "@", "budi@contoh.co.id", "a@b.c", "mailto:", "ftp://",
]
ORG_BITS = ["PT", "CV", "PT.", "pt", "Pt", "PTMaju", "Maju", "maju", "JAYA", "Jaya", "Sinar", "Mas", "ABC", "A", "Bank", "BCA"]
NON_ASCII = ["é", "Dédé", "Ünal", "ü", "東京", "٣", "١٢٣٤", "۴۵", "ß", "İ", "ı", "ſ", "\u212a", "\u00a0", "\u2003",
             "\u001c", "\u0085", "½", "²", "—", "😀", "x\u0301"]
FIXED = [
    "3171011205900001", "3171014505900002", "3171013205900001", "01.234.567.8-901.000", "0001234567890",
    "01234567", "0812-3456-7890", "+62 812 3456 7890", "62812345678901", "021 555 1234", "0112345678901",
    "1.500.000", "1.500.000,00", "1,234.56", "0.00", "000", "0", "4111 1111 1111 1111", "378282246310005",
    "DE89 3704 0044 0532 0130 00", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa",
    "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq", "192.168.1.1", "2001:db8::1", "::ffff:192.0.2.1",
    "12:30:45", "17/08/1945", "2024-05-17T10:30:00Z", "14.30", "536-22-1234", "912-78-1234", "AB1234563",
]


# Long runs and repeated near misses.
HOSTILE = [
    "".join(str(i % 10) for i in range(20000)),
    "1." * 4000 + "1",
    "Rp" * 3000 + " 0",
    "PT " * 3000 + "Maju",
    "0812-3456-789 " * 800,
    "a@" * 4000 + "b.co",
    "http://" * 2000,
    "12:" * 3000,
    "Senin, 17 " * 1000 + "Agustus 1945",
]


def piece(rng):
    kind = rng.random()
    if kind < 0.22:
        return "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 20)))
    if kind < 0.40:
        return rng.choice(WORDS)
    if kind < 0.50:
        return rng.choice(CURRENCY) + rng.choice(["", " ", "  "]) + rng.choice(
            ["0", "00", "0.00", "5", "50", "1.500.000", "1,234.56", "7250000", "12.5"])
    if kind < 0.60:
        return "".join(rng.choice(URL_BITS) for _ in range(rng.randint(1, 3)))
    if kind < 0.70:
        return " ".join(rng.choice(ORG_BITS) for _ in range(rng.randint(2, 4)))
    if kind < 0.80:
        return rng.choice(NON_ASCII)
    return rng.choice(FIXED)


def generate(rng, count):
    texts = []
    for _ in range(count):
        parts = []
        for _ in range(rng.randint(5, 60)):
            parts.append(piece(rng))
            parts.append(rng.choice(SEPARATORS) if rng.random() < 0.8 else "")
        texts.append("".join(parts))
    return texts


def expected(rx, text):
    return [[m.start(), m.end(), [list(m.span(g)) for g in range(1, rx.groups + 1)]] for m in rx.finditer(text)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("probe")
    parser.add_argument("--texts", type=int, default=400)
    parser.add_argument("--seed", type=int, default=20260101)
    args = parser.parse_args()

    listed = json.loads(subprocess.run([args.probe, "--patterns"], capture_output=True, text=True,
                                       check=True).stdout)
    failures = 0

    # The C++ tables hold the documented patterns, character for character.
    tables = {}
    for p in listed:
        tables.setdefault((p["recognizer"], p["name"]), []).append(p["regex"])
    for key, documented in DOCUMENTED.items():
        index = key[2] if len(key) == 3 else 0
        regexes = tables.get(key[:2], [])
        actual = regexes[index] if index < len(regexes) else None
        if actual != documented:
            failures += 1
            print("PATTERN TEXT DIFFERS %s\n  documented: %s\n  compiled:   %s" % (key, documented, actual))

    rng = random.Random(args.seed)
    texts = generate(rng, args.texts) + HOSTILE
    cases = [(p, flags, t) for p in listed for flags in FLAG_SETS for t in texts]
    lines = "".join(json.dumps({"pattern": p["regex"], "flags": flags, "text": t}) + "\n" for p, flags, t in cases)
    out = subprocess.run([args.probe], input=lines, capture_output=True, text=True, check=True).stdout
    answers = [json.loads(line) for line in out.splitlines()]
    if len(answers) != len(cases):
        print("probe answered %d of %d cases" % (len(answers), len(cases)))
        return 1

    compiled = {}
    reported = set()
    for (p, flags, text), got in zip(cases, answers):
        rx = compiled.setdefault((p["regex"], flags), re.compile(p["regex"], flags))
        want = expected(rx, text)
        if got.get("matches") != want:
            failures += 1
            key = (p["recognizer"], p["name"], flags)
            if key not in reported:  # one report per pattern and flag set is enough to act on
                reported.add(key)
                print("MISMATCH %s / %s flags=%d\n  text:   %r\n  python: %s\n  ours:   %s"
                      % (p["recognizer"], p["name"], flags, text, want, got))
    print("%d patterns x %d flag sets x %d texts = %d cases, %d mismatches"
          % (len(listed), len(FLAG_SETS), len(texts), len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

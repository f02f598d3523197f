"""The tesk-privacy command as a user meets it: option forms, help per
command, CSV records, operators and lists from the command line and from a
YAML file, and the HTML report."""

import csv
import html
import io
import json
import re
import subprocess
from pathlib import Path

import pytest

TEXT = "Budi Santoso tinggal di Bandung, NIK 3171011205900001, HP 081234567890, budi@contoh.co.id."
EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def run(cli, *args, stdin="", timeout=120):
    return subprocess.run([cli, *args], input=stdin, capture_output=True, text=True, timeout=timeout)


def test_option_forms_and_usage_errors(cli, tmp_path):
    source = tmp_path / "-odd name.txt"
    source.write_text(TEXT)
    plain = run(cli, "analyze", "--threshold", "0.5", "--entities", "ID_KTP", "--", str(source))
    assert plain.returncode == 0, plain.stderr
    for args in (["--threshold=0.5", "--entities=ID_KTP", "--", str(source)],
                 ["-t0.5", "-eID_KTP", "--", str(source)]):
        again = run(cli, "analyze", *args)
        assert again.returncode == 0 and again.stdout == plain.stdout, again.stderr
    assert json.loads(plain.stdout)["results"][0]["text"] == "3171011205900001"

    for args in (["analyze", "--bogus"], ["analyze", "-e", "NOT_A_TYPE"], ["anonymize", "-e", "NOT_A_TYPE"],
                 ["analyze", "--threshold", "5"], ["frobnicate"], [], ["analyze", "--jsonl", "--csv"],
                 ["anonymize", "--operator", "PERSON=nope"], ["deanonymize"]):
        done = run(cli, *args, stdin=TEXT)
        assert done.returncode == 2, (args, done.stderr)
        assert done.stdout == "" and done.stderr.startswith("tesk-privacy: ") and "--help" in done.stderr, args

    listed = run(cli, "list-entities").stdout.split()
    assert {"PERSON", "ID_KTP", "EMAIL_ADDRESS"} <= set(listed) and listed == sorted(listed)
    assert run(cli, "analyze", "-e", ",".join(listed), stdin=TEXT).returncode == 0
    config = tmp_path / "c.yaml"
    config.write_text("recognizers:\n  - entity_type: ORDER_ID\n    regex: 'KX-\\d{5}'\n")
    assert "ORDER_ID" in run(cli, "list-entities", "--config", str(config)).stdout.split()


def test_help_is_per_command_and_the_completion_knows_the_options(cli):
    analyze = run(cli, "analyze", "--help")
    assert analyze.returncode == 0 and "--threshold" in analyze.stdout and "--mapping-key-file" not in analyze.stdout
    anonymize = run(cli, "anonymize", "--help").stdout
    assert "--operator" in anonymize and "--explain" not in anonymize
    overview = run(cli, "--help").stdout
    assert all(command in overview for command in ("analyze", "anonymize", "deanonymize", "serve", "list-entities"))
    assert max(len(line) for line in (analyze.stdout + anonymize + overview).splitlines()) <= 100
    script = run(cli, "completion").stdout
    assert "complete -o filenames -F _tesk_privacy tesk-privacy" in script and "--operator" in script
    checked = subprocess.run(["bash", "-n"], input=script, capture_output=True, text=True)
    assert checked.returncode == 0, checked.stderr


def test_csv_records_keep_their_fields_and_come_back(cli, tmp_path):
    rows = [["id", "user", "text", "note"],
            ["7", "Budi Santoso", TEXT, "a, b \"c\""],
            ["8", "Siti Rahayu", "baris satu\nbaris dua: siti@contoh.co.id", ""]]
    source = tmp_path / "in.csv"
    with open(source, "w", newline="") as f:
        csv.writer(f).writerows(rows)
    mapping = tmp_path / "map.json"
    done = run(cli, "anonymize", "--csv", "--columns", "user,text", "--mapping", str(mapping), str(source))
    assert done.returncode == 0, done.stderr
    out = list(csv.reader(io.StringIO(done.stdout, newline="")))
    assert out[0] == rows[0] and [r[0] for r in out] == ["id", "7", "8"] and out[1][3] == rows[1][3]
    assert out[1][1] == "<PERSON_1>" and "Budi Santoso" not in out[1][2] and "siti@contoh.co.id" not in out[2][2]
    assert "\n" in out[2][2]
    anonymized = tmp_path / "anon.csv"
    anonymized.write_text(done.stdout, newline="")
    back = run(cli, "deanonymize", "--csv", "--columns", "user,text", "--mapping", str(mapping), str(anonymized))
    assert back.returncode == 0, back.stderr
    assert list(csv.reader(io.StringIO(back.stdout, newline=""))) == rows

    found = run(cli, "analyze", "--csv", "--columns", "user,text", str(source))
    lines = [json.loads(line) for line in found.stdout.splitlines()]
    assert len(lines) == 2 and {r["field"] for r in lines[0]["results"]} == {"user", "text"}

    for body, message in (("id,text\n1,\"open\n", "never ends"), ("id,name\n1,x\n", "no column \"text\""),
                          ("id,text\n1,a,b\n", "3 fields where the header has 2")):
        bad = run(cli, "anonymize", "--csv", stdin=body)
        assert bad.returncode == 1 and message in bad.stderr and "<stdin>:" in bad.stderr, bad.stderr


def test_operators_and_lists_in_the_command_line_forms(cli, tmp_path):
    allow = tmp_path / "allow.txt"
    allow.write_text("Bandung\n")
    deny = tmp_path / "deny.txt"
    deny.write_text("Arabika\nRobusta\n")
    args = ["anonymize", "--operator", "PERSON=mask:*,4", "--operator", "EMAIL_ADDRESS=hash:sha256",
            "--operator", "PHONE_NUMBER=replace:[telepon]", "--operator", "ID_KTP=encrypt:0123456789abcdef",
            "--allow-list", str(allow), "--deny-list", f"PRODUCT={deny}"]
    done = run(cli, *args, stdin=TEXT + " Kopi Robusta.")
    assert done.returncode == 0, done.stderr
    out = done.stdout
    assert "**** Santoso" in out and "[telepon]" in out and "Bandung" in out and "<PRODUCT_1>" in out
    assert re.search(r"\b[0-9a-f]{64}\b", out) and "3171011205900001" not in out
    # The spellings of one mask, positional with "," or ":", named, and the older form.
    masked = {run(cli, "anonymize", "--operator", spelling, stdin="Budi Santoso datang").stdout
              for spelling in ("PERSON=mask:*,4,true", "PERSON=mask:*:4:true",
                               "PERSON=mask:masking_char=*,chars_to_mask=4,from_end=true",
                               "PERSON:mask,masking_char=*,chars_to_mask=4,from_end=true")}
    assert masked == {"Budi San**** datang"}
    assert run(cli, "anonymize", "--operator", "PERSON=mask:,:2", stdin="Budi Santoso datang").stdout == ",,di Santoso datang"


def test_a_yaml_configuration_adds_patterns_lists_and_operators(cli, tmp_path):
    config = tmp_path / "privacy.yaml"
    config.write_text(
        "recognizers:\n"
        "  - name: nomor pesanan\n"
        "    entity_type: ORDER_ID\n"
        "    regex: 'KX-\\d{5}'\n"
        "    score: 0.9\n"
        "allow_list: [Bandung]\n"
        "operators:\n"
        "  PERSON: {type: replace, new_value: '<NAMA>'}\n"
        "  ORDER_ID: {type: mask, masking_char: '#', chars_to_mask: 5, from_end: true}\n")
    done = run(cli, "anonymize", "--config", str(config), stdin=TEXT + " Pesanan KX-12345.")
    assert done.returncode == 0, done.stderr
    assert "<NAMA_1>" in done.stdout and "KX-#####" in done.stdout and "Bandung" in done.stdout
    found = run(cli, "analyze", "--config", str(config), "-e", "ORDER_ID", stdin="Pesanan KX-12345.")
    assert json.loads(found.stdout)["results"][0]["entity_type"] == "ORDER_ID"

    # Refused with its line and column before any input is read.
    config.write_text("recognizers:\n  - entity_type: ORDER_ID\n    regex: 'KX-('\n")
    bad = run(cli, "anonymize", "--config", str(config), str(tmp_path / "missing.txt"))
    assert bad.returncode == 2 and re.search(r"privacy\.yaml:3:\d+", bad.stderr), bad.stderr
    example = run(cli, "analyze", "--config", str(EXAMPLES / "config.yaml"), stdin="Pegawai EMP-123456")
    assert example.returncode == 0, example.stderr


def test_the_html_report_shows_findings_and_escapes_the_input(cli, tmp_path):
    quiet = tmp_path / "a.txt"
    quiet.write_text("tidak ada apa-apa <b>di sini</b>")
    busy = tmp_path / "b.txt"
    busy.write_text(TEXT + " <script>alert(1)</script>")
    report = tmp_path / "report.html"
    done = run(cli, "analyze", "--html", str(report), str(quiet), str(busy))
    assert done.returncode == 0, done.stderr
    page = report.read_text()
    assert "<script" not in page and "</script>" not in page and "&lt;/script&gt;" in page
    assert "<svg" in page and "http://" not in page.replace("http://www.w3.org/2000/svg", "")
    assert page.index(html.escape(str(busy))) < page.index(html.escape(str(quiet)))
    assert re.search(r'<mark [^>]*title="ID_KTP \(score [0-9.]+\)">3171011205900001', page)

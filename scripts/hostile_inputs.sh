#!/bin/bash
# Runs the tesk-privacy command on hostile and large inputs and prints, for
# each, the exit status, wall time and peak memory (/usr/bin/time -v, Debian
# package "time") as a Markdown table.
#
#   scripts/hostile_inputs.sh [TOOL]
#
# TOOL defaults to build/tesk-privacy. HOSTILE_BIG_MB (default 100) sizes the
# large text, HOSTILE_DIGITS_MB (default 10) the one-line run of digits,
# HOSTILE_NEAR_KB (default 1024) each repeated near-match, HOSTILE_LINES
# (default 100000) the JSON-lines file; HOSTILE_ONLY, an extended regular
# expression, runs only the rows whose label it matches. The inputs are
# generated in a temporary directory that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(realpath "${1:-build/tesk-privacy}")
big_mb=${HOSTILE_BIG_MB:-100}
digits_mb=${HOSTILE_DIGITS_MB:-10}
near_kb=${HOSTILE_NEAR_KB:-1024}
lines=${HOSTILE_LINES:-100000}
only=${HOSTILE_ONLY:-.}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# repeat STRING BYTES: STRING repeated up to BYTES bytes, no line break.
repeat() { python3 -c 'import sys; s=sys.argv[1]; n=int(sys.argv[2]); sys.stdout.write((s*(n//len(s)+1))[:n])' "$1" "$2"; }

python3 - "$dir" "$big_mb" "$digits_mb" "$lines" <<'PY'
import json, sys, os
d, big_mb, digits_mb, lines = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
letter = open("examples/surat_keterangan.txt", encoding="utf-8").read()
open(f"{d}/invalid_utf8.txt", "wb").write(b"Budi \xff\xfe tinggal di Bandung \xc3\x28")
nul = ("Budi\x00Santoso NIK\x003171011205900001\x00 " * 30000)
open(f"{d}/nul_bytes.txt", "w", encoding="utf-8").write(nul)
with open(f"{d}/big_text.txt", "w", encoding="utf-8") as f:
    block = (letter + "\n") * 16
    n = big_mb * 1024 * 1024 // len(block.encode()) + 1
    for _ in range(n): f.write(block)
with open(f"{d}/digits_one_line.txt", "w") as f:
    chunk = "1234567890" * 100000
    for _ in range(digits_mb): f.write(chunk)
with open(f"{d}/lines.jsonl", "w", encoding="utf-8") as f:
    for i in range(lines):
        f.write(json.dumps({"text": f"Budi {i} tinggal di Bandung, NIK 31710112059{i % 100000:05d}."}) + "\n")
with open(f"{d}/long_line.jsonl", "w", encoding="utf-8") as f:
    f.write(json.dumps({"text": "Budi tinggal di Bandung. " * 400000}) + "\n")
    f.write(json.dumps({"text": "Siti"}) + "\n")
PY

# Near-matches: each pattern's shape, one piece short or broken, repeated.
declare -A near=(
  [ktp]="NIK 317101120590000 "
  [npwp]="NPWP 01.234.567.8-901.00 "
  [bpjs]="BPJS 000123456789 "
  [family_card]="KK 317101120590000 "
  [employee_id]="HLV-12345"
  [phone]="+62 812 3456 "
  [phone_punct]="0812-3456-7-"
  [email]="budi.santoso@example"
  [email_at]="a@"
  [money]="Rp 1.000.000,"
  [bank_account]="rekening 12345678 "
  [facebook]="facebook.com/"
  [linkedin]="linkedin.com/in/"
  [organization]="PT "
  [project]="Project "
  [credit_card]="4111 1111 1111 111 "
  [url]="http://a."
  [iban]="GB82WEST1234569876543 "
  [ip]="192.168.1."
  [date]="12 Januari "
)
for name in "${!near[@]}"; do repeat "${near[$name]}" $((near_kb * 1024)) >"$dir/near_$name.txt"; done

measure() {  # LABEL FILE COMMAND...
  local label=$1 file=$2; shift 2
  [[ $label =~ $only ]] || return 0
  local size; size=$(stat -c %s "$file")
  local status=0
  /usr/bin/time -v -o "$dir/time.txt" "$tool" "$@" "$file" >"$dir/out.txt" 2>"$dir/err.txt" || status=$?
  local wall rss
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/time.txt")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")
  printf '| %s | %s | %s | %s | %s | %s MB |\n' "$label" "$(numfmt --to=iec "$size")" "$*" "$status" "$wall" \
    "$((rss / 1024))"
}

echo "| input | size | command | exit | wall time | peak memory |"
echo "|---|---|---|---|---|---|"
measure "invalid UTF-8" "$dir/invalid_utf8.txt" anonymize
measure "NUL bytes between words" "$dir/nul_bytes.txt" analyze
measure "NUL bytes between words" "$dir/nul_bytes.txt" anonymize
measure "one line of digits" "$dir/digits_one_line.txt" analyze
measure "one line of digits" "$dir/digits_one_line.txt" anonymize
for name in $(printf '%s\n' "${!near[@]}" | sort); do
  measure "near-match: $name" "$dir/near_$name.txt" anonymize
done
measure "$lines JSON lines" "$dir/lines.jsonl" anonymize --jsonl
measure "JSON lines, one of 10 MB" "$dir/long_line.jsonl" anonymize --jsonl
measure "large text" "$dir/big_text.txt" analyze
measure "large text" "$dir/big_text.txt" anonymize

#!/usr/bin/env bash
# The main job on the bundled example: analyze, anonymize with a mapping
# file, and restore the original from the mapping.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${BUILD_DIR:-build}/tesk-privacy
example=examples/surat_keterangan.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== analyze =="
"$tool" analyze "$example"
echo "== anonymize =="
"$tool" anonymize --mapping "$work/mapping.json" "$example" | tee "$work/anonymized.txt"
echo "== mapping =="
cat "$work/mapping.json"
echo "== deanonymize =="
"$tool" deanonymize --mapping "$work/mapping.json" "$work/anonymized.txt" > "$work/restored.txt"
if cmp -s "$example" "$work/restored.txt"; then
  echo "restored text is identical to the original"
else
  echo "restored text differs from the original" >&2
  exit 1
fi

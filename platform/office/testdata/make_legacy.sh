#!/usr/bin/env bash
# Makes the legacy binary test files (Word 97 .doc, Excel 97 .xls, PowerPoint
# 97 .ppt) from the project's own OOXML documents, with LibreOffice:
#   tea.doc       the demo Word question "tea"
#   hometown.ppt  the demo PowerPoint question "hometown"
#   chart.xls     the Excel test workbook lo_chart.xlsx
# Run from anywhere; writes into this folder. Needs soffice and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The demo documents are kept as parts; pack them as the build does.
pack() {  # pack SOURCE-FOLDER OUT
  python3 - "$1" "$2" <<'PY'
import os, sys, zipfile
src, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.write(os.path.join(src, "[Content_Types].xml"), "[Content_Types].xml")
    for folder, _, files in sorted(os.walk(src)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            arc = os.path.relpath(path, src)
            if arc != "[Content_Types].xml":
                z.write(path, arc)
PY
}
pack "$root/demo/papers/documents/wordtest/tea" "$work/tea.docx"
pack "$root/demo/papers/documents/powerpoint/hometown" "$work/hometown.pptx"
cp "$root/scoring/extractors/testdata/excel/lo_chart.xlsx" "$work/chart.xlsx"

convert() {  # convert FILTER FILE
  soffice -env:UserInstallation="file://$work/profile" --headless --norestore \
    --convert-to "$1" --outdir "$here" "$2" >/dev/null
}
convert 'doc:MS Word 97' "$work/tea.docx"
convert 'ppt:MS PowerPoint 97' "$work/hometown.pptx"
convert 'xls:MS Excel 97' "$work/chart.xlsx"
ls -l "$here"/tea.doc "$here"/hometown.ppt "$here"/chart.xls

#!/usr/bin/python3
"""Writes a class of uploaded answers for bqmark_bench.

  bqmark_class.py MODELS QUESTIONS OUT COUNT [--legacy SOFFICE]

MODELS is demo/papers/models, QUESTIONS the packed question documents
(<build>/demo/papers-src/files). For each of COUNT examinees S001 ... it
writes wt<ID>.doc, wd<ID>.doc, ex<ID>.xls, ppt<ID>.ppt and op<ID>.txt as
FileUpLoad names them, each made from paper BQ1's model answer with seeded
changes (random.Random(examinee number)): the model itself, the untouched
question document, or the model with some of its formatting changed in its
XML (a font, a size, a colour, a word) and, for the listing, items left out.
With --legacy the Office answers are converted to .doc/.xls/.ppt by one
LibreOffice run (private profile) before they take their names.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import zipfile

OFFICE = [  # prefix, model, question document, the XML part to change
    ("wt", "wordtable/scores.docx", "wordtable/scores.docx", "word/document.xml"),
    ("wd", "wordtest/festival.docx", "wordtest/festival.docx", "word/document.xml"),
    ("ex", "exceltest/sales_1.xlsx", "exceltest/sales.xlsx", "xl/styles.xml"),
    ("ppt", "powerpoint/hometown.pptx", "powerpoint/hometown.pptx", "ppt/slides/slide1.xml"),
]
CHANGES = [("黑体", "宋体"), ("楷体", "仿宋"), ("FF0000", "0000FF"), ("5400", "4000"),
           ("隶书", "宋体"), ("double", "single"), ("春节", "新年"), ("D9D9D9", "FFFF00"),
           ('sz val="32"', 'sz val="28"'), ("center", "left")]


def changed(src, dst, part, rng):
    with zipfile.ZipFile(src) as z:
        items = [(i, z.read(i.filename)) for i in z.infolist()]
    with zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as out:
        for info, data in items:
            if info.filename == part:
                text = data.decode("utf-8")
                for a, b in rng.sample(CHANGES, 3):
                    text = text.replace(a, b)
                data = text.encode("utf-8")
            out.writestr(info, data)


def main():
    models, questions, out, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    soffice = sys.argv[6] if len(sys.argv) > 6 and sys.argv[5] == "--legacy" else None
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(models, "operation", "1.txt"), "rb") as f:
        listing = f.read().rstrip(b"\r\n").split(b",")
    work = tempfile.mkdtemp(prefix="bqmark-class-")
    try:
        pending = []  # (file made, uploaded name)
        for n in range(1, count + 1):
            rng = random.Random(n)
            sid = "S%03d" % n
            for prefix, model, question, part in OFFICE:
                ext = os.path.splitext(model)[1]
                made = os.path.join(work, prefix + sid + ext)
                choice = rng.random()
                if choice < 0.4:
                    shutil.copyfile(os.path.join(models, model), made)
                elif choice < 0.6:
                    shutil.copyfile(os.path.join(questions, question), made)
                else:
                    changed(os.path.join(models, model), made, part, rng)
                upload = {"wt": ".doc", "wd": ".doc", "ex": ".xls", "ppt": ".ppt"}[prefix]
                pending.append((made, prefix + sid + upload))
            kept = [item for item in listing if rng.random() < 0.85]
            with open(os.path.join(out, "op" + sid + ".txt"), "wb") as f:
                f.write(b",".join(kept) + b"\r\n")
        if soffice:
            converted = os.path.join(work, "legacy")
            for target in ("doc", "xls", "ppt"):
                files = [m for m, name in pending if name.endswith("." + target)]
                subprocess.run([soffice, "-env:UserInstallation=file://" + os.path.join(work, "profile"),
                                "--headless", "--norestore", "--nologo", "--nolockcheck",
                                "--convert-to", target, "--outdir", converted] + files,
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               timeout=1800)
            pending = [(os.path.join(converted, os.path.splitext(os.path.basename(m))[0] +
                                     os.path.splitext(name)[1]), name) for m, name in pending]
        for made, name in pending:
            shutil.copyfile(made, os.path.join(out, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

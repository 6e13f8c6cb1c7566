#!/usr/bin/python3
"""Writes the documents of the Word extractor tests.

python-docx writes exam.docx (a typical answer: three sections with their
own page setups, headers and footers, every paragraph alignment and line
spacing rule, indents and spacing in character and line units, underlines,
colours, shading, Chinese and English text, a long paragraph, and two
tables) and exam_changed.docx (the same answer with the faults listed in
changed_answer()). LibreOffice (soffice --headless --convert-to) writes
lo_exam.docx and lo_exam.doc from lo_exam.fodt, a flat ODF text document
that this script writes, so that a second producer and the legacy binary
format are covered. Every value the tests expect follows from what this
script puts in the files; the comments say which.

Run from this folder:  /usr/bin/python3 make_documents.py
(needs python3-docx and LibreOffice; the outputs are committed).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import docx
from docx.enum.section import WD_ORIENT, WD_SECTION
from docx.oxml import OxmlElement
from docx.oxml.ns import qn
from docx.shared import Pt, Twips

HERE = os.path.dirname(os.path.abspath(__file__))


# ---------------------------------------------------------------------------
# Small writers of WordprocessingML that python-docx has no API for.

def element(tag, **attrs):
    e = OxmlElement(tag)
    for k, v in attrs.items():
        e.set(qn("w:" + k), str(v))
    return e


def ppr_child(paragraph, tag, **attrs):
    """Replaces the pPr child `tag` of `paragraph` by one with `attrs`."""
    ppr = paragraph._p.get_or_add_pPr()
    for old in ppr.findall(qn(tag)):
        ppr.remove(old)
    e = element(tag, **attrs)
    # Schema order matters to Word: keep w:jc and w:ind after w:spacing.
    order = ["w:pStyle", "w:numPr", "w:spacing", "w:ind", "w:jc", "w:rPr", "w:sectPr"]
    rank = order.index(tag) if tag in order else len(order)
    for i, child in enumerate(ppr):
        ctag = child.tag.replace("{%s}" % child.nsmap.get("w", ""), "w:")
        if ctag in order and order.index(ctag) > rank:
            ppr.insert(i, e)
            return e
    ppr.append(e)
    return e


def rpr_child(run, tag, **attrs):
    rpr = run._r.get_or_add_rPr()
    for old in rpr.findall(qn(tag)):
        rpr.remove(old)
    e = element(tag, **attrs)
    rpr.append(e)
    return e


def fonts(run, ascii=None, east_asia=None):
    attrs = {}
    if ascii:
        attrs.update(ascii=ascii, hAnsi=ascii)
    if east_asia:
        attrs["eastAsia"] = east_asia
    rpr_child(run, "w:rFonts", **attrs)


def paragraph(doc_or_cell, text="", jc=None, spacing=None, ind=None, runs=None):
    p = doc_or_cell.add_paragraph()
    for r in runs or ([(text, {})] if text else []):
        add_run(p, *r)
    if spacing:
        ppr_child(p, "w:spacing", **spacing)
    if ind:
        ppr_child(p, "w:ind", **ind)
    if jc:
        ppr_child(p, "w:jc", val=jc)
    return p


def add_run(p, text, props):
    run = p.add_run(text)
    if props.get("bold"):
        run.bold = True
    if props.get("italic"):
        run.italic = True
    if "size" in props:
        run.font.size = Pt(props["size"])
    if "font" in props:
        fonts(run, ascii=props["font"], east_asia=props["font"])
    if "u" in props:
        rpr_child(run, "w:u", val=props["u"])
    if "color" in props:
        rpr_child(run, "w:color", **props["color"])
    if "shd" in props:
        rpr_child(run, "w:shd", **props["shd"])
    return run


def columns(section, **attrs):
    """The section's w:cols; `cols` as a list of (width, space) makes them uneven."""
    sectpr = section._sectPr
    for old in sectpr.findall(qn("w:cols")):
        sectpr.remove(old)
    listed = attrs.pop("cols", None)
    cols = element("w:cols", **attrs)
    for w, space in listed or []:
        col = element("w:col", w=w)
        if space is not None:
            col.set(qn("w:space"), str(space))
        cols.append(col)
    # w:cols follows w:pgMar (and w:pgNumType) in the section properties.
    pgmar = sectpr.find(qn("w:pgMar"))
    pgmar.addnext(cols)


def header_footer(part, text, jc, props):
    p = part.paragraphs[0]
    add_run(p, text, props)
    ppr_child(p, "w:jc", val=jc)


def borders(table, **edges):
    tblpr = table._tbl.tblPr
    for old in tblpr.findall(qn("w:tblBorders")):
        tblpr.remove(old)
    b = element("w:tblBorders")
    for name in ("top", "left", "bottom", "right", "insideH", "insideV"):
        if name in edges:
            b.append(element("w:" + name, **edges[name]))
    # After w:tblW (and w:jc, w:tblInd) in the table properties.
    tblw = tblpr.find(qn("w:tblW"))
    tblw.addnext(b)


def cell_props(cell, valign=None, shd=None):
    tcpr = cell._tc.get_or_add_tcPr()
    if shd:
        tcpr.append(element("w:shd", **shd))
    if valign:
        tcpr.append(element("w:vAlign", val=valign))


def fix_times(path):
    """python-docx keeps the template's core properties but LibreOffice stamps
    the current time; the bytes of the generated files should not change from
    run to run, so stamps and entry times are fixed."""
    tmp = path + ".tmp"
    with zipfile.ZipFile(path) as src, zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "docProps/core.xml":
                data = re.sub(rb">\d{4}-\d\d-\d\dT[\d:.]+Z<", b">2024-01-01T00:00:00Z<", data)
            fixed = zipfile.ZipInfo(info.filename, (2024, 1, 1, 0, 0, 0))
            fixed.compress_type = zipfile.ZIP_DEFLATED
            dst.writestr(fixed, data)
    os.replace(tmp, path)


# ---------------------------------------------------------------------------
# exam.docx and exam_changed.docx.

LONG_TEXT = "长段落" + "春风又绿江南岸明月何时照我还" * 9 + "。"  # 130 characters


def exam(changed=False):
    """changed: the answer with five faults (see changed_answer in the test):
    the first header not italic, the hanging indent of one character instead
    of two, the red word green, the second section's columns without their
    separator line, "Does it?" written "Does he?", and the first table's
    outside borders 2.25 points (sz 18) instead of 1.5."""
    doc = docx.Document()
    # Normal: 10.5 points, single spacing, nothing after; the fonts stay the
    # template's theme fonts (minorHAnsi, minorEastAsia), and the theme font
    # language is Simplified Chinese, so Latin text is in the theme's minor
    # Latin font Cambria and Chinese text in its Hans font 宋体.
    normal = doc.styles["Normal"]
    normal.font.size = Pt(10.5)
    npr = normal.element.get_or_add_pPr()
    npr.append(element("w:spacing", after=0, line=240, lineRule="auto"))
    settings = doc.settings.element
    for lang in settings.findall(qn("w:themeFontLang")):
        lang.set(qn("w:eastAsia"), "zh-CN")

    # Section 1: A4 landscape (16838 x 11906 twips: paper size 7, orientation
    # 1), margins 1440 / 1440 / 1800 / 1800 (72, 72, 90, 90 points), a gutter
    # of 567 twips (28.35) on the left (position 0), header 851 (42.55) and
    # footer 992 (49.6) from the edge. One column over the text width
    # 16838 - 1800 - 1800 - 567 = 12671 twips (633.55 points: "633"), 425
    # twips (21.25: "21") of spacing, evenly spaced without a line: -1,0.
    s1 = doc.sections[0]
    s1.orientation = WD_ORIENT.LANDSCAPE
    s1.page_width, s1.page_height = Twips(16838), Twips(11906)
    s1.top_margin = s1.bottom_margin = Twips(1440)
    s1.left_margin = s1.right_margin = Twips(1800)
    s1.gutter = Twips(567)
    s1.header_distance, s1.footer_distance = Twips(851), Twips(992)
    columns(s1, space=425)
    # Header: 考试页眉, centred (1), 黑体 12 italic; footer: 第一节页脚, right
    # aligned (2), 楷体 9 bold.
    header_footer(s1.header, "考试页眉", "center",
                  {"font": "黑体", "size": 12, "italic": not changed})
    header_footer(s1.footer, "第一节页脚", "right", {"font": "楷体", "size": 9, "bold": True})

    # Every alignment and line spacing rule.
    paragraph(doc, "左对齐单倍行距。")  # 0; single: 0, 12
    paragraph(doc, "居中一点五倍行距。", jc="center", spacing={"line": 360, "lineRule": "auto"})
    paragraph(doc, "右对齐两倍行距。", jc="right", spacing={"line": 480, "lineRule": "auto"})
    paragraph(doc, "两端对齐最小值行距。", jc="both",
              spacing={"line": 360, "lineRule": "atLeast"})  # 3; 3, 18
    paragraph(doc, "分散对齐固定值行距。", jc="distribute",
              spacing={"line": 400, "lineRule": "exact"})  # 4; 4, 20
    paragraph(doc, "多倍行距。", spacing={"line": 300, "lineRule": "auto"})  # 5, 15
    # Indents in characters: first line 2, hanging 2 (1 when changed) with
    # left 2, right 1.5; spacing 0.5 lines before and 1 after.
    paragraph(doc, "首行缩进两个字符。", ind={"firstLineChars": 200, "firstLine": 420})
    hanging = 100 if changed else 200
    paragraph(doc, "悬挂缩进两个字符。",
              ind={"leftChars": 200, "left": 420, "hangingChars": hanging,
                   "hanging": 210 * hanging // 100})
    paragraph(doc, "右缩进与段前段后。", ind={"rightChars": 150, "right": 315},
              spacing={"beforeLines": 50, "before": 156, "afterLines": 100, "after": 312})
    # Bold over part of a paragraph: the paragraph's bold is mixed.
    paragraph(doc, runs=[("加粗", {"bold": True}), ("和常规。", {})])
    # Underlines, each word in a run of its own with its space: single 1,
    # double 3, wave 11, dotted 4.
    paragraph(doc, runs=[("single ", {"u": "single"}), ("double ", {"u": "double"}),
                         ("wavy ", {"u": "wave"}), ("dotted", {"u": "dotted"})])
    # Colours: red 6 (green 4 when changed), blue 2; 0070C0 is nearest to
    # teal 008080 (10); the theme's accent2 C0504D nearest to gray 50% (15);
    # plain text automatic (0).
    paragraph(doc, runs=[("red ", {"color": {"val": "00FF00" if changed else "FF0000"}}),
                         ("blue ", {"color": {"val": "0000FF"}}),
                         ("custom ", {"color": {"val": "0070C0"}}),
                         ("themed ", {"color": {"val": "C0504D", "themeColor": "accent2"}}),
                         ("plain", {})])
    # Shading: a yellow fill (65535, pattern clear 0, automatic pattern
    # colour), a 25% pattern (250) red on green (255 on 65280), and the
    # theme's accent1 lighter 40% as the fill (&HD400FF99, -738132071).
    paragraph(doc, runs=[("shaded ", {"shd": {"val": "clear", "color": "auto", "fill": "FFFF00"}}),
                         ("pattern ", {"shd": {"val": "pct25", "color": "FF0000", "fill": "00FF00"}}),
                         ("themed", {"shd": {"val": "clear", "color": "auto", "fill": "B8CCE4",
                                             "themeFill": "accent1", "themeFillTint": "99"}})])
    # Chinese punctuation ends three sentences; "，" does not.
    paragraph(doc, "春眠不觉晓，处处闻啼鸟。夜来风雨声！花落知多少？")
    # English: "." before a digit does not end a sentence; "the" twice.
    paragraph(doc, "The quick fox. It runs fast! Does %s? Yes 3.14 is the pi."
              % ("he" if changed else "it"))
    # Over 120 characters: cut.
    last = paragraph(doc, LONG_TEXT)

    # Section 2: Letter portrait (12240 x 15840: paper size 2), margins 1440
    # and 1800, header and footer 720 (36), no gutter; two columns with a
    # line between them (without one when changed): (12240 - 3600 - 720) / 2
    # = 3960 twips, 198 points; spacing 720 (36); -1,-1.
    s2 = doc.add_section(WD_SECTION.NEW_PAGE)
    s2.orientation = WD_ORIENT.PORTRAIT
    s2.page_width, s2.page_height = Twips(12240), Twips(15840)
    s2.gutter = Twips(0)
    s2.header_distance = s2.footer_distance = Twips(720)
    cols2 = {"num": 2, "space": 720}
    if not changed:
        cols2["sep"] = 1
    columns(s2, **cols2)
    # A header of its own: 第二节页眉, left (0), 宋体 10.5, not italic; the
    # footer stays linked to the first section's.
    s2.header.is_linked_to_previous = False
    header_footer(s2.header, "第二节页眉", "left", {"font": "宋体"})

    paragraph(doc, "第二节的正文。")
    # Table 1, Table Grid: outside double red 1.5 points (7, 12, 6; sz 18 is
    # 2.25 points, 18, when changed), inside dotted blue 0.5 points (2, 4, 2).
    t1 = doc.add_table(rows=3, cols=3)
    t1.style = "Table Grid"
    borders(t1,
            top={"val": "double", "sz": 18 if changed else 12, "space": 0, "color": "FF0000"},
            left={"val": "double", "sz": 18 if changed else 12, "space": 0, "color": "FF0000"},
            bottom={"val": "double", "sz": 18 if changed else 12, "space": 0, "color": "FF0000"},
            right={"val": "double", "sz": 18 if changed else 12, "space": 0, "color": "FF0000"},
            insideH={"val": "dotted", "sz": 4, "space": 0, "color": "0000FF"},
            insideV={"val": "dotted", "sz": 4, "space": 0, "color": "0000FF"})
    texts = [["姓名", "成绩", "评语"], ["张三", "90", "合格"], ["李四", "85", "合格"]]
    for r, row in enumerate(texts):
        for c, text in enumerate(row):
            cell = t1.cell(r, c)
            cell.paragraphs[0].add_run(text)
    # The header cells: grey fill D9D9D9 (14277081), centred vertically (1),
    # bold and centred text; the cell of 90 at the bottom (3) with a 50%
    # pattern of dark blue (500, 8388608) on white (16777215).
    for c in range(3):
        cell = t1.cell(0, c)
        cell_props(cell, valign="center",
                   shd={"val": "clear", "color": "auto", "fill": "D9D9D9"})
        cell.paragraphs[0].runs[0].bold = True
        ppr_child(cell.paragraphs[0], "w:jc", val="center")
    cell_props(t1.cell(1, 1), valign="bottom",
               shd={"val": "pct50", "color": "000080", "fill": "FFFFFF"})
    # Table 2: top edge single, the others none: the outside style differs
    # (9999999); no inside lines (0).
    t2 = doc.add_table(rows=1, cols=2)
    borders(t2, top={"val": "single", "sz": 4, "space": 0, "color": "auto"},
            left={"val": "nil"}, bottom={"val": "nil"}, right={"val": "nil"},
            insideH={"val": "nil"}, insideV={"val": "nil"})
    t2.cell(0, 0).paragraphs[0].add_run("左")
    t2.cell(0, 1).paragraphs[0].add_run("右")
    paragraph(doc, "表格之后。")

    # Section 3: A4 portrait, two uneven columns of 3000 and 4706 twips (150
    # and 235.3 points) 600 apart (30), no line: 0,0. No header or footer
    # of its own: both linked to the section before.
    s3 = doc.add_section(WD_SECTION.NEW_PAGE)
    s3.page_width, s3.page_height = Twips(11906), Twips(16838)
    s3.top_margin = s3.bottom_margin = Twips(1440)
    s3.left_margin = s3.right_margin = Twips(1800)
    columns(s3, num=2, space=600, equalWidth=0, cols=[(3000, 600), (4706, None)])
    paragraph(doc, "第三节。")

    name = "exam_changed.docx" if changed else "exam.docx"
    path = os.path.join(HERE, name)
    doc.save(path)
    fix_times(path)


# ---------------------------------------------------------------------------
# LibreOffice: lo_exam.fodt, converted to lo_exam.docx and lo_exam.doc.

FODT = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:font-face-decls>
  <style:font-face style:name="Liberation Serif" svg:font-family="'Liberation Serif'"
   xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"/>
 </office:font-face-decls>
 <office:styles>
  <style:default-style style:family="paragraph">
   <style:paragraph-properties fo:line-height="100%"/>
   <style:text-properties style:font-name="Liberation Serif" fo:font-size="12pt"
    style:font-name-asian="SimSun" style:font-size-asian="12pt" fo:language="en" fo:country="US"
    style:language-asian="zh" style:country-asian="CN"/>
  </style:default-style>
  <style:style style:name="Standard" style:family="paragraph" style:class="text"/>
  <style:style style:name="Header" style:family="paragraph" style:parent-style-name="Standard"
   style:class="extra"/>
  <style:style style:name="Footer" style:family="paragraph" style:parent-style-name="Standard"
   style:class="extra"/>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="PCenter" style:family="paragraph" style:parent-style-name="Standard">
   <style:paragraph-properties fo:text-align="center" fo:line-height="150%"/>
  </style:style>
  <style:style style:name="PRight" style:family="paragraph" style:parent-style-name="Standard">
   <style:paragraph-properties fo:text-align="end" fo:line-height="200%"/>
  </style:style>
  <style:style style:name="PJustify" style:family="paragraph" style:parent-style-name="Standard">
   <style:paragraph-properties fo:text-align="justify" style:line-height-at-least="18pt"/>
  </style:style>
  <style:style style:name="PFixed" style:family="paragraph" style:parent-style-name="Standard">
   <style:paragraph-properties fo:line-height="20pt"/>
  </style:style>
  <style:style style:name="PHeader" style:family="paragraph" style:parent-style-name="Header">
   <style:paragraph-properties fo:text-align="center"/>
   <style:text-properties fo:font-size="14pt" fo:font-style="italic" style:font-size-asian="14pt"
    style:font-style-asian="italic"/>
  </style:style>
  <style:style style:name="PFooter" style:family="paragraph" style:parent-style-name="Footer">
   <style:paragraph-properties fo:text-align="end"/>
   <style:text-properties fo:font-weight="bold" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="PBreak" style:family="paragraph" style:parent-style-name="Standard"
   style:master-page-name="Second"/>
  <style:style style:name="TBold" style:family="text">
   <style:text-properties fo:font-weight="bold" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="TRed" style:family="text">
   <style:text-properties fo:color="#ff0000" style:text-underline-style="solid"
    style:text-underline-width="auto" style:text-underline-color="font-color"/>
  </style:style>
  <style:style style:name="TShade" style:family="text">
   <style:text-properties fo:background-color="#ffff00"/>
  </style:style>
  <style:style style:name="Tbl" style:family="table">
   <style:table-properties style:width="10cm" table:align="left"/>
  </style:style>
  <style:style style:name="TblA1" style:family="table-cell">
   <style:table-cell-properties fo:background-color="#d9d9d9" style:vertical-align="middle"
    fo:border="1.5pt solid #000000"/>
  </style:style>
  <style:style style:name="TblB1" style:family="table-cell">
   <style:table-cell-properties style:vertical-align="bottom" fo:border="1.5pt solid #000000"/>
  </style:style>
  <style:page-layout style:name="PLandscape">
   <style:page-layout-properties fo:page-width="29.7cm" fo:page-height="21cm"
    style:print-orientation="landscape" fo:margin-top="2cm" fo:margin-bottom="2cm"
    fo:margin-left="2.5cm" fo:margin-right="2.5cm"/>
   <style:header-style><style:header-footer-properties fo:min-height="0cm"
    fo:margin-bottom="0.5cm"/></style:header-style>
   <style:footer-style><style:header-footer-properties fo:min-height="0cm"
    fo:margin-top="0.5cm"/></style:footer-style>
  </style:page-layout>
  <style:page-layout style:name="PLetter">
   <style:page-layout-properties fo:page-width="8.5in" fo:page-height="11in"
    style:print-orientation="portrait" fo:margin-top="1in" fo:margin-bottom="1in"
    fo:margin-left="1.25in" fo:margin-right="1.25in">
    <style:columns fo:column-count="2" fo:column-gap="0.5in">
     <style:column-sep style:width="0.02cm" style:color="#000000" style:height="100%"/>
    </style:columns>
   </style:page-layout-properties>
  </style:page-layout>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Standard" style:page-layout-name="PLandscape">
   <style:header><text:p text:style-name="PHeader">试卷页眉</text:p></style:header>
   <style:footer><text:p text:style-name="PFooter">页脚</text:p></style:footer>
  </style:master-page>
  <style:master-page style:name="Second" style:page-layout-name="PLetter"/>
 </office:master-styles>
 <office:body>
  <office:text>
   <text:p text:style-name="Standard">左对齐。</text:p>
   <text:p text:style-name="PCenter">居中。</text:p>
   <text:p text:style-name="PRight">右对齐。</text:p>
   <text:p text:style-name="PJustify">两端对齐。</text:p>
   <text:p text:style-name="PFixed">固定行距。</text:p>
   <text:p text:style-name="Standard"><text:span text:style-name="TBold">加粗</text:span>与常规。</text:p>
   <text:p text:style-name="Standard"><text:span text:style-name="TRed">red</text:span> and <text:span text:style-name="TShade">shaded</text:span> words.</text:p>
   <table:table table:name="T1" table:style-name="Tbl">
    <table:table-column table:number-columns-repeated="2"/>
    <table:table-row>
     <table:table-cell table:style-name="TblA1" office:value-type="string"><text:p>甲</text:p></table:table-cell>
     <table:table-cell table:style-name="TblB1" office:value-type="string"><text:p>乙</text:p></table:table-cell>
    </table:table-row>
   </table:table>
   <text:p text:style-name="PBreak">第二页。</text:p>
  </office:text>
 </office:body>
</office:document>
"""


def libreoffice():
    """lo_exam.docx and lo_exam.doc, by LibreOffice from lo_exam.fodt: a
    landscape A4 first page style with header (试卷页眉, centred, 14 italic)
    and footer (页脚, right, bold), a Letter second page style with two
    columns and a separator line, the alignments and line spacings of the
    first paragraphs, bold, red underlined and yellow-backed text, and a
    table of two cells boxed by 1.5-point lines, the first grey and centred
    vertically, the second at the bottom."""
    work = tempfile.mkdtemp()
    try:
        src = os.path.join(work, "lo_exam.fodt")
        with open(src, "w", encoding="utf-8") as f:
            f.write(FODT)
        profile = "file://" + os.path.join(work, "profile")
        for target in ("docx:MS Word 2007 XML", "doc:MS Word 97"):
            subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                            "--norestore", "--convert-to", target, "--outdir", work, src],
                           check=True, stdout=subprocess.DEVNULL)
        shutil.copy(src, os.path.join(HERE, "lo_exam.fodt"))
        shutil.copy(os.path.join(work, "lo_exam.docx"), os.path.join(HERE, "lo_exam.docx"))
        fix_times(os.path.join(HERE, "lo_exam.docx"))
        shutil.copy(os.path.join(work, "lo_exam.doc"), os.path.join(HERE, "lo_exam.doc"))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    exam()
    exam(changed=True)
    libreoffice()

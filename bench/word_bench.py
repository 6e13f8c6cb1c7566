#!/usr/bin/python3
"""The python-docx side of word_bench.

  word_bench.py make DIR      writes DIR/answer.docx (a typical exam answer:
                              two sections, header and footer, 30 paragraphs
                              of about 600 words in Chinese and English with
                              varied run formatting, one 5 x 4 table) and
                              DIR/long.docx (the same body ten times over) and
                              DIR/word_like.docx (answer.docx with the style
                              sheet as Word writes one: python-docx's template
                              carries 100 unused table styles, 350 KB)
  word_bench.py read FILE N   loads FILE N times and reads what python-docx
                              can reach of what the Word extractor reads: per
                              section its page setup and header and footer
                              paragraphs; per paragraph its text, alignment,
                              line spacing, indents and spacing; per run its
                              font name, size, bold, italic, underline and
                              colour, and its words; per table cell its text
                              and vertical alignment; prints "best <seconds>
                              points <count>" for the fastest pass, timed here
"""
import docx
from docx.enum.section import WD_SECTION
from docx.enum.text import WD_ALIGN_PARAGRAPH
from docx.oxml.ns import qn
from docx.shared import Pt, RGBColor

import peer_main

SENTENCES = [
    "春眠不觉晓，处处闻啼鸟。", "The quick brown fox jumps over the lazy dog. ",
    "夜来风雨声，花落知多少？", "Word answers are marked by knowledge points! ",
    "计算机应用基础考试，文字处理部分。", "Each paragraph has its own format; ",
]
FONTS = ["宋体", "黑体", "楷体", "Times New Roman", "Arial"]
ALIGN = [WD_ALIGN_PARAGRAPH.LEFT, WD_ALIGN_PARAGRAPH.CENTER, WD_ALIGN_PARAGRAPH.RIGHT,
         WD_ALIGN_PARAGRAPH.JUSTIFY]


def body(doc, copies):
    for copy in range(copies):
        for i in range(30):
            p = doc.add_paragraph()
            p.alignment = ALIGN[i % len(ALIGN)]
            p.paragraph_format.first_line_indent = Pt(21 if i % 3 else 0)
            p.paragraph_format.line_spacing = 1.0 + (i % 3) * 0.5
            p.paragraph_format.space_after = Pt(i % 4 * 3)
            for j in range(4):
                run = p.add_run(SENTENCES[(i + j) % len(SENTENCES)])
                run.font.name = FONTS[(i + j) % len(FONTS)]
                run.font.size = Pt(10.5 + (i + j) % 3)
                run.bold = (i + j) % 4 == 0
                run.italic = (i + j) % 5 == 0
                run.underline = (i + j) % 6 == 0
                if (i + j) % 7 == 0:
                    run.font.color.rgb = RGBColor(0xFF, 0, 0)
        table = doc.add_table(rows=5, cols=4)
        table.style = "Table Grid"
        for r in range(5):
            for c in range(4):
                table.cell(r, c).text = f"单元{r}{c}"


def make(folder):
    for name, copies in (("answer", 1), ("long", 10)):
        doc = docx.Document()
        section = doc.sections[0]
        section.header.paragraphs[0].text = "计算机考试页眉"
        section.footer.paragraphs[0].text = "第一页"
        body(doc, copies)
        doc.add_section(WD_SECTION.NEW_PAGE)
        doc.add_paragraph("第二节的最后一段。")
        doc.save(f"{folder}/{name}.docx")
        if name == "answer":
            # The table styles the document does not use go, as Word keeps
            # only the styles in use.
            used = {"TableNormal", "TableGrid"}
            for style in list(doc.styles.element.findall(qn("w:style"))):
                if style.get(qn("w:type")) == "table" and style.get(qn("w:styleId")) not in used:
                    doc.styles.element.remove(style)
            doc.save(f"{folder}/word_like.docx")


def read_once(path):
    points = set()
    d = docx.Document(path)
    for s in d.sections:
        points.add(("page", s.orientation, s.page_width, s.page_height, s.top_margin,
                    s.bottom_margin, s.left_margin, s.right_margin, s.gutter,
                    s.header_distance, s.footer_distance))
        for part in (s.header, s.footer):
            for p in part.paragraphs:
                points.add(("hf", p.text, p.alignment))
                for r in p.runs:
                    points.add(("hffont", r.font.name, r.font.size, r.bold, r.italic))

    def paragraph(p):
        f = p.paragraph_format
        points.add(("text", p.text))
        points.add(("para", p.alignment, f.line_spacing, f.line_spacing_rule, f.first_line_indent,
                    f.left_indent, f.right_indent, f.space_before, f.space_after))
        for r in p.runs:
            font = r.font
            colour = font.color.rgb if font.color.type is not None else None
            points.add(("font", font.name, font.size, r.bold, r.italic, r.underline, colour))
            for w in r.text.split():
                points.add(("word", w))

    for p in d.paragraphs:
        paragraph(p)
    for t in d.tables:
        for row in t.rows:
            for cell in row.cells:
                points.add(("cell", cell.text, cell.vertical_alignment))
                for p in cell.paragraphs:
                    paragraph(p)
    return len(points)


if __name__ == "__main__":
    peer_main.run(make, read_once)

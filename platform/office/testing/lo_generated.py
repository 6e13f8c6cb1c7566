# The documents lo_differential.py generates for its comparison, beside the
# committed ones: each property the knowledge points read, over the values
# Word and Excel distinguish (every alignment, line spacing rule, underline,
# border style ...; colours on and off the Office colour tables; paper sizes
# and orientations). Written by python3-docx and python3-openpyxl; an
# ImportError when either is missing.
import os

import docx
import openpyxl
from docx.enum.section import WD_ORIENT, WD_SECTION
from docx.enum.table import WD_CELL_VERTICAL_ALIGNMENT
from docx.enum.text import WD_ALIGN_PARAGRAPH, WD_LINE_SPACING, WD_UNDERLINE
from docx.oxml import OxmlElement
from docx.oxml.ns import qn
from docx.shared import Mm, Pt, RGBColor
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side


def _east_asian(run, name):
    fonts = run._element.get_or_add_rPr().get_or_add_rFonts()
    fonts.set(qn("w:eastAsia"), name)


def _shade(cell, fill):
    shd = OxmlElement("w:shd")
    shd.set(qn("w:val"), "clear")
    shd.set(qn("w:color"), "auto")
    shd.set(qn("w:fill"), fill)
    cell._tc.get_or_add_tcPr().append(shd)


def make_word(folder):
    doc = docx.Document()
    s = doc.sections[0]
    s.page_width, s.page_height = Mm(210), Mm(297)
    s.top_margin, s.bottom_margin = Mm(25.4), Mm(20)
    s.left_margin, s.right_margin = Mm(31.8), Mm(28)
    s.header.paragraphs[0].text = "生成的页眉 header"
    s.footer.paragraphs[0].text = "页脚 footer"

    for align in (WD_ALIGN_PARAGRAPH.LEFT, WD_ALIGN_PARAGRAPH.CENTER, WD_ALIGN_PARAGRAPH.RIGHT,
                  WD_ALIGN_PARAGRAPH.JUSTIFY, WD_ALIGN_PARAGRAPH.DISTRIBUTE):
        p = doc.add_paragraph("对齐 alignment %s" % align)
        p.alignment = align
    spacings = [(WD_LINE_SPACING.SINGLE, None), (WD_LINE_SPACING.ONE_POINT_FIVE, None),
                (WD_LINE_SPACING.DOUBLE, None), (WD_LINE_SPACING.MULTIPLE, 1.15),
                (WD_LINE_SPACING.MULTIPLE, 2.5), (WD_LINE_SPACING.AT_LEAST, Pt(20)),
                (WD_LINE_SPACING.EXACTLY, Pt(14))]
    for rule, value in spacings:
        p = doc.add_paragraph("行距 line spacing %s" % rule)
        p.paragraph_format.line_spacing_rule = rule
        if value is not None:
            p.paragraph_format.line_spacing = value

    # One paragraph per run format, so that Range.Font of each is defined.
    formats = [
        {"name": "Arial"}, {"name": "Courier New", "size": 9}, {"size": 10.5}, {"size": 22},
        {"bold": True}, {"italic": True}, {"bold": True, "italic": True},
        {"east": "黑体"}, {"east": "楷体", "name": "Georgia"},
    ]
    for underline in (WD_UNDERLINE.SINGLE, WD_UNDERLINE.DOUBLE, WD_UNDERLINE.DOTTED,
                      WD_UNDERLINE.DASH, WD_UNDERLINE.WAVY, WD_UNDERLINE.THICK, WD_UNDERLINE.WORDS,
                      WD_UNDERLINE.DOT_DASH, WD_UNDERLINE.DOT_DOT_DASH, WD_UNDERLINE.DASH_LONG,
                      WD_UNDERLINE.WAVY_DOUBLE, WD_UNDERLINE.DOTTED_HEAVY):
        formats.append({"underline": underline})
    for colour in ("000000", "0000FF", "FF0000", "00FF00", "808080", "C0C0C0", "0070C0", "FF6600",
                   "7030A0", "00B050", "C00000", "FFC000", "1F497D", "F2F2F2"):
        formats.append({"color": colour})
    for f in formats:
        p = doc.add_paragraph()
        for text in ("English words ", "中文文字"):
            run = p.add_run(text)
            if "name" in f:
                run.font.name = f["name"]
            if "east" in f:
                _east_asian(run, f["east"])
            if "size" in f:
                run.font.size = Pt(f["size"])
            run.font.bold = f.get("bold")
            run.font.italic = f.get("italic")
            if "underline" in f:
                run.font.underline = f["underline"]
            if "color" in f:
                run.font.color.rgb = RGBColor.from_string(f["color"])
    # Mixed formatting within a paragraph: undefined values.
    p = doc.add_paragraph()
    p.add_run("plain ")
    r = p.add_run("bold red big")
    r.bold, r.font.size, r.font.color.rgb = True, Pt(16), RGBColor(255, 0, 0)
    p = doc.add_paragraph()
    p.add_run("Arial ").font.name = "Arial"
    p.add_run("Verdana").font.name = "Verdana"

    table = doc.add_table(rows=3, cols=3)
    table.style = "Table Grid"
    fills = ["FFFF00", "D9D9D9", "0070C0", "FFFFFF", "C6EFCE", "000000", "FF0000", "F2DCDB", "92D050"]
    valigns = [WD_CELL_VERTICAL_ALIGNMENT.TOP, WD_CELL_VERTICAL_ALIGNMENT.CENTER,
               WD_CELL_VERTICAL_ALIGNMENT.BOTTOM]
    for r in range(3):
        for c in range(3):
            cell = table.cell(r, c)
            cell.text = "格%d%d" % (r, c)
            _shade(cell, fills[r * 3 + c])
            cell.vertical_alignment = valigns[c]
    doc.add_paragraph("表格之后 after the table")

    # Letter landscape, then A5, then a custom size; headers of their own.
    s2 = doc.add_section(WD_SECTION.NEW_PAGE)
    s2.orientation = WD_ORIENT.LANDSCAPE
    s2.page_width, s2.page_height = Mm(279.4), Mm(215.9)
    s2.header.is_linked_to_previous = False
    s2.header.paragraphs[0].text = "第二节页眉"
    doc.add_paragraph("第二节 Letter landscape")
    s3 = doc.add_section(WD_SECTION.NEW_PAGE)
    s3.orientation = WD_ORIENT.PORTRAIT
    s3.page_width, s3.page_height = Mm(148), Mm(210)
    s3.top_margin = s3.bottom_margin = Mm(15)
    s3.left_margin = s3.right_margin = Mm(12.7)
    doc.add_paragraph("第三节 A5")
    s4 = doc.add_section(WD_SECTION.NEW_PAGE)
    s4.page_width, s4.page_height = Mm(200), Mm(250)
    s4.footer.is_linked_to_previous = False
    s4.footer.paragraphs[0].text = "自定义纸张页脚"
    doc.add_paragraph("第四节 custom paper")

    path = os.path.join(folder, "generated_formats.docx")
    doc.save(path)
    return [path]


def make_excel(folder):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "样式"
    row = 1
    # Fonts.
    for name, size, bold in (("宋体", 11, False), ("Arial", 10, True), ("黑体", 16, False),
                             ("Times New Roman", 9.5, True), ("Calibri", 20, False)):
        c = sheet.cell(row, 1, "字体 %s" % name)
        c.font = Font(name=name, size=size, bold=bold)
        row += 1
    # Horizontal and vertical alignments.
    for h in ("general", "left", "center", "right", "fill", "justify", "centerContinuous",
              "distributed"):
        for v in ("top", "center", "bottom", "justify", "distributed"):
            c = sheet.cell(row, 1 + ["top", "center", "bottom", "justify", "distributed"].index(v),
                           "%s/%s" % (h, v))
            c.alignment = Alignment(horizontal=h, vertical=v)
        row += 1
    # Solid fills, on and off the palette.
    for i, rgb in enumerate(("FFFF00", "FF0000", "00B050", "0070C0", "7030A0", "FFC000", "D9D9D9",
                             "C6EFCE", "F4B084", "333333", "808080", "99CCFF")):
        c = sheet.cell(row + i // 6, 1 + i % 6, rgb)
        c.fill = PatternFill("solid", fgColor=rgb)
    row += 3
    # Borders: every line style on all four sides.
    styles = ["thin", "medium", "thick", "double", "hair", "dotted", "dashed", "dashDot",
              "dashDotDot", "mediumDashed", "mediumDashDot", "mediumDashDotDot"]
    for i, style in enumerate(styles):
        c = sheet.cell(row + 2 * (i // 4), 1 + 2 * (i % 4), style)
        side = Side(style=style, color="000000")
        c.border = Border(left=side, right=side, top=side, bottom=side)
    row += 7
    # Merged cells.
    sheet.cell(row, 1, "合并单元格")
    sheet.merge_cells(start_row=row, start_column=1, end_row=row + 1, end_column=3)
    row += 3
    # Values and number formats.
    values = [(3.14159, "0.00"), (1234567.891, "#,##0.00"), (0.256, "0%"), (0.5, "0.0%"),
              (-42, "0;[Red]-0"), (45000, "yyyy/m/d"), (45000.5, "yyyy-mm-dd hh:mm"),
              (12, "@"), ("文本", "General"), (1e-7, "0.00E+00"), (99.5, '"¥"#,##0.00')]
    for i, (v, fmt) in enumerate(values):
        c = sheet.cell(row + i, 1, v)
        c.number_format = fmt
    row += len(values)
    # Formulas, relative and absolute references, another sheet's cells.
    other = book.create_sheet("数据")
    for i in range(1, 6):
        other.cell(i, 1, i * 10)
        other.cell(i, 2, "项目%d" % i)
    formulas = ["=SUM(A1:A3)", "=$A$1+A2", "=数据!A1*2", "=SUM(数据!A1:A5)", "=IF(A1>1,\"大\",\"小\")",
                "=AVERAGE(数据!A1:A5)", "=VLOOKUP(20,数据!A1:B5,2,FALSE)", "=ROUND(A1,1)",
                "=MAX(数据!A:A)", "=COUNTIF(数据!A1:A5,\">20\")", "=A1&\"x\""]
    for i, f in enumerate(formulas):
        sheet.cell(row + i, 2, f)
    path = os.path.join(folder, "generated_styles.xlsx")
    book.save(path)
    return [path]

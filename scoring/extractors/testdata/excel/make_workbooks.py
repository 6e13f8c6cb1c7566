#!/usr/bin/python3
"""Writes the workbooks of the Excel extractor tests.

openpyxl writes styles.xlsx, styles_changed.xlsx, borders.xlsx, formats.xlsx,
edges.xlsx, ref_names.xlsx and chart_source.xlsx; LibreOffice (soffice --headless --convert-to xlsx) then
writes lo_chart.xlsx from chart_source.xlsx, lo_formats.xlsx from
formats.xlsx, lo_richtext.xlsx from richtext.fods and lo_csv.xlsx from
values.csv, so that both producers are covered. Every value the tests expect
follows from what this script puts in the files; the comments say which.

Run from this folder:  /usr/bin/python3 make_workbooks.py [NAME ...]
(needs python3-openpyxl and LibreOffice; the outputs are committed). With
names (styles, borders, formats, edges, ref_names, libreoffice, lo_formats), only those
are written.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

from openpyxl import Workbook
from openpyxl.chart import BarChart, LineChart, PieChart, Reference, Series
from openpyxl.chart.data_source import StrRef
from openpyxl.chart.series import SeriesLabel
from openpyxl.chart.legend import Legend
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.utils.datetime import CALENDAR_MAC_1904

HERE = os.path.dirname(os.path.abspath(__file__))


def box(side):
    return Border(left=side, right=side, top=side, bottom=side)


def fix_times(path):
    """openpyxl stamps the current time into docProps/core.xml; the bytes of
    the generated files should not change from run to run, so the stamp is
    replaced with a fixed one."""
    import zipfile
    tmp = path + ".tmp"
    with zipfile.ZipFile(path) as src, zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "docProps/core.xml":
                import re
                data = re.sub(rb">\d{4}-\d\d-\d\dT[\d:]+Z<", b">2024-01-01T00:00:00Z<", data)
            fixed = zipfile.ZipInfo(info.filename, (2024, 1, 1, 0, 0, 0))
            fixed.compress_type = zipfile.ZIP_DEFLATED
            dst.writestr(fixed, data)
    os.replace(tmp, path)


def styles_workbook(changed=False):
    """changed: the same answer with two faults, a relative reference where
    the absolute one belongs ($D$6 written D6) and headers not bold."""
    wb = Workbook()
    # Sheet 1: a scored table A1:E6, every cell boxed by a thin black line.
    ws = wb.active
    ws.title = "成绩表"
    thin = box(Side(style="thin", color="FF000000"))
    header = ["姓名", "语文", "数学", "总分", "占比"]
    rows = [("张三", 80, 90), ("李四", 75, 85), ("王五", 60, 70), ("赵六", 95, 100)]
    for j, text in enumerate(header, start=1):
        c = ws.cell(row=1, column=j, value=text)
        c.font = Font(name="宋体", size=12, bold=not changed)
        c.alignment = Alignment(horizontal="center", vertical="center")
        c.fill = PatternFill("solid", fgColor="FFFFFF00")
    for i, (name, a, b) in enumerate(rows, start=2):
        ws.cell(row=i, column=1, value=name).alignment = Alignment(horizontal="left")
        for j, v in ((2, a), (3, b)):
            c = ws.cell(row=i, column=j, value=v)
            c.font = Font(name="Arial", size=10.5)
            c.number_format = "0.00"
        d = ws.cell(row=i, column=4, value=f"=B{i}+C{i}")      # relative references
        d.number_format = "0.00_ "
        e = ws.cell(row=i, column=5, value=f"=D{i}/D6" if changed else f"=D{i}/$D$6")
        e.number_format = "0.00%"
    ws.cell(row=6, column=1, value="合计").alignment = Alignment(horizontal="right", vertical="top")
    ws.cell(row=6, column=2, value="=$B2+C$1")                  # mixed references
    ws.cell(row=6, column=4, value="=SUM(D2:D5)")
    ws.cell(row=6, column=5, value="=SUM(E2:E5)").number_format = "0.0__"
    ws.cell(row=6, column=3).fill = PatternFill("mediumGray", fgColor="FF0000FF")
    for r in range(1, 7):
        for c in range(1, 6):
            ws.cell(row=r, column=c).border = thin
    ws.column_dimensions["A"].width = 12
    for letter in "BCDE":
        ws.column_dimensions[letter].width = 10

    # Sheet 2: merged cells, no borders, default widths.
    ws = wb.create_sheet("合并")
    ws["A1"] = "标题"
    ws["A1"].alignment = Alignment(horizontal="center", vertical="center")
    ws.merge_cells("A1:C1")
    ws["A2"] = "左"
    ws.merge_cells("A2:B3")
    ws["C2"] = 1
    ws["C3"] = True
    ws["C4"] = 0.25
    ws["C4"].number_format = "0%"
    ws["A4"] = 3.5

    # Sheet 3: a clustered column chart with a legend at the bottom and two
    # series named by literal text.
    ws = wb.create_sheet("图表")
    data = [("月份", "收入", "支出"), ("一月", 10, 7), ("二月", 12, 8), ("三月", 9, 9), ("四月", 14, 6)]
    for row in data:
        ws.append(row)
    chart = BarChart()
    chart.type = "col"
    chart.grouping = "clustered"
    cats = Reference(ws, min_col=1, min_row=2, max_row=5)
    for col, title in ((2, "收入"), (3, "支出")):
        s = Series(Reference(ws, min_col=col, min_row=2, max_row=5), title=title)
        chart.series.append(s)
    chart.set_categories(cats)
    chart.legend = Legend(legendPos="b")
    ws.add_chart(chart, "E2")

    # Sheet 4: a pie chart without a legend whose one series has no name.
    ws = wb.create_sheet("饼图")
    for row in (("甲", 3), ("乙", 5), ("丙", 2)):
        ws.append(row)
    pie = PieChart()
    pie.add_data(Reference(ws, min_col=2, min_row=1, max_row=3), titles_from_data=False)
    pie.set_categories(Reference(ws, min_col=1, min_row=1, max_row=3))
    pie.legend = None
    ws.add_chart(pie, "D2")

    # Sheet 5: nothing at all.
    wb.create_sheet("空表")
    path = os.path.join(HERE, "styles_changed.xlsx" if changed else "styles.xlsx")
    wb.save(path)
    fix_times(path)


# Every ST_BorderStyle openpyxl writes, each on its own sheet of the same name:
# a 2 x 2 table of numbers whose cells carry the style on all four sides, in
# the colour given (ARGB; nearest palette entry in the comment).
BORDER_STYLES = [
    ("thin", "FF000000"),            # 1 black
    ("medium", "FFFF0000"),          # 3 red
    ("thick", "FF0000FF"),           # 5 blue
    ("double", "FF00FF00"),          # 4 bright green
    ("hair", "FFFFFF00"),            # 6 yellow
    ("dotted", "FFFF00FF"),          # 7 pink
    ("dashed", "FF00FFFF"),          # 8 turquoise
    ("dashDot", "FF000000"),
    ("dashDotDot", "FF000000"),
    ("mediumDashed", "FF000000"),
    ("mediumDashDot", "FF000000"),
    ("mediumDashDotDot", "FF000000"),
    ("slantDashDot", "FF000000"),
]


def borders_workbook():
    wb = Workbook()
    wb.remove(wb.active)
    for style, colour in BORDER_STYLES:
        ws = wb.create_sheet(style)
        b = box(Side(style=style, color=colour))
        for r in (1, 2):
            for c in (1, 2):
                cell = ws.cell(row=r, column=c, value=r * 10 + c)
                cell.border = b
    # A line without a colour of its own: Excel draws it automatic.
    ws = wb.create_sheet("automatic")
    for r in (1, 2):
        for c in (1, 2):
            ws.cell(row=r, column=c, value=1).border = box(Side(style="thin"))
    # No lines at all.
    ws = wb.create_sheet("none")
    for r in (1, 2):
        for c in (1, 2):
            ws.cell(row=r, column=c, value=1)
    # Thick red outline, thin blue lines inside, 4 and 3 columns wide: the
    # left-part block (from four columns on) adds the thin blue right edge.
    for name, width in (("outline4", 4), ("outline3", 3)):
        ws = wb.create_sheet(name)
        for r in range(1, 4):
            for c in range(1, width + 1):
                thick = Side(style="thick", color="FFFF0000")
                inner = Side(style="thin", color="FF0000FF")
                ws.cell(row=r, column=c, value=r + c).border = Border(
                    left=thick if c == 1 else inner,
                    right=thick if c == width else inner,
                    top=thick if r == 1 else inner,
                    bottom=thick if r == 3 else inner)
    path = os.path.join(HERE, "borders.xlsx")
    wb.save(path)
    fix_times(path)


def formats_workbook(path):
    """Sheet 格式 of a workbook in the 1904 date system: custom number formats
    with colours and General, dates, and an array formula over three cells."""
    wb = Workbook()
    wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws.title = "格式"
    # 2024-01-15 is serial 43844 counted from 1904 (45306 from 1900).
    ws["A1"] = datetime.date(2024, 1, 15)
    ws["A1"].number_format = "yyyy/m/d"
    ws["A2"] = -12.5
    ws["A2"].number_format = "0.00_);[Red]\\(0.00\\)"
    ws["A3"] = 0.5
    ws["A3"].number_format = "[Blue]0%;[Red]-0%"
    ws["A4"] = 7
    ws["A4"].number_format = "General;[Red]-General"
    # Noon of the first day of the 1904 system: serial 0.5.
    ws["A5"] = datetime.datetime(1904, 1, 1, 12, 0)
    ws["A5"].number_format = "yyyy/m/d h:mm"
    # One array formula over B1:B3; openpyxl writes its first cell only.
    ws["B1"] = "=A2:A4*2"
    ws.formula_attributes["B1"] = {"t": "array", "ref": "B1:B3"}
    wb.save(path)
    fix_times(path)


def edges_workbook(path):
    """Sheets 宽表 (a table wider than 26 columns, and formatting below it),
    两图 (two charts, the first with an empty second series name) and 无系列
    (a chart without series)."""
    wb = Workbook()
    ws = wb.active
    ws.title = "宽表"
    thin = Side(style="thin", color="FF000000")
    thick_red = Side(style="thick", color="FFFF0000")
    for j in range(1, 29):
        # Row 1 names the columns: Z is "Z列", AA "超出", AB "最后"; row 2
        # holds the column number.
        name = {26: "Z列", 27: "超出", 28: "最后"}.get(j, "列%d" % j)
        ws.cell(row=1, column=j, value=name)
        ws.cell(row=2, column=j, value=j)
        for i in (1, 2):
            # Every cell boxed thin black; the last column's right edge thick
            # red, which only the whole-table block would see.
            right = thick_red if j == 28 else thin
            ws.cell(row=i, column=j).border = Border(left=thin, right=right, top=thin, bottom=thin)
    # Formatting without content below the table: not part of the extent.
    ws["A5"].font = Font(name="Courier New", size=20)

    ws = wb.create_sheet("两图")
    for row in [("类别", "甲", "空", "丙"), ("一", 1, 2, 3), ("二", 4, 5, 6)]:
        ws.append(row)
    first = BarChart()
    first.type = "col"
    first.grouping = "clustered"
    for col, title in ((2, "甲"), (3, ""), (4, "丙")):
        s = Series(Reference(ws, min_col=col, min_row=2, max_row=3))
        s.tx = SeriesLabel(v=title)
        first.series.append(s)
    first.legend = Legend(legendPos="b")
    ws.add_chart(first, "F2")
    second = LineChart()
    s = Series(Reference(ws, min_col=2, min_row=2, max_row=3))
    s.tx = SeriesLabel(v="乙")
    second.series.append(s)
    second.legend = Legend(legendPos="t")
    ws.add_chart(second, "F20")

    ws = wb.create_sheet("无系列")
    ws["A1"] = "空图"
    empty = BarChart()
    empty.type = "col"
    empty.grouping = "clustered"
    ws.add_chart(empty, "C2")
    wb.save(path)
    fix_times(path)


def ref_names_workbook(path):
    """Charts whose series names are references to cells, written without
    the cached text (openpyxl never caches it): Excel reads the cells when
    it loads the file. Sheet 成绩表: the names come from its own header row
    (titles_from_data). Sheet 引用: one chart whose series name, in order,
    the header 成绩 of 成绩表, the two cells A1:B1 of sheet O'Neil (joined by
    a blank: "甲 乙") and the number 2024 of 成绩表!D1 (as the cell shows it)."""
    wb = Workbook()
    ws = wb.active
    ws.title = "成绩表"
    for row in (("姓名", "成绩", "排名", 2024), ("张三", 90, 1, 5), ("李四", 80, 2, 6)):
        ws.append(row)
    chart = BarChart()
    chart.type = "col"
    chart.grouping = "clustered"
    chart.add_data(Reference(ws, min_col=2, max_col=3, min_row=1, max_row=3), titles_from_data=True)
    chart.set_categories(Reference(ws, min_col=1, min_row=2, max_row=3))
    ws.add_chart(chart, "F2")

    other = wb.create_sheet("O'Neil")
    other.append(("甲", "乙"))

    ws = wb.create_sheet("引用")
    ws.append(("值",))
    ws.append((1,))
    chart = BarChart()
    for ref in ("'成绩表'!$B$1", "'O''Neil'!$A$1:$B$1", "'成绩表'!$D$1"):
        s = Series(Reference(ws, min_col=1, min_row=2, max_row=2))
        s.tx = SeriesLabel(strRef=StrRef(ref))
        chart.series.append(s)
    ws.add_chart(chart, "C2")
    wb.save(path)
    fix_times(path)


def chart_source(path):
    """A column chart whose series names refer to the header cells;
    LibreOffice writes it again with the names cached."""
    wb = Workbook()
    ws = wb.active
    ws.title = "数据"
    for row in (("季度", "北区", "南区"), ("一季度", 5, 3), ("二季度", 6, 4), ("三季度", 7, 8)):
        ws.append(row)
    chart = BarChart()
    chart.type = "col"
    chart.grouping = "clustered"
    chart.add_data(Reference(ws, min_col=2, max_col=3, min_row=1, max_row=4), titles_from_data=True)
    chart.set_categories(Reference(ws, min_col=1, min_row=2, max_row=4))
    chart.legend = Legend(legendPos="r")
    ws.add_chart(chart, "E2")
    wb.save(path)


RICHTEXT_FODS = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:font-face-decls>
  <style:font-face style:name="DejaVu Serif" svg:font-family="'DejaVu Serif'"/>
  <style:font-face style:name="DejaVu Sans Mono" svg:font-family="'DejaVu Sans Mono'"/>
 </office:font-face-decls>
 <office:automatic-styles>
  <style:style style:name="T1" style:family="text">
   <style:text-properties style:font-name="DejaVu Serif" fo:font-family="'DejaVu Serif'" fo:font-weight="bold" fo:color="#ff0000"/>
  </style:style>
  <style:style style:name="ce1" style:family="table-cell">
   <style:table-cell-properties style:vertical-align="middle"/>
   <style:paragraph-properties fo:text-align="center"/>
   <style:text-properties style:font-name="DejaVu Sans Mono" fo:font-size="14pt" fo:font-weight="bold"/>
  </style:style>
 </office:automatic-styles>
 <office:body>
  <office:spreadsheet>
   <table:table table:name="富文本">
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Plain <text:span text:style-name="T1">Serif</text:span></text:p></table:table-cell>
     <table:table-cell table:style-name="ce1" office:value-type="string"><text:p>Title</text:p></table:table-cell>
     <table:table-cell table:number-columns-spanned="2" table:number-rows-spanned="1" office:value-type="float" office:value="3.5"><text:p>3.5</text:p></table:table-cell>
     <table:covered-table-cell/>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="float" office:value="2"><text:p>2</text:p></table:table-cell>
     <table:table-cell office:value-type="float" office:value="3"><text:p>3</text:p></table:table-cell>
     <table:table-cell table:formula="of:=[.A2]*[.B2]" office:value-type="float" office:value="6"><text:p>6</text:p></table:table-cell>
     <table:table-cell table:formula="of:=[.$A$2]+[.B2]" office:value-type="float" office:value="5"><text:p>5</text:p></table:table-cell>
    </table:table-row>
   </table:table>
  </office:spreadsheet>
 </office:body>
</office:document>
"""

VALUES_CSV = "编号,名称,数量\n1,苹果,12\n2,梨,7.5\n"


def soffice_convert(src, out_name, infilter=None):
    with tempfile.TemporaryDirectory() as tmp:
        profile = "file://" + os.path.join(tmp, "profile")
        cmd = ["soffice", "-env:UserInstallation=" + profile, "--headless"]
        if infilter:
            cmd.append("--infilter=" + infilter)
        cmd += ["--convert-to", "xlsx", "--outdir", tmp, src]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, timeout=180)
        produced = os.path.join(tmp, os.path.splitext(os.path.basename(src))[0] + ".xlsx")
        shutil.copyfile(produced, os.path.join(HERE, out_name))


def libreoffice_workbooks():
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "chart_source.xlsx")
        chart_source(src)
        soffice_convert(src, "lo_chart.xlsx")
        fods = os.path.join(tmp, "richtext.fods")
        with open(fods, "w", encoding="utf-8") as f:
            f.write(RICHTEXT_FODS)
        soffice_convert(fods, "lo_richtext.xlsx")
        csv = os.path.join(tmp, "values.csv")
        with open(csv, "w", encoding="utf-8") as f:
            f.write(VALUES_CSV)
        # 44 comma, 34 quote, 76 UTF-8, 1 first line.
        soffice_convert(csv, "lo_csv.xlsx", infilter="CSV:44,34,76,1")


if __name__ == "__main__":
    wanted = set(sys.argv[1:]) or {"styles", "borders", "formats", "edges", "ref_names",
                                   "libreoffice"}
    if "styles" in wanted:
        styles_workbook()
        styles_workbook(changed=True)
    if "borders" in wanted:
        borders_workbook()
    if "formats" in wanted:
        formats_workbook(os.path.join(HERE, "formats.xlsx"))
    if "edges" in wanted:
        edges_workbook(os.path.join(HERE, "edges.xlsx"))
    if "ref_names" in wanted:
        ref_names_workbook(os.path.join(HERE, "ref_names.xlsx"))
    if "libreoffice" in wanted:
        libreoffice_workbooks()
    if "libreoffice" in wanted or "lo_formats" in wanted:
        # The formats as LibreOffice writes them.
        soffice_convert(os.path.join(HERE, "formats.xlsx"), "lo_formats.xlsx")

#!/usr/bin/python3
"""The openpyxl side of excel_bench.

  excel_bench.py make DIR      writes DIR/styled.xlsx (200 x 20, every cell
                               styled) and DIR/answer.xlsx (20 x 8 with a chart)
  excel_bench.py read FILE N   loads FILE N times and reads, of every used
                               cell, what the workbook extractor reads (value,
                               font name, size and bold, four border sides,
                               alignment, merging, fill, number format, column
                               width) and the charts' type, legend and series
                               names; prints "best <seconds> points <count>"
                               for the fastest pass, timed here
"""
from openpyxl import Workbook, load_workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.utils import get_column_letter

import peer_main

STYLES = ["thin", "medium", "thick", "double", "dashed", "dotted", "hair"]
FONTS = ["宋体", "黑体", "Arial", "Calibri", "Times New Roman"]
FORMATS = ["General", "0.00", "0.00%", "#,##0", "0.0_ ", "yyyy-mm-dd"]


def make(folder):
    wb = Workbook()
    ws = wb.active
    ws.title = "数据"
    for r in range(1, 201):
        for c in range(1, 21):
            k = r * 31 + c * 7
            cell = ws.cell(row=r, column=c, value=(f"文本{k}" if c % 5 == 0 else k / 8))
            if c % 7 == 3:
                cell.value = f"=A{r}*$B$1+{get_column_letter(c - 1)}{r}"
            cell.font = Font(name=FONTS[k % len(FONTS)], size=9 + k % 6, bold=bool(k % 2))
            side = Side(style=STYLES[k % len(STYLES)], color="FF%06X" % (k * 2654435761 % 0xFFFFFF))
            cell.border = Border(left=side, right=side, top=side, bottom=side)
            cell.alignment = Alignment(horizontal=["left", "center", "right"][k % 3],
                                       vertical=["top", "center", "bottom"][k % 3])
            if k % 3 == 0:
                cell.fill = PatternFill("solid", fgColor="FF%06X" % (k * 40503 % 0xFFFFFF))
            cell.number_format = FORMATS[k % len(FORMATS)]
    for c in range(1, 21):
        ws.column_dimensions[get_column_letter(c)].width = 8 + c % 5
    wb.save(f"{folder}/styled.xlsx")

    wb = Workbook()
    ws = wb.active
    ws.title = "成绩"
    ws.append(["姓名"] + [f"科目{j}" for j in range(1, 8)])
    thin = Side(style="thin", color="FF000000")
    for r in range(2, 21):
        ws.append([f"学生{r}"] + [(r * j) % 100 for j in range(1, 7)] + [f"=SUM(B{r}:G{r})"])
    for row in ws.iter_rows(min_row=1, max_row=20, max_col=8):
        for cell in row:
            cell.border = Border(left=thin, right=thin, top=thin, bottom=thin)
            cell.font = Font(name="宋体", size=11, bold=cell.row == 1)
    chart = BarChart()
    chart.add_data(Reference(ws, min_col=2, max_col=4, min_row=1, max_row=20), titles_from_data=True)
    chart.set_categories(Reference(ws, min_col=1, min_row=2, max_row=20))
    ws.add_chart(chart, "J2")
    wb.save(f"{folder}/answer.xlsx")


def read_once(path):
    points = set()
    wb = load_workbook(path)
    for ws in wb.worksheets:
        for chart in getattr(ws, "_charts", []):
            points.add(("type", chart.tagname))
            if chart.legend is not None:
                points.add(("legend", chart.legend.position))
            for s in chart.series:
                points.add(("series", str(s.tx.strRef.f if s.tx and s.tx.strRef else s.tx)))
        widths = {}
        for row in ws.iter_rows(min_row=1, max_row=ws.max_row, max_col=ws.max_column):
            for cell in row:
                if cell.value is not None:
                    points.add(("value", str(cell.value)))
                f = cell.font
                points.add(("font", f.name, f.sz, f.b))
                b = cell.border
                for side in (b.left, b.top, b.right, b.bottom):
                    points.add(("border", side.style, side.color.rgb if side.color is not None else None))
                a = cell.alignment
                points.add(("align", a.horizontal, a.vertical))
                points.add(("fill", cell.fill.patternType, cell.fill.fgColor.rgb))
                points.add(("format", cell.number_format))
                letter = cell.column_letter
                if letter not in widths:
                    widths[letter] = ws.column_dimensions[letter].width
                points.add(("width", widths[letter]))
        for merged in ws.merged_cells.ranges:
            points.add(("merged", str(merged)))
    return len(points)


if __name__ == "__main__":
    peer_main.run(make, read_once)

# The differential test of our Word, Excel and PowerPoint object models
# against LibreOffice:
#
#   /usr/bin/python3 lo_differential.py --model-values BIN --soffice SOFFICE \
#       --known FILE --documents DIR... [--corpus DIR] [--report FILE]
#
# For every .docx/.xlsx/.pptx of the folders DIR (the extractors' committed
# test documents), of the documents this script generates (python3-docx,
# python3-openpyxl) and of the team's corpus (--corpus, else BQ_CORPUS, else
# ../shared/corpus beside the checkout; absent, the rest still runs), it
# reads the values the knowledge points are made of twice: through our
# models (BIN, model_values.cpp) and through LibreOffice's API
# (lo_values.py). It applies Word's, Excel's and PowerPoint's documented
# rules to LibreOffice's values (fonts by the script of each character,
# nearest colour index, 1/100 mm to points, LibreOffice's enums to the
# Office object model's codes), joins the two, and prints the agreement per
# model and property.
#
# A disagreement is accepted only when the known-differences file (TSV:
# file, locator, property, ours, LibreOffice's, reason; fnmatch patterns,
# "*" for any) explains it; the test fails on any other, and when a model's
# comparison covers fewer documents or values than expected (an empty run
# cannot pass). Without LibreOffice or python3-uno it is skipped: exit code
# 77 with one line saying why.
import argparse
import difflib
import fnmatch
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
# model_values.cpp's and lo_values.py's bound on the paragraphs of a document.
MAX_PARAGRAPHS = 600

# At least this many documents and compared values per model, on the
# repository's own documents (committed and generated) and with the corpus.
MINIMUM = {
    "word": {"docs": 4, "values": 1500},
    "excel": {"docs": 11, "values": 10000},
    "ppt": {"docs": 15, "values": 900},
}
MINIMUM_WITH_CORPUS = {
    "word": {"docs": 35, "values": 8000},
    "excel": {"docs": 40, "values": 40000},
    "ppt": {"docs": 40, "values": 3000},
}


def skip(reason):
    print("lo_differential: %s: skipped" % reason)
    sys.exit(77)


# ---------------------------------------------------------------- rules
# Each function turns LibreOffice's value into the Office object model's,
# by the Office behaviour its comment names. None: LibreOffice's API has no
# value to compare there (the pair is not counted).

def pt(hmm):
    """1/100 mm to points."""
    return hmm * 72.0 / 2540.0


def twips(hmm):
    return hmm * 1440.0 / 2540.0


def mm_twips(millimetres):
    return int(millimetres * 1440 / 25.4 + 0.5)


def in_twips(inches):
    return int(inches * 1440 + 0.5)


# WdPaperSize: the paper whose size the page has, either orientation, within
# a point; else wdPaperCustom (41). The sizes are those of the WdPaperSize
# documentation.
PAPERS = [
    (7, mm_twips(210), mm_twips(297)), (2, in_twips(8.5), in_twips(11)),
    (9, mm_twips(148), mm_twips(210)), (6, mm_twips(297), mm_twips(420)),
    (11, mm_twips(182), mm_twips(257)), (10, mm_twips(257), mm_twips(364)),
    (4, in_twips(8.5), in_twips(14)), (5, in_twips(7.25), in_twips(10.5)),
    (18, in_twips(8.5), in_twips(13)), (21, mm_twips(215), mm_twips(275)),
    (22, in_twips(5.5), in_twips(8.5)), (0, in_twips(10), in_twips(14)),
    (1, in_twips(11), in_twips(17)), (12, in_twips(17), in_twips(22)),
    (13, in_twips(22), in_twips(34)), (14, in_twips(34), in_twips(44)),
    (16, in_twips(8.5), in_twips(12)), (17, in_twips(14.875), in_twips(11)),
    (24, in_twips(3.875), in_twips(8.875)), (25, in_twips(4.125), in_twips(9.5)),
    (26, in_twips(4.5), in_twips(10.375)), (27, in_twips(4.75), in_twips(11)),
    (28, in_twips(5), in_twips(11.5)), (29, mm_twips(250), mm_twips(353)),
    (30, mm_twips(176), mm_twips(250)), (31, mm_twips(125), mm_twips(176)),
    (32, mm_twips(324), mm_twips(458)), (33, mm_twips(229), mm_twips(324)),
    (34, mm_twips(162), mm_twips(229)), (35, mm_twips(114), mm_twips(162)),
    (36, mm_twips(114), mm_twips(229)), (37, mm_twips(110), mm_twips(220)),
    (38, mm_twips(110), mm_twips(230)), (39, in_twips(3.875), in_twips(7.5)),
    (40, in_twips(3.625), in_twips(6.5)),
]


def paper_size(width_hmm, height_hmm):
    w, h = twips(width_hmm), twips(height_hmm)
    near = lambda a, b: abs(a - b) <= 20 + 1  # a point, and LibreOffice's 1/100 mm rounding
    for code, pw, ph in PAPERS:
        if (near(w, pw) and near(h, ph)) or (near(w, ph) and near(h, pw)):
            return code
    return 41


# Word's 16-colour table (WdColorIndex 1 .. 16).
WORD_COLOURS = [0x000000, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0xFFFF00, 0xFFFFFF,
                0x000080, 0x008080, 0x008000, 0x800080, 0x800000, 0x808000, 0x808080, 0xC0C0C0]
# Excel's default 56-colour palette (ColorIndex 1 .. 56).
EXCEL_PALETTE = [
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000,
    0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366,
    0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00,
    0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99,
    0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99, 0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900,
    0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366,
    0x333399, 0x333333]


def nearest(table, rgb):
    """The 1-based index of the table entry nearest to rgb by squared RGB
    distance, the lower index among equals (Word's ColorIndex and Excel's
    ColorIndex of a colour outside their tables)."""
    r, g, b = rgb >> 16 & 255, rgb >> 8 & 255, rgb & 255
    best, best_d = 0, None
    for i, c in enumerate(table, 1):
        d = (r - (c >> 16 & 255)) ** 2 + (g - (c >> 8 & 255)) ** 2 + (b - (c & 255)) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def office_rgb(rgb):
    """0xRRGGBB to the Office colour integer, red + 256 green + 65536 blue."""
    return (rgb >> 16 & 255) | (rgb & 0xFF00) | (rgb & 255) << 16


# Word ---------------------------------------------------------------------

def word_text(text):
    """Range.Text as compared: the marks that end a paragraph, a cell, a row
    or a section, and the object, break and note marks Word puts in the text
    (characters below U+0020 but the tab) are left out; LibreOffice's line
    breaks are such marks too."""
    return "".join(c for c in text if c == "\t" or ord(c) >= 0x20)


def lo_word_text(text):
    """The same of LibreOffice's text, where a symbol (w:sym) is its
    character in the symbol font's private-use page (U+F000 .. U+F0FF): Word's
    Range.Text shows every symbol as "("."""
    return "".join("(" if 0xF000 <= ord(c) <= 0xF0FF else c for c in word_text(text))


# ParagraphFormat.Alignment (WdParagraphAlignment) from ParaAdjust
# (LEFT 0, RIGHT 1, BLOCK 2, CENTER 3): a justified paragraph whose last line
# is justified too is distributed (4).
def word_alignment(adjust, last):
    if adjust == 2:
        return 4 if last == 2 else 3
    return {0: 0, 1: 2, 3: 1}.get(adjust)


# LineSpacingRule and LineSpacing (points) from ParaLineSpacing: a
# proportional spacing of 100, 150 or 200 % is single, 1.5 lines or double
# (12, 18, 24 points), any other multiple (5) is 12 points a line; at least
# (3) and exactly (4) are lengths.
def word_line_spacing(mode, height):
    if mode == 0:
        return {100: (0, 12.0), 150: (1, 18.0), 200: (2, 24.0)}.get(height, (5, 12.0 * height / 100))
    if mode == 1:
        return 3, pt(height)
    if mode == 3:
        return 4, pt(height)
    return None, None


# WdUnderline from FontUnderline (and CharWordMode: single underline of words
# only is wdUnderlineWords 2).
UNDERLINES = {0: 0, 1: 1, 2: 3, 3: 4, 5: 7, 6: 39, 7: 9, 8: 10, 10: 11, 11: 43, 12: 6, 13: 20,
              14: 23, 15: 55, 16: 25, 17: 26, 18: 27}


def script(c):
    """The script Word formats a character by: "asian" (the East Asian font),
    "complex" (the complex-script font) or "western" (ASCII and high ANSI);
    None for a weak character (spaces, punctuation shared by the scripts),
    which takes the script of the character before it."""
    o = ord(c)
    if (0x1100 <= o <= 0x11FF or 0x2E80 <= o <= 0x2FDF or 0x2FF0 <= o <= 0x9FFF
            or 0xA000 <= o <= 0xA4CF or 0xAC00 <= o <= 0xD7AF or 0xF900 <= o <= 0xFAFF
            or 0xFE30 <= o <= 0xFE4F or 0xFF00 <= o <= 0xFFEF or o >= 0x20000):
        return "asian"
    if 0x0590 <= o <= 0x08FF or 0x0900 <= o <= 0x0DFF or 0x0E00 <= o <= 0x0EFF:
        return "complex"
    if 0x2000 <= o <= 0x206F or o in (0x20, 0x09, 0xA0, 0xB7):
        return None
    return "western"


SUFFIX = {"western": "", "asian": "Asian", "complex": "Complex"}


def posture(v):
    return v not in ("NONE", 0, None)


def word_font(portions, mark):
    """Range.Font over a paragraph's characters (its mark only when it holds
    nothing else): each value the common one, else 9999999 ("" for names)."""
    chars = []  # (script, props)
    for p in portions:
        text = p.get("text")
        if not text:
            continue
        prev = None
        for c in text:
            if ord(c) < 0x20 and c != "\t":
                continue
            s = script(c) or prev
            chars.append((s, p))
            prev = s or prev
    if not chars:
        chars = [("western", mark)]
    chars = [(s or "western", p) for s, p in chars]

    def common(values, mixed=9999999):
        values = set(values)
        return values.pop() if len(values) == 1 else mixed

    suffix = lambda s: SUFFIX[s]
    return {
        "font.name": common((p["CharFontName" + suffix(s)] for s, p in chars), ""),
        "font.size": common(p["CharHeight" + suffix(s)] for s, p in chars),
        "font.bold": common(-1 if p["CharWeight" + suffix(s)] > 100 else 0 for s, p in chars),
        "font.italic": common(-1 if posture(p["CharPosture" + suffix(s)]) else 0 for s, p in chars),
        "font.underline": common(
            2 if p["CharUnderline"] == 1 and p["CharWordMode"] else UNDERLINES.get(p["CharUnderline"])
            for s, p in chars),
        "font.colorIndex": common(
            0 if p["CharColor"] == -1 else nearest(WORD_COLOURS, p["CharColor"]) for s, p in chars),
    }


def word_page(s):
    """PageSetup from a page style. With a header LibreOffice's top margin is
    Word's header distance and Word's top margin is that plus the header's
    height (its body distance included); the same below with a footer."""
    v = {
        "pageWidth": pt(s["Width"]), "pageHeight": pt(s["Height"]),
        "orientation": 1 if s["IsLandscape"] else 0,
        "paperSize": paper_size(s["Width"], s["Height"]),
        "topMargin": pt(s["TopMargin"] + (s["HeaderHeight"] if s["HeaderIsOn"] else 0)),
        "bottomMargin": pt(s["BottomMargin"] + (s["FooterHeight"] if s["FooterIsOn"] else 0)),
        "leftMargin": pt(s["LeftMargin"]), "rightMargin": pt(s["RightMargin"]),
        "columns": max(1, s["TextColumns"], s["SectionColumns"]),
        "header.text": lo_word_text(s["HeaderText"] or ""),
        "footer.text": lo_word_text(s["FooterText"] or ""),
    }
    if s["HeaderIsOn"]:
        v["headerDistance"] = pt(s["TopMargin"])
    if s["FooterIsOn"]:
        v["footerDistance"] = pt(s["BottomMargin"])
    return v


def compare_word(ours, lo, cmp):
    sections = ours.get(("doc", "sectionCount"))
    cmp("doc", "sectionCount", sections, lo.get(("doc", "sectionCount")))
    lo_sections = lo.get(("doc", "sectionCount")) or 0
    # Sections are joined in order only when both count the same; otherwise
    # the first one.
    count = sections if sections == lo_sections else min(1, sections or 0, lo_sections)
    for i in range(1, (count or 0) + 1):
        loc = "sec%d" % i
        page = word_page(lo[(loc, "page")])
        for name, value in page.items():
            if (loc, name) in ours:
                mine = ours[(loc, name)]
                cmp(loc, name, word_text(mine) if name.endswith(".text") else mine, value)
    cmp("doc", "tableCount", ours.get(("doc", "tableCount")), lo.get(("doc", "tableCount")))

    our_paras = []
    i = 1
    while ("p%d" % i, "text") in ours:
        our_paras.append(i)
        i += 1
    lo_paras = []
    i = 1
    while ("p%d" % i, "paragraph") in lo:
        lo_paras.append(lo[("p%d" % i, "paragraph")])
        i += 1
    a = [word_text(ours[("p%d" % n, "text")]) for n in our_paras]
    b = [lo_word_text(p["text"]) for p in lo_paras]
    pairs = []
    opcodes = difflib.SequenceMatcher(None, a, b, autojunk=False).get_opcodes()
    # Both sides read at most MAX_PARAGRAPHS paragraphs: when either stopped
    # there, what follows the last pair is cut off, not missing.
    capped = len(a) >= MAX_PARAGRAPHS - 10 or len(b) >= MAX_PARAGRAPHS - 10
    while capped and opcodes and opcodes[-1][0] in ("insert", "delete", "replace") \
            and not (opcodes[-1][0] == "replace" and opcodes[-1][2] - opcodes[-1][1] == opcodes[-1][4] - opcodes[-1][3]):
        opcodes.pop()
    for tag, i1, i2, j1, j2 in opcodes:
        if tag == "equal" or (tag == "replace" and i2 - i1 == j2 - j1):
            pairs.extend(zip(range(i1, i2), range(j1, j2)))
        else:
            # A paragraph only one side has: the pair is its text and null.
            for n in range(i1, i2):
                cmp("p%d" % our_paras[n], "paragraph", ours[("p%d" % our_paras[n], "text")], None,
                    missing=True)
            for n in range(j1, j2):
                cmp("lo.p%d" % (n + 1), "paragraph", None,
                    "(end of row)" if lo_paras[n].get("rowEnd") else lo_paras[n]["text"], missing=True)
    for i, j in pairs:
        loc = "p%d" % our_paras[i]
        p = lo_paras[j]
        cmp(loc, "text", a[i], b[j])
        if p.get("rowEnd"):
            continue
        cmp(loc, "inTable", ours.get((loc, "inTable")), p.get("cell") is not None)
        if (loc, "alignment") in ours:
            cmp(loc, "alignment", ours[(loc, "alignment")], word_alignment(p["adjust"], p["lastAdjust"]))
        rule, spacing = word_line_spacing(p["lineSpacing"]["mode"], p["lineSpacing"]["height"])
        if (loc, "lineSpacingRule") in ours and rule is not None:
            cmp(loc, "lineSpacingRule", ours[(loc, "lineSpacingRule")], rule)
            if ours[(loc, "lineSpacingRule")] == rule:
                cmp(loc, "lineSpacing", ours[(loc, "lineSpacing")], spacing)
        if (loc, "font.name") in ours:
            for name, value in word_font(p["portions"], p["mark"]).items():
                cmp(loc, name, ours[(loc, name)], value)
        cell = p.get("cell")
        if cell and (loc, "cell.backgroundPatternColor") in ours:
            back = cell["back"]
            cmp(loc, "cell.backgroundPatternColor", ours[(loc, "cell.backgroundPatternColor")],
                -16777216 if back == -1 else office_rgb(back))
        if cell and (loc, "cell.verticalAlignment") in ours:
            cmp(loc, "cell.verticalAlignment", ours[(loc, "cell.verticalAlignment")],
                {0: 0, 1: 0, 2: 1, 3: 3}.get(cell["vert"]))


# Excel --------------------------------------------------------------------

# Range.HorizontalAlignment from HoriJustify (and its method: a distributed
# justification is xlDistributed).
HORIZONTAL = {"STANDARD": 1, "LEFT": -4131, "CENTER": -4108, "RIGHT": -4152, "BLOCK": -4130,
              "REPEAT": 5}
# Range.VerticalAlignment from VertJustify (CellVertJustify2): the standard
# position is the bottom.
VERTICAL = {0: -4107, 1: -4160, 2: -4108, 3: -4107, 4: -4130}
# LibreOffice's formula errors by Excel's error value.
ERRORS = {532: "#DIV/0!", 32767: "#N/A", 525: "#NAME?", 524: "#REF!", 519: "#VALUE!",
          503: "#NUM!", 521: "#NULL!", 502: "#VALUE!"}
# XlLineStyle from BorderLineStyle (SOLID 0, DOTTED 1, DASHED 2, DOUBLE 3,
# FINE_DASHED 14, DOUBLE_THIN 15, DASH_DOT 16, DASH_DOT_DOT 17).
LINE_STYLES = {0: 1, 1: -4118, 2: -4115, 3: -4119, 14: -4115, 15: -4119, 16: 4, 17: 5}


def excel_value(c):
    kind = c["type"]
    if kind == "EMPTY":
        return None
    if kind == "VALUE":
        return c["data"]
    if kind == "TEXT":
        return c["data"]
    if c.get("error"):
        return {"error": ERRORS.get(c["error"], "Err:%d" % c["error"])}
    return c["data"]


# LibreOffice's prefix of a reference into another workbook:
# ['file:///C:/dir/Book2.xlsx']Sheet1! or ['...']'My Sheet'!
LO_BOOK_PREFIX = re.compile(r"\['((?:[^']|'')*)'\](?:'((?:[^']|'')*)'|([^'!]+))!")


def excel_book_prefix(match):
    """Excel shows a closed workbook by its path: 'C:\\dir\\[Book2.xlsx]Sheet1'!,
    a file URL as a Windows path (a path without a drive stays without one,
    as the model shows it)."""
    path = urllib.parse.unquote(match.group(1).replace("''", "'"))
    sheet = match.group(2).replace("''", "'") if match.group(2) is not None else match.group(3)
    if path.lower().startswith("file://"):
        rest = path[7:]
        if rest.startswith("/"):
            rest = rest[1:] if re.match(r"/[A-Za-z]:", rest) else rest
        else:
            rest = "//" + rest  # file://server/share: a network path
        path = rest.replace("/", "\\")
    sep = "/" if "://" in path else "\\"
    folder, _, name = path.rpartition(sep)
    text = (folder + sep if folder else "") + "[" + name + "]" + sheet
    return "'" + text.replace("'", "''") + "'!"


def excel_formula(text):
    """The formula bar writes the logical constants without parentheses:
    TRUE, FALSE (LibreOffice keeps them as the functions TRUE(), FALSE()), and
    a reference into another workbook with the workbook's path and name."""
    text = LO_BOOK_PREFIX.sub(excel_book_prefix, text)
    out, quoted = [], False
    i = 0
    while i < len(text):
        if text[i] == '"':
            quoted = not quoted
        if not quoted:
            for word in ("TRUE()", "FALSE()"):
                if text.startswith(word, i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] in "._")):
                    out.append(word[:-2])
                    i += len(word)
                    break
            else:
                out.append(text[i])
                i += 1
            continue
        out.append(text[i])
        i += 1
    return "".join(out)


def excel_line(line):
    """(LineStyle, Weight) of one side; None when it has no line."""
    if line["style"] == 32767 or (line["width"] == 0 and line["outer"] == 0):
        return None
    style = LINE_STYLES.get(line["style"])
    if style == -4119:
        return style, 4  # a double line is xlThick
    width = line["width"]
    weight = 1 if width <= 10 else 2 if width <= 35 else -4138 if width <= 65 else 4
    return style, weight


SIDES = {7: ("left", 0, -1, "right"), 8: ("top", -1, 0, "bottom"),
         9: ("bottom", 1, 0, "top"), 10: ("right", 0, 1, "left")}


def excel_border(cells, sheet, row, col, edge):
    """Range.Borders(edge) of one cell: its own side, else the facing side of
    the neighbour (Excel draws the edge between two cells from either)."""
    own, dr, dc, facing = SIDES[edge]
    # LibreOffice keeps the outline of a merged area on its first cell, where
    # Excel keeps each cell's own sides: merged cells are not compared.
    if cells[(sheet, row, col)]["merged"]:
        return "unknown"
    line = excel_line(cells[(sheet, row, col)][own])
    if line:
        return line
    neighbour = cells.get((sheet, row + dr, col + dc))
    if neighbour is None:
        return None if row + dr < 1 or col + dc < 1 else "unknown"
    if neighbour["merged"]:
        return "unknown"
    return excel_line(neighbour[facing])


def excel_format(code):
    """NumberFormatLocal of a Chinese Excel from the format code."""
    code = code.replace("General", "G/通用格式")
    for en, zh in (("[RED]", "[红色]"), ("[BLUE]", "[蓝色]"), ("[GREEN]", "[绿色]"),
                   ("[BLACK]", "[黑色]"), ("[WHITE]", "[白色]"), ("[YELLOW]", "[黄色]"),
                   ("[MAGENTA]", "[洋红色]"), ("[CYAN]", "[蓝绿色]")):
        code = code.replace(en, zh)
    return code


def format_key(code):
    """Format codes compare as Excel reads them: without regard to case, a
    backslash before a character that is literal anyway left out."""
    if not isinstance(code, str):
        return code
    out, i = [], 0
    while i < len(code):
        if code[i] == "\\" and i + 1 < len(code) and code[i + 1] in "-/ :,()$+":
            i += 1
        out.append(code[i])
        i += 1
    return "".join(out).upper()


def split_loc(loc):
    sheet, _, ref = loc.rpartition("!")
    col = 0
    i = 0
    while i < len(ref) and ref[i].isalpha():
        col = col * 26 + ord(ref[i]) - 64
        i += 1
    return sheet, int(ref[i:]), col


def workbook_palette(path):
    """ColorIndex 1 .. 56: the workbook's own palette (styles' indexedColors,
    entries 8 .. 63) where it has one, else Excel's default."""
    import re
    import zipfile
    try:
        with zipfile.ZipFile(path) as z:
            styles = z.read("xl/styles.xml").decode("utf-8", "replace")
    except (KeyError, OSError, zipfile.BadZipFile):
        return EXCEL_PALETTE
    m = re.search(r"<(?:\w+:)?indexedColors>(.*?)</(?:\w+:)?indexedColors>", styles, re.S)
    if not m:
        return EXCEL_PALETTE
    colours = [int(c[-6:], 16) for c in re.findall(r'rgb="([0-9A-Fa-f]{6,8})"', m.group(1))]
    palette = list(EXCEL_PALETTE)
    for i, c in enumerate(colours[8:64]):
        palette[i] = c
    return palette


def compare_excel(ours, lo, cmp, path=None):
    palette = workbook_palette(path) if path else EXCEL_PALETTE
    cmp("book", "worksheetNames", ours.get(("book", "worksheetNames")), lo.get(("book", "sheetNames")))
    for (loc, name), value in ours.items():
        if name in ("lastRow", "lastColumn"):
            cmp(loc, name, value, lo.get((loc, name)))
    cells = {}
    for (loc, name), value in lo.items():
        if name == "cell":
            sheet, row, col = split_loc(loc)
            cells[(sheet, row, col)] = value
    for (loc, name), value in sorted(ours.items()):
        if "!" not in loc:
            continue
        sheet, row, col = split_loc(loc)
        c = cells.get((sheet, row, col))
        if c is None:
            continue
        if name == "value":
            # Constants only: our model reads a formula's cached result,
            # LibreOffice may calculate it again.
            if not ours.get((loc, "hasFormula")):
                cmp(loc, name, value, excel_value(c))
        elif name == "hasFormula":
            # LibreOffice's formula itself where ours has none.
            theirs = c["type"] == "FORMULA"
            cmp(loc, name, value, c["formula"] if theirs and not value else theirs)
        elif name == "formulaR1C1" and "r1c1" in c:
            cmp(loc, name, value, "=" + excel_formula(c["r1c1"]))
        elif name in ("font.name", "font.size", "font.bold") and value is not None:
            # Range.Font of a text cell reads its characters: the runs of rich
            # text, each value null where they differ.
            runs = c.get("runs") or [[c["font"], c["size"], c["weight"]]]
            i = ("font.name", "font.size", "font.bold").index(name)
            values = {r[i] > 100 if i == 2 else r[i] for r in runs}
            cmp(loc, name, value, values.pop() if len(values) == 1 else None, nullable=True)
        elif name == "horizontalAlignment" and value is not None:
            h = HORIZONTAL.get(c["hori"])
            if c["hori"] == "BLOCK" and c["horiMethod"] == 1:
                h = -4117
            cmp(loc, name, value, h)
        elif name == "verticalAlignment" and value is not None:
            v = VERTICAL.get(c["vert"])
            if c["vert"] == 4 and c["vertMethod"] == 1:
                v = -4117
            cmp(loc, name, value, v)
        elif name == "mergeCells" and value is not None:
            cmp(loc, name, value, c["merged"])
        elif name == "interior.colorIndex" and value is not None:
            cmp(loc, name, value,
                -4142 if c["transparent"] or c["back"] == -1 else nearest(palette, c["back"]))
        elif name == "interior.pattern" and value is not None:
            cmp(loc, name, value, -4142 if c["transparent"] or c["back"] == -1 else 1)
        elif name == "numberFormatLocal" and value is not None:
            # A formula cell in General format counted apart (see the known
            # differences).
            if ours.get((loc, "hasFormula")) and value == "G/通用格式":
                name += ".formulaGeneral"
            cmp(loc, name, value, excel_format(c["format"]["code"]), key=format_key)
        elif name.startswith("border") and value is not None:
            edge = int(name[6:name.index(".")])
            line = excel_border(cells, sheet, row, col, edge)
            if line == "unknown":
                continue
            if name.endswith(".lineStyle"):
                cmp(loc, name, value, line[0] if line else -4142)
            elif line and ours.get((loc, "border%d.lineStyle" % edge)) not in (None, -4142):
                cmp(loc, name, value, line[1])


# PowerPoint ---------------------------------------------------------------

# PpSlideLayout from the AutoLayout LibreOffice gives a slide whose layout
# has the type (ST_SlideLayoutType) that PowerPoint reports as the code.
# Several types share an AutoLayout: each AutoLayout lists the codes it
# stands for.
LAYOUTS = {0: {1}, 1: {2}, 2: {8}, 3: {3, 29}, 4: {5}, 5: {7}, 6: {9}, 7: {6}, 8: {4}, 9: {10},
           10: {13}, 11: {16}, 12: {21}, 13: {14}, 14: {19}, 15: {22}, 16: {23}, 17: {20},
           18: {24}, 19: {11}, 20: {12, 32, 33, 34, 35, 36, 15, 17, 18, 25, 26, 27, 28, 30, 31},
           27: {28}, 28: {27}, 29: {25}}
# TransitionSpeed from the duration LibreOffice gives p:transition@spd
# (slow 1 s, medium 0.75 s, fast 0.5 s).
SPEEDS = {1.0: 1, 0.75: 2, 0.5: 3}
# MsoAutoShapeType of the preset geometries LibreOffice names.
SHAPES = {"rect": 1, "ooxml-rect": 1, "parallelogram": 2, "trapezoid": 3, "diamond": 4,
          "roundRect": 5, "round-rectangle": 5, "octagon": 6, "triangle": 7, "isosceles-triangle": 7,
          "rtTriangle": 8, "right-triangle": 8, "ellipse": 9, "hexagon": 10, "plus": 11, "cross": 11,
          "pentagon": 12, "can": 13, "cube": 14, "rightArrow": 33, "right-arrow": 33,
          "leftArrow": 34, "left-arrow": 34, "upArrow": 35, "up-arrow": 35, "downArrow": 36,
          "down-arrow": 36, "star5": 92, "star4": 91, "smileyFace": 17, "heart": 21, "moon": 24,
          "sun": 23}


def ppt_text(text):
    return text.replace("\r", "\n").replace("\x0b", "\n").replace("\u2028", "\n")


def ppt_font(paragraphs):
    """TextRange.Font over a shape's text: each value the common one, else
    "" or -2; the colour that of the first character; an empty text the
    formatting where typing begins (its first portion)."""
    runs = [r for para in paragraphs for r in para if r.get("text")]
    if not runs:
        runs = [r for para in paragraphs for r in para][:1]
    if not runs:
        return {}

    def common(values, mixed=-2):
        values = set(values)
        return values.pop() if len(values) == 1 else mixed

    flag = lambda b: -1 if b else 0
    first = runs[0]["CharColor"]
    return {
        "font.nameAscii": common((r["CharFontName"] for r in runs), ""),
        "font.nameFarEast": common((r["CharFontNameAsian"] for r in runs), ""),
        "font.size": common(r["CharHeight"] for r in runs),
        "font.bold": common(flag(r["CharWeight"] > 100) for r in runs),
        "font.italic": common(flag(posture(r["CharPosture"])) for r in runs),
        "font.underline": common(flag(r["CharUnderline"] != 0) for r in runs),
        "font.shadow": common(flag(r["CharShadowed"]) for r in runs),
        "font.colorRgb": office_rgb(first) if first != -1 else 0,
    }


def compare_ppt(ours, lo, cmp):
    slides = ours.get(("deck", "slideCount"))
    cmp("deck", "slideCount", slides, lo.get(("deck", "slideCount")))
    for i in range(1, min(slides or 0, lo.get(("deck", "slideCount")) or 0) + 1):
        sloc = "s%d" % i
        s = lo[(sloc, "slide")]
        layout = ours[(sloc, "layout")]
        codes = LAYOUTS.get(s["Layout"], set())
        cmp(sloc, "layout", layout, layout if layout in codes else sorted(codes) or s["Layout"])
        effect = ours[(sloc, "transition.entryEffect")]
        cmp(sloc, "transition.present", effect != 0, bool(s["TransitionType"]))
        change = s["Change"]
        cmp(sloc, "transition.advanceOnClick", ours[(sloc, "transition.advanceOnClick")],
            0 if change == 1 else -1)
        cmp(sloc, "transition.advanceOnTime", ours[(sloc, "transition.advanceOnTime")],
            -1 if change in (1, 2) else 0)
        if effect != 0 and s.get("TransitionDuration") in SPEEDS:
            cmp(sloc, "transition.speed", ours[(sloc, "transition.speed")],
                SPEEDS[s["TransitionDuration"]])
        cmp(sloc, "shapeCount", ours[(sloc, "shapeCount")], lo.get((sloc, "shapeCount")))
        # Shapes are joined by name, the n-th of a name with the n-th.
        lo_shapes = {}
        j = 1
        while ("%s/%d" % (sloc, j), "shape") in lo:
            e = lo[("%s/%d" % (sloc, j), "shape")]
            lo_shapes.setdefault(e["name"], []).append(e)
            j += 1
        seen = {}
        j = 1
        while ("%s/%d" % (sloc, j), "name") in ours:
            loc = "%s/%d" % (sloc, j)
            j += 1
            name = ours[(loc, "name")]
            n = seen.get(name, 0)
            seen[name] = n + 1
            candidates = lo_shapes.get(name, [])
            cmp(loc, "shape.inLibreOffice", True, n < len(candidates))
            if n >= len(candidates):
                continue
            e = candidates[n]
            if (loc, "text") in ours and "text" in e:
                cmp(loc, "text", ppt_text(ours[(loc, "text")]), ppt_text(e["text"]))
                # The font of an empty text is where typing would begin:
                # counted apart.
                prefix = "" if e["text"] else "emptyText."
                for prop, value in ppt_font(e["paragraphs"]).items():
                    cmp(loc, prefix + prop, ours[(loc, prop)], value)
            shape_type = SHAPES.get(e.get("geometry"))
            if e["type"] == "com.sun.star.drawing.GraphicObjectShape":
                shape_type = 1
            elif e["type"] in ("com.sun.star.drawing.GroupShape", "com.sun.star.drawing.LineShape",
                               "com.sun.star.drawing.ConnectorShape",
                               "com.sun.star.drawing.TableShape", "com.sun.star.drawing.OLE2Shape"):
                shape_type = -2
            if shape_type is not None and (loc, "autoShapeType") in ours:
                cmp(loc, "autoShapeType", ours[(loc, "autoShapeType")], shape_type)
            style = e.get("fillStyle")
            if style is not None and (loc, "fill.visible") in ours \
                    and e["type"] != "com.sun.star.drawing.GraphicObjectShape":
                cmp(loc, "fill.visible", ours[(loc, "fill.visible")], 0 if style == "NONE" else -1)
                if style == "SOLID" and ours[(loc, "fill.visible")] == -1:
                    cmp(loc, "fill.type", ours[(loc, "fill.type")], 1)
                    cmp(loc, "fill.foreColorRgb", ours[(loc, "fill.foreColorRgb")],
                        office_rgb(e["fillColor"]))


COMPARERS = {"word": compare_word, "excel": compare_excel, "ppt": compare_ppt}
NEEDS_PATH = {"excel"}


# ---------------------------------------------------------------- joining

def equal(a, b):
    if isinstance(a, bool) or isinstance(b, bool):
        return a == b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        # Points from 1/100 mm and twips; numbers as stored.
        return math.isclose(a, b, rel_tol=1e-9, abs_tol=0.06)
    return a == b


class KnownDifferences:
    def __init__(self, path):
        self.rules = []
        with open(path, encoding="utf-8") as f:
            for n, line in enumerate(f, 1):
                if not line.strip() or line.startswith("#"):
                    continue
                fields = line.rstrip("\n").split("\t")
                if len(fields) != 6:
                    raise SystemExit("%s:%d: six tab-separated fields expected" % (path, n))
                # Patterns have * and ?, no character classes: a "[" is itself.
                patterns = [f.replace("[", "[[]") for f in fields[:5]]
                self.rules.append({"fields": fields, "patterns": patterns, "line": n, "used": 0})

    def explain(self, file, loc, prop, ours, theirs):
        values = (file, loc, prop, show(ours), show(theirs))
        for rule in self.rules:
            if all(fnmatch.fnmatchcase(v, p) for v, p in zip(values, rule["patterns"])):
                rule["used"] += 1
                return rule
        return None


def show(v):
    return json.dumps(v, ensure_ascii=False)


def run_ours(binary, files):
    out = subprocess.run([binary] + files, stdout=subprocess.PIPE, check=True).stdout
    return [json.loads(line) for line in out.decode("utf-8").splitlines() if line]


def run_lo(soffice, files, timeout):
    cmd = [sys.executable, os.path.join(HERE, "lo_values.py"), "--soffice", soffice,
           "--timeout", str(timeout)] + files
    out = subprocess.run(cmd, stdout=subprocess.PIPE, check=True).stdout
    return [json.loads(line) for line in out.decode("utf-8").splitlines() if line]


def by_file(records):
    files = {}
    for r in records:
        entry = files.setdefault(r["file"], {"model": r["model"], "values": {}, "error": None})
        if "error" in r:
            entry["error"] = r["error"]
        else:
            entry["values"][(r["loc"], r["prop"])] = r["value"]
    return files


# ---------------------------------------------------------------- documents

def collect(folders):
    files = []
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in sorted(names):
                if os.path.splitext(name)[1].lower() in (".docx", ".xlsx", ".pptx"):
                    files.append(os.path.join(root, name))
    return sorted(files)


def generate(folder):
    """Writes the generated documents into folder; returns their paths (none
    when python3-docx or python3-openpyxl is missing)."""
    made = []
    try:
        sys.path.insert(0, HERE)
        import lo_generated
    except ImportError as e:
        print("lo_differential: generated documents left out (%s)" % e)
        return made
    made += lo_generated.make_word(folder)
    made += lo_generated.make_excel(folder)
    return made


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--model-values", required=True)
    parser.add_argument("--soffice", default="")
    parser.add_argument("--known", required=True)
    parser.add_argument("--documents", nargs="*", default=[])
    parser.add_argument("--corpus", default="")
    parser.add_argument("--default-corpus", default="")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--report", default="")
    parser.add_argument("--show", type=int, default=60, help="new disagreements listed at most")
    args = parser.parse_args()

    soffice = args.soffice or shutil.which("soffice") or ""
    if not soffice or not os.access(soffice, os.X_OK):
        skip("LibreOffice (soffice) is not installed")
    try:
        import uno  # noqa: F401
    except ImportError:
        skip("python3-uno is not installed for %s" % sys.executable)

    corpus = args.corpus or os.environ.get("BQ_CORPUS") or args.default_corpus
    folders = list(args.documents)
    if corpus and os.path.isdir(corpus):
        folders += [os.path.join(corpus, k) for k in ("docx", "xlsx", "pptx")]
        minimum = MINIMUM_WITH_CORPUS
    else:
        print("lo_differential: no corpus at %s: the repository's documents only" % (corpus or "(none)"))
        minimum = MINIMUM
    scratch = tempfile.mkdtemp(prefix="bq-lo-diff-docs-")
    try:
        files = collect(folders) + generate(scratch)
        started = time.monotonic()
        ours = by_file(run_ours(args.model_values, files))
        theirs = by_file(run_lo(soffice, files, args.timeout))
        elapsed = time.monotonic() - started
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    known = KnownDifferences(args.known)
    stats = {}  # model -> prop -> [compared, agreed, known]
    docs = {}
    new = []
    report = []

    def display(path):
        for folder in folders:
            if path.startswith(folder.rstrip("/") + "/"):
                return os.path.join(os.path.basename(folder.rstrip("/")), os.path.relpath(path, folder))
        if path.startswith(scratch):
            return "generated/" + os.path.basename(path)
        return path

    for path in files:
        name = display(path)
        o, t = ours.get(path), theirs.get(path)
        if o is None or t is None:
            print("lo_differential: %s: no values from %s" % (name, "our model" if o is None else "LibreOffice"))
            continue
        if t["error"]:
            print("lo_differential: %s: LibreOffice: %s (left out)" % (name, t["error"]))
            continue
        if o["error"]:
            print("lo_differential: %s: our model: %s (left out)" % (name, o["error"]))
            continue
        model = o["model"]
        docs[model] = docs.get(model, 0) + 1
        model_stats = stats.setdefault(model, {})

        def cmp(loc, prop, a, b, missing=False, key=None, nullable=False):
            # missing: one side has no such thing at all; nullable: LibreOffice's
            # null is a value (mixed), not a value it cannot give.
            if b is None and a is not None and not (missing or nullable) and prop != "value":
                return
            s = model_stats.setdefault(prop, [0, 0, 0])
            s[0] += 1
            if not missing and (equal(key(a), key(b)) if key else equal(a, b)):
                s[1] += 1
                return
            rule = known.explain(name, loc, prop, a, b)
            if rule:
                s[2] += 1
                report.append("known\t%s\t%s\t%s\t%s\t%s\t%s" % (name, loc, prop, show(a), show(b),
                                                                  rule["fields"][5]))
            else:
                new.append((name, loc, prop, show(a), show(b)))

        if model in NEEDS_PATH:
            COMPARERS[model](o["values"], t["values"], cmp, path)
        else:
            COMPARERS[model](o["values"], t["values"], cmp)

    print("lo_differential: %d documents in %.0f s" % (sum(docs.values()), elapsed))
    failed = False
    for model in ("word", "excel", "ppt"):
        model_stats = stats.get(model, {})
        compared = sum(s[0] for s in model_stats.values())
        agreed = sum(s[1] for s in model_stats.values())
        explained = sum(s[2] for s in model_stats.values())
        print("%s: %d documents, %d values, %d agree (%.1f%%), %d known differences, %d new" % (
            model, docs.get(model, 0), compared, agreed, 100.0 * agreed / max(compared, 1), explained,
            compared - agreed - explained))
        for prop in sorted(model_stats):
            c, a, k = model_stats[prop]
            print("  %-32s %7d compared %7d agree %6.1f%% %5d known %5d new" % (
                prop, c, a, 100.0 * a / c, k, c - a - k))
        need = minimum[model]
        if docs.get(model, 0) < need["docs"] or compared < need["values"]:
            print("lo_differential: %s: %d documents and %d values compared, at least %d and %d expected"
                  % (model, docs.get(model, 0), compared, need["docs"], need["values"]))
            failed = True
    # Rows of corpus documents match nothing in a run without the corpus.
    unused = [r for r in known.rules if not r["used"]
              and (minimum is MINIMUM_WITH_CORPUS or r["fields"][0].split("/")[0] not in ("docx", "xlsx", "pptx"))]
    for r in unused:
        print("lo_differential: known difference on line %d matched nothing here: %s" % (
            r["line"], "\t".join(r["fields"][:5])))
    if new:
        print("lo_differential: %d new disagreements (file, locator, property, ours, LibreOffice's):" % len(new))
        for d in new[:args.show]:
            print("  " + "\t".join(d))
        if len(new) > args.show:
            print("  ... and %d more" % (len(new) - args.show))
        failed = True
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in report))
            f.write("".join("new\t" + "\t".join(d) + "\n" for d in new))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

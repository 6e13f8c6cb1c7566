# LibreOffice's side of the differential test (lo_differential.py): reads,
# through LibreOffice's own API (UNO), the values that model_values.cpp reads
# through our object models, and prints them one JSON object a line in the
# same form:
#
#   {"file": "...", "model": "word", "loc": "p12", "prop": "alignment", "value": {...}}
#
# The values are LibreOffice's as its API gives them (1/100 mm, its enums,
# colours as 0xRRGGBB): lo_differential.py applies Office's rules to them.
# Locations follow model_values.cpp's, except that Word paragraphs are
# numbered in LibreOffice's own order (the comparer pairs them by text) and
# PowerPoint shapes are named by their position among the page's shapes.
#
# One LibreOffice serves every document: started headless with a private
# profile, reached over a named pipe (as uno_converter.py does). A document
# whose loading and reading take longer than the timeout ends that
# LibreOffice; the document is reported with an "error" line and a new one
# serves the rest. Run with the distribution's python3, which has python3-uno.
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException

# The same bounds as model_values.cpp's.
MAX_ROWS = 120
MAX_COLUMNS = 30
MAX_PARAGRAPHS = 600


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


class Office:
    """One headless LibreOffice with its own profile, on a named pipe."""

    def __init__(self, soffice):
        self.soffice = soffice
        self.profile = tempfile.mkdtemp(prefix="bq-lo-diff-")
        self.pipe = "bq_lo_diff_%d_%d" % (os.getpid(), int(time.time() * 1000))
        self.process = subprocess.Popen(
            [soffice, "-env:UserInstallation=" + uno.systemPathToFileUrl(self.profile),
             "--headless", "--invisible", "--norestore", "--nologo", "--nolockcheck", "--nodefault",
             "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + 60
        while True:
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except NoConnectException:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.end()
                    raise RuntimeError("LibreOffice did not start")
                time.sleep(0.05)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    def load(self, path):
        return self.desktop.loadComponentFromURL(
            uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
            (prop("Hidden", True), prop("ReadOnly", True), prop("MacroExecutionMode", 0),
             prop("UpdateDocMode", 0)))

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()

    def end(self):
        try:
            if self.process.poll() is None:
                self.desktop.terminate()
        except Exception:
            pass
        try:
            self.process.wait(10)
        except (subprocess.TimeoutExpired, AttributeError):
            self.kill()
            self.process.wait(10)
        shutil.rmtree(self.profile, ignore_errors=True)


class Printer:
    def __init__(self, file, model):
        self.file, self.model = file, model
        self.lines = []

    def value(self, loc, name, value):
        self.lines.append(json.dumps({"file": self.file, "model": self.model, "loc": loc,
                                      "prop": name, "value": value}, ensure_ascii=False))


def props(obj, names):
    """The properties `names` of obj in one call, as a dict."""
    names = sorted(names)
    try:
        return dict(zip(names, obj.getPropertyValues(tuple(names))))
    except AttributeError:  # no XMultiPropertySet (table cells)
        return {n: obj.getPropertyValue(n) for n in names}


def plain(v):
    """A UNO value as JSON: structs as dicts of their fields."""
    if isinstance(v, (bool, int, float, str)) or v is None:
        return v
    if isinstance(v, (tuple, list)):
        return [plain(x) for x in v]
    if hasattr(v, "value") and hasattr(v, "typeName"):  # uno.Enum
        return v.value
    fields = {}
    for name in dir(v):
        if name.startswith("_") or name in ("typeName", "value"):
            continue
        try:
            x = getattr(v, name)
        except Exception:
            continue
        if callable(x):
            continue
        fields[name] = plain(x)
    return fields


# ---------------------------------------------------------------- Writer

CHAR_PROPS = ["CharFontName", "CharFontNameAsian", "CharFontNameComplex", "CharHeight",
              "CharHeightAsian", "CharHeightComplex", "CharWeight", "CharWeightAsian",
              "CharWeightComplex", "CharPosture", "CharPostureAsian", "CharPostureComplex",
              "CharUnderline", "CharWordMode", "CharColor"]
PARA_PROPS = ["ParaAdjust", "ParaLastLineAdjust", "ParaLineSpacing", "PageDescName",
              "PageStyleName", "TextSection"]


def read_paragraph(para, cell=None):
    p = props(para, PARA_PROPS + CHAR_PROPS)
    portions = []
    enum = para.createEnumeration()
    while enum.hasMoreElements():
        portion = enum.nextElement()
        kind = portion.TextPortionType
        if kind not in ("Text", "TextField", "ContentControl", "InContentMetadata"):
            portions.append({"type": kind})
            continue
        text = portion.getString()
        if kind == "ContentControl" and not text:
            # An inline content control (w:sdt): its text is its own.
            try:
                text = portion.ContentControl.getString()
            except Exception:
                pass
        if kind == "Text" and not text:
            continue
        entry = props(portion, CHAR_PROPS)
        entry["CharPosture"] = plain(entry["CharPosture"])
        entry["CharPostureAsian"] = plain(entry["CharPostureAsian"])
        entry["CharPostureComplex"] = plain(entry["CharPostureComplex"])
        entry["type"] = kind
        entry["text"] = text
        portions.append(entry)
    mark = {k: plain(p[k]) for k in CHAR_PROPS}
    # Columns of a section with a page style of its own are those of its
    # text section where it has one.
    section = p["TextSection"]
    columns = section.TextColumns.getColumnCount() if section is not None else 0
    ls = p["ParaLineSpacing"]
    return {"text": "".join(x.get("text", "") for x in portions),
            "adjust": plain(p["ParaAdjust"]), "lastAdjust": plain(p["ParaLastLineAdjust"]),
            "lineSpacing": {"mode": ls.Mode, "height": ls.Height},
            "pageDesc": p["PageDescName"], "pageStyle": p["PageStyleName"],
            "portions": portions, "mark": mark, "cell": cell, "columns": columns}


def walk_text(text, paras):
    enum = text.createEnumeration()
    while enum.hasMoreElements() and len(paras) < MAX_PARAGRAPHS:
        el = enum.nextElement()
        if el.supportsService("com.sun.star.text.TextTable"):
            walk_table(el, paras)
        elif el.supportsService("com.sun.star.text.Paragraph"):
            paras.append(read_paragraph(el))


def cell_row(name):
    digits = ""
    for c in name.split(".")[0]:
        if c.isdigit():
            digits += c
    return int(digits or 0)


def walk_table(table, paras):
    names = table.getCellNames()
    rows = []
    for name in names:
        r = cell_row(name)
        if not rows or rows[-1][0] != r:
            rows.append((r, []))
        rows[-1][1].append(name)
    for _, cells in rows:
        for name in cells:
            cell = table.getCellByName(name)
            c = props(cell, ["BackColor", "VertOrient"])
            info = {"name": name, "back": c["BackColor"], "vert": c["VertOrient"]}
            start = len(paras)
            walk_text(cell, paras)
            for p in paras[start:]:
                if p.get("cell") is None:
                    p["cell"] = info
            if len(paras) > start:
                paras[len(paras) - 1]["cellEnd"] = True
        # Word counts the end of a row as a paragraph of its own.
        paras.append({"rowEnd": True, "text": ""})
        if len(paras) >= MAX_PARAGRAPHS:
            return


def story_text(text):
    """A header's or footer's text, its tables' cells included."""
    paras = []
    walk_text(text, paras)
    return "".join(p["text"] for p in paras)


PAGE_PROPS = ["Width", "Height", "IsLandscape", "TopMargin", "BottomMargin", "LeftMargin",
              "RightMargin", "HeaderIsOn", "HeaderHeight", "HeaderBodyDistance", "FooterIsOn",
              "FooterHeight", "FooterBodyDistance", "TextColumns"]


def read_writer(doc, out):
    paras = []
    walk_text(doc.Text, paras)
    styles = doc.StyleFamilies.getByName("PageStyles")
    sections = []  # (page style, the most columns of its text sections)
    for p in paras:
        if p.get("rowEnd"):
            continue
        if not sections:
            sections.append([p["pageStyle"], 0])
        elif p["pageDesc"]:
            sections.append([p["pageDesc"], 0])
        sections[-1][1] = max(sections[-1][1], p["columns"])
    out.value("doc", "sectionCount", len(sections))
    for i, (name, section_columns) in enumerate(sections, 1):
        style = styles.getByName(name)
        s = props(style, PAGE_PROPS)
        s["TextColumns"] = s["TextColumns"].getColumnCount() if s["TextColumns"] else 1
        s["SectionColumns"] = section_columns
        s["HeaderText"] = story_text(style.HeaderText) if s["HeaderIsOn"] else None
        s["FooterText"] = story_text(style.FooterText) if s["FooterIsOn"] else None
        out.value("sec%d" % i, "page", s)
    for i, p in enumerate(paras, 1):
        out.value("p%d" % i, "paragraph", p)
    out.value("doc", "tableCount", doc.TextTables.Count)


# ---------------------------------------------------------------- Calc

CELL_PROPS = ["CharFontName", "CharHeight", "CharWeight", "HoriJustify", "HoriJustifyMethod",
              "VertJustify", "VertJustifyMethod", "CellBackColor", "IsCellBackgroundTransparent", "NumberFormat",
              "LeftBorder2", "TopBorder2", "RightBorder2", "BottomBorder2"]


def column_name(c):
    name = ""
    while c > 0:
        name = chr(ord("A") + (c - 1) % 26) + name
        c = (c - 1) // 26
    return name


def border(line):
    return {"style": line.LineStyle, "width": line.LineWidth, "outer": line.OuterLineWidth,
            "inner": line.InnerLineWidth, "color": line.Color}


def text_runs(cell):
    """The fonts of a text cell's runs (rich text), when it has several or
    one of its own: [name, height, weight] each."""
    runs = []
    enum = cell.getText().createEnumeration()
    while enum.hasMoreElements():
        penum = enum.nextElement().createEnumeration()
        while penum.hasMoreElements():
            portion = penum.nextElement()
            if portion.getString():
                p = props(portion, ["CharFontName", "CharHeight", "CharWeight"])
                runs.append([p["CharFontName"], p["CharHeight"], p["CharWeight"]])
    return runs


def read_calc(doc, out):
    sheets = doc.Sheets
    names = list(sheets.ElementNames)
    out.value("book", "sheetNames", names)
    formats = doc.NumberFormats
    # Formulas as Excel's formula bar shows them in R1C1 notation.
    parser = doc.createInstance("com.sun.star.sheet.FormulaParser")
    mapper = doc.createInstance("com.sun.star.sheet.FormulaOpCodeMapper")
    # FormulaLanguage OOXML, FormulaMapGroup ALL_EXCEPT_SPECIAL.
    parser.OpCodeMap = mapper.getAvailableMappings(5, 0x7FFFFFFF)
    parser.CompileEnglish = True
    parser.FormulaConvention = 2  # AddressConvention XL_R1C1
    format_codes = {}
    for name in names:
        sheet = sheets.getByName(name)
        last_row = last_col = 0
        # Values, text, dates and formulas: Excel's last cell ignores formatting.
        for a in sheet.queryContentCells(1 | 2 | 4 | 16).RangeAddresses:
            last_row = max(last_row, a.EndRow + 1)
            last_col = max(last_col, a.EndColumn + 1)
        out.value(name, "lastRow", last_row)
        out.value(name, "lastColumn", last_col)
        rows, cols = min(last_row, MAX_ROWS), min(last_col, MAX_COLUMNS)
        if not rows or not cols:
            continue
        block = sheet.getCellRangeByPosition(0, 0, cols - 1, rows - 1)
        formulas = block.getFormulaArray()
        data = block.getDataArray()
        merged = set()
        for r in range(rows):
            for c in range(cols):
                cell = sheet.getCellByPosition(c, r)
                if cell.getIsMerged():
                    cursor = sheet.createCursorByRange(cell)
                    cursor.collapseToMergedArea()
                    a = cursor.RangeAddress
                    for rr in range(a.StartRow, a.EndRow + 1):
                        for cc in range(a.StartColumn, a.EndColumn + 1):
                            merged.add((rr, cc))
        for r in range(rows):
            for c in range(cols):
                loc = "%s!%s%d" % (name, column_name(c + 1), r + 1)
                cell = sheet.getCellByPosition(c, r)
                formula = formulas[r][c]
                value = data[r][c]
                entry = {"formula": formula, "data": value, "type": cell.Type.value}
                if formula.startswith("=") and cell.Type.value == "FORMULA":
                    entry["error"] = cell.getError()
                    entry["resultType"] = cell.FormulaResultType2
                    try:
                        entry["r1c1"] = parser.printFormula(cell.getTokens(), cell.CellAddress)
                    except Exception:
                        pass
                elif cell.Type.value == "TEXT":
                    entry["data"] = cell.getString()
                    entry["runs"] = text_runs(cell)
                p = props(cell, CELL_PROPS)
                key = p["NumberFormat"]
                if key not in format_codes:
                    f = formats.getByKey(key)
                    format_codes[key] = {"code": f.FormatString, "type": f.Type}
                entry.update({
                    "font": p["CharFontName"], "size": p["CharHeight"], "weight": p["CharWeight"],
                    "hori": plain(p["HoriJustify"]), "horiMethod": p["HoriJustifyMethod"],
                    "vert": p["VertJustify"], "vertMethod": p["VertJustifyMethod"], "back": p["CellBackColor"],
                    "transparent": p["IsCellBackgroundTransparent"],
                    "format": format_codes[key], "merged": (r, c) in merged,
                    "left": border(p["LeftBorder2"]), "top": border(p["TopBorder2"]),
                    "right": border(p["RightBorder2"]), "bottom": border(p["BottomBorder2"])})
                out.value(loc, "cell", entry)


# ---------------------------------------------------------------- Impress

SLIDE_PROPS = ["Layout", "TransitionType", "TransitionSubtype", "TransitionDirection",
               "TransitionFadeColor", "Speed", "TransitionDuration", "Change", "Duration", "Effect"]
SHAPE_CHAR_PROPS = ["CharFontName", "CharFontNameAsian", "CharHeight", "CharWeight",
                    "CharPosture", "CharUnderline", "CharShadowed", "CharColor"]


def read_text_shape(shape):
    paragraphs = []
    enum = shape.getText().createEnumeration()
    while enum.hasMoreElements():
        para = enum.nextElement()
        portions = []
        penum = para.createEnumeration()
        while penum.hasMoreElements():
            portion = penum.nextElement()
            e = props(portion, SHAPE_CHAR_PROPS)
            e["CharPosture"] = plain(e["CharPosture"])
            e["text"] = portion.getString()
            e["type"] = portion.TextPortionType
            portions.append(e)
        paragraphs.append(portions)
    return paragraphs


def read_impress(doc, out):
    pages = doc.DrawPages
    out.value("deck", "slideCount", pages.Count)
    for i in range(pages.Count):
        page = pages.getByIndex(i)
        sloc = "s%d" % (i + 1)
        s = {}
        for name in SLIDE_PROPS:
            try:
                s[name] = plain(page.getPropertyValue(name))
            except Exception:
                s[name] = None
        out.value(sloc, "slide", s)
        out.value(sloc, "shapeCount", page.Count)
        for j in range(page.Count):
            shape = page.getByIndex(j)
            e = {"name": shape.Name, "type": shape.ShapeType}
            info = shape.getPropertySetInfo()
            if info.hasPropertyByName("FillStyle"):
                e["fillStyle"] = plain(shape.FillStyle)
                e["fillColor"] = shape.FillColor
            if info.hasPropertyByName("CustomShapeGeometry"):
                geometry = {g.Name: g.Value for g in shape.CustomShapeGeometry}
                e["geometry"] = geometry.get("Type")
            if hasattr(shape, "getText") and shape.ShapeType not in (
                    "com.sun.star.drawing.GroupShape", "com.sun.star.drawing.TableShape"):
                try:
                    e["paragraphs"] = read_text_shape(shape)
                    e["text"] = shape.getString()
                except Exception:
                    pass
            try:
                e["isEmptyPresentationObject"] = shape.IsEmptyPresentationObject
            except Exception:
                pass
            out.value("%s/%d" % (sloc, j + 1), "shape", e)


# ---------------------------------------------------------------- driver

READERS = {"word": read_writer, "excel": read_calc, "ppt": read_impress}
MODELS = {".docx": "word", ".docm": "word", ".xlsx": "excel", ".xlsm": "excel",
          ".pptx": "ppt", ".pptm": "ppt"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--soffice", default="soffice")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    office = Office(args.soffice)
    try:
        for path in args.files:
            model = MODELS.get(os.path.splitext(path)[1].lower())
            out = Printer(path, model)
            timer = threading.Timer(args.timeout, office.kill)
            timer.start()
            doc = None
            error = None
            try:
                doc = office.load(path)
                if doc is None:
                    raise RuntimeError("LibreOffice cannot load the file")
                READERS[model](doc, out)
            except Exception as e:
                error = "%s: %s" % (type(e).__name__, " ".join(str(e).split())[:200])
            finally:
                timer.cancel()
                if doc is not None:
                    try:
                        doc.close(True)
                    except Exception:
                        pass
            if office.process.poll() is not None:
                error = "timed out after %g s (LibreOffice ended)" % args.timeout
                office.end()
                office = Office(args.soffice)
            if error:
                out.lines = [json.dumps({"file": path, "model": model, "error": error})]
            sys.stdout.write("".join(line + "\n" for line in out.lines))
            sys.stdout.flush()
    finally:
        office.end()
    return 0


if __name__ == "__main__":
    sys.exit(main())

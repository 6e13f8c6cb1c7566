# The rules lo_differential.py applies to LibreOffice's values, and its
# joining, on values written here (no LibreOffice needed):
#
#   python3 lo_differential_test.py
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lo_differential as d  # noqa: E402


def portion(text, **props):
    p = {"text": text, "CharFontName": "Times New Roman", "CharFontNameAsian": "宋体",
         "CharFontNameComplex": "Arial", "CharHeight": 10.5, "CharHeightAsian": 10.5,
         "CharHeightComplex": 10.5, "CharWeight": 100.0, "CharWeightAsian": 100.0,
         "CharWeightComplex": 100.0, "CharPosture": "NONE", "CharPostureAsian": "NONE",
         "CharPostureComplex": "NONE", "CharUnderline": 0, "CharWordMode": False, "CharColor": -1}
    p.update(props)
    return p


class Rules(unittest.TestCase):
    def test_nearest_colour_takes_the_lower_index_among_equals(self):
        self.assertEqual(d.nearest(d.WORD_COLOURS, 0xFF0000), 6)
        # 0070C0 is as near to blue as to teal by no means: teal (10) wins.
        self.assertEqual(d.nearest(d.WORD_COLOURS, 0x0070C0), 10)
        # Excel's palette repeats colours: the first of them.
        self.assertEqual(d.nearest(d.EXCEL_PALETTE, 0x0000FF), 5)

    def test_paper_size_in_either_orientation_within_a_point(self):
        self.assertEqual(d.paper_size(21000, 29700), 7)
        self.assertEqual(d.paper_size(29700, 21000), 7)
        self.assertEqual(d.paper_size(21590, 27940), 2)
        self.assertEqual(d.paper_size(20000, 25000), 41)

    def test_alignment_and_line_spacing(self):
        self.assertEqual(d.word_alignment(2, 0), 3)
        self.assertEqual(d.word_alignment(2, 2), 4)
        self.assertEqual(d.word_alignment(3, 0), 1)
        self.assertEqual(d.word_line_spacing(0, 150), (1, 18.0))
        self.assertEqual(d.word_line_spacing(0, 115), (5, 13.8))
        rule, points = d.word_line_spacing(3, 706)
        self.assertEqual(rule, 4)
        self.assertAlmostEqual(points, 20.0, delta=0.05)

    def test_font_by_script_of_each_character(self):
        # Latin in Times New Roman, Chinese in 宋体: the name differs.
        font = d.word_font([portion("Word 中文")], portion(""))
        self.assertEqual(font["font.name"], "")
        self.assertEqual(font["font.size"], 10.5)
        # Only Chinese, with a space (weak) after it: the East Asian font.
        self.assertEqual(d.word_font([portion("中文 ")], portion(""))["font.name"], "宋体")
        # Bold on the East Asian characters only.
        mixed = d.word_font([portion("ab", CharWeightAsian=150.0), portion("中", CharWeightAsian=150.0)],
                            portion(""))
        self.assertEqual(mixed["font.bold"], 9999999)
        # An empty paragraph reads its mark.
        self.assertEqual(d.word_font([], portion("", CharColor=0xFF0000))["font.colorIndex"], 6)
        # A single underline of words only is wdUnderlineWords.
        self.assertEqual(d.word_font([portion("a", CharUnderline=1, CharWordMode=True)],
                                     portion(""))["font.underline"], 2)

    def test_page_margins_with_header_and_footer(self):
        page = {"Width": 21000, "Height": 29700, "IsLandscape": False, "TopMargin": 1500,
                "BottomMargin": 1750, "LeftMargin": 3175, "RightMargin": 3175, "HeaderIsOn": True,
                "HeaderHeight": 1040, "HeaderBodyDistance": 0, "FooterIsOn": False,
                "FooterHeight": 0, "FooterBodyDistance": 0, "TextColumns": 0, "SectionColumns": 2,
                "HeaderText": "页眉\uf028", "FooterText": None}
        v = d.word_page(page)
        self.assertAlmostEqual(v["topMargin"], 72.0, delta=0.01)
        self.assertAlmostEqual(v["headerDistance"], 42.52, delta=0.01)
        self.assertNotIn("footerDistance", v)
        self.assertEqual(v["columns"], 2)
        self.assertEqual(v["header.text"], "页眉(")
        self.assertEqual(v["footer.text"], "")

    def test_excel_border_from_the_neighbour(self):
        none = {"style": 32767, "width": 0, "outer": 0, "inner": 0, "color": 0}
        thin = {"style": 0, "width": 26, "outer": 26, "inner": 0, "color": 0}
        double = {"style": 15, "width": 53, "outer": 9, "inner": 9, "color": 0}

        def cell(merged=False, **sides):
            c = {"left": none, "top": none, "right": none, "bottom": none, "merged": merged}
            c.update(sides)
            return c

        cells = {("s", 1, 1): cell(right=thin), ("s", 1, 2): cell(bottom=double),
                 ("s", 2, 2): cell(merged=True)}
        self.assertEqual(d.excel_border(cells, "s", 1, 2, 7), (1, 2))  # A1's right side
        self.assertEqual(d.excel_border(cells, "s", 1, 2, 9), (-4119, 4))
        self.assertIsNone(d.excel_border(cells, "s", 1, 1, 8))  # the sheet's edge
        self.assertEqual(d.excel_border(cells, "s", 1, 1, 9), "unknown")  # not read
        self.assertEqual(d.excel_border(cells, "s", 2, 2, 7), "unknown")  # merged

    def test_formats_and_formulas(self):
        self.assertEqual(d.excel_format("General;[RED]-General"), "G/通用格式;[红色]-G/通用格式")
        self.assertEqual(d.format_key("yyyy/m/d\\ h:mm"), d.format_key("YYYY/M/D H:MM"))
        self.assertNotEqual(d.format_key("0.00"), d.format_key("0.0"))
        self.assertEqual(d.excel_formula('IF(TRUE(),"TRUE()",FALSE())'), 'IF(TRUE,"TRUE()",FALSE)')
        self.assertEqual(d.excel_formula("MYTRUE()"), "MYTRUE()")
        self.assertEqual(d.excel_formula("['file:///C:/My%20Docs/Bob''s.xlsx']'It''s'!RC[-1]*2"),
                         "'C:\\My Docs\\[Bob''s.xlsx]It''s'!RC[-1]*2")
        self.assertEqual(d.excel_formula("SUM(['file:///Users/x/B.xls']Sheet1!R1C1:R2C1)"),
                         "SUM('\\Users\\x\\[B.xls]Sheet1'!R1C1:R2C1)")
        self.assertEqual(d.excel_formula("['file://srv/share/B.xlsx']S!RC"),
                         "'\\\\srv\\share\\[B.xlsx]S'!RC")


class Joining(unittest.TestCase):
    def known(self, rows):
        f = tempfile.NamedTemporaryFile("w", suffix=".tsv", delete=False, encoding="utf-8")
        f.write("# comment\n" + "".join("\t".join(r) + "\n" for r in rows))
        f.close()
        self.addCleanup(os.unlink, f.name)
        return d.KnownDifferences(f.name)

    def test_a_row_explains_only_what_it_names(self):
        known = self.known([("xlsx/a.xlsx", "S!*", "numberFormatLocal", '"[DBNum1]*"', "*", "why")])
        self.assertIsNotNone(known.explain("xlsx/a.xlsx", "S!A1", "numberFormatLocal", "[DBNum1]G", "x"))
        # "[" is itself, not a character class.
        self.assertIsNone(known.explain("xlsx/a.xlsx", "S!A1", "numberFormatLocal", "D", "x"))
        self.assertIsNone(known.explain("xlsx/b.xlsx", "S!A1", "numberFormatLocal", "[DBNum1]G", "x"))
        self.assertIsNone(known.explain("xlsx/a.xlsx", "T!A1", "numberFormatLocal", "[DBNum1]G", "x"))

    def test_a_row_without_six_fields_is_refused(self):
        with self.assertRaises(SystemExit):
            self.known([("a", "b", "c")])

    def test_paragraphs_pair_by_text_and_report_the_unpaired(self):
        ours = {}
        for i, (text, align) in enumerate([("一\r", 0), ("\f", 0), ("二\r", 1), ("三\r", 2)], 1):
            ours[("p%d" % i, "text")] = text
            ours[("p%d" % i, "inTable")] = False
            ours[("p%d" % i, "alignment")] = align
        ours[("doc", "sectionCount")] = 0
        ours[("doc", "tableCount")] = 0

        def para(text, adjust):
            return {"text": text, "adjust": adjust, "lastAdjust": 0,
                    "lineSpacing": {"mode": 0, "height": 100}, "portions": [], "mark": {}, "cell": None}

        lo = {("doc", "sectionCount"): 0, ("doc", "tableCount"): 0,
              ("p1", "paragraph"): para("一", 0), ("p2", "paragraph"): para("二", 3),
              ("p3", "paragraph"): para("三", 0)}
        seen = []
        d.compare_word(ours, lo, lambda loc, prop, a, b, **kw: seen.append((loc, prop, a, b)))
        self.assertIn(("p2", "paragraph", "\f", None), seen)  # only in ours
        self.assertIn(("p3", "alignment", 1, 1), seen)  # 二 with 二
        self.assertIn(("p4", "alignment", 2, 0), seen)  # 三 with 三: a disagreement


if __name__ == "__main__":
    unittest.main()

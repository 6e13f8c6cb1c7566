#!/usr/bin/python3
"""Writes the model answers of the demo papers (models/ beside this script).

  /usr/bin/python3 make_models.py PAPERS_SRC BQCALL [SOFFICE]

PAPERS_SRC is the assembled source folder of the build tree
(<build>/demo/papers-src, which holds the packed question documents), BQCALL
the built bqcall, SOFFICE LibreOffice's soffice (default: soffice on PATH).

Each model answer is the question document with the question's tasks done,
written by a real producer:

  wordtest/festival.docx, wordtest/tea.docx, wordtable/scores.docx
      python-docx (Debian's python3-docx), with its XML element API for what
      it has no method for (drop cap, columns, borders, shading)
  exceltest/sales_1.xlsx, exceltest/sales_2.xlsx
      openpyxl (python3-openpyxl), one workbook per Excel question
  powerpoint/hometown.pptx
      LibreOffice Impress (soffice --convert-to pptx, private profile) from
      the question deck with the tasks done in its PresentationML
  operation/<id>.txt
      the folder listing FileUpLoad sends (GBK, one line, CR LF): the starting
      tree made by BQCOM.CreateOpDirs through bqcall, the tasks done with
      Python's file operations, the listing read by GetOperationZSD and
      joined by JoinOpZSD
  e_mail/<id>.eml
      Python's email package, with the envelope lines (x-sender, x-receiver)
      that the exam's mail drop folder writes before each message

The expected knowledge points are not written here: `bqdb build` runs the
library's extractors on these files.

Each producer takes the numbers of the question's tasks to do, all of them by
default; make_half_answers.py runs the same producers on part of the tasks.
"""
import copy
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
from email.message import EmailMessage

import docx
from docx.enum.text import WD_ALIGN_PARAGRAPH, WD_LINE_SPACING
from docx.oxml import OxmlElement
from docx.oxml.ns import qn
from docx.shared import Cm, Pt, RGBColor
import openpyxl
from openpyxl.styles import Alignment, Border, Font, Side

HERE = os.path.dirname(os.path.abspath(__file__))
# Where out() writes; make_half_answers.py points it at half/.
OUT_ROOT = HERE


def out(*parts):
    path = os.path.join(OUT_ROOT, *parts)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


# ---------------------------------------------------------------------------
# Word

def set_east_asian_font(run, name):
    run.font.name = name
    rpr = run._element.get_or_add_rPr()
    rpr.get_or_add_rFonts().set(qn("w:eastAsia"), name)


def first_line_indent_chars(paragraph, chars):
    ind = paragraph._p.get_or_add_pPr().get_or_add_ind()
    ind.set(qn("w:firstLineChars"), str(chars * 100))


def festival(src, tasks=(1, 2, 3, 4, 5)):
    d = docx.Document(src)
    title, *body = d.paragraphs
    if 1 in tasks:
        title.alignment = WD_ALIGN_PARAGRAPH.CENTER
        for r in title.runs:
            set_east_asian_font(r, "黑体")
            r.font.size = Pt(22)  # 二号
            r.font.bold = True
    if 2 in tasks:
        for p in body:
            first_line_indent_chars(p, 2)
            p.paragraph_format.line_spacing_rule = WD_LINE_SPACING.ONE_POINT_FIVE
    if 3 in tasks:
        for r in body[0].runs:
            set_east_asian_font(r, "楷体")
            r.font.size = Pt(12)  # 小四
    if 4 in tasks:
        # Every 春节 of the body in red: each run is cut around its occurrences.
        for p in body:
            for r in list(p.runs):
                parts = re.split("(春节)", r.text)
                if len(parts) == 1:
                    continue
                r.text = parts[0]
                anchor = r._element
                for part in parts[1:]:
                    if not part:
                        continue
                    new = copy.deepcopy(r._element)
                    for t in new.findall(qn("w:t")):
                        new.remove(t)
                    anchor.addnext(new)
                    anchor = new
                    run = docx.text.run.Run(new, p)
                    run.text = part
                    if part == "春节":
                        run.font.color.rgb = RGBColor(0xFF, 0x00, 0x00)
    if 5 in tasks:
        s = d.sections[0]
        s.top_margin = s.bottom_margin = Cm(2.5)
        s.left_margin = s.right_margin = Cm(3)
    d.save(out("wordtest", "festival.docx"))


def tea(src, tasks=(1, 2, 3, 4, 5)):
    d = docx.Document(src)
    title, first, second, last = d.paragraphs
    if 1 in tasks:
        title.alignment = WD_ALIGN_PARAGRAPH.CENTER
        for r in title.runs:
            set_east_asian_font(r, "隶书")
            r.font.size = Pt(26)  # 一号
            r.font.color.rgb = RGBColor(0x00, 0x00, 0xFF)
    if 2 in tasks:
        # Drop cap of two lines: the first character in a frame paragraph of its own.
        text = first.runs[0].text
        first.runs[0].text = text[1:]
        cap = first.insert_paragraph_before()
        frame = OxmlElement("w:framePr")
        frame.set(qn("w:dropCap"), "drop")
        frame.set(qn("w:lines"), "2")
        frame.set(qn("w:wrap"), "around")
        frame.set(qn("w:vAnchor"), "text")
        frame.set(qn("w:hAnchor"), "text")
        cap._p.get_or_add_pPr().insert(0, frame)
        cap_run = cap.add_run(text[0])
        cap_run.font.size = Pt(42)
    if 3 in tasks:
        # The second body paragraph in two equal columns with a line between: a
        # continuous section of its own, ended by a section break before and after.
        body = d.element.body
        final = body.find(qn("w:sectPr"))

        def section_break(paragraph, columns, separator):
            sect = copy.deepcopy(final)
            cols = sect.find(qn("w:cols"))
            cols.set(qn("w:num"), str(columns))
            if separator:
                cols.set(qn("w:sep"), "1")
            if columns > 1:
                cols.set(qn("w:equalWidth"), "1")
            kind = OxmlElement("w:type")
            kind.set(qn("w:val"), "continuous")
            sect.insert(0, kind)
            paragraph._p.get_or_add_pPr().append(sect)

        section_break(first, 1, False)
        section_break(second, 2, True)
        start = OxmlElement("w:type")
        start.set(qn("w:val"), "continuous")
        final.insert(0, start)
    if 4 in tasks:
        # Header on every section (the later ones follow the first).
        d.sections[0].header.is_linked_to_previous = False
        d.sections[0].header.paragraphs[0].text = "中国茶文化"
    if 5 in tasks:
        last.paragraph_format.space_before = None
        spacing = last._p.get_or_add_pPr().get_or_add_spacing()
        spacing.set(qn("w:beforeLines"), "50")  # 0.5 行
    d.save(out("wordtest", "tea.docx"))


def border_element(tag, kind, eighths):
    e = OxmlElement(tag)
    e.set(qn("w:val"), kind)
    e.set(qn("w:sz"), str(eighths))
    e.set(qn("w:space"), "0")
    e.set(qn("w:color"), "000000")
    return e


def scores(src, tasks=(1, 2, 3, 4, 5)):
    d = docx.Document(src)
    table = d.tables[0]
    tbl_pr = table._tbl.tblPr
    if 1 in tasks:
        table.add_column(Cm(2.4))
    header, *people = table.rows
    if 1 in tasks:
        header.cells[-1].text = "总分"
        for row in people:
            total = sum(int(c.text) for c in row.cells[1:-1])
            row.cells[-1].text = str(total)
    if 2 in tasks:
        avg = table.add_row()
        avg.cells[0].text = "平均分"
        for col in range(1, len(table.columns)):
            values = [int(r.cells[col].text) for r in people]
            avg.cells[col].text = "%.1f" % (sum(values) / len(values))
    if 3 in tasks:
        # Outside 1.5 pt double, inside 0.5 pt single (sizes in eighths of a point).
        old = tbl_pr.find(qn("w:tblBorders"))
        borders = OxmlElement("w:tblBorders")
        for edge in ("top", "left", "bottom", "right"):
            borders.append(border_element("w:" + edge, "double", 12))
        for edge in ("insideH", "insideV"):
            borders.append(border_element("w:" + edge, "single", 4))
        old.addprevious(borders)
        tbl_pr.remove(old)
    if 4 in tasks:
        # Light grey shading on the first row, its text centred.
        for cell in table.rows[0].cells:
            shd = OxmlElement("w:shd")
            shd.set(qn("w:val"), "clear")
            shd.set(qn("w:color"), "auto")
            shd.set(qn("w:fill"), "D9D9D9")
            cell._tc.get_or_add_tcPr().append(shd)
            for p in cell.paragraphs:
                p.alignment = WD_ALIGN_PARAGRAPH.CENTER
    if 5 in tasks:
        jc = OxmlElement("w:jc")
        jc.set(qn("w:val"), "center")
        tbl_pr.append(jc)
    d.save(out("wordtable", "scores.docx"))


# ---------------------------------------------------------------------------
# Excel

def sales_1(src, tasks=(1, 2, 3, 4, 5)):
    wb = openpyxl.load_workbook(src)
    ws = wb["销售表"]
    if 1 in tasks:
        ws.merge_cells("A1:F1")
        ws["A1"].alignment = Alignment(horizontal="center")
        ws["A1"].font = Font(name="黑体", size=16)
    if 2 in tasks:
        for r in range(3, 8):
            ws[f"F{r}"] = f"=SUM(B{r}:E{r})"
    if 3 in tasks:
        for col in "BCDEF":
            c = ws[f"{col}8"]
            c.value = f"=AVERAGE({col}3:{col}7)"
            c.number_format = "0.00"
    if 4 in tasks:
        thin = Side(style="thin", color="000000")
        for row in ws["A2:F8"]:
            for c in row:
                c.border = Border(left=thin, right=thin, top=thin, bottom=thin)
    if 5 in tasks:
        ws.title = "年度销售"
    wb.save(out("exceltest", "sales_1.xlsx"))


def sales_2(src, tasks=(1, 2, 3, 4)):
    from openpyxl.formatting.rule import CellIsRule
    wb = openpyxl.load_workbook(src)
    ws = wb["销售表"]
    rows = []
    for r in range(3, 8):
        values = [ws.cell(r, c).value for c in range(1, 6)]
        rows.append(values + [sum(values[1:])])
    if 4 in tasks:
        rows.sort(key=lambda v: v[5], reverse=True)
    for i, values in enumerate(rows):
        r = 3 + i
        for c, v in enumerate(values[:5], start=1):
            ws.cell(r, c).value = v
        if 1 in tasks:
            ws[f"F{r}"] = f"=SUM(B{r}:E{r})"
        if 2 in tasks:
            ws[f"G{r}"] = f'=A{r}&"合计："&F{r}'
    if 3 in tasks:
        ws.conditional_formatting.add(
            "B3:E7", CellIsRule(operator="lessThan", formula=["100"], font=Font(color="FF0000")))
        ws.conditional_formatting.add(
            "B3:E7", CellIsRule(operator="greaterThanOrEqual", formula=["300"], font=Font(bold=True)))
    wb.save(out("exceltest", "sales_2.xlsx"))


# ---------------------------------------------------------------------------
# PowerPoint: the tasks done in the deck's PresentationML, then LibreOffice
# Impress reads it and writes the model answer.

P_NS = "http://schemas.openxmlformats.org/presentationml/2006/main"


def hometown(src, soffice, tasks=(1, 2, 3, 4)):
    with zipfile.ZipFile(src) as z:
        parts = {n: z.read(n) for n in z.namelist()}

    def text(name):
        return parts[name].decode("utf-8")

    blinds = '<p:transition spd="med"><p:blinds dir="horz"/></p:transition>'

    def with_transition(xml):
        return xml.replace("</p:cSld>", "</p:cSld>" + blinds, 1) if "<p:transition" not in xml else xml

    # 1. Title of slide 1 in 黑体, 54 pt.
    s1 = text("ppt/slides/slide1.xml")
    if 1 in tasks:
        s1 = set_title_font(s1)
    # 2. Blinds on every slide (the new slide of task 3 is made with it).
    if 2 in tasks:
        s1 = with_transition(s1)
    parts["ppt/slides/slide1.xml"] = s1.encode("utf-8")
    s2 = text("ppt/slides/slide2.xml")
    if 2 in tasks:
        s2 = with_transition(s2)
    if 4 in tasks:
        # 4. Fly-in entrance of slide 2's body (shape id 3), by paragraph.
        body_id = body_shape_id(s2)
        timing = (
            '<p:timing><p:tnLst><p:par><p:cTn id="1" dur="indefinite" restart="never" nodeType="tmRoot">'
            '<p:childTnLst><p:seq concurrent="1" nextAc="seek"><p:cTn id="2" dur="indefinite" nodeType="mainSeq">'
            '<p:childTnLst><p:par><p:cTn id="3" fill="hold"><p:stCondLst><p:cond delay="indefinite"/></p:stCondLst>'
            '<p:childTnLst><p:par><p:cTn id="4" fill="hold"><p:stCondLst><p:cond delay="0"/></p:stCondLst>'
            '<p:childTnLst><p:par><p:cTn id="5" presetID="2" presetClass="entr" presetSubtype="4" fill="hold" '
            'grpId="0" nodeType="clickEffect"><p:stCondLst><p:cond delay="0"/></p:stCondLst><p:childTnLst>'
            f'<p:set><p:cBhvr><p:cTn id="6" dur="1" fill="hold"><p:stCondLst><p:cond delay="0"/></p:stCondLst></p:cTn>'
            f'<p:tgtEl><p:spTgt spid="{body_id}"/></p:tgtEl><p:attrNameLst><p:attrName>style.visibility</p:attrName>'
            '</p:attrNameLst></p:cBhvr><p:to><p:strVal val="visible"/></p:to></p:set>'
            f'<p:anim calcmode="lin" valueType="num"><p:cBhvr additive="base"><p:cTn id="7" dur="500" fill="hold"/>'
            f'<p:tgtEl><p:spTgt spid="{body_id}"/></p:tgtEl><p:attrNameLst><p:attrName>ppt_x</p:attrName></p:attrNameLst>'
            '</p:cBhvr><p:tavLst><p:tav tm="0"><p:val><p:strVal val="#ppt_x"/></p:val></p:tav><p:tav tm="100000">'
            '<p:val><p:strVal val="#ppt_x"/></p:val></p:tav></p:tavLst></p:anim>'
            f'<p:anim calcmode="lin" valueType="num"><p:cBhvr additive="base"><p:cTn id="8" dur="500" fill="hold"/>'
            f'<p:tgtEl><p:spTgt spid="{body_id}"/></p:tgtEl><p:attrNameLst><p:attrName>ppt_y</p:attrName></p:attrNameLst>'
            '</p:cBhvr><p:tavLst><p:tav tm="0"><p:val><p:strVal val="1+#ppt_h/2"/></p:val></p:tav><p:tav tm="100000">'
            '<p:val><p:strVal val="#ppt_y"/></p:val></p:tav></p:tavLst></p:anim>'
            '</p:childTnLst></p:cTn></p:par></p:childTnLst></p:cTn></p:par></p:childTnLst></p:cTn></p:par>'
            '</p:childTnLst></p:cTn><p:prevCondLst><p:cond evt="onPrev" delay="0"><p:tgtEl><p:sldTgt/></p:tgtEl>'
            '</p:cond></p:prevCondLst><p:nextCondLst><p:cond evt="onNext" delay="0"><p:tgtEl><p:sldTgt/></p:tgtEl>'
            '</p:cond></p:nextCondLst></p:seq></p:childTnLst></p:cTn></p:par></p:tnLst>'
            f'<p:bldLst><p:bldP spid="{body_id}" grpId="0" build="p"/></p:bldLst></p:timing>')
        s2 = s2.replace("</p:sld>", timing + "</p:sld>")
    parts["ppt/slides/slide2.xml"] = s2.encode("utf-8")
    if 3 in tasks:
        # 3. A third slide on the title-and-content layout, titled 家乡美食.
        s3 = (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
            '<p:sld xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
            f'xmlns:p="{P_NS}" '
            'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
            '<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
            '<p:grpSpPr/><p:sp><p:nvSpPr><p:cNvPr id="2" name="标题 1"/><p:cNvSpPr><a:spLocks noGrp="1"/>'
            '</p:cNvSpPr><p:nvPr><p:ph type="title"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/>'
            '<a:lstStyle/><a:p><a:r><a:rPr lang="zh-CN" altLang="en-US"/><a:t>家乡美食</a:t></a:r></a:p>'
            '</p:txBody></p:sp><p:sp><p:nvSpPr><p:cNvPr id="3" name="内容占位符 2"/><p:cNvSpPr>'
            '<a:spLocks noGrp="1"/></p:cNvSpPr><p:nvPr><p:ph idx="1"/></p:nvPr></p:nvSpPr><p:spPr/>'
            '<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:endParaRPr lang="zh-CN" altLang="en-US"/></a:p>'
            '</p:txBody></p:sp></p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr>'
            + (blinds if 2 in tasks else '') + '</p:sld>')
        parts["ppt/slides/slide3.xml"] = s3.encode("utf-8")
        parts["ppt/slides/_rels/slide3.xml.rels"] = parts["ppt/slides/_rels/slide2.xml.rels"]
        pres = text("ppt/presentation.xml")
        ids = [int(i) for i in re.findall(r'<p:sldId id="(\d+)"', pres)]
        pres = re.sub(r'(<p:sldId id="%d" r:id="[^"]+"\s*/>)' % ids[-1],
                      r'\1<p:sldId id="%d" r:id="rIdModel3"/>' % (max(ids) + 1), pres)
        parts["ppt/presentation.xml"] = pres.encode("utf-8")
        rels = text("ppt/_rels/presentation.xml.rels")
        rels = rels.replace("</Relationships>",
                            '<Relationship Id="rIdModel3" Type="http://schemas.openxmlformats.org/officeDocument/'
                            '2006/relationships/slide" Target="slides/slide3.xml"/></Relationships>')
        parts["ppt/_rels/presentation.xml.rels"] = rels.encode("utf-8")
        ct = text("[Content_Types].xml")
        ct = ct.replace("</Types>", '<Override PartName="/ppt/slides/slide3.xml" ContentType="application/'
                        'vnd.openxmlformats-officedocument.presentationml.slide+xml"/></Types>')
        parts["[Content_Types].xml"] = ct.encode("utf-8")

    with tempfile.TemporaryDirectory(prefix="bq-models-") as tmp:
        edited = os.path.join(tmp, "hometown.pptx")
        with zipfile.ZipFile(edited, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("[Content_Types].xml", parts.pop("[Content_Types].xml"))
            for name, data in parts.items():
                z.writestr(name, data)
        outdir = os.path.join(tmp, "out")
        subprocess.run([soffice, "-env:UserInstallation=file://" + os.path.join(tmp, "profile"),
                        "--headless", "--norestore", "--nologo", "--nolockcheck",
                        "--convert-to", "pptx:Impress MS PowerPoint 2007 XML", "--outdir", outdir, edited],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        shutil.copyfile(os.path.join(outdir, "hometown.pptx"), out("powerpoint", "hometown.pptx"))


def set_title_font(xml):
    """The title placeholder's runs in 黑体, 54 pt."""
    def fix_shape(m):
        shape = m.group(0)
        if 'type="title"' not in shape and 'type="ctrTitle"' not in shape:
            return shape
        return re.sub(r"<a:rPr([^>]*?)/>",
                      r'<a:rPr\1 sz="5400"><a:latin typeface="黑体"/><a:ea typeface="黑体"/></a:rPr>', shape)
    return re.sub(r"<p:sp>.*?</p:sp>", fix_shape, xml, flags=re.S)


def body_shape_id(xml):
    for shape in re.findall(r"<p:sp>.*?</p:sp>", xml, flags=re.S):
        if "<p:ph" in shape and 'type="title"' not in shape and 'type="ctrTitle"' not in shape:
            return re.search(r'<p:cNvPr id="(\d+)"', shape).group(1)
    raise SystemExit("slide 2 has no body placeholder")


# ---------------------------------------------------------------------------
# File operations: what the examinee's folder holds when every task is done.

def operation(bqcall, question_id, starting_list, tasks):
    with tempfile.TemporaryDirectory(prefix="bq-models-op-") as tmp:
        env = dict(os.environ, BQ_DRIVES=os.path.join(tmp, "drives"))
        subprocess.run([bqcall, "BQCOM", "CreateOpDirs", "C:\\BQTEST", starting_list],
                       check=True, env=env, stdout=subprocess.DEVNULL)
        root = os.path.join(tmp, "drives", "c", "BqOperation")
        for task in tasks:
            task(root)
        listing = json.loads(subprocess.run(
            [bqcall, "BrightquillClient", "GetOperationZSD", root], check=True, env=env,
            capture_output=True).stdout)["args"]["dZSD"]
        line = json.loads(subprocess.run(
            [bqcall, "BrightquillClient", "JoinOpZSD", json.dumps(listing, ensure_ascii=False)],
            check=True, env=env, capture_output=True).stdout)["result"]
    with open(out("operation", "%d.txt" % question_id), "wb") as f:
        f.write(line.encode("gbk") + b"\r\n")


def p(root, rel):
    return os.path.join(root, *rel.split("\\"))


def mkdir(rel):
    return lambda root: os.makedirs(p(root, rel))


def touch(rel):
    return lambda root: open(p(root, rel), "w").close()


def copy_to(src, dst):
    return lambda root: shutil.copyfile(p(root, src), p(root, dst))


def move(src, dst):
    return lambda root: shutil.move(p(root, src), p(root, dst))


def remove(rel):
    def run(root):
        target = p(root, rel)
        shutil.rmtree(target) if os.path.isdir(target) else os.remove(target)
    return run


def copy_all(src_dir, dst_dir):
    def run(root):
        for name in sorted(os.listdir(p(root, src_dir))):
            shutil.copyfile(os.path.join(p(root, src_dir), name), os.path.join(p(root, dst_dir), name))
    return run


# ---------------------------------------------------------------------------
# E-mail: the message as the exam's mail drop folder keeps it.

def email(question_id, sender, receivers, cc, subject, body):
    msg = EmailMessage()
    msg["From"] = sender
    msg["To"] = ", ".join(receivers)
    if cc:
        msg["Cc"] = ", ".join(cc)
    msg["Subject"] = subject
    msg.set_content(body)
    envelope = "x-sender: %s\r\nx-receiver: %s\r\n" % (sender, receivers[0])
    for r in receivers[1:] + cc:
        envelope += "x-receiver: %s\r\n" % r
    data = envelope.encode("ascii") + msg.as_bytes(policy=msg.policy.clone(linesep="\r\n"))
    with open(out("e_mail", "%d.eml" % question_id), "wb") as f:
        f.write(data)


# The tasks of each file operation question, in the order of its text.
OPERATION_TASKS = {
    1: [mkdir("学习资料\\英语"), copy_to("学习资料\\语文\\古诗.txt", "学习资料\\英语\\英文诗.txt"),
        move("学习资料\\草稿.txt", "临时文件\\草稿.txt"), remove("临时文件\\旧通知.txt"),
        move("学习资料\\数学", "学习资料\\数学资料")],
    2: [touch("公司文档\\报表\\三月.txt"), copy_all("公司文档\\报表", "备份"),
        move("公司文档\\合同\\合同模板.txt", "公司文档\\合同\\合同范本.txt"), mkdir("备份\\存档")],
    3: [copy_to("项目A&B\\设计\\草图.txt", "归档\\草图.txt"), mkdir("归档\\A&B 备份"),
        move("项目A&B\\需求.txt", "归档\\A&B 备份\\需求.txt"), remove("项目A&B\\设计")],
    4: [mkdir("我的照片\\精选"), copy_to("我的照片\\春游\\合影.jpg", "我的照片\\精选\\合影.jpg"),
        move("我的照片\\待整理\\未命名.jpg", "我的照片\\春游\\校园.jpg"), remove("我的照片\\待整理"),
        touch("音乐\\歌单.txt")],
}


def operation_list(papers_src, question_id):
    with open(os.path.join(papers_src, "tables", "Operation.tsv"), encoding="utf-8") as f:
        for line in f.read().splitlines()[1:]:
            fields = line.split("\t")
            if fields[0] == str(question_id):
                return fields[1].replace("\\\\", "\\")
    raise SystemExit("no operation question %d" % question_id)


def main():
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__)
    papers_src, bqcall = sys.argv[1], os.path.abspath(sys.argv[2])
    soffice = sys.argv[3] if len(sys.argv) == 4 else shutil.which("soffice")
    files = os.path.join(papers_src, "files")
    festival(os.path.join(files, "wordtest", "festival.docx"))
    tea(os.path.join(files, "wordtest", "tea.docx"))
    scores(os.path.join(files, "wordtable", "scores.docx"))
    sales_1(os.path.join(files, "exceltest", "sales.xlsx"))
    sales_2(os.path.join(files, "exceltest", "sales.xlsx"))
    hometown(os.path.join(files, "powerpoint", "hometown.pptx"), soffice)

    for qid, steps in OPERATION_TASKS.items():
        operation(bqcall, qid, operation_list(papers_src, qid), steps)

    email(1, "stu01@bqschool.cn", ["teacher@bqschool.cn"], ["monitor@bqschool.cn"], "第三周作业",
          "王老师您好！我的第三周作业已经完成，请您查收。")
    email(2, "stu01@bqoffice.cn", ["zhangli@bqoffice.cn"], [], "周五例会通知",
          "各位同事，本周五下午三点在二楼会议室召开例会，请准时参加。")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Writes the presentations of the PowerPoint extractor tests.

  make_decks.py [OUT]     OUT defaults to this script's folder

Hand-written PresentationML (zipped here): layouts.pptx, text.pptx,
transitions_mixed.pptx, transitions_same.pptx, animations.pptx, actions.pptx,
media.pptx, fills.pptx, and lo_source.pptx, the document LibreOffice Impress
converts into lo_deck.pptx and lo_deck.ppt (soffice --convert-to, with a
private profile). pptxgen.pptx is written by make_pptxgen.js (pptxgenjs from
the npm registry; NODE_PATH names its node_modules folder).

Every deck uses the theme below unless a deck says otherwise: theme name
"Office 主题"; colours dk1 = windowText 000000, lt1 = window FFFFFF, dk2
1F497D, lt2 EEECE1, accent1..6 4F81BD C0504D 9BBB59 8064A2 4BACC6 F79646,
hlink 0000FF, folHlink 800080; major font Arial with 黑体 for Hans, minor
font Times New Roman with 宋体 for Hans (East Asian typefaces left empty, as
the Office themes leave them); fill styles 1 solid phClr, 2 gradient phClr,
3 solid phClr shade 50%. The master's title style is 44 pt +mj fonts tx1,
the body style 32/28/24 pt +mn fonts tx1; the presentation's default text
style 18 pt +mn fonts tx1. Layouts: 1 标题幻灯片 (title: ctrTitle and
subTitle, the subtitle 75% tint of tx1), 2 标题和内容 (obj), 3 两栏内容
(twoObj), 4 仅标题 (titleOnly), 5 空白 (blank).

The expected knowledge points in the tests are written from these comments
and PowerPoint's documented values, not from a run of the extractor.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

A = "http://schemas.openxmlformats.org/drawingml/2006/main"
P = "http://schemas.openxmlformats.org/presentationml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PR = "http://schemas.openxmlformats.org/package/2006/relationships"
P14 = "http://schemas.microsoft.com/office/powerpoint/2010/main"
P15 = "http://schemas.microsoft.com/office/powerpoint/2012/main"
MC = "http://schemas.openxmlformats.org/markup-compatibility/2006"
NS = f'xmlns:a="{A}" xmlns:p="{P}" xmlns:r="{R}"'
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
CT_PML = "application/vnd.openxmlformats-officedocument.presentationml."
CT_THEME = "application/vnd.openxmlformats-officedocument.theme+xml"

# ---------------------------------------------------------------------------
# Design parts

THEME_FILLS = (
    '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>'
    '<a:gradFill><a:gsLst><a:gs pos="0"><a:schemeClr val="phClr"><a:tint val="50000"/></a:schemeClr></a:gs>'
    '<a:gs pos="100000"><a:schemeClr val="phClr"/></a:gs></a:gsLst><a:lin ang="5400000"/></a:gradFill>'
    '<a:solidFill><a:schemeClr val="phClr"><a:shade val="50000"/></a:schemeClr></a:solidFill>')


def theme(name="Office 主题"):
    colours = "".join(
        f'<a:{k}><a:srgbClr val="{v}"/></a:{k}>'
        for k, v in [("dk2", "1F497D"), ("lt2", "EEECE1"), ("accent1", "4F81BD"), ("accent2", "C0504D"),
                     ("accent3", "9BBB59"), ("accent4", "8064A2"), ("accent5", "4BACC6"),
                     ("accent6", "F79646"), ("hlink", "0000FF"), ("folHlink", "800080")])
    line = '<a:ln w="9525"><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:ln>'
    return (f'<a:theme xmlns:a="{A}" name="{name}"><a:themeElements>'
            f'<a:clrScheme name="Office"><a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1>'
            f'<a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1>{colours}</a:clrScheme>'
            '<a:fontScheme name="Office">'
            '<a:majorFont><a:latin typeface="Arial"/><a:ea typeface=""/><a:cs typeface=""/>'
            '<a:font script="Hans" typeface="黑体"/><a:font script="Jpan" typeface="ＭＳ ゴシック"/></a:majorFont>'
            '<a:minorFont><a:latin typeface="Times New Roman"/><a:ea typeface=""/><a:cs typeface=""/>'
            '<a:font script="Hans" typeface="宋体"/><a:font script="Jpan" typeface="ＭＳ 明朝"/></a:minorFont>'
            '</a:fontScheme><a:fmtScheme name="Office">'
            f'<a:fillStyleLst>{THEME_FILLS}</a:fillStyleLst>'
            f'<a:lnStyleLst>{line * 3}</a:lnStyleLst>'
            '<a:effectStyleLst>' + '<a:effectStyle><a:effectLst/></a:effectStyle>' * 3 + '</a:effectStyleLst>'
            '<a:bgFillStyleLst><a:solidFill><a:schemeClr val="phClr"/></a:solidFill>'
            '<a:solidFill><a:schemeClr val="phClr"><a:tint val="90000"/></a:schemeClr></a:solidFill>'
            '<a:solidFill><a:schemeClr val="phClr"><a:shade val="90000"/></a:schemeClr></a:solidFill>'
            '</a:bgFillStyleLst></a:fmtScheme></a:themeElements></a:theme>')


def defrpr(size, fonts, colour='<a:schemeClr val="tx1"/>'):
    return (f'<a:defRPr sz="{size}"><a:solidFill>{colour}</a:solidFill>'
            f'<a:latin typeface="+{fonts}-lt"/><a:ea typeface="+{fonts}-ea"/></a:defRPr>')


def levels(sizes, fonts):
    return "".join(f'<a:lvl{i + 1}pPr>{defrpr(s, fonts)}</a:lvl{i + 1}pPr>' for i, s in enumerate(sizes))


DEFAULT_TEXT_STYLE = "<p:defaultTextStyle>" + levels([1800] * 5, "mn") + "</p:defaultTextStyle>"

GROUP_HEAD = ('<p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
              '<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/>'
              '<a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr>')


def xfrm(i):
    return f'<a:xfrm><a:off x="{457200 + i * 100000}" y="{457200 + i * 300000}"/><a:ext cx="4000000" cy="900000"/></a:xfrm>'


def ph_shape(sid, name, ph, body="", sppr="", lst=""):
    txbody = f'<p:txBody><a:bodyPr/><a:lstStyle>{lst}</a:lstStyle>{body or "<a:p/>"}</p:txBody>'
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="{sid}" name="{name}"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr>'
            f'<p:nvPr>{ph}</p:nvPr></p:nvSpPr><p:spPr>{sppr}</p:spPr>{txbody}</p:sp>')


def master(layout_count):
    tree = (ph_shape(2, "标题占位符 1", '<p:ph type="title"/>', sppr=xfrm(0) + '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom>') +
            ph_shape(3, "文本占位符 2", '<p:ph type="body" idx="1"/>', sppr=xfrm(1) + '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom>'))
    ids = "".join(f'<p:sldLayoutId id="{2147483649 + i}" r:id="rId{i + 1}"/>' for i in range(layout_count))
    return (f'<p:sldMaster {NS}><p:cSld><p:bg><p:bgRef idx="1001"><a:schemeClr val="bg1"/></p:bgRef></p:bg>'
            f'<p:spTree>{GROUP_HEAD}{tree}</p:spTree></p:cSld>'
            '<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3" '
            'accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"/>'
            f'<p:sldLayoutIdLst>{ids}</p:sldLayoutIdLst><p:txStyles>'
            f'<p:titleStyle>{levels([4400], "mj")}</p:titleStyle>'
            f'<p:bodyStyle>{levels([3200, 2800, 2400, 2000, 2000], "mn")}</p:bodyStyle>'
            f'<p:otherStyle>{levels([1800], "mn")}</p:otherStyle></p:txStyles></p:sldMaster>')


LAYOUTS = [
    ("标题幻灯片", "title",
     ph_shape(2, "标题 1", '<p:ph type="ctrTitle"/>') +
     ph_shape(3, "副标题 2", '<p:ph type="subTitle" idx="1"/>',
              lst='<a:lvl1pPr><a:defRPr><a:solidFill><a:schemeClr val="tx1"><a:tint val="75000"/>'
                  '</a:schemeClr></a:solidFill></a:defRPr></a:lvl1pPr>')),
    ("标题和内容", "obj", ph_shape(2, "标题 1", '<p:ph type="title"/>') + ph_shape(3, "内容占位符 2", '<p:ph idx="1"/>')),
    ("两栏内容", "twoObj",
     ph_shape(2, "标题 1", '<p:ph type="title"/>') + ph_shape(3, "内容占位符 2", '<p:ph sz="half" idx="1"/>') +
     ph_shape(4, "内容占位符 3", '<p:ph sz="half" idx="2"/>')),
    ("仅标题", "titleOnly", ph_shape(2, "标题 1", '<p:ph type="title"/>')),
    ("空白", "blank", ""),
]


def layout(name, kind, tree):
    return (f'<p:sldLayout {NS} type="{kind}" preserve="1"><p:cSld name="{name}"><p:spTree>{GROUP_HEAD}{tree}'
            '</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>')


# ---------------------------------------------------------------------------
# Slide content

def run(text, rpr_attrs="", rpr_children=""):
    return f'<a:r><a:rPr lang="zh-CN" altLang="en-US" {rpr_attrs}>{rpr_children}</a:rPr><a:t>{text}</a:t></a:r>'


def para(*runs, lvl=None, end=""):
    ppr = f'<a:pPr lvl="{lvl}"/>' if lvl is not None else ""
    return f'<a:p>{ppr}{"".join(runs)}{end}</a:p>'


def solid(hex_or_scheme):
    if hex_or_scheme.startswith("<"):
        return f'<a:solidFill>{hex_or_scheme}</a:solidFill>'
    return f'<a:solidFill><a:srgbClr val="{hex_or_scheme}"/></a:solidFill>'


def fonts(latin=None, ea=None):
    out = ""
    if latin is not None:
        out += f'<a:latin typeface="{latin}"/>'
    if ea is not None:
        out += f'<a:ea typeface="{ea}"/>'
    return out


def placeholder(sid, name, ph, *paras):
    return ph_shape(sid, name, ph, body="".join(paras))


def textbox(sid, name, *paras, sppr_fill="<a:noFill/>", hlink=""):
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="{sid}" name="{name}">{hlink}</p:cNvPr><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
            f'<p:spPr>{xfrm(sid)}<a:prstGeom prst="rect"><a:avLst/></a:prstGeom>{sppr_fill}</p:spPr>'
            f'<p:txBody><a:bodyPr wrap="none"/><a:lstStyle/>{"".join(paras) or "<a:p/>"}</p:txBody></p:sp>')


# The style PowerPoint 2007 gives a drawn AutoShape: line accent1 shade 50%,
# fill style 1 in accent1, text in lt1 of the minor font.
SHAPE_STYLE = ('<p:style><a:lnRef idx="2"><a:schemeClr val="accent1"><a:shade val="50000"/></a:schemeClr></a:lnRef>'
               '<a:fillRef idx="1"><a:schemeClr val="accent1"/></a:fillRef>'
               '<a:effectRef idx="0"><a:schemeClr val="accent1"/></a:effectRef>'
               '<a:fontRef idx="minor"><a:schemeClr val="lt1"/></a:fontRef></p:style>')


def autoshape(sid, name, prst, fill="", style=SHAPE_STYLE, text="", hlink="", extra_nv=""):
    empty = '<a:p><a:endParaRPr lang="zh-CN" altLang="en-US"/></a:p>'
    body = f'<p:txBody><a:bodyPr rtlCol="0" anchor="ctr"/><a:lstStyle/>{text or empty}</p:txBody>'
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="{sid}" name="{name}">{hlink}</p:cNvPr><p:cNvSpPr/><p:nvPr>{extra_nv}</p:nvPr></p:nvSpPr>'
            f'<p:spPr>{xfrm(sid)}<a:prstGeom prst="{prst}"><a:avLst/></a:prstGeom>{fill}</p:spPr>{style}{body}</p:sp>')


def picture(sid, name, rid, nv="", fill=""):
    return (f'<p:pic><p:nvPicPr><p:cNvPr id="{sid}" name="{name}"/><p:cNvPicPr><a:picLocks noChangeAspect="1"/></p:cNvPicPr>'
            f'<p:nvPr>{nv}</p:nvPr></p:nvPicPr><p:blipFill><a:blip r:embed="{rid}"/><a:stretch><a:fillRect/></a:stretch></p:blipFill>'
            f'<p:spPr>{xfrm(sid)}<a:prstGeom prst="rect"><a:avLst/></a:prstGeom>{fill}</p:spPr></p:pic>')


def connector(sid, name):
    return (f'<p:cxnSp><p:nvCxnSpPr><p:cNvPr id="{sid}" name="{name}"/><p:cNvCxnSpPr/><p:nvPr/></p:nvCxnSpPr>'
            f'<p:spPr>{xfrm(sid)}<a:prstGeom prst="straightConnector1"><a:avLst/></a:prstGeom></p:spPr>'
            '<p:style><a:lnRef idx="1"><a:schemeClr val="accent1"/></a:lnRef><a:fillRef idx="0"><a:schemeClr val="accent1"/></a:fillRef>'
            '<a:effectRef idx="0"><a:schemeClr val="accent1"/></a:effectRef><a:fontRef idx="minor"><a:schemeClr val="tx1"/></a:fontRef></p:style></p:cxnSp>')


def group(sid, name, *members):
    return (f'<p:grpSp><p:nvGrpSpPr><p:cNvPr id="{sid}" name="{name}"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
            f'<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="1" cy="1"/><a:chOff x="0" y="0"/><a:chExt cx="1" cy="1"/></a:xfrm></p:grpSpPr>'
            f'{"".join(members)}</p:grpSp>')


class Slide:
    def __init__(self, layout_no, shapes, after_tree="", rels=None):
        self.layout_no = layout_no
        self.shapes = shapes
        self.after_tree = after_tree  # transition, timing
        self.rels = rels or []        # (id, type, target, external)


def png_bytes():
    # A 1x1 red PNG.
    import zlib
    raw = b"\x00\xff\x00\x00"
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def wav_bytes():
    # A tenth of a second of silence, 8 kHz mono 8-bit PCM.
    samples = b"\x80" * 800
    return (b"RIFF" + struct.pack("<I", 36 + len(samples)) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8) + b"data" + struct.pack("<I", len(samples)) + samples)


def mp4_bytes():
    # An MP4 file type box and an empty movie box: no frames are ever decoded.
    ftyp = b"ftypisom" + struct.pack(">I", 512) + b"isomiso2mp41"
    return struct.pack(">I", 8 + len(ftyp)) + ftyp + struct.pack(">I", 8) + b"moov"


def write_deck(path, slides, theme_name="Office 主题", media=None):
    """media: list of (part name under ppt/media, bytes)."""
    media = media or []
    parts = {}
    overrides = [("/ppt/presentation.xml", CT_PML + "presentation.main+xml"),
                 ("/ppt/slideMasters/slideMaster1.xml", CT_PML + "slideMaster+xml"),
                 ("/ppt/theme/theme1.xml", CT_THEME)]
    parts["_rels/.rels"] = (f'<Relationships xmlns="{PR}"><Relationship Id="rId1" Type="{REL}officeDocument" '
                            'Target="ppt/presentation.xml"/></Relationships>')
    prels = f'<Relationship Id="rId1" Type="{REL}slideMaster" Target="slideMasters/slideMaster1.xml"/>'
    prels += f'<Relationship Id="rId2" Type="{REL}theme" Target="theme/theme1.xml"/>'
    sld_ids = ""
    for i, s in enumerate(slides):
        n = i + 1
        prels += f'<Relationship Id="rId{10 + n}" Type="{REL}slide" Target="slides/slide{n}.xml"/>'
        sld_ids += f'<p:sldId id="{255 + n}" r:id="rId{10 + n}"/>'
        overrides.append((f"/ppt/slides/slide{n}.xml", CT_PML + "slide+xml"))
        parts[f"ppt/slides/slide{n}.xml"] = (
            f'<p:sld {NS} xmlns:p14="{P14}" xmlns:p15="{P15}" xmlns:mc="{MC}" mc:Ignorable="p14 p15">'
            f'<p:cSld><p:spTree>{GROUP_HEAD}{"".join(s.shapes)}</p:spTree></p:cSld>'
            f'<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr>{s.after_tree}</p:sld>')
        rels = f'<Relationship Id="rId1" Type="{REL}slideLayout" Target="../slideLayouts/slideLayout{s.layout_no}.xml"/>'
        for rid, kind, target, external in s.rels:
            mode = ' TargetMode="External"' if external else ""
            full = kind if kind.startswith("http") else REL + kind
            rels += f'<Relationship Id="{rid}" Type="{full}" Target="{target}"{mode}/>'
        parts[f"ppt/slides/_rels/slide{n}.xml.rels"] = f'<Relationships xmlns="{PR}">{rels}</Relationships>'
    parts["ppt/_rels/presentation.xml.rels"] = f'<Relationships xmlns="{PR}">{prels}</Relationships>'
    parts["ppt/presentation.xml"] = (
        f'<p:presentation {NS}><p:sldMasterIdLst><p:sldMasterId id="2147483648" r:id="rId1"/></p:sldMasterIdLst>'
        f'<p:sldIdLst>{sld_ids}</p:sldIdLst><p:sldSz cx="9144000" cy="6858000" type="screen4x3"/>'
        f'<p:notesSz cx="6858000" cy="9144000"/>{DEFAULT_TEXT_STYLE}</p:presentation>')
    parts["ppt/slideMasters/slideMaster1.xml"] = master(len(LAYOUTS))
    mrels = "".join(f'<Relationship Id="rId{i + 1}" Type="{REL}slideLayout" Target="../slideLayouts/slideLayout{i + 1}.xml"/>'
                    for i in range(len(LAYOUTS)))
    mrels += f'<Relationship Id="rId{len(LAYOUTS) + 1}" Type="{REL}theme" Target="../theme/theme1.xml"/>'
    parts["ppt/slideMasters/_rels/slideMaster1.xml.rels"] = f'<Relationships xmlns="{PR}">{mrels}</Relationships>'
    for i, (name, kind, tree) in enumerate(LAYOUTS):
        parts[f"ppt/slideLayouts/slideLayout{i + 1}.xml"] = layout(name, kind, tree)
        parts[f"ppt/slideLayouts/_rels/slideLayout{i + 1}.xml.rels"] = (
            f'<Relationships xmlns="{PR}"><Relationship Id="rId1" Type="{REL}slideMaster" '
            'Target="../slideMasters/slideMaster1.xml"/></Relationships>')
        overrides.append((f"/ppt/slideLayouts/slideLayout{i + 1}.xml", CT_PML + "slideLayout+xml"))
    parts["ppt/theme/theme1.xml"] = theme(theme_name)
    ct = ('<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Default Extension="xml" ContentType="application/xml"/><Default Extension="png" ContentType="image/png"/>'
          '<Default Extension="wav" ContentType="audio/wav"/><Default Extension="mp4" ContentType="video/mp4"/>')
    ct += "".join(f'<Override PartName="{n}" ContentType="{t}"/>' for n, t in overrides) + "</Types>"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n' + ct)
        for name, text in parts.items():
            z.writestr(name, '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n' + text)
        for name, data in media:
            z.writestr("ppt/media/" + name, data)


# ---------------------------------------------------------------------------
# The decks

def title(sid, text, ph='<p:ph type="title"/>'):
    return placeholder(sid, f"标题 {sid - 1}", ph, para(run(text)))


def layouts_deck():
    # Five slides on the five layouts: Layout 1, 16, 29, 11, 12. No
    # transitions. Titles read 44 pt Arial/黑体 in tx1 (black); the subtitle
    # 32 pt Times New Roman/宋体 in a 75% tint of black (grey, not 0); body
    # text 32 pt, its second level 28 pt.
    return [
        Slide(1, [title(2, "考试演示文稿", '<p:ph type="ctrTitle"/>'),
                  placeholder(3, "副标题 2", '<p:ph type="subTitle" idx="1"/>', para(run("副标题文字")))]),
        Slide(2, [title(2, "目录"),
                  placeholder(3, "内容占位符 2", '<p:ph idx="1"/>', para(run("第一章")), para(run("第一节"), lvl=1))]),
        Slide(3, [title(2, "两栏"),
                  placeholder(3, "内容占位符 2", '<p:ph sz="half" idx="1"/>', para(run("左栏"))),
                  placeholder(4, "内容占位符 3", '<p:ph sz="half" idx="2"/>', para(run("右栏", 'sz="2000"')))]),
        Slide(4, [title(2, "只有标题")]),
        Slide(5, []),
    ]


def text_deck():
    # One blank slide of text boxes (default text style: 18 pt, Times New
    # Roman/宋体, black).
    hyperlink = '<a:hlinkClick r:id="rId2"/>'
    return [Slide(5, [
        # Black text, stated explicitly: no 文本颜色 point.
        textbox(2, "文本框 1", para(run("黑色文本", "", solid("000000")))),
        # Red text, Latin Arial and East Asian 黑体, 24 pt, bold.
        textbox(3, "文本框 2", para(run("红色文本", 'sz="2400" b="1"', solid("FF0000") + fonts("Arial", "黑体")))),
        # Italic, single underline, an outer shadow; a theme colour darkened
        # (accent1 at 75% luminance).
        textbox(4, "文本框 3", para(run("  斜体下划线  ", 'i="1" u="sng"',
                                       solid('<a:schemeClr val="accent1"><a:lumMod val="75000"/></a:schemeClr>') +
                                       '<a:effectLst><a:outerShdw blurRad="38100" dist="38100" dir="2700000">'
                                       '<a:srgbClr val="000000"/></a:outerShdw></a:effectLst>'))),
        # Two runs of different size and font: names "", size -2, bold mixed.
        textbox(5, "文本框 4", para(run("Mixed", 'sz="1200" b="1"', fonts("Courier New")), run("混合", 'sz="2800"'))),
        # A hyperlink run in black: drawn in the theme's hyperlink colour.
        textbox(6, "文本框 5", para(run("链接", "", solid("000000") + hyperlink))),
        # Theme fonts of the major collection, Japanese as the East Asian
        # language: Arial and ＭＳ ゴシック.
        textbox(7, "文本框 6", para('<a:r><a:rPr lang="ja-JP" altLang="en-US"><a:latin typeface="+mj-lt"/>'
                                    '<a:ea typeface="+mj-ea"/></a:rPr><a:t>日本語</a:t></a:r>')),
        # An empty text box: text "", the default formatting.
        textbox(8, "文本框 7"),
    ], rels=[("rId2", "hyperlink", "http://www.example.com/index.html#top", True)])]


def transition(body, attrs=""):
    return f'<p:transition {attrs}>{body}</p:transition>'


def transitions_mixed_deck():
    # Three slides with different transitions, speeds, timings and sounds:
    # every SlideShowTransition value but AdvanceOnClick is mixed (-2).
    vortex = '<p14:vortex dir="r"/>'
    vortex_attrs = 'spd="slow" p14:dur="2000"'
    return [
        Slide(5, [], transition('<p:wipe dir="d"/>', 'spd="med"')),           # 2820, medium
        Slide(5, [], f'<mc:AlternateContent><mc:Choice Requires="p14">'     # 3865 (Vortex Right), slow
                     f'{transition(vortex, vortex_attrs)}</mc:Choice>'
                     f'<mc:Fallback>{transition("<p:fade/>", vortex_attrs)}</mc:Fallback></mc:AlternateContent>'),
        Slide(5, [], transition('<p:cover dir="ru"/><p:sndAc><p:stSnd><p:snd r:embed="rId2" name="chimes.wav"/></p:stSnd></p:sndAc>',
                                'advTm="3000"'),                              # 1286, fast, on time, a sound
              rels=[("rId2", "audio", "../media/chimes.wav", False)]),
    ]


def transitions_same_deck():
    # Two slides with Blinds Vertical (770), slow, advancing after 5 s and not
    # on a click, stopping the previous sound: "770,1,0,-1,1". The second
    # slide gives a PowerPoint 2013 transition whose fallback is the same.
    same = '<p:blinds dir="vert"/><p:sndAc><p:endSnd/></p:sndAc>'
    attrs = 'spd="slow" advClick="0" advTm="5000"'
    curtains = '<p15:prstTrans prst="curtains"/><p:sndAc><p:endSnd/></p:sndAc>'
    return [
        Slide(5, [], transition(same, attrs)),
        Slide(5, [], f'<mc:AlternateContent><mc:Choice Requires="p15">'
                     f'{transition(curtains, attrs)}</mc:Choice>'
                     f'<mc:Fallback>{transition(same, attrs)}</mc:Fallback></mc:AlternateContent>'),
    ]


def dim_after(ctn_id, spid):
    return (f'<p:animClr clrSpc="rgb"><p:cBhvr><p:cTn id="{ctn_id}" dur="1" fill="hold" afterEffect="1"/>'
            f'<p:tgtEl><p:spTgt spid="{spid}"/></p:tgtEl><p:attrNameLst><p:attrName>fillcolor</p:attrName></p:attrNameLst>'
            '</p:cBhvr><p:to><a:srgbClr val="808080"/></p:to></p:animClr>')


def hide_after(ctn_id, spid):
    return (f'<p:set><p:cBhvr><p:cTn id="{ctn_id}" dur="1" fill="hold" afterEffect="1"/>'
            f'<p:tgtEl><p:spTgt spid="{spid}"/></p:tgtEl><p:attrNameLst><p:attrName>style.visibility</p:attrName></p:attrNameLst>'
            '</p:cBhvr><p:to><p:strVal val="hidden"/></p:to></p:set>')


def entrance(ctn_id, spid, preset, subtype, node="clickEffect", iterate="", after="", paragraph=None):
    tgt = f'<p:spTgt spid="{spid}"/>' if paragraph is None else \
        f'<p:spTgt spid="{spid}"><p:txEl><p:pRg st="{paragraph}" end="{paragraph}"/></p:txEl></p:spTgt>'
    it = f'<p:iterate type="{iterate}"><p:tmPct val="10000"/></p:iterate>' if iterate else ""
    return (f'<p:par><p:cTn id="{ctn_id}" presetID="{preset}" presetClass="entr" presetSubtype="{subtype}" '
            f'fill="hold" grpId="0" nodeType="{node}"><p:stCondLst><p:cond delay="0"/></p:stCondLst>{it}<p:childTnLst>'
            f'<p:set><p:cBhvr><p:cTn id="{ctn_id + 1}" dur="1" fill="hold"><p:stCondLst><p:cond delay="0"/></p:stCondLst></p:cTn>'
            f'<p:tgtEl>{tgt}</p:tgtEl><p:attrNameLst><p:attrName>style.visibility</p:attrName></p:attrNameLst></p:cBhvr>'
            f'<p:to><p:strVal val="visible"/></p:to></p:set>{after}</p:childTnLst></p:cTn></p:par>')


def click_group(ctn_id, *effects):
    return (f'<p:par><p:cTn id="{ctn_id}" fill="hold"><p:stCondLst><p:cond delay="indefinite"/></p:stCondLst><p:childTnLst>'
            f'<p:par><p:cTn id="{ctn_id + 1}" fill="hold"><p:stCondLst><p:cond delay="0"/></p:stCondLst><p:childTnLst>'
            f'{"".join(effects)}</p:childTnLst></p:cTn></p:par></p:childTnLst></p:cTn></p:par>')


def timing(groups, builds):
    return ('<p:timing><p:tnLst><p:par><p:cTn id="1" dur="indefinite" restart="never" nodeType="tmRoot"><p:childTnLst>'
            '<p:seq concurrent="1" nextAc="seek"><p:cTn id="2" dur="indefinite" nodeType="mainSeq"><p:childTnLst>'
            f'{"".join(groups)}</p:childTnLst></p:cTn><p:prevCondLst><p:cond evt="onPrev" delay="0"><p:tgtEl><p:sldTgt/></p:tgtEl>'
            '</p:cond></p:prevCondLst><p:nextCondLst><p:cond evt="onNext" delay="0"><p:tgtEl><p:sldTgt/></p:tgtEl></p:cond>'
            f'</p:nextCondLst></p:seq></p:childTnLst></p:cTn></p:par></p:tnLst><p:bldLst>{builds}</p:bldLst></p:timing>')


def animations_deck():
    # Slide 1 (Title and Content):
    #  - the title, not animated: 0,0,0,0,0
    #  - the body, three paragraphs flying in from the left one by one, by
    #    first-level paragraphs in reverse order, dimmed afterwards:
    #    1,-1,3329,0,2
    #  - a picture fading in (no text): 0,0,1793,0,0
    #  - a text box wiped from the bottom letter by letter as one object,
    #    hidden afterwards: 16,0,2818,2,1
    #  - a rectangle with an emphasis effect only: 0,0,0,0,0
    #  - a text box with Boomerang (no old code), hidden on the next click
    #    by an exit effect: 16,0,-2,0,3
    body = placeholder(3, "内容占位符 2", '<p:ph idx="1"/>', para(run("第一点")), para(run("第二点")), para(run("第三点")))
    groups = [
        click_group(3, entrance(5, 3, 2, 8, paragraph=0, after=dim_after(7, 3))),
        click_group(8, entrance(10, 3, 2, 8, paragraph=1, after=dim_after(12, 3))),
        click_group(13, entrance(15, 3, 2, 8, paragraph=2)),
        click_group(17, entrance(19, 4, 10, 0)),
        click_group(21, entrance(23, 5, 22, 4, iterate="lt", after=hide_after(25, 5))),
        click_group(26, '<p:par><p:cTn id="28" presetID="8" presetClass="emph" presetSubtype="0" fill="hold" nodeType="clickEffect">'
                        '<p:stCondLst><p:cond delay="0"/></p:stCondLst><p:childTnLst><p:animRot by="21600000"><p:cBhvr>'
                        '<p:cTn id="29" dur="2000" fill="hold"/><p:tgtEl><p:spTgt spid="6"/></p:tgtEl><p:attrNameLst>'
                        '<p:attrName>r</p:attrName></p:attrNameLst></p:cBhvr></p:animRot></p:childTnLst></p:cTn></p:par>'),
        click_group(30, entrance(32, 7, 25, 0)),
        click_group(34, '<p:par><p:cTn id="36" presetID="10" presetClass="exit" presetSubtype="0" fill="hold" '
                        'nodeType="clickEffect" afterEffect="1"><p:stCondLst><p:cond delay="0"/></p:stCondLst><p:childTnLst>'
                        '<p:set><p:cBhvr><p:cTn id="37" dur="1" fill="hold"/><p:tgtEl><p:spTgt spid="7"/></p:tgtEl>'
                        '<p:attrNameLst><p:attrName>style.visibility</p:attrName></p:attrNameLst></p:cBhvr>'
                        '<p:to><p:strVal val="hidden"/></p:to></p:set></p:childTnLst></p:cTn></p:par>'),
    ]
    builds = ('<p:bldP spid="3" grpId="0" build="p" rev="1"/>'
              '<p:bldP spid="5" grpId="0" build="whole"/>'
              '<p:bldP spid="7" grpId="0"/>')
    return [Slide(2, [title(2, "动画"), body, picture(4, "图片 3", "rId2"),
                      textbox(5, "文本框 4", para(run("逐字"))),
                      autoshape(6, "矩形 5", "rect"),
                      textbox(7, "文本框 6", para(run("回旋")))],
                  timing(groups, builds), rels=[("rId2", "image", "../media/image1.png", False)])]


def action(action_attr="", rid="", sound="", highlight=False):
    attrs = f'r:id="{rid}"'
    if action_attr:
        attrs += f' action="{action_attr}"'
    if highlight:
        attrs += ' highlightClick="1"'
    inner = f'<a:snd r:embed="rIdS" name="{sound}"/>' if sound else ""
    return f'<a:hlinkClick {attrs}>{inner}</a:hlinkClick>'


def actions_deck():
    # Slide 1 (blank):
    #  - Forward/Next button, next slide, applause, highlighted: 动作按钮:130,1,applause.wav,-1
    #  - Home button, first slide: 动作按钮:126,3,,0
    #  - End button, end show: 动作按钮:132,6,,0
    #  - a rectangle linked to http://www.example.com/: 动作按钮:1,7,,0 and
    #    超链接地址,http://www.example.com/
    #  - a custom button jumping to slide 2 ("第二页", id 257): 动作按钮:125,7,,0
    #    and 超链接子地址,257,2,第二页
    #  - a rounded rectangle that only plays a sound: 动作按钮:5,0,chimes.wav,0
    # Slide 2 (Title Only): title 第二页; a text run linked to slide 3, which
    # has no title: 超链接子地址,258,3,幻灯片 3
    snd = ("rIdS", "audio", "../media/chimes.wav", False)
    return [
        Slide(5, [
            autoshape(2, "动作按钮: 前进或下一项 1", "actionButtonForwardNext",
                      hlink=action("ppaction://hlinkshowjump?jump=nextslide", "", "applause.wav", True)),
            autoshape(3, "动作按钮: 第一张 2", "actionButtonHome", hlink=action("ppaction://hlinkshowjump?jump=firstslide")),
            autoshape(4, "动作按钮: 结束 3", "actionButtonEnd", hlink=action("ppaction://hlinkshowjump?jump=endshow")),
            autoshape(5, "矩形 4", "rect", hlink=action("", "rId2")),
            autoshape(6, "动作按钮: 自定义 5", "actionButtonBlank", hlink=action("ppaction://hlinksldjump", "rId3")),
            autoshape(7, "圆角矩形 6", "roundRect", hlink=action("ppaction://noaction", "", "chimes.wav")),
        ], rels=[("rId2", "hyperlink", "http://www.example.com/", True), ("rId3", "slide", "slide2.xml", False), snd]),
        Slide(4, [title(2, "第二页"),
                  textbox(3, "文本框 2", para(run("下一页", "", '<a:hlinkClick r:id="rId2" action="ppaction://hlinksldjump"/>')))],
              rels=[("rId2", "slide", "slide3.xml", False)]),
        Slide(5, []),
    ]


def media_deck():
    # Slide 1 (blank): a sound (WAV, embedded as PowerPoint 2010 does:
    # 影片和声音2,1), a movie (影片和声音3, - a movie has no sound format), a
    # rectangle (影片和声音).
    ext = ('<p:extLst><p:ext uri="{DAA4B4D4-6D71-4841-9C94-3DA282948F5A}">'
           '<p14:media xmlns:p14="' + P14 + '" r:embed="{rid}"/></p:ext></p:extLst>')
    return [Slide(5, [
        picture(2, "chimes", "rId4", nv='<a:audioFile r:link="rId2"/>' + ext.replace("{rid}", "rId2")),
        picture(3, "clip", "rId4", nv='<a:videoFile r:link="rId3"/>' + ext.replace("{rid}", "rId3")),
        autoshape(4, "矩形 3", "rect"),
    ], rels=[("rId2", "http://schemas.microsoft.com/office/2007/relationships/media", "../media/chimes.wav", False),
             ("rId3", "http://schemas.microsoft.com/office/2007/relationships/media", "../media/clip.mp4", False),
             ("rId4", "image", "../media/image1.png", False)])]


def fills_deck():
    # Slide 1 (blank), the 自选图形 item and the fill colour:
    #  - rectangle, black solid fill: 自选图形1,-1,1, no 自选图形颜色
    #  - oval, the style's fill (accent1): 自选图形9,-1,1
    #  - rounded rectangle, no fill: 自选图形5,0,1
    #  - pentagon arrow, gradient: 自选图形51,-1,3
    #  - diamond, pattern: 自选图形4,-1,2
    #  - rectangle, tiled picture: 自选图形1,-1,4; stretched picture 自选图形1,-1,6
    #  - hexagon, style fill 2 (the theme's gradient): 自选图形10,-1,3
    #  - heart, the slide background: 自选图形21,-1,5
    #  - freeform: 自选图形138,-1,1
    #  - a line: 自选图形-2,0,1 (its text frame refused: 文本颜色 is added)
    #  - a group of a solid and a gradient shape: 自选图形-2,-1,-2
    #  - a picture "Picture 12": 自选图形1,0,1, 插入图片
    custom = ('<p:sp><p:nvSpPr><p:cNvPr id="11" name="任意多边形 10"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr>'
              f'{xfrm(11)}<a:custGeom><a:avLst/><a:gdLst/><a:ahLst/><a:cxnLst/><a:rect l="0" t="0" r="r" b="b"/>'
              '<a:pathLst><a:path w="10" h="10"><a:moveTo><a:pt x="0" y="0"/></a:moveTo><a:lnTo><a:pt x="10" y="10"/></a:lnTo>'
              '<a:lnTo><a:pt x="0" y="10"/></a:lnTo><a:close/></a:path></a:pathLst></a:custGeom>'
              f'<a:solidFill><a:srgbClr val="00FF00"/></a:solidFill></p:spPr>{SHAPE_STYLE}'
              '<p:txBody><a:bodyPr/><a:lstStyle/><a:p/></p:txBody></p:sp>')
    heart = autoshape(10, "心形 9", "heart", style="").replace("<p:sp>", '<p:sp useBgFill="1">', 1)
    grad = ('<a:gradFill><a:gsLst><a:gs pos="0"><a:srgbClr val="FFFF00"/></a:gs>'
            '<a:gs pos="100000"><a:srgbClr val="0000FF"/></a:gs></a:gsLst></a:gradFill>')
    return [Slide(5, [
        autoshape(2, "矩形 1", "rect", solid("000000")),
        autoshape(3, "椭圆 2", "ellipse"),
        autoshape(4, "圆角矩形 3", "roundRect", "<a:noFill/>"),
        autoshape(5, "五边形 4", "homePlate", grad),
        autoshape(6, "菱形 5", "diamond", '<a:pattFill prst="pct20"><a:fgClr><a:srgbClr val="FF0000"/></a:fgClr>'
                                           '<a:bgClr><a:srgbClr val="FFFFFF"/></a:bgClr></a:pattFill>'),
        autoshape(7, "矩形 6", "rect", '<a:blipFill><a:blip r:embed="rId2"/><a:tile/></a:blipFill>'),
        autoshape(8, "矩形 7", "rect", '<a:blipFill><a:blip r:embed="rId2"/><a:stretch><a:fillRect/></a:stretch></a:blipFill>'),
        autoshape(9, "六边形 8", "hexagon", style=SHAPE_STYLE.replace('fillRef idx="1"', 'fillRef idx="2"')),
        heart,
        custom,
        connector(12, "直接连接符 11"),
        group(13, "组合 12", autoshape(14, "矩形 13", "rect", solid("FF0000")), autoshape(15, "矩形 14", "rect", grad)),
        picture(16, "Picture 12", "rId2"),
    ], rels=[("rId2", "image", "../media/image1.png", False)])]


def answer_deck(changed=False):
    # A model answer: the five slides of layouts_deck, every one fading in
    # smoothly at medium speed (3849,2), and a picture "Picture 3" on the
    # blank slide. The changed answer writes another subtitle and wipes
    # slide 2 in instead: "文本,副标题文字" and "切换方式:3849,2,-1,0,0" are
    # what it lacks.
    slides = layouts_deck()
    fade = transition("<p:fade/>", 'spd="med"')
    for s in slides:
        s.after_tree = fade
    slides[4].shapes = [picture(2, "Picture 3", "rId2")]
    slides[4].rels = [("rId2", "image", "../media/image1.png", False)]
    if changed:
        slides[0].shapes[1] = placeholder(3, "副标题 2", '<p:ph type="subTitle" idx="1"/>', para(run("副标题")))
        slides[1].after_tree = transition('<p:wipe/>', 'spd="med"')
    return slides


def damage(path, part, keep):
    """Rewrites `path` with `part` cut after `keep` bytes (no longer XML)."""
    with zipfile.ZipFile(path) as z:
        entries = [(i.filename, z.read(i.filename)) for i in z.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            z.writestr(name, data[:keep] if name == part else data)


def one_shape_deck(shape, rels=None):
    return [Slide(5, [shape], rels=rels)]


def lo_source_deck():
    # The document LibreOffice converts: a title slide, a Title and Content
    # slide with a red text box and a hyperlink, a Title Only slide with an
    # oval, and a blank slide with a picture; slides 2 and 3 wipe in.
    wipe = transition('<p:wipe dir="r"/>', 'spd="slow"')
    return [
        Slide(1, [title(2, "LibreOffice 演示", '<p:ph type="ctrTitle"/>'),
                  placeholder(3, "副标题 2", '<p:ph type="subTitle" idx="1"/>', para(run("副标题")))]),
        Slide(2, [title(2, "内容"),
                  placeholder(3, "内容占位符 2", '<p:ph idx="1"/>',
                              para(run("要点", "", ""), run("链接", "", '<a:hlinkClick r:id="rId2"/>'))),
                  textbox(4, "文本框 3", para(run("红色文本", 'sz="2400"', solid("FF0000"))))],
              wipe, rels=[("rId2", "hyperlink", "http://www.example.com/", True)]),
        Slide(4, [title(2, "形状"), autoshape(3, "椭圆 2", "ellipse", solid("00B050"))], wipe),
        Slide(5, [picture(2, "Picture 1", "rId2")], rels=[("rId2", "image", "../media/image1.png", False)]),
    ]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    png, wav, mp4 = png_bytes(), wav_bytes(), mp4_bytes()
    write_deck(f"{out}/layouts.pptx", layouts_deck())
    write_deck(f"{out}/text.pptx", text_deck())
    write_deck(f"{out}/transitions_mixed.pptx", transitions_mixed_deck(), media=[("chimes.wav", wav)])
    write_deck(f"{out}/transitions_same.pptx", transitions_same_deck(), theme_name="Blends")
    write_deck(f"{out}/animations.pptx", animations_deck(), media=[("image1.png", png)])
    write_deck(f"{out}/actions.pptx", actions_deck(), media=[("chimes.wav", wav)])
    write_deck(f"{out}/media.pptx", media_deck(), media=[("chimes.wav", wav), ("clip.mp4", mp4), ("image1.png", png)])
    write_deck(f"{out}/fills.pptx", fills_deck(), media=[("image1.png", png)])

    write_deck(f"{out}/answer.pptx", answer_deck(), media=[("image1.png", png)])
    write_deck(f"{out}/answer_changed.pptx", answer_deck(True), media=[("image1.png", png)])
    # The five layout slides with slide 3 cut short: it reads nothing, the
    # whole range has no transition, slides 1, 2, 4 and 5 read as ever.
    write_deck(f"{out}/damaged.pptx", layouts_deck())
    damage(f"{out}/damaged.pptx", "ppt/slides/slide3.xml", 300)
    # One shape each: a text box of black text, one of red text, a picture
    # named "Picture 2".
    write_deck(f"{out}/black_text.pptx", one_shape_deck(textbox(2, "文本框 1", para(run("黑色", "", solid("000000"))))))
    write_deck(f"{out}/red_text.pptx", one_shape_deck(textbox(2, "文本框 1", para(run("红色", "", solid("FF0000"))))))
    write_deck(f"{out}/picture.pptx", one_shape_deck(picture(2, "Picture 2", "rId2"),
                                                     [("rId2", "image", "../media/image1.png", False)]),
               media=[("image1.png", png)])

    with tempfile.TemporaryDirectory() as tmp:
        src = f"{tmp}/lo_deck.pptx"
        write_deck(src, lo_source_deck(), media=[("image1.png", png)])
        profile = f"file://{tmp}/profile"
        for fmt, ext in (("pptx:Impress MS PowerPoint 2007 XML", "pptx"), ("ppt:MS PowerPoint 97", "ppt")):
            conv = f"{tmp}/{ext}"
            os.makedirs(conv)
            subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless", "--convert-to", fmt,
                            "--outdir", conv, src], check=True, stdout=subprocess.DEVNULL, timeout=180)
            shutil.copy(f"{conv}/lo_deck.{ext}", f"{out}/lo_deck.{ext}")

    here = os.path.dirname(os.path.abspath(__file__))
    subprocess.run(["node", f"{here}/make_pptxgen.js", f"{out}/pptxgen.pptx"], check=True)


if __name__ == "__main__":
    main()

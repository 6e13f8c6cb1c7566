#!/usr/bin/env python3
"""Checks packed demo question files (.docx, .xlsx, .pptx).

    check_packages.py FILE...                    the package structure
    check_packages.py --render SOFFICE FILE...   also converts each file to PDF
                                                 with LibreOffice and looks for
                                                 its first text in the PDF

Structure: the zip is sound; [Content_Types].xml comes first; no folder
entries and no names that leave the package; every XML part is well-formed;
every part has a content type and every override names a part; every
internal relationship target exists and every part is reached from the
package relationships; the main part has the content type its extension
asks for. Prints one line per fault and exits 1 if there was any.
"""
import os
import posixpath
import shutil
import subprocess
import sys
import tempfile
import xml.dom.minidom
import zipfile

CT_NS = 'http://schemas.openxmlformats.org/package/2006/content-types'
REL_NS = 'http://schemas.openxmlformats.org/package/2006/relationships'
OFFICE_DOCUMENT = ('http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
                   'officeDocument')
MAIN_TYPES = {
    '.docx': 'application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml',
    '.xlsx': 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml',
    '.pptx': 'application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml',
}
# Elements that hold the document's visible text, by main part kind.
TEXT_ELEMENTS = {'.docx': 'w:t', '.xlsx': 't', '.pptx': 'a:t'}


class Package:
    def __init__(self, path):
        self.path = path
        self.faults = []
        self.zip = zipfile.ZipFile(path)
        self.names = self.zip.namelist()
        self.doms = {}

    def fault(self, what):
        self.faults.append(f'{self.path}: {what}')

    def dom(self, name):
        if name not in self.doms:
            try:
                self.doms[name] = xml.dom.minidom.parseString(self.zip.read(name))
            except Exception as e:  # the parser's own message says where
                self.fault(f'{name}: not well-formed XML: {e}')
                self.doms[name] = None
        return self.doms[name]


def rels_name(part):
    folder, base = posixpath.split(part)
    return posixpath.join(folder, '_rels', base + '.rels')


def source_of(rels):
    """The part whose relationships `rels` holds ('' for the package)."""
    folder, base = posixpath.split(rels)
    return posixpath.join(posixpath.dirname(folder), base[:-len('.rels')]) if base != '.rels' else ''


def relationships(pkg, source):
    name = rels_name(source) if source else '_rels/.rels'
    if name not in pkg.names:
        return []
    dom = pkg.dom(name)
    if dom is None:
        return []
    out, ids = [], set()
    for r in dom.getElementsByTagNameNS(REL_NS, 'Relationship'):
        rid = r.getAttribute('Id')
        if rid in ids:
            pkg.fault(f'{name}: relationship id {rid} used twice')
        ids.add(rid)
        if r.getAttribute('TargetMode') == 'External':
            continue
        target = r.getAttribute('Target')
        base = posixpath.dirname(source) if source else ''
        resolved = posixpath.normpath(posixpath.join(base, target)).lstrip('/')
        if target.startswith('/'):
            resolved = target.lstrip('/')
        out.append((r.getAttribute('Type'), resolved, name))
    return out


def check_structure(pkg):
    if pkg.zip.testzip() is not None:
        pkg.fault('damaged zip entry ' + pkg.zip.testzip())
    if not pkg.names or pkg.names[0] != '[Content_Types].xml':
        pkg.fault('[Content_Types].xml is not the first entry')
    if len(set(pkg.names)) != len(pkg.names):
        pkg.fault('an entry name occurs twice')
    for n in pkg.names:
        if n.endswith('/'):
            pkg.fault(f'folder entry {n}')
        if n.startswith('/') or '..' in n.split('/') or '\\' in n:
            pkg.fault(f'entry name {n} leaves the package')
    for n in pkg.names:
        if n.endswith('.xml') or n.endswith('.rels'):
            pkg.dom(n)

    # Content types.
    ct = pkg.dom('[Content_Types].xml') if '[Content_Types].xml' in pkg.names else None
    defaults, overrides = {}, {}
    if ct is not None:
        for d in ct.getElementsByTagNameNS(CT_NS, 'Default'):
            defaults[d.getAttribute('Extension').lower()] = d.getAttribute('ContentType')
        for o in ct.getElementsByTagNameNS(CT_NS, 'Override'):
            overrides[o.getAttribute('PartName').lower()] = o.getAttribute('ContentType')
    lower_names = {'/' + n.lower() for n in pkg.names}
    for part in overrides:
        if part not in lower_names:
            pkg.fault(f'content type override for missing part {part}')

    def content_type(part):
        base = posixpath.basename(part)
        extension = base.rsplit('.', 1)[1].lower() if '.' in base else ''
        return overrides.get('/' + part.lower()) or defaults.get(extension)

    for n in pkg.names:
        if n != '[Content_Types].xml' and not content_type(n):
            pkg.fault(f'{n} has no content type')

    # Relationships: targets exist, every part is reached.
    reached, todo = set(), ['']
    main = None
    while todo:
        source = todo.pop()
        for rtype, target, rels in relationships(pkg, source):
            if target not in pkg.names:
                pkg.fault(f'{rels}: target {target} is not in the package')
                continue
            if source == '' and rtype == OFFICE_DOCUMENT:
                main = target
            if target not in reached:
                reached.add(target)
                todo.append(target)
    for n in pkg.names:
        if n == '[Content_Types].xml' or n.endswith('.rels'):
            if n.endswith('.rels') and source_of(n) and source_of(n) not in pkg.names:
                pkg.fault(f'{n} belongs to no part')
            continue
        if n not in reached:
            pkg.fault(f'{n} is reached by no relationship')

    ext = os.path.splitext(pkg.path)[1].lower()
    if main is None:
        pkg.fault('no officeDocument relationship')
    elif content_type(main) != MAIN_TYPES.get(ext):
        pkg.fault(f'main part {main} has content type {content_type(main)}, '
                  f'a {ext} file needs {MAIN_TYPES.get(ext)}')
    return main


def first_text(pkg, main):
    """The first non-empty text of the document, for finding it in the PDF."""
    ext = os.path.splitext(pkg.path)[1].lower()
    part = main
    if ext == '.xlsx':
        part = 'xl/sharedStrings.xml'
    elif ext == '.pptx':
        part = 'ppt/slides/slide1.xml'
    dom = pkg.dom(part) if part in pkg.names else None
    if dom is None:
        return None
    for e in dom.getElementsByTagName(TEXT_ELEMENTS[ext]):
        text = ''.join(c.data for c in e.childNodes if c.nodeType == c.TEXT_NODE).strip()
        if text:
            return text
    return None


def render(pkg, main, soffice, work):
    """Converts the package to PDF and looks for its first text there."""
    ext = os.path.splitext(pkg.path)[1].lower()
    copy = os.path.join(work, os.path.basename(pkg.path))
    shutil.copyfile(pkg.path, copy)
    profile = 'file://' + os.path.join(work, 'profile')
    cmd = [soffice, '-env:UserInstallation=' + profile, '--headless', '--convert-to', 'pdf',
           '--outdir', work, copy]
    run = subprocess.run(cmd, capture_output=True, text=True, timeout=300)
    pdf = os.path.splitext(copy)[0] + '.pdf'
    if run.returncode != 0 or not os.path.exists(pdf):
        pkg.fault(f'LibreOffice did not convert it: {run.stdout.strip()} {run.stderr.strip()}')
        return
    with open(pdf, 'rb') as f:
        if not f.read(5) == b'%PDF-':
            pkg.fault('the converted file is no PDF')
            return
    if shutil.which('pdftotext') is None:
        print(f'{pkg.path}: converted; pdftotext missing, text not checked')
        return
    text = subprocess.run(['pdftotext', '-enc', 'UTF-8', pdf, '-'], capture_output=True,
                          text=True).stdout
    want = first_text(pkg, main)
    flat = ''.join(text.split())
    if want is None or ''.join(want.split()) not in flat:
        pkg.fault(f'the PDF does not show the first text {want!r}')
    pages = text.count('\f')
    if ext == '.pptx':
        slides = len([n for n in pkg.names if posixpath.dirname(n) == 'ppt/slides'])
        if pages != slides:
            pkg.fault(f'{pages} PDF pages for {slides} slides')
    print(f'{pkg.path}: rendered, {pages} page(s), shows {want!r}')


def main(argv):
    soffice = None
    if argv[:1] == ['--render']:
        soffice, argv = argv[1], argv[2:]
    if not argv:
        print(__doc__)
        return 2
    faults = []
    with tempfile.TemporaryDirectory(prefix='bq-demo-render-') as work:
        for path in argv:
            try:
                pkg = Package(path)
            except (OSError, zipfile.BadZipFile) as e:
                faults.append(f'{path}: cannot open as zip: {e}')
                continue
            main_part = check_structure(pkg)
            if soffice and not pkg.faults:
                render(pkg, main_part, soffice, work)
            faults += pkg.faults
    for f in faults:
        print(f)
    if not faults:
        print(f'{len(argv)} package(s) sound')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))

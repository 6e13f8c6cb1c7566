#!/usr/bin/env python3
"""Writes the seeds of zip_directory_fuzz: small archives laid out as Office,
LibreOffice, Info-ZIP and streaming writers lay them out, and a few that are
not plain (comment, Zip64, UTF-8 name, encrypted flag) so that the fuzzer
starts on both sides of the plain reading.

Usage: fuzz/zip_directory_seeds.py [folder]   (default fuzz/seeds/zip_directory_fuzz)
The output is the same on every run (fixed times, no host attributes).
"""
import io
import os
import struct
import sys
import zipfile

DATE = (1980, 1, 1, 0, 0, 0)  # what Word and PowerPoint write

CONTENT_TYPES = (
    b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
    b'<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    b'<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    b'<Default Extension="xml" ContentType="application/xml"/></Types>')
RELS = (
    b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
    b'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    b'<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    b'relationships/officeDocument" Target="word/document.xml"/></Relationships>')
DOCUMENT = (
    b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
    b'<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
    b'<w:body><w:p><w:r><w:t>Hello, examinee.</w:t></w:r></w:p>'
    b'<w:p><w:r><w:t>Hello, examinee.</w:t></w:r></w:p></w:body></w:document>')
STYLES = b'<w:styles xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"/>'
SLIDE = (b'<p:sld xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main">'
         b'<p:cSld><p:spTree/></p:cSld></p:sld>')
PNG = bytes(range(0, 256, 3))


def info(name, compress=zipfile.ZIP_DEFLATED, extra=b''):
    i = zipfile.ZipInfo(name, DATE)
    i.compress_type = compress
    i.create_system = 0
    i.external_attr = 0
    i.extra = extra
    return i


def archive(entries, comment=b'', force_zip64=False):
    out = io.BytesIO()
    with zipfile.ZipFile(out, 'w') as z:
        for i, data in entries:
            with z.open(i, 'w', force_zip64=force_zip64) as f:
                f.write(data)
        z.comment = comment
    return out.getvalue()


def streamed(entries):
    """As a writer to a pipe writes: sizes and CRC in data descriptors."""
    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.buffer = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.buffer += b
            return len(b)

    out = Unseekable()
    with zipfile.ZipFile(out, 'w') as z:
        for i, data in entries:
            z.writestr(i, data)
    return bytes(out.buffer)


def word():
    return [(info('[Content_Types].xml'), CONTENT_TYPES), (info('_rels/.rels'), RELS),
            (info('word/document.xml'), DOCUMENT), (info('word/styles.xml'), STYLES)]


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), 'seeds', 'zip_directory_fuzz')
    os.makedirs(folder, exist_ok=True)
    # Info-ZIP's extended timestamp ("UT") and Unix ids ("ux").
    info_zip_extra = struct.pack('<HHBI', 0x5455, 5, 3, 0) + struct.pack('<HHBBIBI', 0x7875, 11, 1, 4,
                                                                          1000, 4, 1000)
    seeds = {
        'word_deflated.zip': archive(word()),
        'presentation_stored_and_folder.zip': archive([
            (info('mimetype', zipfile.ZIP_STORED), b'application/vnd.oasis.opendocument.text'),
            (info('ppt/', zipfile.ZIP_STORED), b''),
            (info('ppt/media/image1.png', zipfile.ZIP_STORED), PNG),
            (info('ppt/slides/slide1.xml'), SLIDE),
            (info('empty.xml', zipfile.ZIP_STORED), b''),
        ]),
        'extra_fields.zip': archive([(info('word/document.xml', extra=info_zip_extra), DOCUMENT),
                                     (info('a b/c~d!.xml', zipfile.ZIP_STORED, info_zip_extra), RELS)]),
        'data_descriptors.zip': streamed(word()[:3]),
        'empty_archive.zip': archive([]),
        'with_comment.zip': archive(word()[:2], comment=b'written by hand'),
        'zip64.zip': archive(word()[:2], force_zip64=True),
        'utf8_name.zip': archive([(info('word/文档.xml'), DOCUMENT)]),
    }
    encrypted = bytearray(seeds['word_deflated.zip'])
    central = encrypted.find(b'PK\1\2')
    encrypted[central + 8] |= 1
    seeds['encrypted_flag.zip'] = bytes(encrypted)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()

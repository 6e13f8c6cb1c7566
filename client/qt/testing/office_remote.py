#!/usr/bin/python3
"""Drives a running LibreOffice through its own remote interface (UNO, over
the named pipe its profile accepts), as the desktop tests' examinee and
marker. Run with Debian's /usr/bin/python3 (python3-uno).

    office_remote.py wait PIPE NAME SECONDS
        waits until LibreOffice answers on PIPE and shows the document whose
        file is named NAME (letter case ignored) in a window
    office_remote.py edit PIPE KIND NAME
        the examinee's part of the task on the open document NAME, then
        saves it as the examinee does: the Save command (.uno:Save, as
        Ctrl+S) through the dispatcher; fails when the command has not
        returned within 20 s (a dialog waits) or left the document unsaved
    office_remote.py model PIPE KIND SOURCE TARGET
        opens SOURCE hidden, makes the whole task of the model answer and
        stores it as TARGET in the format SOURCE was read in
    office_remote.py resave PIPE SOURCE TARGET [FILTER]
        opens SOURCE hidden and stores it unchanged as TARGET, in FILTER or
        in the format SOURCE was read in

KIND is "word" (the Word section's title: bold and centred; the model also
sets it in 黑体, 22 points) or "calc" (A1:F1 merged and centred; the model
also sets the title in 黑体, 16 points, and sums F3:F7).

Each command prints one JSON object on standard output: the document's
address, the filter it was read or stored with, the title text. Failures
print a message on standard error and exit 1.
"""
import json
import os
import sys
import threading
import time
import traceback

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException

BOLD = 150.0
SAVE_SECONDS = 20
CONTEXT = []  # the remote component context, once connected
CENTER_PARAGRAPH = 3  # com.sun.star.style.ParagraphAdjust.CENTER


def connect(pipe, seconds):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.monotonic() + seconds
    while True:
        try:
            ctx = resolver.resolve(
                "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            CONTEXT.append(ctx)
            return ctx.ServiceManager.createInstanceWithContext(
                "com.sun.star.frame.Desktop", ctx)
        except NoConnectException:
            if time.monotonic() > deadline:
                raise SystemExit("LibreOffice did not answer on pipe %s" % pipe)
            time.sleep(0.2)


def props(**values):
    return tuple(PropertyValue(Name=k, Value=v) for k, v in values.items())


def arg(doc, name):
    for a in doc.getArgs():
        if a.Name == name:
            return a.Value
    return None


def file_name(doc):
    url = doc.getURL()
    return os.path.basename(uno.fileUrlToSystemPath(url)) if url else ""


def find_open(desktop, name):
    components = desktop.getComponents().createEnumeration()
    while components.hasMoreElements():
        doc = components.nextElement()
        if file_name(doc).lower() == name.lower():
            return doc
    return None


def shown(doc):
    controller = doc.getCurrentController()
    return controller is not None and controller.getFrame().getContainerWindow().isVisible()


def title_cell_text(doc, kind):
    if kind == "word":
        return doc.getText().createEnumeration().nextElement().getString()
    return doc.getSheets().getByIndex(0).getCellRangeByName("A1").getString()


def apply_task(doc, kind, whole):
    if kind == "word":
        title = doc.getText().createEnumeration().nextElement()
        title.CharWeight = BOLD
        title.CharWeightAsian = BOLD
        title.ParaAdjust = CENTER_PARAGRAPH
        if whole:
            title.CharFontNameAsian = "黑体"
            title.CharHeight = 22.0
            title.CharHeightAsian = 22.0
    elif kind == "calc":
        sheet = doc.getSheets().getByIndex(0)
        heading = sheet.getCellRangeByName("A1:F1")
        heading.merge(True)
        heading.HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "CENTER")
        if whole:
            heading.CharFontNameAsian = "黑体"
            heading.CharHeight = 16.0
            heading.CharHeightAsian = 16.0
            for row in range(3, 8):
                sheet.getCellRangeByName("F%d" % row).setFormula("=SUM(B%d:E%d)" % (row, row))
    else:
        raise SystemExit("unknown kind " + kind)


def save_as_examinee(doc):
    """The Save command on the document's window, as Ctrl+S gives it. A
    question LibreOffice asks first (the keep-format dialog) keeps the
    command from returning."""
    ctx = CONTEXT[-1]
    helper = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.DispatchHelper", ctx)
    frame = doc.getCurrentController().getFrame()
    done = threading.Event()

    def save():
        helper.executeDispatch(frame, ".uno:Save", "", 0, ())
        done.set()

    threading.Thread(target=save, daemon=True).start()
    if not done.wait(SAVE_SECONDS):
        sys.stderr.write("Save did not return within %d s: a dialog waits for the examinee\n"
                         % SAVE_SECONDS)
        sys.stderr.flush()
        os._exit(1)
    if doc.isModified():
        raise SystemExit("Save left the document unsaved")


def report(doc, kind=None):
    out = {"url": doc.getURL(), "filter": arg(doc, "FilterName")}
    if kind:
        out["title"] = title_cell_text(doc, kind)
    print(json.dumps(out, ensure_ascii=False), flush=True)


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    command, pipe = argv[1], argv[2]
    if command == "wait":
        name, seconds = argv[3], float(argv[4])
        deadline = time.monotonic() + seconds
        desktop = connect(pipe, seconds)
        while True:
            doc = find_open(desktop, name)
            if doc is not None and shown(doc):
                return report(doc)
            if time.monotonic() > deadline:
                raise SystemExit("LibreOffice shows no document named " + name)
            time.sleep(0.2)
    desktop = connect(pipe, 30)
    if command == "edit":
        kind, name = argv[3], argv[4]
        doc = find_open(desktop, name)
        if doc is None:
            raise SystemExit("no open document named " + name)
        apply_task(doc, kind, whole=False)
        save_as_examinee(doc)
        return report(doc, kind)
    if command in ("model", "resave"):
        if command == "model":
            kind, source, target, filter_name = argv[3], argv[4], argv[5], None
        else:
            kind, source, target = None, argv[3], argv[4]
            filter_name = argv[5] if len(argv) > 5 else None
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(source), "_blank", 0,
                                           props(Hidden=True))
        if doc is None:
            raise SystemExit("LibreOffice cannot open " + source)
        try:
            if kind:
                apply_task(doc, kind, whole=True)
            used = filter_name or arg(doc, "FilterName")
            doc.storeToURL(uno.systemPathToFileUrl(target), props(FilterName=used))
            out = {"url": uno.systemPathToFileUrl(target), "filter": used}
            if kind:
                out["title"] = title_cell_text(doc, kind)
            print(json.dumps(out, ensure_ascii=False), flush=True)
        finally:
            doc.close(True)
        return None
    raise SystemExit("unknown command " + command)


def run(argv):
    """main's exit status, with its message on standard error."""
    try:
        main(argv)
        return 0
    except SystemExit as e:
        if e.code is None or e.code == 0:
            return 0
        if isinstance(e.code, int):
            return e.code
        sys.stderr.write("%s\n" % e.code)
        return 1
    except Exception:  # pylint: disable=broad-except
        traceback.print_exc()
        return 1


if __name__ == "__main__":
    status = run(sys.argv)
    sys.stdout.flush()
    sys.stderr.flush()
    # Without the interpreter's own ending: the remote bridge's proxies, torn
    # down at interpreter exit, now and then crash the process after its work
    # is done and its answer printed.
    os._exit(status)

# The resident LibreOffice of ResidentConverter (resident_converter.h).
#
#   python3 uno_converter.py SOFFICE PIPE PROFILE_URL
#
# Starts SOFFICE headless with its own profile, listening on the named pipe
# PIPE for LibreOffice's remote protocol, connects to it through the UNO
# bridge and prints "ready". Then it reads one request per line on standard
# input,
#
#   SOURCE <TAB> IMPORT_FILTER <TAB> TARGET <TAB> EXPORT_FILTER
#
# loads SOURCE hidden and read-only with the import filter, stores it as
# TARGET with the export filter and answers "ok", or "error <TAB> reason".
# When standard input ends it ends LibreOffice and itself. It runs in the
# caller's process group with LibreOffice, so the caller can end both at once.
import os
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def main():
    soffice, pipe, profile = sys.argv[1:4]
    office = subprocess.Popen(
        [soffice, "-env:UserInstallation=" + profile, "--headless", "--invisible", "--norestore",
         "--nologo", "--nolockcheck", "--nodefault",
         "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    while True:
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            break
        except NoConnectException:
            if office.poll() is not None:
                say("error\tLibreOffice ended at start (status %d)" % office.returncode)
                return 1
            time.sleep(0.05)
    desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
    say("ready")
    for line in sys.stdin:
        source, import_filter, target, export_filter = line.rstrip("\n").split("\t")
        try:
            doc = desktop.loadComponentFromURL(
                uno.systemPathToFileUrl(source), "_blank", 0,
                (prop("Hidden", True), prop("ReadOnly", True), prop("FilterName", import_filter)))
            if doc is None:
                raise RuntimeError("the file cannot be loaded")
            try:
                doc.storeToURL(uno.systemPathToFileUrl(target),
                               (prop("FilterName", export_filter), prop("Overwrite", True)))
            finally:
                try:
                    doc.close(True)
                except Exception:
                    doc.dispose()
            say("ok")
        except Exception as e:
            say("error\t" + " ".join(str(e).split())[:300])
    try:
        desktop.terminate()
    except Exception:
        pass
    try:
        office.wait(10)
    except subprocess.TimeoutExpired:
        office.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())

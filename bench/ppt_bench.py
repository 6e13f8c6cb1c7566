#!/usr/bin/python3
"""The Python side of ppt_bench.

  ppt_bench.py make DIR        writes DIR/deck20.pptx (20 slides: titles,
                               bulleted bodies, formatted text boxes,
                               AutoShapes with fills and actions, pictures,
                               hyperlinks, transitions and animations) and
                               DIR/deck5.pptx (its first 5 slides), with the
                               test decks' writer (make_decks.py)
  ppt_bench.py parse FILE N    opens FILE N times with zipfile and parses
                               with xml.etree every part ReadPPT reads (the
                               presentation, its slides, layouts, masters and
                               themes, and their relationships); prints
                               "best <seconds> parts <count>" for the fastest
                               pass, timed here
"""
import os
import sys
import time
import xml.etree.ElementTree as ET
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scoring",
                                "extractors", "testdata", "ppt"))


def make(folder):
    import make_decks as d
    sources = [d.layouts_deck(), d.text_deck(), d.animations_deck(), d.actions_deck(), d.fills_deck(),
               d.media_deck()]
    pool = [s for deck in sources for s in deck]
    slides = []
    for i in range(20):
        s = pool[i % len(pool)]
        # Every slide gets a transition of its own kind.
        effect = ["<p:fade/>", '<p:wipe dir="d"/>', "<p:dissolve/>", '<p:cover dir="ru"/>'][i % 4]
        timing = s.after_tree if "<p:timing" in s.after_tree else ""
        slides.append(d.Slide(s.layout_no, list(s.shapes),
                              d.transition(effect, 'spd="med"') + timing, list(s.rels)))
    # Slide jumps point inside the deck; media are shared.
    media = [("image1.png", d.png_bytes()), ("chimes.wav", d.wav_bytes()), ("clip.mp4", d.mp4_bytes())]
    d.write_deck(f"{folder}/deck20.pptx", slides, media=media)
    d.write_deck(f"{folder}/deck5.pptx", slides[:5], media=media)


def parse_once(path):
    count = 0
    with zipfile.ZipFile(path) as z:
        names = [n for n in z.namelist()
                 if n.startswith(("ppt/slides/", "ppt/slideLayouts/", "ppt/slideMasters/", "ppt/theme/"))
                 or n in ("ppt/presentation.xml", "ppt/_rels/presentation.xml.rels", "[Content_Types].xml",
                          "_rels/.rels")]
        for n in names:
            ET.fromstring(z.read(n))
            count += 1
    return count


def parse(path, n):
    best = float("inf")
    count = 0
    for _ in range(n):
        t0 = time.perf_counter()
        count = parse_once(path)
        best = min(best, time.perf_counter() - t0)
    print(f"best {best:.6f} parts {count}")


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        parse(sys.argv[2], int(sys.argv[3]))

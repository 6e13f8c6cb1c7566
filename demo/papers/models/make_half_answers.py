#!/usr/bin/python3
"""Writes the half answers of the demo papers (models/half/ beside this script).

  /usr/bin/python3 make_half_answers.py PAPERS_SRC BQCALL [SOFFICE]

The arguments are those of make_models.py. A half answer is the question
document with about half of the question's tasks done and the others left as
the question document has them: an answer the marking should give part of the
marks. It is made by the producers of make_models.py, run on the task numbers
below (the numbers of the question's text):

  wordtest/festival.docx   1 (title 黑体, 二号, bold, centred), 2 (body indent
                           and 1.5 line spacing), 3 (first body paragraph 楷体,
                           小四); not the red 春节, the margins
  wordtest/tea.docx        1 (title 隶书, 一号, blue, centred), 2 (drop cap);
                           not the columns, the header, the spacing before
  wordtable/scores.docx    1 (总分 column), 3 (borders); not the average row,
                           the grey first row, the centred table
  exceltest/sales_1.xlsx   1 (A1:F1 merged, 黑体 16), 2 (SUM totals); not the
                           averages, the borders, the sheet's new name
  exceltest/sales_2.xlsx   1 (SUM totals), 3 (conditional formats); not the
                           & formulas in G, the sort
  powerpoint/hometown.pptx 1 (title 黑体 54 pt), 4 (fly-in of slide 2's body);
                           not the blinds, the third slide
  operation/1.txt          1, 2, 3 (英语 folder, the copied poem, 草稿 moved);
                           not the deletion, the renamed folder
  operation/2.txt          1, 2 (三月.txt, the copies in 备份); not the
                           renamed contract, the 存档 folder
  operation/3.txt          1, 4 (the copied sketch, 设计 deleted); not the
                           A&B 备份 folder, the moved 需求.txt
  operation/4.txt          1, 2, 5 (精选 folder, the copied photo, 歌单.txt);
                           not the renamed and moved photo, the deletion

Counted in knowledge points against the answer key (bqmark expect MODEL
--question QUESTION), each gets 40% to 61% of the key's task and remove points
right: the task points present, the remove points gone.

The e-mail questions have none: a message is sent whole or not at all.
"""
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ beside the models
import make_models  # noqa: E402

# Task numbers done by each half answer (see the docstring).
HALF = {
    "festival": (1, 2, 3),
    "tea": (1, 2),
    "scores": (1, 3),
    "sales_1": (1, 2),
    "sales_2": (1, 3),
    "hometown": (1, 4),
    "operation": {1: (1, 2, 3), 2: (1, 2), 3: (1, 4), 4: (1, 2, 5)},
}


def main():
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__)
    papers_src, bqcall = sys.argv[1], os.path.abspath(sys.argv[2])
    soffice = sys.argv[3] if len(sys.argv) == 4 else shutil.which("soffice")
    make_models.OUT_ROOT = os.path.join(HERE, "half")
    files = os.path.join(papers_src, "files")
    make_models.festival(os.path.join(files, "wordtest", "festival.docx"), HALF["festival"])
    make_models.tea(os.path.join(files, "wordtest", "tea.docx"), HALF["tea"])
    make_models.scores(os.path.join(files, "wordtable", "scores.docx"), HALF["scores"])
    make_models.sales_1(os.path.join(files, "exceltest", "sales.xlsx"), HALF["sales_1"])
    make_models.sales_2(os.path.join(files, "exceltest", "sales.xlsx"), HALF["sales_2"])
    make_models.hometown(os.path.join(files, "powerpoint", "hometown.pptx"), soffice, HALF["hometown"])
    for qid, done in HALF["operation"].items():
        steps = [step for n, step in enumerate(make_models.OPERATION_TASKS[qid], start=1) if n in done]
        make_models.operation(bqcall, qid, make_models.operation_list(papers_src, qid), steps)


if __name__ == "__main__":
    main()

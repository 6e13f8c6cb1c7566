#!/bin/sh
# brightquill-exam: starts the exam client from the desktop menu.
#
# The client writes its section pages into its program folder, so it runs on a
# folder the examinee may write: $BQ_PROGRAM_FOLDER, else
# ${XDG_DATA_HOME:-~/.local/share}/brightquill/program. A folder without an
# exam database (the first start) gets a copy of the installed demo program
# folder; files already there are kept, so a school's own exam placed there
# (or an examinee's stored answers) is never overwritten. Arguments pass on to
# BqTestMy.
set -eu

installed=@BQ_DEMO_FOLDER@
client=@BQ_CLIENT_PROGRAM@

if [ -n "${BQ_PROGRAM_FOLDER:-}" ]; then
  folder=$BQ_PROGRAM_FOLDER
else
  data=${XDG_DATA_HOME:-}
  if [ -z "$data" ]; then
    [ -n "${HOME:-}" ] || { echo "brightquill-exam: neither HOME nor BQ_PROGRAM_FOLDER is set" >&2; exit 1; }
    data=$HOME/.local/share
  fi
  folder=$data/brightquill/program
fi

if [ ! -e "$folder/BqTest.MDB" ]; then
  mkdir -p "$folder"
  # -L: the viewer is a link into /usr/lib in the installed folder; the copy
  # gets the program itself. -n: nothing there is replaced.
  cp -RLn "$installed/." "$folder/"
  # The database last, beside and renamed: an interrupted copy leaves no
  # database that a later start would take as complete.
  rm -f "$folder/BqTest.MDB" "$folder/.BqTest.MDB.part"
  cp -L "$installed/BqTest.MDB" "$folder/.BqTest.MDB.part"
  mv "$folder/.BqTest.MDB.part" "$folder/BqTest.MDB"
fi

exec "$client" --app-folder "$folder" "$@"

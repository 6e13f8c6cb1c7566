#!/usr/bin/env bash
# Fails when code outside the platform layers includes a system or
# third-party header (docs/architecture.md, "Where library headers may be included").
#
#   .ci/check_includes.sh [ROOT]
#
# Checked: every C++ source and header of the repository (git's list of
# tracked and new files; every file when ROOT is no git checkout). Allowed
# everywhere: the C++ standard library, the project's own headers ("..."
# naming a file of the repository), and the header-only utility libraries
# nlohmann/json and CLI11. Anything else (POSIX and Linux headers, zlib,
# libsodium, SQLite, Qt, ...) only in:
#   platform/, client/qt/, client/questionpane/  (the platform layers, the Qt programs)
#   tests: *_test.cpp, *_test.h, test_* files, testing/ folders, fuzz/, bench/
#   the common layer's exceptions listed in COMMON_EXCEPTIONS below.
#
# The XML parser and the zip library are narrower still: <pugixml.hpp> and
# <zip.h> only inside platform/office and platform/zip (and in fuzz/, bench/
# and tests, which measure or check against the libraries themselves); and no
# file outside platform/office reaches either through a header of
# platform/office, which keeps them out of the Office layer's public headers.
# platform/infozip still writes and reads archives with libzip itself: it may
# include <zip.h> (not pugixml) until it goes through platform/zip.
set -euo pipefail
ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$ROOT"

# The common layer's documented exceptions: file and the headers it may include.
declare -A COMMON_EXCEPTIONS=(
  [common/ansi.cpp]="iconv.h"                                     # the ANSI code page (iconv)
  [common/text.cpp]="unicode/uchar.h unicode/utf16.h unicode/utf8.h"  # case mapping (ICU)
  [common/files.cpp]="fcntl.h sys/stat.h unistd.h"                # whole files, atomic replacement
  [common/winpath.cpp]="dirent.h sys/stat.h"                      # drive mapping, NTFS-order listings
)

STD_HEADERS=" algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat
  charconv chrono cinttypes climits clocale cmath codecvt compare complex concepts
  condition_variable coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring
  ctime cuchar cwchar cwctype deque exception execution expected filesystem format forward_list
  fstream functional future initializer_list iomanip ios iosfwd iostream istream iterator latch
  limits list locale map memory memory_resource mutex new numbers numeric optional ostream queue
  random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location span
  sstream stack stdexcept stop_token streambuf string string_view syncstream system_error thread
  tuple type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant
  vector version "
UTILITY_HEADERS=" nlohmann/json.hpp nlohmann/json_fwd.hpp CLI/CLI.hpp "
STD_HEADERS=" $(echo $STD_HEADERS) "  # one blank between names

exempt() {
  case "$1" in
    platform/*|client/qt/*|client/questionpane/*|fuzz/*|bench/*) return 0 ;;
    */testing/*|testing/*) return 0 ;;
  esac
  local name=${1##*/}
  case "$name" in
    *_test.cpp|*_test.h|test_*) return 0 ;;
  esac
  return 1
}

if git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.hpp' '*.cc')
else
  files=$(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' \) -print | sed 's|^\./||')
fi

# The libraries that only the Office and zip layers may include.
NARROW_HEADERS=" pugixml.hpp zip.h "

narrow_allowed() {
  case "$1" in
    platform/office/*|platform/zip/*|fuzz/*|bench/*) return 0 ;;
    platform/infozip/*) [ "$2" = zip.h ] && return 0 ;;
    */testing/*|testing/*) return 0 ;;
  esac
  local name=${1##*/}
  case "$name" in
    *_test.cpp|*_test.h|test_*) return 0 ;;
  esac
  return 1
}

# Sets CHAIN to how project header $1 reaches a narrow library header,
# itself or through the project headers it includes ("a.h -> b.h ->
# <pugixml.hpp>"); empty when it does not. Remembered per header.
declare -A REACHES=()
reaches() {
  local header=$1 text inner found=""
  if [ -n "${REACHES[$header]+set}" ]; then
    CHAIN=${REACHES[$header]}
    return
  fi
  REACHES[$header]=""  # headers that include each other back end here
  while IFS= read -r text; do
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
      case "$NARROW_HEADERS" in *" ${BASH_REMATCH[1]} "*) found="$header -> <${BASH_REMATCH[1]}>"; break ;; esac
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      inner=${BASH_REMATCH[1]}
      [ -f "$inner" ] || continue
      reaches "$inner"
      if [ -n "$CHAIN" ]; then found="$header -> $CHAIN"; break; fi
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$header" || true)
  REACHES[$header]=$found
  CHAIN=$found
}

faults=0
while IFS= read -r file; do
  [ -n "$file" ] && [ -f "$file" ] || continue
  case "$file" in platform/office/*|platform/zip/*) continue ;; esac
  while IFS= read -r hit; do
    line=${hit%%:*}
    text=${hit#*:}
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
      header=${BASH_REMATCH[1]}
      case "$NARROW_HEADERS" in *" $header "*) ;; *) continue ;; esac
      narrow_allowed "$file" "$header" && continue
      echo "$file:$line: includes <$header>, which only platform/office and platform/zip may include" >&2
      faults=$((faults + 1))
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"(platform/office/[^\"]+)\" ]]; then
      header=${BASH_REMATCH[1]}
      [ -f "$header" ] || continue
      reaches "$header"
      [ -z "$CHAIN" ] && continue
      echo "$file:$line: reaches a library of the Office layer through its headers ($CHAIN)" >&2
      faults=$((faults + 1))
    fi
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done <<<"$files"

while IFS= read -r file; do
  [ -n "$file" ] && [ -f "$file" ] || continue
  exempt "$file" && continue
  allowed=" ${COMMON_EXCEPTIONS[$file]:-} "
  while IFS= read -r hit; do
    line=${hit%%:*}
    text=${hit#*:}
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
      header=${BASH_REMATCH[1]}
      case "$STD_HEADERS$UTILITY_HEADERS$allowed" in *" $header "*) continue ;; esac
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      header=${BASH_REMATCH[1]}
      # The project's own headers are named from the repository's root (or beside the file).
      [ -f "$header" ] || [ -f "$(dirname "$file")/$header" ] && continue
    else
      continue
    fi
    echo "$file:$line: includes <$header>, which only the platform layers may include" >&2
    faults=$((faults + 1))
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done <<<"$files"

if [ "$faults" -gt 0 ]; then
  echo "include check: $faults include(s) of system or third-party headers where the rules above do not allow them" >&2
  exit 1
fi
echo "include check: passed"

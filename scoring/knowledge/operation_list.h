// Knowledge-point lists: the folder walk that lists an examinee's files, the
// comma-list form of a knowledge-point set, and the comma-list score.
//
// These are the module routines behind BrightquillClient's list methods and
// BQCOM's; both libraries are built from this one source. None of them has a
// handler of its own: a failure ends the routine at once and reaches the
// caller as an AutomationError (by-reference outputs keep what was stored
// before it).
//
// Paths are Windows or POSIX paths as the caller gives them (common/winpath.h
// maps them); the texts produced keep the caller's form, with "\" between
// folder names.
//
// Thread safety: no shared state; each call works on its own arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/dictionary.h"
#include "common/variant.h"

namespace bq {

// Adds to dZSD (not cleared first) the path, relative to cPath, of every
// visible file and folder below cPath, breadth first, each folder's entries in
// listing order; a folder's key ends in "\". Item 1 each. A symbolic link to a
// folder is listed as a folder but not walked into. A cPath that does not
// exist adds nothing; a folder that cannot be listed fails with its error
// (70, 75, ...) and leaves dZSD as it was; so does a tree beyond the walk's
// bounds (common/read_limits.h: more than kMaxWalkEntries entries, or
// folders more than kMaxWalkDepth levels down), with 7 "Out of memory".
void GetOperationZSD(const std::string& cPath, KnowledgeSet& dZSD);

// Stores in cZSD the first line of the text file cFile (read in the ANSI code
// page; the line ends at CR, LF or CR LF). Reads no further than the first
// line break. Fails with 53 when the file does not exist, 75 when it is a
// folder, 62 "Input past end of file" when it is empty, 7 "Out of memory"
// when the first line is longer than limits::kOperationListLine; cZSD then
// keeps its text.
void GetOpZSDFromFile(const std::string& cFile, std::string& cZSD);

// The keys of d, in order, joined with ","; "" for an empty set.
std::string JoinOpZSD(const KnowledgeSet& d);

// Adds every non-empty item of s, split at ",", to d (not cleared) with item 1.
void SplitOpZSD(const std::string& s, KnowledgeSet& d);

// The share of the expected list cZSD that the examinee's list cSome matches,
// or -1 when either list has fewer than two items (an empty last item
// counts) or cZSD is empty. ";" is removed from both lists first; items are
// compared upper-cased; empty items take part. Fails with 6 "Overflow" when a
// list has more than 32767 items.
double GetOpScore(const std::string& cZSD, const std::string& cSome);

// The highest index of `v` in `dimension` (default 1), or -1 when `v` has no
// elements, is not an array, or the bound cannot be taken. Never fails.
int32_t ArrayUpperBound(const Variant& v, std::optional<int32_t> dimension = std::nullopt);

}  // namespace bq

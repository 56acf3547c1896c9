// SPDX-License-Identifier: MIT
// Compare module: one walk over the strings of two grammars, kept to the
// kinds of difference still wanted.
#include "compare.h"

void compare_grammars(const grammar_table& a, const grammar_table& b, compare_result& result,
                      size_t length, uint64_t allowed) {
  enumerate_walk walk;
  enumerate_begin(walk, a, &b);
  bool exact = length != SIZE_MAX;
  size_t last = exact ? length : COMPARE_MAX_LENGTH;
  uint64_t work = exact ? UINT64_MAX : allowed;
  result.only[0].clear();
  result.only[1].clear();
  result.checked = 0;
  bool any = false;  // a length was checked whole
  std::string found;
  int which = 0;
  while (walk.length <= last) {
    // Two full groups end the check, but for a length asked for: that
    // walks on over the prefixes both grammars derive, to decide them all.
    bool full = result.only[0].size() >= COMPARE_GROUP && result.only[1].size() >= COMPARE_GROUP;
    if (full && !exact) break;
    enumerate_found got = enumerate_next(walk, found, which, work);
    if (got == ENUMERATE_OUT_OF_WORK) break;
    if (got == ENUMERATE_LENGTH_DONE) {
      result.checked = walk.length - 1;
      any = true;
      continue;
    }
    std::vector<std::string>& group = result.only[which];
    if (group.size() >= COMPARE_GROUP) continue;  // found before the walk was told
    group.push_back(found);
    if (group.size() >= COMPARE_GROUP) enumerate_enough(walk, which);
  }
  if (!any) result.checked = SIZE_MAX;
  result.work = walk.pushes;
}

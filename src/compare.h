// SPDX-License-Identifier: MIT
// Compare module: the shortest strings that one grammar derives and another
// does not, found by walking both grammars' strings at once, a length at a
// time, shortest first and then in byte order, until ten of each kind are
// found, the work allowed is spent, or the longest length is checked.
#ifndef SENTGEN_COMPARE_H
#define SENTGEN_COMPARE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "enumerate.h"
#include "grammar.h"

constexpr size_t COMPARE_GROUP = 10;                    // differences told of each kind
constexpr size_t COMPARE_MAX_LENGTH = ENUMERATE_MAX_LENGTH;  // the longest length checked
// The work a check may take, in bytes pushed into a chart: about a second
// on a machine of 2026 for the grammars of the usual shapes.
constexpr uint64_t COMPARE_WORK = uint64_t{1} << 22;

// What a comparison found.
struct compare_result {
  std::vector<std::string> only[2];  // the strings only grammar 0, and only grammar 1, derives
  // Every string of this length or less was decided for both grammars:
  // each group holds the first differences of those lengths, all of them
  // where it has fewer than COMPARE_GROUP.
  size_t checked;
  uint64_t work;  // bytes pushed into a chart
};

// Compares the strings of `a` and `b`, up to COMPARE_MAX_LENGTH within
// `work`; or, with `length` (at most COMPARE_MAX_LENGTH), exactly up to
// that length, whatever the work.
void compare_grammars(const grammar_table& a, const grammar_table& b, compare_result& result,
                      size_t length = SIZE_MAX, uint64_t work = COMPARE_WORK);

#endif

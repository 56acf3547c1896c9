// SPDX-License-Identifier: MIT
// Cover module: a few short sentences of the grammar that together use
// every rule that can be used, each rule in a sentence as short as any
// sentence that uses it: test inputs that exercise every rule.
#ifndef SENTGEN_COVER_H
#define SENTGEN_COVER_H

#include <cstdint>
#include <string>
#include <vector>

#include "grammar.h"

// A line's bounds: its sentence's bytes and the rules its derivation
// applies. A line of the bounds takes at most 192 KiB (a label is 2
// bytes), so the at most 150 lines of a set take at most 28.1 MiB, less
// than the sentences a run prints; a test input longer than this is past
// what the set is for. Rules whose lines would pass them are left out.
constexpr uint64_t COVER_MAX_LENGTH = uint64_t{1} << 16;  // bytes of a line's sentence
constexpr uint64_t COVER_MAX_STEPS = uint64_t{1} << 16;   // rules applied in a line's derivation

// A sentence with its leftmost derivation.
struct cover_line {
  // The rules applied from the start form, each to the leftmost nonterminal.
  std::vector<grammar_label> labels;
  std::string sentence;  // the sentence they derive
};

// A usable rule whose shortest line passes a bound. Its length and steps
// are those of the shortest sentence that uses it and, among those, of a
// derivation of the fewest steps; both are held at UINT64_MAX when larger.
struct cover_left_out {
  grammar_label label;  // the rule
  uint64_t length;      // bytes of the sentence
  uint64_t steps;       // rules its derivation applies
};

// A covering set: every usable rule is used by some line, in a sentence
// as short as any that uses it can be, or is left out.
struct cover_result {
  std::vector<cover_line> lines;         // shortest first, then by bytes (unsigned), then by labels
  std::vector<cover_left_out> too_long;  // in label order
};

// Which choices of the index are usable: usable[k] for choice k. A rule
// is usable when a sentence's derivation can apply it: its left-hand side
// is reached from the start form through usable rules, and every
// nonterminal of its right-hand side derives a string of terminals.
void cover_usable(const grammar_table& g, bool (&usable)[MAX_RULES * MAX_ALTERNATIVES]);

// Fills `result` with the covering set of `g`: no more lines than usable
// rules, none that the others make unneeded; the same for the same table.
void cover_sentences(const grammar_table& g, cover_result& result);

#endif

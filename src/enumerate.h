// SPDX-License-Identifier: MIT
// Enumerate module: the distinct sentences of a grammar in order of
// length, then of bytes (unsigned), each once; and, walking two grammars
// at once, the strings that one derives and the other does not, in the
// same order. A walk over prefixes in byte order extends a prefix by a
// byte only where a sentence of the length walked can still complete it,
// as each grammar's chart tells (decide_completions): it proposes only
// prefixes of sentences, never the alphabet to the power of the length,
// and holds one prefix and its charts, however many sentences a length has.
#ifndef SENTGEN_ENUMERATE_H
#define SENTGEN_ENUMERATE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decide.h"
#include "grammar.h"

// The longest sentence walked: a chart tells completions of fewer than
// ANALYSIS_LENGTHS bytes.
constexpr size_t ENUMERATE_MAX_LENGTH = ANALYSIS_LENGTHS - 1;

// What a call to enumerate_next found.
enum enumerate_found {
  ENUMERATE_STRING,       // a string, in `found`
  ENUMERATE_LENGTH_DONE,  // every string of the length walked; the walk moves to the next
  ENUMERATE_OUT_OF_WORK,  // the work allowed was spent before either
};

// A walk over the strings of one or two grammars, a length at a time. With
// two, a string is found when exactly one of them derives it.
struct enumerate_walk {
  int grammars;                        // 1, or 2 to compare
  decide_chart charts[2];              // each grammar's chart of the prefix, while it is alive
  std::string alphabet;                // the terminals of both, in byte order
  size_t length;                       // the length walked now
  std::string prefix;                  // the prefix the charts hold
  std::vector<uint8_t> index;          // for each byte of the prefix, its place in `alphabet`
  std::vector<uint8_t> alive;          // for the prefix and each shorter one: bit k, grammar k can complete it
  size_t cursor;                       // the place in `alphabet` of the next byte to try after the prefix
  unsigned wanted;                     // bit k: strings that grammar k alone derives are still wanted
  bool started;                        // the length's walk has begun
  bool arrived;                        // the prefix was just reached, and not looked at yet
  uint64_t pushes;                     // bytes pushed into a chart: the walk's work so far
};

// Starts a walk over the sentences of `a`, or, with `b`, over the strings
// that exactly one of `a` and `b` derives; at length 0.
void enumerate_begin(enumerate_walk& walk, const grammar_table& a, const grammar_table* b = nullptr);
// The next string of the length walked, into `found`, with `which` the
// grammar that derives it (0 or 1; always 0 for one grammar); or the end of
// that length, after which the walk goes on with the next; or nothing, once
// `walk.pushes` reaches `work`, after which a call with more work goes on
// where the walk stopped.
enumerate_found enumerate_next(enumerate_walk& walk, std::string& found, int& which, uint64_t work);
// Stops looking for strings that only grammar `which` derives: the walk
// skips the prefixes that only that grammar can complete.
void enumerate_enough(enumerate_walk& walk, int which);

#endif

// SPDX-License-Identifier: MIT
// Enumerate module: a depth-first walk over prefixes, in byte order, on an
// explicit stack. A chart is pushed a byte only while its grammar can
// still complete the prefix, so a prefix costs a push per grammar alive
// and per byte of the alphabet tried after it, and a length costs at most
// its strings times their length times the alphabet.
#include "enumerate.h"

namespace {

// The grammars of `mask` whose strings are still wanted below a prefix:
// both, as long as both are alive, for where they part is still to come;
// one alone only while its strings are wanted.
unsigned enumerate_interesting(const enumerate_walk& walk, unsigned mask) {
  if (walk.grammars == 1 || mask == 3) return mask;
  return mask & walk.wanted;
}

// Adds the terminals of `g` to `seen`: those its alternatives hold, and a
// start symbol that is not a nonterminal, which is a sentence itself.
void enumerate_terminals(const grammar_table& g, bool (&seen)[256]) {
  for (int k = 0; k < g.choice_start[NONTERMINAL_COUNT]; ++k) {
    for (char c : grammar_choice_text(g, g.choices[k])) {
      if (!is_nonterminal(c)) seen[static_cast<unsigned char>(c)] = true;
    }
  }
  char start = g.lhs[0];
  if (start != '\0' && !is_nonterminal(start)) seen[static_cast<unsigned char>(start)] = true;
}

// Sets the walk at the root of its length: the grammars that derive a
// string of that length at all.
void enumerate_start_length(enumerate_walk& walk) {
  unsigned mask = 0;
  for (int k = 0; k < walk.grammars; ++k) {
    if (walk.length <= ENUMERATE_MAX_LENGTH && (decide_completions(walk.charts[k]) >> walk.length & 1) != 0) {
      mask |= 1u << k;
    }
  }
  walk.alive.assign(1, static_cast<uint8_t>(enumerate_interesting(walk, mask)));
  walk.cursor = walk.alive[0] == 0 ? walk.alphabet.size() : 0;
  walk.arrived = walk.alive[0] != 0;
  walk.started = true;
}

// Takes the prefix's last byte off it and off the charts that hold it;
// the walk goes on with the byte after it.
void enumerate_back(enumerate_walk& walk) {
  unsigned mask = walk.alive.back();
  for (int k = 0; k < walk.grammars; ++k) {
    if ((mask >> k & 1) != 0) decide_pop(walk.charts[k]);
  }
  walk.cursor = walk.index.back() + size_t{1};
  walk.arrived = false;
  walk.prefix.pop_back();
  walk.index.pop_back();
  walk.alive.pop_back();
}

// Tries the byte at the cursor after the prefix: pushes it into the
// charts alive, and keeps it when a string of the length walked can
// still complete it, for a grammar whose strings are wanted.
void enumerate_try(enumerate_walk& walk) {
  unsigned parent = walk.alive.back();
  auto byte = static_cast<unsigned char>(walk.alphabet[walk.cursor]);
  size_t rest = walk.length - walk.prefix.size() - 1;  // bytes still to come after it
  unsigned child = 0;
  for (int k = 0; k < walk.grammars; ++k) {
    if ((parent >> k & 1) == 0) continue;
    decide_push(walk.charts[k], byte);
    ++walk.pushes;
    if ((decide_completions(walk.charts[k]) >> rest & 1) != 0) child |= 1u << k;
  }
  unsigned kept = enumerate_interesting(walk, child);
  // A chart whose grammar is not kept below gives the byte back at once.
  for (int k = 0; k < walk.grammars; ++k) {
    if ((parent >> k & 1) != 0 && (kept >> k & 1) == 0) decide_pop(walk.charts[k]);
  }
  if (kept == 0) {
    ++walk.cursor;
    return;
  }
  walk.prefix.push_back(static_cast<char>(byte));
  walk.index.push_back(static_cast<uint8_t>(walk.cursor));
  walk.alive.push_back(static_cast<uint8_t>(kept));
  walk.cursor = 0;
  walk.arrived = true;
}

// At a prefix as long as the strings walked: whether it is a string to
// find, and whose; then the walk steps back from it.
bool enumerate_leaf(enumerate_walk& walk, std::string& found, int& which) {
  walk.arrived = false;
  unsigned mask = enumerate_interesting(walk, walk.alive.back());  // those that derive it
  bool one = walk.grammars == 1 ? mask == 1 : mask == 1 || mask == 2;
  if (one) {
    found = walk.prefix;
    which = mask == 2 ? 1 : 0;
  }
  if (walk.prefix.empty()) {
    walk.cursor = walk.alphabet.size();  // the length 0 has this one string
  } else {
    enumerate_back(walk);
  }
  return one;
}

}  // namespace

void enumerate_begin(enumerate_walk& walk, const grammar_table& a, const grammar_table* b) {
  walk.grammars = b != nullptr ? 2 : 1;
  decide_begin(walk.charts[0], a, true);
  if (b != nullptr) decide_begin(walk.charts[1], *b, true);
  bool seen[256] = {};
  enumerate_terminals(a, seen);
  if (b != nullptr) enumerate_terminals(*b, seen);
  walk.alphabet.clear();
  for (int byte = 0; byte < 256; ++byte) {
    if (seen[byte]) walk.alphabet.push_back(static_cast<char>(byte));
  }
  walk.length = 0;
  walk.prefix.clear();
  walk.index.clear();
  walk.alive.clear();
  walk.cursor = 0;
  walk.wanted = (1u << walk.grammars) - 1;
  walk.started = false;
  walk.arrived = false;
  walk.pushes = 0;
}

enumerate_found enumerate_next(enumerate_walk& walk, std::string& found, int& which, uint64_t work) {
  if (!walk.started) enumerate_start_length(walk);
  for (;;) {
    if (walk.arrived && walk.prefix.size() == walk.length) {
      if (enumerate_leaf(walk, found, which)) return ENUMERATE_STRING;
      continue;
    }
    if (walk.cursor >= walk.alphabet.size()) {
      if (!walk.prefix.empty()) {
        enumerate_back(walk);
        continue;
      }
      walk.started = false;
      ++walk.length;
      return ENUMERATE_LENGTH_DONE;
    }
    if (walk.pushes >= work) return ENUMERATE_OUT_OF_WORK;
    enumerate_try(walk);
  }
}

void enumerate_enough(enumerate_walk& walk, int which) { walk.wanted &= ~(1u << which); }

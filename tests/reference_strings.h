// SPDX-License-Identifier: MIT
// The short strings of a grammar, computed plainly for the tests: a fixed
// point over the table's alternatives as the listing shows them, each
// nonterminal's strings of up to a length made from its alternatives'
// symbols' strings. Slow, exact, and independent of the analyses and of
// the decider.
#ifndef SENTGEN_REFERENCE_STRINGS_H
#define SENTGEN_REFERENCE_STRINGS_H

#include <set>
#include <string>
#include <string_view>

#include "grammar.h"

// The strings of up to `longest` bytes that each nonterminal derives.
struct reference_strings {
  size_t longest;                            // the longest string kept
  std::set<std::string> of[NONTERMINAL_COUNT];  // each nonterminal's strings
};

// The strings of up to `strings.longest` bytes that `text`, a string of
// symbols, derives, by the nonterminals' strings so far.
inline std::set<std::string> reference_text_strings(const reference_strings& strings,
                                                    std::string_view text) {
  std::set<std::string> made{""};
  for (char c : text) {
    std::set<std::string> longer;
    for (const std::string& start : made) {
      if (!is_nonterminal(c)) {
        if (start.size() < strings.longest) longer.insert(start + c);
        continue;
      }
      for (const std::string& end : strings.of[c - 'A']) {
        if (start.size() + end.size() <= strings.longest) longer.insert(start + end);
      }
    }
    made = std::move(longer);
  }
  return made;
}

inline reference_strings reference_derive(const grammar_table& g, size_t longest) {
  reference_strings strings{longest, {}};
  for (bool grew = true; grew;) {
    grew = false;
    for (int i = 0; i < g.rule_count; ++i) {
      if (!is_nonterminal(g.lhs[i])) continue;
      std::set<std::string>& own = strings.of[g.lhs[i] - 'A'];
      for (int j = 0; j < grammar_alternative_count(g, i); ++j) {
        for (const std::string& s : reference_text_strings(strings, grammar_alternative(g, i, j))) {
          grew = own.insert(s).second || grew;
        }
      }
    }
  }
  return strings;
}

// The sentences of up to `longest` bytes: those of the start form, which
// is the start symbol, or the empty form for a file without rules.
inline std::set<std::string> reference_sentences(const grammar_table& g, size_t longest) {
  return reference_text_strings(reference_derive(g, longest), grammar_seed(g));
}

// Shortest first, then by bytes (unsigned): the order the walks find strings in.
inline bool reference_shortlex(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return std::string_view(a).compare(b) < 0;  // char_traits<char> compares as unsigned char
}

#endif

// SPDX-License-Identifier: MIT
// A plain way of deciding, for the tests and the fuzz target to hold the
// decider to: for every nonterminal and every span of the string, whether
// the nonterminal derives the span. Spans are done shortest first, each
// span's nonterminals to a fixed point, so that empty rules and unit
// cycles settle. It follows the definition, not the decider's code, and
// is slow: for short strings.
#ifndef SENTGEN_REFERENCE_DECIDE_H
#define SENTGEN_REFERENCE_DECIDE_H

#include <string>
#include <string_view>
#include <vector>

#include "grammar.h"

// Whether `text` is a sentence of `g`.
inline bool reference_sentence(const grammar_table& g, std::string_view text) {
  std::string_view seed = grammar_seed(g);
  if (seed.empty() || !is_nonterminal(seed[0])) return text == seed;
  size_t n = text.size();
  std::vector<char> spans(NONTERMINAL_COUNT * (n + 1) * (n + 1), 0);
  auto derives = [&spans, n](char a, size_t from, size_t length) -> char& {
    return spans[(static_cast<size_t>(a - 'A') * (n + 1) + from) * (n + 1) + length];
  };
  // Whether `rhs` derives the span: the ends that its symbols, one by one,
  // can reach from the span's start.
  auto rhs_derives = [&](std::string_view rhs, size_t from, size_t length) {
    std::vector<char> reach(length + 1, 0);
    reach[0] = 1;
    for (char s : rhs) {
      std::vector<char> next(length + 1, 0);
      for (size_t p = 0; p <= length; ++p) {
        if (reach[p] == 0) continue;
        if (!is_nonterminal(s)) {
          if (p < length && text[from + p] == s) next[p + 1] = 1;
          continue;
        }
        for (size_t q = p; q <= length; ++q) {
          if (derives(s, from + p, q - p) != 0) next[q] = 1;
        }
      }
      reach.swap(next);
    }
    return reach[length] != 0;
  };
  for (size_t length = 0; length <= n; ++length) {
    for (size_t from = 0; from + length <= n; ++from) {
      for (bool grew = true; grew;) {
        grew = false;
        for (char a = 'A'; a <= 'Z'; ++a) {
          int index = a - 'A';
          for (int k = g.choice_start[index]; k < g.choice_start[index + 1] && derives(a, from, length) == 0; ++k) {
            if (rhs_derives(grammar_choice_text(g, g.choices[k]), from, length)) {
              derives(a, from, length) = 1;
              grew = true;
            }
          }
        }
      }
    }
  }
  return derives(seed[0], 0, n) != 0;
}

// Whether some sentence of `g` is `prefix` followed by `more` bytes of
// `alphabet`: every such string, tried.
inline bool reference_completes(const grammar_table& g, const std::string& prefix, size_t more,
                                std::string_view alphabet) {
  std::vector<size_t> digits(more, 0);
  for (;;) {
    std::string text = prefix;
    for (size_t d : digits) text += alphabet[d];
    if (reference_sentence(g, text)) return true;
    size_t k = 0;
    while (k < more && ++digits[k] == alphabet.size()) digits[k++] = 0;
    if (k == more) return false;
  }
}

#endif

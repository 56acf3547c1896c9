// SPDX-License-Identifier: MIT
// Analysis module: the index of the alternatives and small fixed points
// over the nonterminals, each a few passes over at most 150 alternatives.
#include "analysis.h"

#include <algorithm>

namespace {

// a + b, held at ANALYSIS_NO_YIELD - 1 when it is larger.
uint64_t analysis_add_capped(uint64_t a, uint64_t b) {
  constexpr uint64_t CAP = ANALYSIS_NO_YIELD - 1;
  return a > CAP - std::min(b, CAP) ? CAP : a + b;
}

// The shortest string of terminals that `text` derives, by the lengths
// known so far; ANALYSIS_NO_YIELD while one of its nonterminals has none.
uint64_t analysis_text_shortest(const uint64_t (&shortest)[NONTERMINAL_COUNT],
                                std::string_view text) {
  uint64_t total = 0;
  for (char c : text) {
    if (!is_nonterminal(c)) {
      total = analysis_add_capped(total, 1);
    } else if (shortest[c - 'A'] == ANALYSIS_NO_YIELD) {
      return ANALYSIS_NO_YIELD;
    } else {
      total = analysis_add_capped(total, shortest[c - 'A']);
    }
  }
  return total;
}

}  // namespace

nonterminal_set analysis_nonterminals(std::string_view text) {
  nonterminal_set set = 0;
  for (char c : text) set |= is_nonterminal(c) ? analysis_bit(c) : 0;
  return set;
}

length_set analysis_add_lengths(length_set a, length_set b) {
  length_set sum = 0;
  for (int k = 0; k < ANALYSIS_LENGTHS && (a >> k) != 0; ++k) {
    if ((a >> k & 1) != 0) sum |= b << k;
  }
  return sum;
}

void analysis_choices_of(const grammar_table& g, analysis_choices& choices) {
  choices.count = g.choice_start[NONTERMINAL_COUNT];
  choices.defined = 0;
  for (int n = 0; n < NONTERMINAL_COUNT; ++n) {
    for (int k = g.choice_start[n]; k < g.choice_start[n + 1]; ++k) {
      choices.owner[k] = static_cast<char>('A' + n);
      choices.holds[k] = analysis_nonterminals(grammar_choice_text(g, g.choices[k]));
      choices.defined |= nonterminal_set{1} << n;
    }
  }
}

void analysis_index(grammar_table& g) {
  analysis_choices choices;  // filled as the index is
  int n = 0;
  choices.defined = 0;
  for (int c = 0; c < NONTERMINAL_COUNT; ++c) {
    g.choice_start[c] = static_cast<uint8_t>(n);
    for (int i = 0; i < g.rule_count; ++i) {
      if (g.lhs[i] != 'A' + c) continue;
      for (int j = 0, count = grammar_alternative_count(g, i); j < count; ++j) {
        std::string_view text = grammar_alternative(g, i, j);
        auto size = static_cast<uint8_t>(text.size());
        auto lead = static_cast<uint8_t>(grammar_lead(text));
        choices.owner[n] = static_cast<char>('A' + c);
        choices.holds[n] = analysis_nonterminals(text.substr(lead));
        choices.defined |= nonterminal_set{1} << c;
        g.choices[n++] = {static_cast<uint8_t>(i), static_cast<uint8_t>(j), size, lead, false, false};
      }
    }
  }
  g.choice_start[NONTERMINAL_COUNT] = static_cast<uint8_t>(n);
  choices.count = n;
  g.derives = analysis_derives(choices, 0);
  for (int k = 0; k < n; ++k) {
    grammar_choice& c = g.choices[k];
    c.dead = c.lead < c.size && grammar_has_no_rule(g, g.rhs[c.entry][c.slot][c.lead]);
    c.doomed = (choices.holds[k] & ~g.derives) != 0;
  }
}

nonterminal_set analysis_derives(const analysis_choices& choices, nonterminal_set assumed) {
  // Those with an alternative whose nonterminals all derive one, found
  // again until none is added.
  nonterminal_set derives = assumed;
  for (nonterminal_set before = ~derives; before != derives;) {
    before = derives;
    for (int k = 0; k < choices.count; ++k) {
      if ((choices.holds[k] & ~derives) == 0) derives |= analysis_bit(choices.owner[k]);
    }
  }
  return derives;
}

nonterminal_set analysis_reached(const analysis_choices& choices, nonterminal_set from) {
  nonterminal_set reached = from;
  for (nonterminal_set before = ~reached; before != reached;) {
    before = reached;
    for (int k = 0; k < choices.count; ++k) {
      if (analysis_has(reached, choices.owner[k])) reached |= choices.holds[k];
    }
  }
  return reached;
}

length_set analysis_text_lengths(const grammar_facts& facts, std::string_view text) {
  length_set lengths = 1;  // the empty string
  for (char c : text) {
    lengths = is_nonterminal(c) ? analysis_add_lengths(lengths, facts.lengths[c - 'A']) : lengths << 1;
  }
  return lengths;
}

void analysis_facts(const grammar_table& g, grammar_facts& facts) {
  analysis_choices choices;
  analysis_choices_of(g, choices);
  int count = choices.count;
  facts.defined = choices.defined;
  facts.derives = analysis_derives(choices, 0);
  // The lengths grow to a fixed point: each pass can only add lengths,
  // and there are at most 64 of each of 26 nonterminals.
  std::fill(std::begin(facts.lengths), std::end(facts.lengths), length_set{0});
  for (bool grew = true; grew;) {
    grew = false;
    for (int k = 0; k < count; ++k) {
      length_set& own = facts.lengths[choices.owner[k] - 'A'];
      length_set more = analysis_text_lengths(facts, grammar_choice_text(g, g.choices[k]));
      grew = grew || (more & ~own) != 0;
      own |= more;
    }
  }
  facts.nullable = 0;
  for (int n = 0; n < NONTERMINAL_COUNT; ++n) {
    if ((facts.lengths[n] & 1) != 0) facts.nullable |= nonterminal_set{1} << n;
  }
  // The shortest lengths fall to a fixed point: a pass that lowers none
  // ends it, and a length only falls while a shorter string is found.
  std::fill(std::begin(facts.shortest), std::end(facts.shortest), ANALYSIS_NO_YIELD);
  for (bool fell = true; fell;) {
    fell = false;
    for (int k = 0; k < count; ++k) {
      uint64_t& own = facts.shortest[choices.owner[k] - 'A'];
      uint64_t length = analysis_text_shortest(facts.shortest, grammar_choice_text(g, g.choices[k]));
      if (length < own) {
        own = length;
        fell = true;
      }
    }
  }
}

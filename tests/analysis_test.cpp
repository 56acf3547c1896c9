// SPDX-License-Identifier: MIT
// Unit tests of the analyses: every one against a plain computation on
// random grammars, from the strings each nonterminal derives and from the
// table's own text, not from the index the analyses build.
#include "analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "loader.h"
#include "output.h"
#include "reference_strings.h"

namespace {

constexpr size_t SHORT = 8;  // strings up to this length are derived in full

// The nonterminals that derive a string of terminals, `assumed` among
// them, found from the table's text until none is added.
nonterminal_set plain_derives(const grammar_table& g, nonterminal_set assumed) {
  nonterminal_set derives = assumed;
  for (bool grew = true; grew;) {
    grew = false;
    for (int i = 0; i < g.rule_count; ++i) {
      for (int j = 0; is_nonterminal(g.lhs[i]) && j < grammar_alternative_count(g, i); ++j) {
        bool all = true;
        for (char c : grammar_alternative(g, i, j)) all = all && (!is_nonterminal(c) || analysis_has(derives, c));
        if (all && !analysis_has(derives, g.lhs[i])) {
          derives |= analysis_bit(g.lhs[i]);
          grew = true;
        }
      }
    }
  }
  return derives;
}

// The nonterminals reached from `start`: a walk over the table's text.
nonterminal_set plain_reached(const grammar_table& g, char start) {
  nonterminal_set reached = analysis_bit(start);
  std::vector<char> todo{start};
  while (!todo.empty()) {
    char n = todo.back();
    todo.pop_back();
    for (int i = 0; i < g.rule_count; ++i) {
      for (int j = 0; g.lhs[i] == n && j < grammar_alternative_count(g, i); ++j) {
        for (char c : grammar_alternative(g, i, j)) {
          if (is_nonterminal(c) && !analysis_has(reached, c)) {
            reached |= analysis_bit(c);
            todo.push_back(c);
          }
        }
      }
    }
  }
  return reached;
}

// A random grammar of up to 8 rule lines over S, A, B and C (one or two
// of them often without rules), terminals a and b, and @.
std::string random_grammar(std::mt19937& random) {
  const std::string symbols = "SABCab";
  std::string text;
  for (int line = 0, lines = 1 + static_cast<int>(random() % 8); line < lines; ++line) {
    text += "SABC"[random() % 4];
    text += " -> ";
    if (random() % 5 == 0) text += '@';
    for (int c = 0, size = static_cast<int>(random() % 5); c < size; ++c) {
      text += symbols[random() % symbols.size()];
    }
    text += '\n';
  }
  return text;
}

TEST(AnalysisTest, EveryAnalysisMatchesAPlainComputation) {
  std::mt19937 random(36);
  int decided = 0;
  for (int round = 0; round < 400; ++round) {
    std::string text = random_grammar(random);
    grammar_table g;
    output_capture quiet;
    if (parse_grammar(g, text) != 0) continue;  // a five-character line: not this test's
    grammar_facts facts;
    analysis_facts(g, facts);
    reference_strings strings = reference_derive(g, SHORT);
    nonterminal_set defined = 0;
    for (int i = 0; i < g.rule_count; ++i) {
      if (is_nonterminal(g.lhs[i]) && grammar_alternative_count(g, i) > 0) defined |= analysis_bit(g.lhs[i]);
    }
    EXPECT_EQ(facts.defined, defined) << text;
    EXPECT_EQ(facts.derives, plain_derives(g, 0)) << text;
    EXPECT_EQ(g.derives, facts.derives) << text;
    analysis_choices choices;
    analysis_choices_of(g, choices);
    EXPECT_EQ(choices.defined, defined) << text;
    EXPECT_EQ(analysis_derives(choices, ~defined), plain_derives(g, ~defined)) << text;
    EXPECT_EQ(analysis_reached(choices, analysis_bit('S')), plain_reached(g, 'S')) << text;
    for (char c = 'A'; c <= 'Z'; ++c) {
      const std::set<std::string>& own = strings.of[c - 'A'];
      length_set lengths = 0;
      for (const std::string& s : own) lengths |= length_set{1} << s.size();
      EXPECT_EQ(facts.lengths[c - 'A'] & ((length_set{2} << SHORT) - 1), lengths) << text << c;
      EXPECT_EQ(analysis_has(facts.nullable, c), own.count("") == 1) << text << c;
      if (!own.empty()) {
        ++decided;
        uint64_t shortest = SHORT;
        for (const std::string& s : own) shortest = std::min<uint64_t>(shortest, s.size());
        EXPECT_EQ(facts.shortest[c - 'A'], shortest) << text << c;
      } else {
        EXPECT_GT(facts.shortest[c - 'A'], SHORT) << text << c;
      }
      EXPECT_EQ(facts.shortest[c - 'A'] != ANALYSIS_NO_YIELD, analysis_has(facts.derives, c)) << text << c;
    }
  }
  EXPECT_GT(decided, 500);
}

// The index lists each nonterminal's alternatives over all its entries in
// table order, and marks those whose forms are dead ends or can never
// become sentences.
TEST(AnalysisTest, IndexListsAlternativesInTableOrder) {
  grammar_table g;
  ASSERT_EQ(parse_grammar(g, "S -> aX\nS -> A\nA -> b\nS -> @\nX -> X\nA -> Sc\n"), 0);
  std::vector<std::string> of_s, of_a;
  for (int k = g.choice_start['S' - 'A']; k < g.choice_start['S' - 'A' + 1]; ++k) {
    of_s.emplace_back(grammar_choice_text(g, g.choices[k]));
  }
  for (int k = g.choice_start['A' - 'A']; k < g.choice_start['A' - 'A' + 1]; ++k) {
    of_a.emplace_back(grammar_choice_text(g, g.choices[k]));
  }
  EXPECT_EQ(of_s, (std::vector<std::string>{"aX", "A", ""}));
  EXPECT_EQ(of_a, (std::vector<std::string>{"b", "Sc"}));
  const grammar_choice& ax = g.choices[g.choice_start['S' - 'A']];
  EXPECT_TRUE(ax.doomed);  // X derives nothing
  EXPECT_FALSE(ax.dead);   // but it has a rule
  EXPECT_EQ(analysis_add_lengths(0b101, 0b11), length_set{0b1111});
}

}  // namespace

// SPDX-License-Identifier: MIT
// Unit tests of the covering sets: against a bounded search of every
// leftmost derivation on random grammars, and the sets of grammars whose
// lines are known, long lines left out among them.
#include "cover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "analysis.h"
#include "loader.h"
#include "output.h"
#include "trace.h"

namespace {

grammar_table grammar;  // the table the test at hand loads

// A rule as a bit of a set: entry * 5 + slot, below 64 for 12 entries.
int rule_bit(grammar_label label) { return label.entry * MAX_ALTERNATIVES + label.slot; }

constexpr size_t SEARCH_FORMS = 9;  // bytes of a form the search makes at most

// For each rule bit, the shortest sentence whose leftmost derivation
// applies the rule, among those whose forms all fit SEARCH_FORMS bytes;
// UINT64_MAX where none does. Rules are looked up in the table itself, not
// its index. A form is its terminals before the leftmost nonterminal, as
// a count, since no step reads them, and the rest.
void search_shortest(const grammar_table& g, uint64_t (&shortest)[64]) {
  std::fill(shortest, shortest + 64, UINT64_MAX);
  using state = std::tuple<size_t, std::string, uint64_t>;  // terminals, rest, rules applied
  std::set<state> seen;
  std::vector<state> pending{{0, std::string(grammar_seed(g)), 0}};
  while (!pending.empty()) {
    auto [done, rest, used] = pending.back();
    pending.pop_back();
    size_t lead = rest.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    if (lead == std::string::npos) {
      for (int bit = 0; bit < 64; ++bit) {
        if ((used >> bit & 1) != 0)
          shortest[bit] = std::min<uint64_t>(shortest[bit], done + rest.size());
      }
      continue;
    }
    for (int i = 0; i < g.rule_count; ++i) {
      for (int j = 0; g.lhs[i] == rest[lead] && j < grammar_alternative_count(g, i); ++j) {
        std::string form = std::string(grammar_alternative(g, i, j)) + rest.substr(lead + 1);
        if (done + lead + form.size() > SEARCH_FORMS) continue;
        state next{
            done + lead, form,
            used | uint64_t{1} << rule_bit({static_cast<uint8_t>(i), static_cast<uint8_t>(j)})};
        if (seen.insert(next).second) pending.push_back(next);
      }
    }
  }
}

// A random grammar of up to 8 rule lines over S, A, B and C, with a, b, c,
// @ and D, which has no rule: cycles and rules of no use come up.
std::string random_grammar(std::mt19937& random) {
  const std::string symbols = "SSAABBCDabc";
  std::string text;
  for (int line = 0, lines = 1 + static_cast<int>(random() % 8); line < lines; ++line) {
    text += "SSABC"[random() % 5];
    text += " -> ";
    if (random() % 6 == 0) text += '@';
    for (int c = 0, size = static_cast<int>(random() % 7); c < size && text.back() != '@'; ++c) {
      text += symbols[random() % symbols.size()];
    }
    text += text.back() == ' ' ? "@\n" : "\n";
  }
  return text;
}

// A line's place in a set: its length, its bytes as unsigned, its rules.
std::tuple<size_t, std::vector<unsigned char>, std::vector<int>> line_key(const cover_line& line) {
  std::vector<int> rules;
  for (grammar_label label : line.labels) rules.push_back(rule_bit(label));
  return {line.sentence.size(), {line.sentence.begin(), line.sentence.end()}, rules};
}

// Holds the covering set of the loaded table to the search and to the
// set's own rules; returns the rules whose length the search confirmed.
int expect_covering(const std::string& text) {
  cover_result result;
  cover_sentences(grammar, result);
  bool usable[MAX_RULES * MAX_ALTERNATIVES];
  cover_usable(grammar, usable);
  uint64_t usable_bits = 0;
  for (int k = 0; k < grammar.choice_start[NONTERMINAL_COUNT]; ++k) {
    if (usable[k])
      usable_bits |= uint64_t{1} << rule_bit({grammar.choices[k].entry, grammar.choices[k].slot});
  }
  EXPECT_TRUE(result.too_long.empty()) << text;
  EXPECT_LE(result.lines.size(), std::bitset<64>(usable_bits).count()) << text;
  // Each line replays to its sentence through usable rules; best[bit] is
  // the shortest line that applies the rule, fits[bit] whether one such
  // line's forms are all within the search's.
  uint64_t best[64];
  std::fill(best, best + 64, UINT64_MAX);
  bool fits[64] = {};
  std::vector<uint64_t> lines_used;
  for (size_t n = 0; n < result.lines.size(); ++n) {
    const cover_line& line = result.lines[n];
    std::string last;
    size_t widest = 0;
    EXPECT_TRUE(trace_replay(grammar, line.labels, [&](const trace_rewrite& step) {
      last = trace_rewrite_text(step);
      widest = std::max(widest, last.size());
    })) << text;
    EXPECT_EQ(last, line.sentence) << text;
    EXPECT_EQ(last.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << text;
    uint64_t used = 0;
    for (grammar_label label : line.labels) used |= uint64_t{1} << rule_bit(label);
    EXPECT_EQ(used & ~usable_bits, 0u) << text;
    lines_used.push_back(used);
    for (int bit = 0; bit < 64; ++bit) {
      if ((used >> bit & 1) == 0 || line.sentence.size() > best[bit]) continue;
      fits[bit] = (line.sentence.size() == best[bit] && fits[bit]) || widest <= SEARCH_FORMS;
      best[bit] = line.sentence.size();
    }
    if (n > 0) {
      EXPECT_LT(line_key(result.lines[n - 1]), line_key(line)) << text;  // sorted, unique
    }
  }
  uint64_t searched[64];
  search_shortest(grammar, searched);
  int confirmed = 0;
  for (int bit = 0; bit < 64; ++bit) {
    bool is_usable = (usable_bits >> bit & 1) != 0;
    EXPECT_EQ(best[bit] != UINT64_MAX, is_usable) << text << " rule bit " << bit;
    if (searched[bit] != UINT64_MAX) {
      EXPECT_TRUE(is_usable && best[bit] <= searched[bit]) << text << " rule bit " << bit;
    }
    if (fits[bit]) {
      EXPECT_EQ(searched[bit], best[bit]) << text << " rule bit " << bit;
    }
    confirmed += fits[bit] ? 1 : 0;
  }
  // No line is kept whose rules the others apply at their shortest: each
  // applies a rule at its shortest that no other line does.
  auto at_best = [&](size_t n, int bit) {
    return (lines_used[n] >> bit & 1) != 0 && result.lines[n].sentence.size() == best[bit];
  };
  int lines_at_best[64] = {};
  for (size_t n = 0; n < result.lines.size(); ++n) {
    for (int bit = 0; bit < 64; ++bit) lines_at_best[bit] += at_best(n, bit) ? 1 : 0;
  }
  for (size_t n = 0; n < result.lines.size(); ++n) {
    bool needed = false;
    for (int bit = 0; bit < 64; ++bit)
      needed = needed || (at_best(n, bit) && lines_at_best[bit] == 1);
    EXPECT_TRUE(needed) << text << " line " << n;
  }
  return confirmed;
}

TEST(CoverTest, RandomGrammarsMatchTheBoundedSearch) {
  std::mt19937 random(31);
  int confirmed = 0;
  for (int n = 0; n < 3000; ++n) {
    std::string text = random_grammar(random);
    if (parse_grammar(grammar, text) == 0) confirmed += expect_covering(text);
  }
  EXPECT_GT(confirmed, 2000);
}

// The shortest sentence that uses each choice, computed apart from the
// cover module: the analyses' shortest yields, and the shortest context of
// each nonterminal by a plain relaxation over the usable choices until
// none shortens. UINT64_MAX for a choice that is not usable.
std::vector<uint64_t> plain_shortest_uses(const grammar_table& g) {
  grammar_facts facts;
  analysis_facts(g, facts);
  int count = g.choice_start[NONTERMINAL_COUNT];
  auto owner = [&g](int k) {
    size_t n = 0;
    while (g.choice_start[n + 1] <= k) ++n;
    return n;
  };
  auto of = [](char c) { return static_cast<size_t>(c - 'A'); };
  auto yield = [&facts](std::string_view text) {
    uint64_t total = 0;
    for (char c : text) {
      uint64_t one = is_nonterminal(c) ? facts.shortest[static_cast<size_t>(c - 'A')] : 1;
      if (one == ANALYSIS_NO_YIELD) return ANALYSIS_NO_YIELD;
      total += one;
    }
    return total;
  };
  std::vector<uint64_t> context(NONTERMINAL_COUNT, UINT64_MAX);
  if (is_nonterminal(g.lhs[0])) context[of(g.lhs[0])] = 0;
  for (bool shorter = true; shorter;) {
    shorter = false;
    for (int k = 0; k < count; ++k) {
      std::string_view text = grammar_choice_text(g, g.choices[k]);
      uint64_t whole = yield(text), around = context[owner(k)];
      if (whole == ANALYSIS_NO_YIELD || around == UINT64_MAX) continue;
      for (size_t at = 0; at < text.size(); ++at) {
        if (!is_nonterminal(text[at])) continue;
        uint64_t there = around + whole - facts.shortest[of(text[at])];
        if (there < context[of(text[at])]) {
          context[of(text[at])] = there;
          shorter = true;
        }
      }
    }
  }
  std::vector<uint64_t> uses(static_cast<size_t>(count), UINT64_MAX);
  for (int k = 0; k < count; ++k) {
    uint64_t whole = yield(grammar_choice_text(g, g.choices[k]));
    if (whole != ANALYSIS_NO_YIELD && context[owner(k)] != UINT64_MAX) {
      uses[static_cast<size_t>(k)] = context[owner(k)] + whole;
    }
  }
  return uses;
}

// Random grammars: every usable choice, and no other, is used by a line as
// short as its shortest context around its shortest yield.
TEST(CoverTest, LinesAsShortAsYieldsAndContextsAllow) {
  std::mt19937 random(3939);
  int checked = 0;
  for (int n = 0; n < 2000; ++n) {
    std::string text = random_grammar(random);
    {
      output_capture quiet;
      if (parse_grammar(grammar, text) != 0) continue;
    }
    std::vector<uint64_t> uses = plain_shortest_uses(grammar);
    bool usable[MAX_RULES * MAX_ALTERNATIVES];
    cover_usable(grammar, usable);
    cover_result result;
    cover_sentences(grammar, result);
    for (size_t k = 0; k < uses.size(); ++k) {
      const grammar_choice& c = grammar.choices[k];
      EXPECT_EQ(usable[k], uses[k] != UINT64_MAX) << text << int{c.entry} << ":" << int{c.slot};
      uint64_t best = UINT64_MAX;
      for (const cover_line& line : result.lines) {
        for (grammar_label label : line.labels) {
          if (label.entry == c.entry && label.slot == c.slot) best = std::min<uint64_t>(best, line.sentence.size());
        }
      }
      EXPECT_EQ(best, uses[k]) << text << int{c.entry} << ":" << int{c.slot};
      checked += uses[k] != UINT64_MAX;
    }
  }
  EXPECT_GT(checked, 1500);
}

// The covering set of `text` in words: each line its sentence in
// brackets and its labels, then each rule left out, "out" and its label,
// length and steps.
std::vector<std::string> cover_text(const std::string& text) {
  EXPECT_EQ(parse_grammar(grammar, text), 0) << text;
  cover_result result;
  cover_sentences(grammar, result);
  auto name = [](grammar_label label) {
    return std::to_string(label.entry) + ":" + std::to_string(label.slot);
  };
  std::vector<std::string> lines;
  for (const cover_line& line : result.lines) {
    lines.push_back("[" + line.sentence + "]");
    for (grammar_label label : line.labels) lines.back() += " " + name(label);
  }
  for (const cover_left_out& out : result.too_long) {
    lines.push_back("out " + name(out.label) + " " + std::to_string(out.length) + " " +
                    std::to_string(out.steps));
  }
  return lines;
}

using lines = std::vector<std::string>;

// A rule that only a longer sentence uses gets a line of its own; rules in
// unit cycles are applied around the cycle; bytes compare unsigned.
TEST(CoverTest, KnownSets) {
  EXPECT_EQ(cover_text("S -> AS\nS -> @\nA -> a\nA -> b\nA -> c\nA -> (S)\nA -> [dddddd]\n"),
            (lines{"[] 0:1", "[a] 0:0 1:0 0:1", "[b] 0:0 1:1 0:1", "[c] 0:0 1:2 0:1",
                   "[()] 0:0 1:3 0:1 0:1", "[[dddddd]] 0:0 1:4 0:1"}));
  EXPECT_EQ(cover_text("S -> S\nS -> a\n"), (lines{"[a] 0:0 0:1"}));
  EXPECT_EQ(cover_text("S -> A\nA -> B\nA -> S\nB -> A\nB -> b\n"),
            (lines{"[b] 0:0 1:0 2:0 1:0 2:1", "[b] 0:0 1:1 0:0 1:0 2:1"}));
  EXPECT_EQ(cover_text("S -> aSb\nS -> X\nX -> Yc\nY -> @\nY -> YY\n"),
            (lines{"[c] 0:1 1:0 2:1 2:0 2:0", "[acb] 0:0 0:1 1:0 2:0"}));
  EXPECT_EQ(cover_text("S -> \xe9\nS -> a\n"), (lines{"[a] 0:1", "[\xe9] 0:0"}));
}

// No usable rule, no line: a nonterminal without rules on every right-hand
// side of the start symbol, a cycle with no way out, a start symbol that
// is not a nonterminal, no rule at all.
TEST(CoverTest, NoUsableRuleGivesNoLines) {
  for (const char* text :
       {"S -> AB\nA -> c\n", "S -> A\nA -> S\nB -> b\n", "a -> b\nS -> x\n", ""}) {
    EXPECT_EQ(cover_text(text), lines{}) << text;
    bool usable[MAX_RULES * MAX_ALTERNATIVES];
    cover_usable(grammar, usable);
    EXPECT_EQ(std::count(std::begin(usable), std::end(usable), true), 0) << text;
  }
}

// Lines past a bound are left out and never built: a yield of 9^25 bytes
// is held at UINT64_MAX, steps that derive the empty string count. A line
// of exactly the bound is kept.
TEST(CoverTest, LongLinesAreLeftOut) {
  static_assert(COVER_MAX_LENGTH == 65536 && COVER_MAX_STEPS == 65536, "the grammars' sizes");
  std::string chain = "A -> x\n";
  for (char c = 'A'; c < 'Z'; ++c)
    chain += c + (" -> " + std::string(9, static_cast<char>(c + 1))) + "\n";
  lines set = cover_text(chain + "Z -> z\n");
  std::string most = std::to_string(UINT64_MAX);
  ASSERT_EQ(set.size(), 27u);
  EXPECT_EQ(set[0], "[x] 0:0");
  EXPECT_EQ(set[1], "out 0:1 " + most + " " + most);
  EXPECT_EQ(set[26], "out 25:0 " + most + " " + most);
  // 8192 H of 8 bytes, in 13,654 steps; a byte more is too long.
  set = cover_text(
      "S -> A\nS -> aA\nA -> BBBB\nB -> CCCC\nC -> DDDD\nD -> EEEE\nE -> FFFF\n"
      "F -> GGGG\nG -> HH\nH -> hhhhhhhh\n");
  ASSERT_EQ(set.size(), 2u);
  EXPECT_EQ(set[0].substr(0, 65538), "[" + std::string(65536, 'h') + "]");
  EXPECT_EQ(set[0].size(), size_t{65536 + 2 + 13654 * 4});
  EXPECT_EQ(set[1], "out 0:1 65537 13654");
  set = cover_text(
      "S -> x\nS -> A\nA -> BBBBBBBBB\nB -> CCCCCCCCC\nC -> DDDDDDDDD\n"
      "D -> EEEEEEEEE\nE -> FFFFFFFFF\nF -> @\n");
  ASSERT_EQ(set.size(), 8u);
  EXPECT_EQ(set[0], "[x] 0:0");
  EXPECT_EQ(set[1], "out 0:1 0 66431");
  EXPECT_EQ(set[7], "out 6:0 0 66431");
}

}  // namespace

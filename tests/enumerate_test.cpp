// SPDX-License-Identifier: MIT
// Unit tests of the enumerator and the comparison: the sentences walked in
// order against a plain fixed point of each nonterminal's short strings,
// the differences of random pairs (a grammar and a mutation of it) and of
// equal languages written differently, and what "checked" claims.
#include "enumerate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "compare.h"
#include "loader.h"
#include "output.h"
#include "reference_strings.h"

namespace {

constexpr size_t SHORT = 7;  // the longest strings the plain fixed point makes

grammar_table load(const std::string& text) {
  grammar_table g;
  output_capture quiet;
  EXPECT_EQ(parse_grammar(g, text), 0) << text;
  return g;
}

// Whether `text` loads into `g`: a random file may have six alternatives
// in a row, which the loader's own tests cover.
bool loads(grammar_table& g, const std::string& text) {
  output_capture quiet;
  return parse_grammar(g, text) == 0;
}

// The sentences of `g` up to `longest` bytes, as the walk finds them.
std::vector<std::string> walked(const grammar_table& g, size_t longest) {
  enumerate_walk walk;
  enumerate_begin(walk, g);
  std::vector<std::string> found;
  std::string text;
  int which = 0;
  while (walk.length <= longest) {
    enumerate_found got = enumerate_next(walk, text, which, UINT64_MAX);
    if (got == ENUMERATE_STRING) found.push_back(text);
  }
  return found;
}

// The reference's sentences in the walk's order.
std::vector<std::string> in_order(const std::set<std::string>& strings) {
  std::vector<std::string> sorted(strings.begin(), strings.end());
  std::sort(sorted.begin(), sorted.end(), reference_shortlex);
  return sorted;
}

// A random grammar of up to 7 rule lines over S, A and B (C never has a
// rule), terminals a, b and \xe9 (a byte above 0x7f, to order as unsigned),
// and @: cycles, empty rules and rules that derive nothing among them.
std::string random_grammar(std::mt19937& random) {
  const std::string symbols = "SABCab\xe9";
  std::string text;
  for (int line = 0, lines = 1 + static_cast<int>(random() % 7); line < lines; ++line) {
    text += "SAB"[random() % 3];
    text += " -> ";
    if (random() % 6 == 0) text += '@';
    for (int c = 0, size = static_cast<int>(random() % 4); c < size; ++c) {
      text += symbols[random() % symbols.size()];
    }
    text += '\n';
  }
  return text;
}

// `text` with one of its rule lines changed: a symbol replaced, a rule
// added or one taken away.
std::string mutated(std::mt19937& random, const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  size_t k = random() % lines.size();
  switch (random() % 3) {
    case 0:
      if (lines[k].size() > 5) lines[k][5 + random() % (lines[k].size() - 5)] = "SABab"[random() % 5];
      break;
    case 1:
      lines.push_back(std::string(1, "SAB"[random() % 3]) + " -> " + "ab"[random() % 2]);
      break;
    default:
      if (lines.size() > 1) lines.erase(lines.begin() + static_cast<long>(k));
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// Random grammars: the walk finds every sentence of each length once, in
// order, and no other string.
TEST(EnumerateTest, SentencesInOrderOfLengthThenBytes) {
  std::mt19937 random(38);
  int nonempty = 0;
  for (int round = 0; round < 300; ++round) {
    std::string text = random_grammar(random);
    grammar_table g;
    if (!loads(g, text)) continue;
    std::vector<std::string> expected = in_order(reference_sentences(g, SHORT));
    EXPECT_EQ(walked(g, SHORT), expected) << text;
    nonempty += !expected.empty();
  }
  EXPECT_GT(nonempty, 120);
}

// The edges: a start symbol that is a terminal, a file without rules, an
// empty language, and a language with a million strings of length 20,
// walked without holding them.
TEST(EnumerateTest, EdgesOfTheLanguage) {
  EXPECT_EQ(walked(load("a -> b\n"), 5), (std::vector<std::string>{"a"}));
  EXPECT_EQ(walked(load("; no rules\n"), 5), (std::vector<std::string>{""}));
  EXPECT_EQ(walked(load("S -> aS\n"), 10), (std::vector<std::string>{}));
  EXPECT_EQ(walked(load("S -> X\n"), 10), (std::vector<std::string>{}));
  grammar_table two = load("S -> aS\nS -> bS\nS -> @\n");
  enumerate_walk walk;
  enumerate_begin(walk, two);
  std::string text, previous;
  int which = 0;
  size_t strings = 0;
  while (walk.length <= 20) {
    if (enumerate_next(walk, text, which, UINT64_MAX) != ENUMERATE_STRING) continue;
    if (text.size() == 20) {
      if (strings > 0) {
        ASSERT_LT(previous, text);
      }
      previous = text;
      ++strings;
    }
  }
  EXPECT_EQ(strings, size_t{1} << 20);
  EXPECT_LE(walk.prefix.capacity(), size_t{64});  // one prefix, not the strings
}

// Work is counted and a walk stopped for lack of it goes on where it
// stopped, finding the same strings.
TEST(EnumerateTest, WalkResumesAfterItsWorkIsSpent) {
  grammar_table g = load("S -> aSb\nS -> SS\nS -> @\n");
  std::vector<std::string> whole = walked(g, 10), pieces;
  enumerate_walk walk;
  enumerate_begin(walk, g);
  std::string text;
  int which = 0;
  for (uint64_t work = 1; walk.length <= 10; work = walk.pushes + 3) {
    if (enumerate_next(walk, text, which, work) == ENUMERATE_STRING) pieces.push_back(text);
  }
  EXPECT_EQ(pieces, whole);
}

// The strings of up to SHORT bytes that `a` derives and `b` does not, by
// the reference, in order; the first `most` of them.
std::vector<std::string> reference_only(const grammar_table& a, const grammar_table& b,
                                        size_t most = COMPARE_GROUP) {
  std::set<std::string> in_a = reference_sentences(a, SHORT), in_b = reference_sentences(b, SHORT);
  std::set<std::string> only;
  std::set_difference(in_a.begin(), in_a.end(), in_b.begin(), in_b.end(), std::inserter(only, only.end()));
  std::vector<std::string> first = in_order(only);
  if (first.size() > most) first.resize(most);
  return first;
}

// What a check that went as far as it says must hold, against the
// reference's differences `all` (every one up to SHORT bytes): its group
// starts with them, in order, and holds all of them up to the length
// checked when it is not full.
void expect_group(const std::vector<std::string>& group, const std::vector<std::string>& all,
                  size_t checked, const std::string& pair) {
  std::vector<std::string> short_ones;
  for (const std::string& s : group) {
    if (s.size() <= SHORT) short_ones.push_back(s);
  }
  ASSERT_LE(short_ones.size(), all.size()) << pair;
  EXPECT_TRUE(std::equal(short_ones.begin(), short_ones.end(), all.begin())) << pair;
  if (group.size() < COMPARE_GROUP) {
    for (const std::string& s : all) {
      if (s.size() <= checked) {
        EXPECT_NE(std::find(group.begin(), group.end(), s), group.end()) << pair << s;
      }
    }
  }
}

// Random pairs, a grammar and a mutation of it: the differences asked up
// to a length are the reference's; unasked, the check says how far it got,
// and every difference up to there is the reference's, in order.
TEST(CompareTest, DifferencesOfRandomPairs) {
  std::mt19937 random(1938);
  int differing = 0;
  for (int round = 0; round < 300; ++round) {
    std::string text = random_grammar(random), other = mutated(random, text);
    grammar_table a, b;
    if (!loads(a, text) || !loads(b, other)) continue;
    compare_result exact;
    compare_grammars(a, b, exact, SHORT);
    EXPECT_EQ(exact.checked, SHORT) << text << "--\n" << other;
    EXPECT_EQ(exact.only[0], reference_only(a, b)) << text << "--\n" << other;
    EXPECT_EQ(exact.only[1], reference_only(b, a)) << text << "--\n" << other;
    compare_result free;  // on less work than the program's, to keep the test short
    compare_grammars(a, b, free, SIZE_MAX, 1 << 14);
    std::string pair = text + "--\n" + other;
    expect_group(free.only[0], reference_only(a, b, SIZE_MAX), free.checked, pair);
    expect_group(free.only[1], reference_only(b, a, SIZE_MAX), free.checked, pair);
    differing += !exact.only[0].empty() || !exact.only[1].empty();
  }
  EXPECT_GT(differing, 60);
}

// Equal languages written two ways are checked far, and found equal; a
// near miss deep down is found; finite and empty languages are checked to
// the longest length.
TEST(CompareTest, EqualLanguagesNearMissesAndFewStrings) {
  grammar_table usual = load("E -> T\nE -> E+T\nT -> F\nT -> T*F\nF -> a\nF -> (E)\n");
  grammar_table flat = load("E -> E+E\nE -> E*E\nE -> (E)\nE -> a\n");
  compare_result same;
  compare_grammars(usual, flat, same);
  EXPECT_TRUE(same.only[0].empty() && same.only[1].empty());
  EXPECT_GE(same.checked, size_t{15});
  grammar_table near = load("S -> aSb\nS -> @\nS -> aaaaaaX\nX -> bbbbba\n");
  grammar_table anbn = load("S -> aSb\nS -> @\n");
  compare_result miss;
  compare_grammars(anbn, near, miss);
  EXPECT_EQ(miss.only[0], std::vector<std::string>{});
  ASSERT_FALSE(miss.only[1].empty());
  EXPECT_EQ(miss.only[1][0], "aaaaaabbbbba");
  grammar_table finite = load("S -> ab\nS -> ba\n"), empty = load("S -> S\n");
  compare_result few;
  compare_grammars(finite, empty, few);
  EXPECT_EQ(few.checked, COMPARE_MAX_LENGTH);
  EXPECT_EQ(few.only[0], (std::vector<std::string>{"ab", "ba"}));
  EXPECT_TRUE(few.only[1].empty());
}

}  // namespace

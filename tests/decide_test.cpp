// SPDX-License-Identifier: MIT
// Unit tests of the decider: its answers against the plain model of spans
// on random grammars, derivations that replay to their strings, the edges
// of what a table can say, long strings, and charts grown and shrunk a
// byte at a time against charts built afresh.
#include "decide.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "loader.h"
#include "output.h"
#include "reference_decide.h"
#include "trace.h"

namespace {

grammar_table table;  // the table under test

void load(const std::string& grammar_text) {
  output_capture ignored;
  ASSERT_EQ(parse_grammar(table, grammar_text), 0) << grammar_text;
}

// The sentence that `labels`, replayed from the start form, derive; "?"
// and a note when a label does not fit.
std::string replayed(const std::vector<grammar_label>& labels) {
  std::string last = std::string(grammar_seed(table));
  size_t steps = labels.size();
  bool fits = trace_replay(table, labels, [&last, steps](const trace_rewrite& step) {
    if (step.index == steps && step.index > 0) last = trace_rewrite_text(step);
  });
  return fits ? last : "? a label does not fit";
}

// Decides `text` on the loaded table as the model does; a sentence's
// derivation replays to it, and is the same when asked again.
void expect_decided(const std::string& grammar_text, const std::string& text) {
  bool expected = reference_sentence(table, text);
  std::vector<grammar_label> labels, again;
  ASSERT_EQ(decide_sentence(table, text, &labels), expected) << grammar_text << "on \"" << text << '"';
  if (!expected) return;
  EXPECT_EQ(replayed(labels), text) << grammar_text << "on \"" << text << '"';
  ASSERT_TRUE(decide_sentence(table, text, &again));
  EXPECT_EQ(labels, again) << grammar_text << "on \"" << text << '"';
}

// A small random grammar file: rule lines for S, A, B and C over a, b and
// @, with cycles, empty rules, nonterminals without rules (D, and C when
// it gets none) and, now and then, no rule line or a start that is a
// terminal.
std::string random_grammar(std::mt19937& random) {
  if (random() % 40 == 0) return "";
  const std::string lhs = "SSSAABBC", symbols = "SSAABBCDaab";
  std::string text;
  if (random() % 20 == 0) text += "x -> a\n";
  for (int line = 0, lines = 1 + static_cast<int>(random() % 7); line < lines; ++line) {
    text += line == 0 ? 'S' : lhs[random() % lhs.size()];
    text += " -> ";
    int size = static_cast<int>(random() % 5);
    for (int k = 0; k < size; ++k) text += symbols[random() % symbols.size()];
    text += size == 0 ? "@\n" : "\n";
  }
  return text;
}

std::string random_text(std::mt19937& random, size_t longest) {
  std::string text;
  for (size_t k = 0, size = random() % (longest + 1); k < size; ++k) text += "abx"[random() % 7 / 3];
  return text;
}

TEST(DecideTest, RandomGrammarsAgreeWithSpans) {
  std::mt19937 random(41);
  for (int n = 0; n < 400; ++n) {
    std::string grammar_text = random_grammar(random);
    load(grammar_text);
    for (int k = 0; k < 30; ++k) expect_decided(grammar_text, random_text(random, 7));
  }
}

// What a table can say at its edges, each answer the model's, each
// derivation replayed.
TEST(DecideTest, EdgesOfTables) {
  struct edge {
    const char* grammar;  // the file
    const char* text;     // the string decided
    bool sentence;        // the answer
  };
  const edge edges[] = {
      {"S -> S\n", "", false},                                  // a unit cycle alone derives nothing
      {"S -> S\nS -> a\n", "a", true},                          // a cycle beside a way out
      {"S -> A\nA -> B\nB -> A\nB -> b\n", "b", true},          // a cycle through three
      {"S -> A\nS -> SA\nA -> S\nA -> a\nA -> @\n", "aaa", true},  // cycles and empty rules
      {"S -> SS\nS -> @\n", "", true},
      {"S -> SS\nS -> aa\nS -> @\n", "aaa", false},
      {"", "", true},                                           // no rule line: only the empty string
      {"", "a", false},
      {"x -> a\nS -> a\n", "x", true},                          // a terminal start: only itself
      {"x -> a\n", "a", false},
      {"x -> a\n", "", false},
      {"S -> aX\n", "a", false},                                // X has no rule
      {"S -> aX\nS -> b\n", "b", true},
      {"S -> aT\nT -> Tb\n", "ab", false},                      // T derives nothing
      {"S -> aSb\nS -> @\n", "aabb", true},
      {"S -> aSb\nS -> @\n", "aab", false},
      {"S -> AAA\nA -> BB\nB -> @\nB -> a\n", "aaaaaa", true},  // empty derivations nested
      {"S -> AAA\nA -> BB\nB -> @\nB -> a\n", "aaaaaaa", false},
  };
  for (const edge& e : edges) {
    load(e.grammar);
    EXPECT_EQ(reference_sentence(table, e.text), e.sentence) << e.grammar << e.text;
    expect_decided(e.grammar, e.text);
  }
}

// A derivation whose empty parts would pass DECIDE_MAX_STEPS is refused,
// though the string is a sentence; a shorter one is given.
TEST(DecideTest, EmptyDerivationsTooLongAreRefused) {
  std::string grammar_text = "S -> A\n";
  for (char a = 'A'; a < 'J'; ++a) grammar_text += std::string(1, a) + " -> " + std::string(9, static_cast<char>(a + 1)) + "\n";
  load(grammar_text + "J -> @\n");
  decide_chart chart;
  decide_begin(chart, table);
  std::vector<grammar_label> labels{{0, 0}};
  EXPECT_TRUE(decide_accepts(chart));
  EXPECT_FALSE(decide_derivation(chart, labels));  // some 9^9 rules
  EXPECT_TRUE(labels.empty());
  load("S -> A\nA -> BBBBBBBBB\nB -> CCCCCCCCC\nC -> @\n");
  ASSERT_TRUE(decide_sentence(table, "", &labels));
  EXPECT_EQ(labels.size(), 2u + 9 + 81);
  EXPECT_EQ(replayed(labels), "");
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Strings of 64 KiB in the usual shapes: each decided, its derivation
// replayed, of the length the shape gives; one byte more is no sentence.
TEST(DecideTest, LongStrings) {
  const size_t size = 64 << 10;
  std::string nested;
  while (nested.size() < size) nested += nested.size() % 3 == 0 ? "(()())" : "()";
  std::string expression = "a";
  while (expression.size() < size) expression += expression.size() % 5 == 0 ? "*(a+a)" : "+a*a";
  struct shape {
    std::string grammar;  // the file
    std::string text;     // a sentence
    size_t steps;         // the rules of its derivation
  };
  const shape shapes[] = {
      {"S -> aS\nS -> @\n", std::string(size, 'a'), size + 1},
      {"S -> Sa\nS -> @\n", std::string(size, 'a'), size + 1},
      {"S -> aS\nS -> a\n", std::string(size, 'a'), size},
      {"S -> (S)S\nS -> @\n", nested, nested.size() + 1},
      {read_file(SENTGEN_EXAMPLES_DIR "/expression/grammar.txt"), expression, 0},
  };
  for (const shape& s : shapes) {
    load(s.grammar);
    std::vector<grammar_label> labels;
    ASSERT_TRUE(decide_sentence(table, s.text, &labels)) << s.grammar;
    if (s.steps != 0) {
      EXPECT_EQ(labels.size(), s.steps) << s.grammar;
    }
    EXPECT_EQ(replayed(labels), s.text) << s.grammar;
    EXPECT_FALSE(decide_sentence(table, s.text + ")", nullptr)) << s.grammar;
  }
}

TEST(DecideTest, LongestStringAndNoLonger) {
  load("S -> aS\nS -> @\n");
  decide_chart chart;
  decide_begin(chart, table);
  for (size_t k = 0; k < DECIDE_MAX_LENGTH; ++k) decide_push(chart, 'a');
  EXPECT_TRUE(decide_accepts(chart));
  EXPECT_THROW(decide_push(chart, 'a'), std::length_error);
  EXPECT_EQ(decide_length(chart), DECIDE_MAX_LENGTH);  // as it was
  decide_pop(chart);
  EXPECT_TRUE(decide_accepts(chart));
  EXPECT_THROW(decide_sentence(table, std::string(DECIDE_MAX_LENGTH + 1, 'a'), nullptr), std::length_error);
}

constexpr size_t COMPLETIONS_CHECKED = 5;  // the lengths the model tries every string of

// A random walk of pushes and pops over each grammar: the chart says what
// a chart built afresh for the same prefix says, and its completions are
// the model's.
TEST(DecideTest, PushAndPopMatchFreshCharts) {
  std::mt19937 random(7);
  for (int n = 0; n < 150; ++n) {
    std::string grammar_text = random_grammar(random);
    load(grammar_text);
    // The bytes a sentence of the random grammars can hold.
    std::string alphabet = grammar_seed(table) == "x" ? "x" : "ab";
    decide_chart walk;
    decide_begin(walk, table, true);
    std::string prefix;
    for (int step = 0; step < 24; ++step) {
      if (!prefix.empty() && random() % 3 == 0) {
        decide_pop(walk);
        prefix.pop_back();
      } else {
        char byte = "abx"[random() % 7 / 3];
        decide_push(walk, static_cast<unsigned char>(byte));
        prefix += byte;
      }
      decide_chart fresh;
      decide_begin(fresh, table, true);
      for (char byte : prefix) decide_push(fresh, static_cast<unsigned char>(byte));
      ASSERT_EQ(decide_length(walk), prefix.size());
      length_set completions = decide_completions(walk);
      EXPECT_EQ(completions, decide_completions(fresh)) << grammar_text << prefix;
      EXPECT_EQ(decide_accepts(walk), reference_sentence(table, prefix)) << grammar_text << prefix;
      EXPECT_EQ(decide_accepts(walk), (completions & 1) != 0) << grammar_text << prefix;
      EXPECT_TRUE(decide_alive(walk) || completions == 0) << grammar_text << prefix;
      // The walk reached the prefix by programs that fresh charts made:
      // the same items, so the same derivation.
      std::vector<grammar_label> walked, afresh;
      EXPECT_EQ(decide_derivation(walk, walked), decide_derivation(fresh, afresh)) << grammar_text << prefix;
      EXPECT_EQ(walked, afresh) << grammar_text << prefix;
      if (prefix.size() > 6) continue;
      for (size_t r = 0; r < COMPLETIONS_CHECKED; ++r) {
        EXPECT_EQ((completions >> r & 1) != 0, reference_completes(table, prefix, r, alphabet))
            << grammar_text << '"' << prefix << "\" and " << r << " more";
      }
    }
  }
}

// Decides `text` on `chart`, left at the empty prefix, as a chart of its
// own does, and goes back to the empty prefix.
void expect_decided_on(decide_chart& chart, const std::string& grammar_text, const std::string& text) {
  for (char byte : text) decide_push(chart, static_cast<unsigned char>(byte));
  std::vector<grammar_label> labels, alone;
  bool expected = decide_sentence(table, text, &alone);
  EXPECT_EQ(decide_accepts(chart), expected) << grammar_text << "on \"" << text << '"';
  if (text.size() <= 7) {
    EXPECT_EQ(expected, reference_sentence(table, text)) << grammar_text << "on \"" << text << '"';
  }
  if (expected) {
    EXPECT_TRUE(decide_derivation(chart, labels)) << grammar_text << "on \"" << text << '"';
    EXPECT_EQ(labels, alone) << grammar_text << "on \"" << text << '"';
    EXPECT_EQ(replayed(labels), text) << grammar_text << "on \"" << text << '"';
  }
  while (decide_length(chart) > 0) decide_pop(chart);
  // Again in two pieces by runs, as sentgen-test pushes a line, the second
  // on a prefix already there: the same chart as the pushes made.
  decide_push_text(chart, std::string_view(text).substr(0, text.size() / 3));
  decide_push_text(chart, std::string_view(text).substr(text.size() / 3));
  EXPECT_EQ(decide_length(chart), text.size());
  EXPECT_EQ(decide_accepts(chart), expected) << grammar_text << "by runs on \"" << text << '"';
  if (expected) {
    EXPECT_TRUE(decide_derivation(chart, labels)) << grammar_text << "by runs on \"" << text << '"';
    EXPECT_EQ(labels, alone) << grammar_text << "by runs on \"" << text << '"';
  }
  // Cut back at once, as sentgen-test does after a line: the next string
  // must come out as on a chart of its own.
  decide_pop_to(chart, 0);
  EXPECT_EQ(decide_length(chart), 0u);
}

// One chart decides string after string, as sentgen-test has it: the
// programs that earlier strings left are done again on later ones, which
// come out as they do on charts of their own.
TEST(DecideTest, OneChartForManyStrings) {
  std::mt19937 random(19);
  for (int n = 0; n < 200; ++n) {
    std::string grammar_text = random_grammar(random);
    load(grammar_text);
    decide_chart chart;
    decide_begin(chart, table);
    for (int k = 0; k < 40; ++k) expect_decided_on(chart, grammar_text, random_text(random, k % 4 == 0 ? 24 : 7));
  }
  load(read_file(SENTGEN_EXAMPLES_DIR "/expression/grammar.txt"));
  decide_chart chart;
  decide_begin(chart, table);
  const char* texts[] = {"a", "a+a", "(a)", "a*(a+a)", "((a))*a+a", "a+", "(a+a))", "a*a*a*(a+(a*a))+a", "a+a*a*(a+a)"};
  for (int round = 0; round < 2; ++round) {
    for (const char* text : texts) expect_decided_on(chart, "expression", text);
  }
}

// A random sentence of at least `size` bytes over a, operators from
// `operators` (none: a sequence) and parentheses, nested up to `depth`.
std::string random_nested(std::mt19937& random, const std::string& operators, size_t size, int depth = 0) {
  std::string text;
  do {
    if (!text.empty() && !operators.empty()) text += operators[random() % operators.size()];
    if (depth < 12 && random() % 3 == 0) {
      text += "(" + random_nested(random, operators, random() % 12, depth + 1) + ")";
    } else {
      text += 'a';
    }
  } while (text.size() < size);
  return text;
}

// Long sentences, and their prefixes with a wrong byte after, on grammars
// whose sets hold items of one origin from steps apart: decide_sentence,
// which goes by runs of pushes once programs and nodes are made, comes out
// as a chart grown a push at a time does.
TEST(DecideTest, RunsMatchPushedCharts) {
  std::mt19937 random(29);
  struct shape {
    std::string grammar;    // the file
    std::string operators;  // of its sentences
  };
  const shape shapes[] = {
      {"S -> SS\nS -> a\nS -> (S)\n", ""},
      {"E -> E+E\nE -> E*E\nE -> (E)\nE -> a\n", "+*"},
      {"E -> E+E\nE -> E+a\nE -> T\nT -> T*T\nT -> (E)\nT -> a\n", "+*"},
      {read_file(SENTGEN_EXAMPLES_DIR "/expression/grammar.txt"), "+*"},
  };
  for (const shape& s : shapes) {
    load(s.grammar);
    decide_chart chart;
    decide_begin(chart, table);
    for (int k = 0; k < 12; ++k) {
      std::string text = random_nested(random, s.operators, 400);
      expect_decided_on(chart, s.grammar, text);
      expect_decided_on(chart, s.grammar, text.substr(0, random() % text.size()) + ")");
    }
  }
  for (int n = 0; n < 100; ++n) {
    std::string grammar_text = random_grammar(random);
    load(grammar_text);
    decide_chart chart;
    decide_begin(chart, table);
    std::string pieces[3];
    for (std::string& piece : pieces) piece = random_text(random, 3) + "ab"[random() % 2];
    std::string text;
    while (text.size() < 200) text += pieces[random() % 3];
    expect_decided_on(chart, grammar_text, text);
  }
}

// The longest string goes by runs to its last byte, and a push of text
// past it is refused with the chart as it was.
TEST(DecideTest, LongestStringByRuns) {
  load("S -> aS\nS -> @\n");
  EXPECT_TRUE(decide_sentence(table, std::string(DECIDE_MAX_LENGTH, 'a'), nullptr));
  EXPECT_FALSE(decide_sentence(table, std::string(DECIDE_MAX_LENGTH - 1, 'a') + "b", nullptr));
  decide_chart chart;
  decide_begin(chart, table);
  decide_push_text(chart, "aaa");
  EXPECT_THROW(decide_push_text(chart, std::string(DECIDE_MAX_LENGTH - 2, 'a')), std::length_error);
  EXPECT_EQ(decide_length(chart), 3u);
  decide_push_text(chart, std::string(DECIDE_MAX_LENGTH - 3, 'a'));
  EXPECT_TRUE(decide_accepts(chart));
  EXPECT_THROW(decide_push_text(chart, "a"), std::length_error);
  decide_push_text(chart, "");
  EXPECT_EQ(decide_length(chart), DECIDE_MAX_LENGTH);
}

// A chart out of room for states goes on with the states of rules alone,
// as ever: the same answers, completions and derivations.
TEST(DecideTest, ChartOutOfStates) {
  std::mt19937 random(23);
  for (int n = 0; n < 150; ++n) {
    std::string grammar_text = random_grammar(random);
    load(grammar_text);
    decide_chart narrow, wide;
    decide_begin(narrow, table, true);
    decide_begin(wide, table, true);
    narrow.state_limit = 0;  // no state but of a rule alone from now on
    std::string text = random_text(random, 9);
    for (char byte : text) {
      decide_push(narrow, static_cast<unsigned char>(byte));
      decide_push(wide, static_cast<unsigned char>(byte));
      EXPECT_EQ(decide_completions(narrow), decide_completions(wide)) << grammar_text << text;
      EXPECT_EQ(decide_alive(narrow), decide_alive(wide)) << grammar_text << text;
    }
    ASSERT_EQ(decide_accepts(narrow), reference_sentence(table, text)) << grammar_text << text;
    std::vector<grammar_label> labels;
    if (decide_derivation(narrow, labels)) {
      EXPECT_EQ(replayed(labels), text) << grammar_text << text;
    }
  }
  load(read_file(SENTGEN_EXAMPLES_DIR "/expression/grammar.txt"));
  decide_chart chart;
  decide_begin(chart, table);
  chart.state_limit = 0;
  std::string expression = "a";
  while (expression.size() < 4096) expression += expression.size() % 5 == 0 ? "*(a+a)" : "+a*a";
  for (char byte : expression) decide_push(chart, static_cast<unsigned char>(byte));
  std::vector<grammar_label> labels;
  ASSERT_TRUE(decide_derivation(chart, labels));
  EXPECT_EQ(replayed(labels), expression);
}

// Completions past what the model can try: right recursion, where Leo's
// items stand for the completed items, and long lengths.
TEST(DecideTest, CompletionsOfRecursions) {
  load("S -> aS\nS -> b\n");
  decide_chart chart;
  decide_begin(chart, table, true);
  for (int k = 0; k < 100; ++k) decide_push(chart, 'a');
  EXPECT_EQ(decide_completions(chart), ~length_set{0} << 1);  // any number of a, then b
  decide_pop_to(chart, 0);
  decide_push_text(chart, std::string(100, 'a'));  // a byte at a time, keeping completions
  EXPECT_EQ(decide_completions(chart), ~length_set{0} << 1);
  load("S -> Saa\nS -> @\n");
  decide_begin(chart, table, true);
  for (int k = 0; k < 3; ++k) decide_push(chart, 'a');
  EXPECT_EQ(decide_completions(chart), 0xAAAAAAAAAAAAAAAAu);  // an odd number more
  decide_push(chart, 'b');
  EXPECT_EQ(decide_completions(chart), 0u);
  EXPECT_FALSE(decide_alive(chart));
}

}  // namespace

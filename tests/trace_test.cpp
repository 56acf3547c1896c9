// SPDX-License-Identifier: MIT
// Unit tests of traced runs: each sentence's derivation and the search's
// counts against the plain model, derivations that replay to their
// sentences, and a traced run that prints what an untraced one prints.
#include "trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "reference_search.h"
#include "run.h"

namespace {

// What the traced run under test reported; on_sentence is a plain
// function, as the page's entry needs, so it writes here.
std::vector<std::vector<trace_label>> derivations;  // each sentence's rules
std::vector<uint64_t> sentence_steps;               // each sentence's search step
std::vector<uint64_t> sentence_starts;              // where each sentence's line starts

void keep_sentence(const std::vector<trace_label>& labels, uint64_t step, uint64_t at) {
  derivations.push_back(labels);
  sentence_steps.push_back(step);
  sentence_starts.push_back(at);
}

// A traced run on `grammar`; its output goes to `printed`.
int run_traced(std::string_view grammar, run_trace& trace, std::string& printed) {
  derivations.clear();
  sentence_steps.clear();
  sentence_starts.clear();
  trace.on_sentence = keep_sentence;
  captured_run run = capture_run([grammar, &trace] { return run_bytes_traced(grammar, trace); });
  printed = std::move(run.out);
  return run.status;
}

std::string run_untraced(std::string_view grammar) {
  return capture_run([grammar] { return run_bytes(grammar); }).out;
}

// The sentences of a run's output: its lines after the listing that are
// neither overflow lines nor the idle limit's message.
std::vector<std::string> sentences_of(const std::string& printed) {
  std::vector<std::string> sentences;
  std::istringstream lines(printed);
  std::string line;
  while (std::getline(lines, line) && line != "Production Rules") {
  }
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] != '\t') break;  // the listing ends
  }
  do {
    if (line != "STACK OVERFLOW!" && line.rfind("No sentence in", 0) != 0) sentences.push_back(line);
  } while (std::getline(lines, line));
  return sentences;
}

// Every sentence's rules, replayed from the start symbol each on the
// leftmost nonterminal, give the sentence; the steps that took them out
// increase; nothing is left held.
void expect_derivations_replay(const std::string& grammar_text) {
  run_trace trace{};
  std::string printed;
  ASSERT_EQ(run_traced(grammar_text, trace, printed), 0) << grammar_text;
  ASSERT_EQ(printed, run_untraced(grammar_text)) << grammar_text;
  grammar_table grammar;
  ASSERT_EQ(parse_grammar(grammar, grammar_text), 0);  // the table, for the replay
  std::vector<std::string> sentences = sentences_of(printed);
  ASSERT_EQ(sentences.size(), derivations.size()) << grammar_text;
  for (size_t n = 0; n < sentences.size(); ++n) {
    std::string last;
    size_t steps = derivations[n].size();
    bool fits = trace_replay(grammar, derivations[n], [&last, steps](const trace_rewrite& step) {
      if (step.index == steps) last = trace_rewrite_text(step);
    });
    // The line the run says the sentence starts at is that sentence.
    ASSERT_LE(sentence_starts[n] + sentences[n].size(), printed.size());
    EXPECT_EQ(printed.substr(sentence_starts[n], sentences[n].size() + 1), sentences[n] + "\n");
    EXPECT_TRUE(fits) << grammar_text << " sentence " << n;
    EXPECT_EQ(last, sentences[n]) << grammar_text << " sentence " << n;
    if (n > 0) {
      EXPECT_GT(sentence_steps[n], sentence_steps[n - 1]);
    }
  }
  EXPECT_EQ(trace_records_made(), 0u);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Random small grammars, full stacks and long forms among them: a traced
// run reports what the plain model finds, derivation by derivation and
// count by count, and prints what an untraced run prints.
TEST(TraceTest, TracedRunsMatchPlainModel) {
  std::mt19937 random(23);
  int compared = 0;
  for (int n = 0; n < 300; ++n) {
    std::string grammar_text = reference_random_grammar(random);
    run_trace trace{};
    std::string printed;
    if (run_traced(grammar_text, trace, printed) != 0) {
      EXPECT_EQ(trace.end, RUN_REJECTED);
      continue;
    }
    EXPECT_EQ(printed, run_untraced(grammar_text)) << grammar_text;
    grammar_table grammar;
    ASSERT_EQ(parse_grammar(grammar, grammar_text), 0);
    reference_trace model;
    std::string expected;
    if (!reference_search(grammar, 4 << 20, expected, &model)) continue;  // too long to model
    EXPECT_EQ(derivations, model.derivations) << grammar_text;
    EXPECT_EQ(sentence_steps, model.sentence_steps) << grammar_text;
    EXPECT_EQ(trace.steps, model.steps) << grammar_text;
    EXPECT_EQ(trace.forms_made, model.forms_made) << grammar_text;
    EXPECT_EQ(trace.forms_refused, model.forms_refused) << grammar_text;
    EXPECT_EQ(trace.most_pending, model.most_pending) << grammar_text;
    EXPECT_EQ(trace.end, model.end) << grammar_text;
    EXPECT_EQ(trace_records_made(), 0u);
    ++compared;
  }
  EXPECT_GT(compared, 100);
}

// Derivations of the examples and of grammars that make them long, deep in
// nonterminals, empty, or of a start symbol that is already a sentence.
TEST(TraceTest, DerivationsReplayToTheirSentences) {
  expect_derivations_replay(read_file(SENTGEN_EXAMPLES_DIR "/anbn/grammar.txt"));
  expect_derivations_replay(read_file(SENTGEN_EXAMPLES_DIR "/expression/grammar.txt"));
  expect_derivations_replay("S -> aS\nS -> @\n");
  expect_derivations_replay("S -> SS\nS -> aaaaaaaaa\n");
  expect_derivations_replay("S -> ABC\nA -> a\nA -> @\nB -> AA\nC -> BcB\n");
  expect_derivations_replay("a -> b\n");
  expect_derivations_replay("S -> S\nS -> ab\n");  // the stack fills with copies of S
}

// The ways a traced run ends, each told apart.
TEST(TraceTest, RunEndsAreTold) {
  struct end_case {
    const char* grammar;  // the grammar file's bytes
    run_end end;          // why its run ends
  };
  const end_case cases[] = {
      {"S -> aS\nS -> b\n", RUN_SENTENCES},
      {"S -> a\nS -> b\n", RUN_STACK_EMPTY},
      {"S -> aS\n", RUN_IDLE},
      {"S -> a\nS\n", RUN_REJECTED},
  };
  for (const end_case& c : cases) {
    run_trace trace{};
    std::string printed;
    run_traced(c.grammar, trace, printed);
    EXPECT_EQ(trace.end, c.end) << c.grammar;
  }
}

// A label that does not fit the form is refused, not applied.
TEST(TraceTest, ReplayRefusesRulesThatDoNotFit) {
  grammar_table grammar;
  ASSERT_EQ(parse_grammar(grammar, "S -> aA\nA -> b\n"), 0);
  auto replays = [&grammar](std::vector<trace_label> labels) {
    return trace_replay(grammar, labels, [](const trace_rewrite&) {});
  };
  EXPECT_TRUE(replays({{0, 0}, {1, 0}}));
  EXPECT_FALSE(replays({{1, 0}}));          // A's rule on S
  EXPECT_FALSE(replays({{0, 1}}));          // no second alternative
  EXPECT_FALSE(replays({{0, 0}, {1, 0}, {1, 0}}));  // nothing left to replace
  EXPECT_FALSE(replays({{7, 0}}));          // no such entry
}

// Each step replayed tells where the nonterminal stood and what replaced it.
TEST(TraceTest, ReplayMarksEachStep) {
  grammar_table grammar;
  ASSERT_EQ(parse_grammar(grammar, "S -> xAyA\nA -> @\nA -> zz\n"), 0);
  struct seen {
    std::string form;  // the form after the step
    size_t at;         // where the nonterminal stood
    size_t inserted;   // bytes put there
  };
  std::vector<seen> steps;
  ASSERT_TRUE(trace_replay(grammar, {{0, 0}, {1, 1}, {1, 0}}, [&steps](const trace_rewrite& step) {
    steps.push_back({trace_rewrite_text(step), trace_rewrite_at(step), step.inserted});
  }));
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].form, "S");
  EXPECT_EQ(steps[1].form, "xAyA");
  EXPECT_EQ(steps[1].at, 0u);
  EXPECT_EQ(steps[1].inserted, 4u);
  EXPECT_EQ(steps[2].form, "xzzyA");
  EXPECT_EQ(steps[2].at, 1u);
  EXPECT_EQ(steps[2].inserted, 2u);
  EXPECT_EQ(steps[3].form, "xzzy");
  EXPECT_EQ(steps[3].at, 4u);
  EXPECT_EQ(steps[3].inserted, 0u);
}

}  // namespace

// SPDX-License-Identifier: MIT
// Unit tests of the replayed search steps that the page's step view shows:
// every step of the end-to-end cases and of random grammars against the
// plain model of the search: the forms pending, the one taken, the forms
// each step pushed and those a full stack refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "capture.h"
#include "form.h"
#include "loader.h"
#include "reference_search.h"
#include "run.h"

namespace {

// A step as both sides can tell it: the pending forms, each as the engine
// keeps it, the slot taken, and what the step made.
struct told_step {
  size_t pending = 0;                                  // forms pending
  size_t forms = 0;                                    // a hash of each, as `kept` writes it, in order
  size_t taken = 0;                                    // the slot taken
  bool sentence = false;                               // it printed the form taken
  std::vector<std::pair<trace_label, bool>> children;  // each alternative's form; refused
  void add(const std::string& form) {
    ++pending;
    forms = forms * 1000003 ^ std::hash<std::string>()(form);
  }
  bool operator==(const told_step& other) const {
    return pending == other.pending && forms == other.forms && taken == other.taken &&
           sentence == other.sentence && children == other.children;
  }
};

// A form of `length` bytes as the engine keeps it: a dead end its length
// and leftmost nonterminal, a doomed form its text from that on.
std::string kept(int fate, size_t length, const std::string& text, char leftmost) {
  if (fate == FORM_DEAD_END) return "dead end " + std::to_string(length) + " " + leftmost;
  if (fate == FORM_DOOMED) return "doomed " + std::to_string(length) + " " + text;
  return text;
}

// The same for a form of the model: its fate follows from its text, but for
// the seed, which the run pushes as text.
std::string kept_by_model(const grammar_table& g, const std::string& text, bool seed) {
  size_t k = text.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  if (seed || k == std::string::npos) return text;
  if (grammar_has_no_rule(g, text[k])) return kept(FORM_DEAD_END, text.size(), "", text[k]);
  for (char c : text) {
    if (is_nonterminal(c) && (g.derives >> (c - 'A') & 1) == 0) {
      return kept(FORM_DOOMED, text.size(), text.substr(k), text[k]);
    }
  }
  return text;
}

std::vector<told_step> model_steps(const grammar_table& g, size_t work, bool& whole) {
  std::vector<told_step> steps;
  reference_trace trace;
  trace.on_step = [&](const reference_step& step) {
    told_step told;
    told.taken = step.taken;
    told.sentence = step.sentence;
    told.children = step.children;
    for (const std::string& text : step.pending) told.add(kept_by_model(g, text, steps.empty()));
    steps.push_back(told);
  };
  std::string ignored;
  whole = reference_search(g, work, ignored, &trace);
  return steps;
}

std::vector<told_step> replayed_steps(const grammar_table& g, uint64_t last = UINT64_MAX) {
  std::vector<told_step> steps;
  told_step next;
  capture_run([&] {
    run_replay_steps(g, 1, last, [&](uint64_t, int, const sentential_form& form) {
      run_form_view view = run_view_form(form, SIZE_MAX, 0);
      char leftmost = form_leftmost(form);
      next.add(kept(view.fate, view.length, view.text, leftmost));
    }, [&](uint64_t, const run_step& told) {
      next.taken = static_cast<size_t>(told.taken);
      next.sentence = told.sentence > 0;
      for (const run_child& child : told.children) next.children.push_back({child.label, child.refused});
      steps.push_back(std::move(next));
      next = told_step{};
    });
    return 0;
  });
  return steps;
}

void expect_same_steps(const grammar_table& g, const std::string& what, size_t work = 4 << 20) {
  bool whole = false;
  std::vector<told_step> model = model_steps(g, work, whole);
  // Where the model gave up on long forms, the steps up to there; else one
  // more than the model took, which must not be there.
  std::vector<told_step> replayed = replayed_steps(g, whole ? model.size() + 1 : model.size());
  ASSERT_EQ(replayed.size(), model.size()) << what;
  for (size_t k = 0; k < model.size(); ++k) {
    ASSERT_TRUE(replayed[k] == model[k]) << what << ": step " << k + 1;
  }
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(StepsTest, EveryStepOfTheCasesAsTheModelTakesIt) {
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SENTGEN_SOURCE_DIR "/tests/cases")) {
    std::filesystem::path file = entry.path() / "grammar.txt";
    if (!std::filesystem::is_regular_file(file) || std::filesystem::exists(entry.path() / "program")) continue;
    grammar_table g;
    {
      output_capture quiet;
      if (parse_grammar(g, read_file(file)) != 0) continue;
    }
    expect_same_steps(g, entry.path().filename().string());
    ++cases;
  }
  EXPECT_GT(cases, 30);
}

// Random grammars, full stacks and long forms among them.
TEST(StepsTest, EveryStepOfRandomGrammars) {
  std::mt19937 random(39);
  for (int round = 0; round < 150; ++round) {
    std::string text = reference_random_grammar(random);
    grammar_table g;
    output_capture quiet;
    if (parse_grammar(g, text) != 0) continue;
    expect_same_steps(g, text, 1 << 18);
  }
}

// A step asked alone is the same as in a walk of every step; past the
// last step there is none.
TEST(StepsTest, StepAskedAloneAndPastTheEnd) {
  grammar_table g;
  {
    output_capture quiet;
    ASSERT_EQ(parse_grammar(g, "S -> aSb\nS -> SS\nS -> @\n"), 0);
  }
  std::vector<told_step> all = replayed_steps(g);
  ASSERT_GT(all.size(), size_t{40});
  int taken = -1;
  size_t pending = 0;
  capture_run([&] {
    return run_replay_steps(g, 40, 40, [&](uint64_t, int, const sentential_form&) { ++pending; },
                            [&](uint64_t, const run_step& told) { taken = told.taken; }) ? 0 : 1;
  });
  EXPECT_EQ(pending, all[39].pending);
  EXPECT_EQ(static_cast<size_t>(taken), all[39].taken);
  bool none = capture_run([&] {
    return run_replay_steps(g, all.size() + 1, all.size() + 1, [](uint64_t, int, const sentential_form&) {},
                            [](uint64_t, const run_step&) {}) ? 0 : 1;
  }).status == 1;
  EXPECT_TRUE(none);
}

}  // namespace

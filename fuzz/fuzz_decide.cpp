// SPDX-License-Identifier: MIT
// Fuzz target: the decider. The input up to its first byte 0 is a grammar
// file, the rest a string (its first 256 bytes, so that the most ambiguous
// tables stay quick). Beyond the absence of crashes it checks, for every
// prefix of the string: the answer is the plain model's (on prefixes of up
// to 10 bytes), the completions say the same of the prefix itself, every
// derivation replays to its prefix, and a chart that pops bytes and pushes
// them again answers as it did.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "decide.h"
#include "grammar.h"
#include "loader.h"
#include "output.h"
#include "reference_decide.h"
#include "trace.h"

namespace {

constexpr size_t LONGEST = 256;  // bytes of the string decided
constexpr size_t MODELLED = 10;  // bytes of a prefix that the model decides too

void require(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "property violated: %s\n", what);
    abort();
  }
}

grammar_table table;  // the input's grammar

// Whether `labels`, replayed from the start form, fit and derive `text`.
bool replays_to(const std::vector<grammar_label>& labels, std::string_view text) {
  std::string last(grammar_seed(table));
  size_t steps = labels.size();
  bool fits = trace_replay(table, labels, [&last, steps](const trace_rewrite& step) {
    if (step.index == steps && step.index > 0) last = trace_rewrite_text(step);
  });
  return fits && last == text;
}

// What the chart says of its prefix.
struct decide_answer {
  bool accepts;            // a sentence
  bool alive;              // the start of one
  length_set completions;  // the lengths of what can follow
};
decide_answer answer_of(const decide_chart& chart) {
  return {decide_accepts(chart), decide_alive(chart), decide_completions(chart)};
}
bool operator==(const decide_answer& a, const decide_answer& b) {
  return a.accepts == b.accepts && a.alive == b.alive && a.completions == b.completions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t cut = bytes.find('\0');
  std::string_view text = cut == std::string_view::npos ? std::string_view{} : bytes.substr(cut + 1).substr(0, LONGEST);
  {
    output_capture ignored;
    if (parse_grammar(table, bytes.substr(0, cut)) != 0) return 0;
  }
  decide_chart chart;
  decide_begin(chart, table, true);
  // Derivations are rebuilt and replayed unless an empty derivation is long
  // (a table can nest them to millions of rules): each prefix would take
  // seconds.
  bool derive = true;
  for (uint64_t steps : chart.empty_steps) derive = derive && (steps == UINT64_MAX || steps < 1000);
  std::vector<decide_answer> answers;
  std::vector<grammar_label> labels;
  for (size_t k = 0;; ++k) {
    std::string_view prefix = text.substr(0, k);
    decide_answer answer = answer_of(chart);
    answers.push_back(answer);
    require(answer.accepts == ((answer.completions & 1) != 0), "a sentence is its own completion");
    require(answer.alive || answer.completions == 0, "a prefix no sentence starts with has no completion");
    if (k <= MODELLED) require(answer.accepts == reference_sentence(table, prefix), "the model's answer");
    if (derive && answer.accepts && decide_derivation(chart, labels)) {
      require(replays_to(labels, prefix), "a derivation replays to its prefix");
    }
    if (k == text.size()) break;
    decide_push(chart, static_cast<unsigned char>(text[k]));
  }
  require(decide_sentence(table, text, nullptr) == answers.back().accepts, "decide_sentence answers as the chart does");
  if (derive && answers.back().accepts) {
    std::vector<grammar_label> again;
    decide_sentence(table, text, &again);
    require(again == labels, "the same derivation every time");
  }
  // Half the string popped and pushed again.
  size_t keep = text.size() / 2;
  for (size_t k = text.size(); k > keep; --k) {
    decide_pop(chart);
    require(answer_of(chart) == answers[k - 1], "a pop restores the chart");
  }
  for (size_t k = keep; k < text.size(); ++k) {
    decide_push(chart, static_cast<unsigned char>(text[k]));
    require(answer_of(chart) == answers[k + 1], "a push again makes the same chart");
  }
  return 0;
}

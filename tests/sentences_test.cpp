// SPDX-License-Identifier: MIT
// The decider against the search: every sentence that a run of an
// end-to-end case or a workload prints is a sentence to the decider, whose
// derivation of it replays to it, as the run's own does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture.h"
#include "decide.h"
#include "loader.h"
#include "run.h"
#include "trace.h"

namespace {

std::vector<uint64_t> starts;                  // where each sentence's line starts
std::vector<std::vector<trace_label>> labels;  // and the rules that made it

void keep(const std::vector<trace_label>& rules, uint64_t, uint64_t at) {
  starts.push_back(at);
  labels.push_back(rules);
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What `rules` replay to from the start symbol of `g`, or "(does not fit)".
std::string replayed(const grammar_table& g, const std::vector<trace_label>& rules) {
  std::string last = std::string(grammar_seed(g));
  bool fits = trace_replay(g, rules, [&last, &rules](const trace_rewrite& rewrite) {
    if (rewrite.index == rules.size() && rewrite.index > 0) last = trace_rewrite_text(rewrite);
  });
  return fits ? last : "(does not fit)";
}

// The grammar files of the cases and workloads that sentgen itself runs.
std::vector<std::filesystem::path> program_grammars() {
  std::vector<std::filesystem::path> found;
  for (const char* group : {SENTGEN_SOURCE_DIR "/tests/cases", SENTGEN_SOURCE_DIR "/bench/workloads"}) {
    for (const auto& entry : std::filesystem::directory_iterator(group)) {
      std::filesystem::path grammar = entry.path() / "grammar.txt";
      bool ours = !std::filesystem::exists(entry.path() / "program");
      if (ours && std::filesystem::is_regular_file(grammar)) found.push_back(grammar);
    }
  }
  return found;
}

TEST(SentencesTest, EveryPrintedSentenceIsDecidedAndItsDerivationReplays) {
  size_t decided = 0;
  for (const std::filesystem::path& path : program_grammars()) {
    std::string bytes = read_file(path);
    starts.clear();
    labels.clear();
    run_trace trace{};
    trace.on_sentence = keep;
    captured_run run = capture_run([&bytes, &trace] { return run_bytes_traced(bytes, trace); });
    if (run.status != 0) continue;
    grammar_table g;
    {
      output_capture quiet;
      ASSERT_EQ(parse_grammar(g, bytes), 0) << path;
    }
    // Each sentence at most once: the long outputs repeat their sentences.
    std::vector<std::string> seen;
    for (size_t n = 0; n < starts.size(); ++n) {
      size_t end = run.out.find('\n', starts[n]);
      std::string sentence = run.out.substr(starts[n], end - starts[n]);
      EXPECT_EQ(replayed(g, labels[n]), sentence) << path << " sentence " << n;
      if (sentence.size() > 4096 || std::find(seen.begin(), seen.end(), sentence) != seen.end()) continue;
      seen.push_back(sentence);
      std::vector<grammar_label> derivation;
      ASSERT_TRUE(decide_sentence(g, sentence, &derivation)) << path << " sentence " << n;
      EXPECT_EQ(replayed(g, derivation), sentence) << path << " sentence " << n;
      ++decided;
    }
  }
  EXPECT_GT(decided, size_t{300});
}

}  // namespace

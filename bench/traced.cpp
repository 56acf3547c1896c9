// SPDX-License-Identifier: MIT
// The program's run on grammar.txt, traced as the page traces it: each
// sentence's derivation handed over and dropped. For bench/traced, which
// compares its peak memory with the program's.
#include <cstdio>
#include <string>
#include <vector>

#include "output.h"
#include "run.h"

namespace {
size_t labels_seen = 0;  // so that the derivations cannot be optimized away
void take_sentence(const std::vector<trace_label>& labels, uint64_t, uint64_t) { labels_seen += labels.size(); }
}  // namespace

int main() {
  std::string bytes;
  if (std::FILE* in = std::fopen("grammar.txt", "rb")) {
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) bytes.append(block, n);
    std::fclose(in);
  }
  run_trace trace{};
  trace.on_sentence = take_sentence;
  int status = run_bytes_traced(bytes, trace);
  output_flush();
  return status != 0 || labels_seen == 0 ? status : 0;
}

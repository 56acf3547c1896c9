// SPDX-License-Identifier: MIT
// The decider on one string, for measuring it: reads a grammar file named
// on the command line and the string on standard input (all of it, a
// final newline dropped), and prints "yes" and the derivation's length in
// rules, or "no". With -n first, no derivation is rebuilt.
// Under valgrind --tool=callgrind --toggle-collect=decide_sentence* it
// counts the decision alone; bench/recognizer.cpp is its yardstick.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <sstream>
#include <fstream>
#include <string>
#include <vector>

#include "decide.h"
#include "grammar.h"
#include "loader.h"
#include "output.h"

int main(int argc, char** argv) {
  bool derive = !(argc > 1 && std::strcmp(argv[1], "-n") == 0);
  if (argc != (derive ? 2 : 3)) {
    std::fprintf(stderr, "usage: sentgen_bench_decide [-n] GRAMMAR_FILE < STRING\n");
    return 2;
  }
  std::ifstream file(argv[argc - 1], std::ios::binary);
  std::string grammar_text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  if (!text.empty() && text.back() == '\n') text.pop_back();
  static grammar_table table;
  if (parse_grammar(table, grammar_text) != 0) {
    output_flush();
    return 1;
  }
  std::vector<grammar_label> labels;
  try {
    // Called through a pointer that the optimizer cannot see through, so
    // that the decision stays a function of its own for callgrind's
    // --toggle-collect=decide_sentence.
    bool (*volatile decide)(const grammar_table&, std::string_view, std::vector<grammar_label>*) = decide_sentence;
    bool yes = decide(table, text, derive ? &labels : nullptr);
    std::printf(yes ? "yes %zu\n" : "no\n", labels.size());
  } catch (const std::bad_alloc&) {
    std::printf("out of memory\n");
    return 1;
  } catch (const std::length_error&) {
    std::printf("longer than DECIDE_MAX_LENGTH\n");
    return 1;
  }
  return 0;
}

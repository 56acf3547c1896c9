// SPDX-License-Identifier: MIT
// sentgen-cover: sentences of grammar.txt that together use every rule that
// a sentence can use, each as short as a sentence that uses its rule can
// be, with their derivations: test inputs that exercise every rule.
#include <string>

#include "companion.h"
#include "cover.h"
#include "output.h"

namespace {

const companion_program COVER_PROGRAM = {
    "sentgen-cover", "",
    "Loads grammar.txt from the current directory, as sentgen does, and prints\n"
    "sentences that together use every usable rule, one a line: the labels of\n"
    "its leftmost derivation (entry:slot, as sentgen's listing numbers the\n"
    "rules), a tab, the sentence. Every usable rule is used by some line in a\n"
    "sentence as short as any that uses it; shortest lines first.\n"
    "\n"
    "  --help     print this and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status: 0 when grammar.txt loads, 2 when it cannot be used.",
    0, 0, ""};

// "E:S E:S ...", the labels of a derivation.
std::string cover_labels_text(const std::vector<grammar_label>& labels) {
  std::string text;
  for (const grammar_label& label : labels) {
    if (!text.empty()) text += ' ';
    text += std::to_string(label.entry) + ":" + std::to_string(label.slot);
  }
  return text;
}

// Says on standard error which rules were left out, and why.
void cover_tell_left_out(const cover_result& result) {
  for (const cover_left_out& rule : result.too_long) {
    std::string label = std::to_string(rule.label.entry) + ":" + std::to_string(rule.label.slot);
    auto count = [](uint64_t n) { return n == UINT64_MAX ? std::string("more than 2^64") : std::to_string(n); };
    companion_say(COVER_PROGRAM, "rule " + label + " is used by no sentence shorter than " +
                                     count(rule.length) + " bytes derived in fewer than " +
                                     count(rule.steps) + " steps, past the limit of " +
                                     std::to_string(COVER_MAX_LENGTH) + " of each: left out");
  }
}

// The program's run, once the arguments are read.
int cover_run(const companion_command&) {
  static grammar_table grammar;
  if (companion_load(COVER_PROGRAM, grammar, "grammar.txt") != 0) return COMPANION_TROUBLE;
  cover_result result;
  cover_sentences(grammar, result);
  for (const cover_line& line : result.lines) {
    output_write(cover_labels_text(line.labels) + "\t");
    output_write(line.sentence);
    output_write("\n");
  }
  cover_tell_left_out(result);
  return COMPANION_SAME;
}

}  // namespace

int main(int argc, char** argv) { return companion_main(COVER_PROGRAM, argc, argv, cover_run); }

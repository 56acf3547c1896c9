// SPDX-License-Identifier: MIT
// sentgen-test: whether each line of a file is a sentence of grammar.txt,
// and by which derivation; decided, for every grammar, not searched for.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "companion.h"
#include "decide.h"
#include "output.h"

namespace {

constexpr char TEST_ABOUT[] =
    "Loads grammar.txt from the current directory, as sentgen does, then reads\n"
    "strings from FILE, or from standard input when FILE is absent or -, one a\n"
    "line (LF or CR LF ends a line; an empty line is the empty string), and\n"
    "prints for each: yes or no, a tab, the labels of a leftmost derivation\n"
    "(entry:slot, as sentgen's listing numbers the rules), a tab, the string.\n"
    "A string may be up to 1048576 bytes long.\n"
    "\n"
    "  --help     print this and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status: 0 when every string is a sentence, 1 when some is not,\n"
    "2 on trouble (a file that cannot be used, a string too long).";
constexpr char TOO_LONG_MESSAGE[] = ": string longer than 1048576 bytes";  // after FILE:LINE
static_assert(output_names_number(TEST_ABOUT, DECIDE_MAX_LENGTH));
static_assert(output_names_number(TOO_LONG_MESSAGE, DECIDE_MAX_LENGTH));

const companion_program TEST_PROGRAM = {"sentgen-test", "[FILE]", TEST_ABOUT, 0, 1, ""};

constexpr size_t TEST_READ_BLOCK = 1 << 16;  // bytes read from the strings' file at a time

// The strings being read: where from, and the line being gathered.
struct test_input {
  std::FILE* file;     // the open file
  std::string name;    // its name in messages
  std::string line;    // the bytes of the line read so far
  uint64_t number;     // that line's number, counted from 1
  bool any_no;         // some string was not a sentence
};

// "E:S E:S ...", the labels of a derivation.
void test_append_labels(const std::vector<grammar_label>& labels, std::string& out) {
  for (size_t k = 0; k < labels.size(); ++k) {
    if (k > 0) out += ' ';
    out += std::to_string(labels[k].entry);
    out += ':';
    out += std::to_string(labels[k].slot);
  }
}

// Decides `text` and prints its line of verdict; the chart is the one of
// every string, set back to the empty prefix after each.
void test_decide(decide_chart& chart, std::string_view text, test_input& input) {
  static std::vector<grammar_label> labels;  // kept: a derivation's room is reused
  static std::string verdict;
  decide_push_text(chart, text);
  bool yes = decide_accepts(chart) && decide_derivation(chart, labels);
  verdict.assign(yes ? "yes\t" : "no\t");
  if (yes) test_append_labels(labels, verdict);
  verdict += '\t';
  output_write(verdict);
  output_write(text);
  output_write("\n");
  input.any_no = input.any_no || !yes;
  decide_pop_to(chart, 0);
}

// Ends the line gathered at a newline: its CR, before the LF, is not the
// string's.
void test_end_line(decide_chart& chart, test_input& input) {
  std::string_view text = input.line;
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  test_decide(chart, text, input);
  input.line.clear();
  ++input.number;
}

// Reads and decides every line; returns the exit status.
int test_read(decide_chart& chart, test_input& input) {
  static char block[TEST_READ_BLOCK];
  for (;;) {
    size_t n = std::fread(block, 1, sizeof block, input.file);
    if (n == 0 && std::ferror(input.file)) {
      return companion_trouble(TEST_PROGRAM, input.name + ": " + std::strerror(errno));
    }
    if (n == 0) break;
    std::string_view bytes(block, n);
    while (!bytes.empty()) {
      size_t newline = bytes.find('\n');
      input.line.append(bytes.substr(0, newline));
      // One byte more than the longest string: its CR may still be its end.
      if (input.line.size() > DECIDE_MAX_LENGTH + 1 ||
          (input.line.size() == DECIDE_MAX_LENGTH + 1 && input.line.back() != '\r')) {
        return companion_trouble(TEST_PROGRAM, input.name + ":" + std::to_string(input.number) +
                                                   TOO_LONG_MESSAGE);
      }
      if (newline == std::string_view::npos) break;
      test_end_line(chart, input);
      bytes.remove_prefix(newline + 1);
    }
  }
  // A last line without its end; a CR at its end is its own.
  if (!input.line.empty()) {
    if (input.line.size() > DECIDE_MAX_LENGTH) {
      return companion_trouble(TEST_PROGRAM, input.name + ":" + std::to_string(input.number) +
                                                 TOO_LONG_MESSAGE);
    }
    test_decide(chart, input.line, input);
  }
  return input.any_no ? COMPANION_DIFFER : COMPANION_SAME;
}

// The program's run, once the arguments are read.
int test_run(const companion_command& command) {
  static grammar_table grammar;
  if (companion_load(TEST_PROGRAM, grammar, "grammar.txt") != 0) return COMPANION_TROUBLE;
  test_input input{stdin, "(standard input)", {}, 1, false};
  if (!command.operands.empty() && command.operands[0] != "-") {
    input.name = command.operands[0];
    errno = 0;
    input.file = std::fopen(input.name.c_str(), "rb");
    if (input.file == nullptr) {
      return companion_trouble(TEST_PROGRAM, input.name + ": " + std::strerror(errno));
    }
  }
  static decide_chart chart;
  decide_begin(chart, grammar);
  int status = test_read(chart, input);
  if (input.file != stdin) std::fclose(input.file);
  return status;
}

}  // namespace

int main(int argc, char** argv) { return companion_main(TEST_PROGRAM, argc, argv, test_run); }

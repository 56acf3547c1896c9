// SPDX-License-Identifier: MIT
// sentgen-diff: the shortest strings that one grammar derives and another
// does not, found by walking the strings of both in order of length.
#include <string>

#include "companion.h"
#include "compare.h"
#include "output.h"

namespace {

constexpr char DIFF_ABOUT[] =
    "Compares the strings that grammar.txt in the current directory (or FILE1)\n"
    "derives with those that the grammar file OTHER (or FILE2) derives, both\n"
    "loaded as sentgen loads grammar.txt. Prints '< w' for each string w that\n"
    "the first derives and the second does not, then '> w' for each the other\n"
    "way, shortest first and then in byte order, at most 10 of each; then\n"
    "'checked all strings up to length N': every string of N bytes or fewer\n"
    "was decided for both. The check goes on length by length until both\n"
    "kinds have 10 lines, its work (4194304 bytes tried) is spent, or length\n"
    "63 is checked.\n"
    "\n"
    "  --length N  check exactly the strings up to length N (at most 63),\n"
    "              whatever the work\n"
    "  --help      print this and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 when no difference was found, 1 when differences were\n"
    "listed, 2 on trouble (a file that cannot be used, a bad argument).";
static_assert(output_names_number(DIFF_ABOUT, COMPARE_MAX_LENGTH));
static_assert(output_names_number(DIFF_ABOUT, COMPARE_GROUP));
static_assert(output_names_number(DIFF_ABOUT, COMPARE_WORK));
constexpr char LENGTH_MESSAGE[] = "--length takes a number from 0 to 63";
static_assert(output_names_number(LENGTH_MESSAGE, COMPARE_MAX_LENGTH));

const companion_program DIFF_PROGRAM = {
    "sentgen-diff", "[--length N] OTHER\n   or: sentgen-diff [--length N] FILE1 FILE2", DIFF_ABOUT,
    1, 2, "--length,"};

// The length --length asks for, or SIZE_MAX when it is not given; false
// when its value is not a length that can be checked.
bool diff_length(const companion_command& command, size_t& length) {
  length = SIZE_MAX;
  for (const companion_option& option : command.options) {
    const std::string& value = option.value;
    if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    length = std::stoul(value);
    if (length > COMPARE_MAX_LENGTH) return false;
  }
  return true;
}

// Prints the differences, each group in its order, and the length checked.
void diff_print(const compare_result& result) {
  for (int which = 0; which < 2; ++which) {
    for (const std::string& text : result.only[which]) {
      output_write(which == 0 ? "< " : "> ");
      output_write(text);
      output_write("\n");
    }
  }
  output_write("checked all strings up to length " + std::to_string(result.checked) + "\n");
}

// The program's run, once the arguments are read.
int diff_run(const companion_command& command) {
  size_t length;
  if (!diff_length(command, length)) return companion_trouble(DIFF_PROGRAM, LENGTH_MESSAGE);
  bool two = command.operands.size() == 2;
  const char* first = two ? command.operands[0].c_str() : "grammar.txt";
  const char* second = command.operands.back().c_str();
  static grammar_table a, b;
  // Both files are loaded, and each says what is wrong with it, before
  // either is found wanting.
  int loaded_a = companion_load(DIFF_PROGRAM, a, first);
  int loaded_b = companion_load(DIFF_PROGRAM, b, second);
  if (loaded_a != 0 || loaded_b != 0) return COMPANION_TROUBLE;
  compare_result result;
  compare_grammars(a, b, result, length);
  diff_print(result);
  bool same = result.only[0].empty() && result.only[1].empty();
  return same ? COMPANION_SAME : COMPANION_DIFFER;
}

}  // namespace

int main(int argc, char** argv) { return companion_main(DIFF_PROGRAM, argc, argv, diff_run); }

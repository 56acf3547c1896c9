// SPDX-License-Identifier: MIT
// Companion module: what sentgen-test, sentgen-diff and sentgen-cover share,
// in the manner of diff: their options, --help and --version, grammar files
// loaded with the program's loader, limits and checks, every message on
// standard error, and the exit status 0, 1 or 2 (trouble).
#ifndef SENTGEN_COMPANION_H
#define SENTGEN_COMPANION_H

#include <string>
#include <string_view>
#include <vector>

#include "grammar.h"

constexpr int COMPANION_SAME = 0;     // nothing to report: every string a sentence, no difference
constexpr int COMPANION_DIFFER = 1;   // something to report: a string that is not, a difference
constexpr int COMPANION_TROUBLE = 2;  // a file could not be used, a bad argument, a write error

// One companion program: its name, its usage and what it takes.
struct companion_program {
  const char* name;     // as the messages name it: "sentgen-test"
  const char* usage;    // the usage line after the name: "[FILE]"
  const char* about;    // the rest of --help: what it does, its options and status
  int min_operands;     // operands it needs
  int max_operands;     // and takes at most
  const char* options;  // its options that take a value, each "--name," ("" for none)
};

// An option given with its value, as companion_arguments found it.
struct companion_option {
  std::string name;   // "--length"
  std::string value;  // what followed it, as "--length N" or "--length=N"
};

// What the command line asks for.
struct companion_command {
  std::vector<std::string> operands;     // the arguments that are not options, in order
  std::vector<companion_option> options;  // the options with values, in order
};

// Reads the arguments. --help and --version print on standard output and
// end the program with status 0; an unknown option, a missing value or a
// wrong number of operands is trouble, said on standard error with a
// pointer to --help. "--" ends the options and "-" alone is an operand.
// Returns -1 to go on with `command`, else the exit status to end with.
int companion_arguments(const companion_program& program, int argc, char** argv,
                        companion_command& command);

// Says `message` on standard error as "NAME: message".
void companion_say(const companion_program& program, std::string_view message);
// The same, and returns COMPANION_TROUBLE, to end the program with.
int companion_trouble(const companion_program& program, std::string_view message);

// Loads the grammar file `path` into `g` as the program loads grammar.txt:
// the same loader, limits and checks, its messages naming the file, and
// every one of them on standard error. Returns 0, or COMPANION_TROUBLE when
// the file cannot be used.
int companion_load(const companion_program& program, grammar_table& g, const char* path);

// Writes what is still buffered of standard output and returns `status`,
// or COMPANION_TROUBLE, said, when standard output could not be written.
int companion_finish(const companion_program& program, int status);

// A companion program's main: sets the process up as sentgen's is (a write
// past a file-size limit fails instead of killing it; standard input reads
// bytes as they are), reads the arguments, and calls `run` with them;
// running out of memory is trouble, said; then writes what is buffered.
// Returns the exit status.
int companion_main(const companion_program& program, int argc, char** argv,
                   int (*run)(const companion_command& command));

#endif

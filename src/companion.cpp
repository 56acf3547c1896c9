// SPDX-License-Identifier: MIT
// Companion module: the command line, loading and ending of the companion
// programs.
#include "companion.h"

#include <csignal>
#include <cstdio>
#include <new>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "checks.h"
#include "loader.h"
#include "output.h"
#include "run.h"

#ifndef SENTGEN_VERSION
#define SENTGEN_VERSION "unknown"  // the build names it, from the project's version
#endif

namespace {

// Prints --help: the usage, then what the program says of itself.
void companion_help(const companion_program& program) {
  std::string usage = std::string("usage: ") + program.name;
  if (*program.usage != '\0') usage += std::string(" ") + program.usage;
  output_write(usage + "\n\n" + program.about + "\n");
}

// Whether `arg` names an option of `program` that takes a value, as
// "--name" or "--name=VALUE"; `name` gets the option's name.
bool companion_takes_value(const companion_program& program, std::string_view arg,
                           std::string& name) {
  name = std::string(arg.substr(0, arg.find('=')));
  return std::string_view(program.options).find(name + ",") != std::string_view::npos;
}

// Reads one option at `argv[k]`, and its value, which may be the next
// argument: advances `k` past what it read. Returns -1, or the status.
int companion_option_at(const companion_program& program, int argc, char** argv, int& k,
                        companion_command& command) {
  std::string_view arg = argv[k];
  if (arg == "--help") {
    companion_help(program);
    return 0;
  }
  if (arg == "--version") {
    output_write(std::string(program.name) + " (sentgen) " + SENTGEN_VERSION + "\n");
    return 0;
  }
  std::string name;
  if (arg.substr(0, 2) != "--" || !companion_takes_value(program, arg, name)) {
    return companion_trouble(program, "unknown option '" + std::string(arg) + "'; see '" +
                                          program.name + " --help'");
  }
  size_t equals = arg.find('=');
  if (equals != std::string_view::npos) {
    command.options.push_back({name, std::string(arg.substr(equals + 1))});
  } else if (k + 1 < argc) {
    command.options.push_back({name, argv[++k]});
  } else {
    return companion_trouble(program, "option '" + name + "' needs a value; see '" +
                                          program.name + " --help'");
  }
  return -1;
}

}  // namespace

int companion_arguments(const companion_program& program, int argc, char** argv,
                        companion_command& command) {
  bool options = true;  // whether "-..." is still an option
  for (int k = 1; k < argc; ++k) {
    std::string_view arg = argv[k];
    if (options && arg == "--") {
      options = false;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      int status = companion_option_at(program, argc, argv, k, command);
      if (status >= 0) return status;
    } else {
      command.operands.emplace_back(arg);
    }
  }
  auto count = static_cast<int>(command.operands.size());
  if (count < program.min_operands || count > program.max_operands) {
    return companion_trouble(program, std::string(count < program.min_operands ? "missing" : "extra") +
                                          " operand; see '" + program.name + " --help'");
  }
  return -1;
}

void companion_say(const companion_program& program, std::string_view message) {
  output_error(std::string(program.name) + ": " + std::string(message) + "\n");
}

int companion_trouble(const companion_program& program, std::string_view message) {
  companion_say(program, message);
  return COMPANION_TROUBLE;
}

int companion_load(const companion_program& program, grammar_table& g, const char* path) {
  const loader_source source{path, path, program.name, output_error};
  check_report report;
  return run_load(g, source, {}, report) == 0 ? 0 : COMPANION_TROUBLE;
}

int companion_finish(const companion_program& program, int status) {
  if (output_flush() != 0) return companion_trouble(program, "error writing standard output");
  return status;
}

int companion_main(const companion_program& program, int argc, char** argv,
                   int (*run)(const companion_command& command)) {
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef _WIN32
  // Strings are bytes: a CR before LF is taken off the line here, not by
  // the C library, and a Ctrl-Z is a byte like any other. The standard
  // library has no way to say so of a stream already open.
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  companion_command command;
  int status = companion_arguments(program, argc, argv, command);
  if (status < 0) {
    try {
      status = run(command);
    } catch (const std::bad_alloc&) {
      status = companion_trouble(program, "out of memory");
    }
  }
  return companion_finish(program, status);
}

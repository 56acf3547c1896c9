// SPDX-License-Identifier: MIT
// Run module: load, list, search; the program's entry.
#include "run.h"

#include <csignal>
#include <cstdio>
#include <new>

#include "checks.h"
#include "derivation.h"
#include "output.h"

namespace {

// Loads with `load`, then lists and searches. Running out of memory
// anywhere ends the run with a message instead of a crash.
template <typename Loader>
int run_with(Loader load) {
  int status = 0;
  try {
    status = load(grammar);
    if (status == 0) check_table(grammar);
    check_end();  // the warnings come before what they are about
    if (status == 0) {
      print_rules(grammar);
      run_search(grammar);
    }
  } catch (const std::bad_alloc&) {
    output_write("Out of memory.\n");
    status = 1;
  }
  stack_clear();
  return status;
}

}  // namespace

void run_search(const grammar_table& g) {
  // The seed is the start symbol alone; a file without rules has the NUL
  // start symbol, which makes the empty form.
  std::string_view seed(g.lhs, g.lhs[0] != '\0' ? 1 : 0);
  stack_push(seed);
  int budget = SENTENCE_BUDGET;
  int idle_steps = 0;
  stack_form form;
  while (!stack_is_empty()) {
    stack_pop_shortest(form);
    int left = expand_leftmost(g, form, budget);
    idle_steps = left == budget ? idle_steps + 1 : 0;
    budget = left;
    if (budget == 0) break;
    // Some grammars grow forms forever without a sentence; stop those.
    static_assert(IDLE_STEP_LIMIT == 10000, "the message below names the limit");
    if (idle_steps >= IDLE_STEP_LIMIT && !stack_is_empty()) {
      output_write("No sentence in 10000 steps: search stopped.\n");
      break;
    }
  }
}

int run_file() { return run_with(load_grammar); }

int run_bytes(std::string_view bytes) {
  return run_with([bytes](grammar_table& g) { return parse_grammar(g, bytes); });
}

#ifndef SENTGEN_NO_MAIN
int main() {
#ifdef SIGXFSZ
  // Past a file-size limit a write then fails instead of killing the
  // program, so that the limit is reported as the write error it is.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  int status = run_file();
  // A full disk or a closed file must not pass for a good run.
  if (output_flush() != 0) {
    output_error("sentgen: error writing standard output\n");
    return 1;
  }
  return status;
}
#endif

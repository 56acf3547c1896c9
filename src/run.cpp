// SPDX-License-Identifier: MIT
// Run module: load, list, search, and the reset between runs.
#include "run.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "checks.h"
#include "derivation.h"
#include "output.h"

namespace {

constexpr char IDLE_MESSAGE[] = "No sentence in 10000 steps: search stopped.\n";
static_assert(output_names_number(IDLE_MESSAGE, IDLE_STEP_LIMIT));

// Loads with `load`, then lists and searches. Running out of memory
// anywhere ends the run with a message instead of a crash.
template <typename Loader>
int run_with(Loader load, run_trace* trace = nullptr) {
  int status = 0;
  try {
    check_reset();
    grammar_watch(check_line);  // the checks see each rule line as it is read
    status = load(grammar);
    grammar_watch(nullptr);
    if (status == 0) check_table(grammar);
    check_end(status == 0);  // the warnings come before what they are about
    if (status == 0) {
      print_rules(grammar);
      run_search(grammar, trace);
    } else if (trace != nullptr) {
      trace->end = RUN_REJECTED;
    }
  } catch (const std::bad_alloc&) {
    output_write("Out of memory.\n");
    status = 1;
    if (trace != nullptr) trace->end = RUN_OUT_OF_MEMORY;
  }
  run_reset();
  return status;
}

// What a traced step adds to the counts: the forms `form` made, into a
// stack that held `pending` forms before, and those a full stack refused.
void run_count_step(const grammar_table& g, const sentential_form& form, int pending,
                    run_trace& trace) {
  ++trace.steps;
  if (form_is_sentence(form)) return;
  int n = form_leftmost(form) - 'A';
  int made = stack_size() - pending;
  trace.forms_made += static_cast<uint64_t>(made);
  trace.forms_refused += static_cast<uint64_t>(g.choice_start[n + 1] - g.choice_start[n] - made);
  trace.most_pending = std::max(trace.most_pending, stack_size());
}

// The search; `traced` is a template argument so that the program's runs,
// which are never traced, pay nothing for it.
template <bool traced>
run_end run_search_loop(const grammar_table& g, run_trace* trace) {
  stack_push(grammar_seed(g));
  int budget = SENTENCE_BUDGET;
  int idle_steps = 0;
  sentential_form form;
  while (!stack_is_empty()) {
    int left = budget;  // what a dead end's step leaves: it makes nothing
    if (stack_pop_live(form)) {
      int pending = traced ? stack_size() : 0;
      left = expand_leftmost(g, form, budget);
      if (traced) {
        run_count_step(g, form, pending, *trace);
        if (left != budget && trace->on_sentence != nullptr) {
          trace->on_sentence(trace_labels(form.how), trace->steps);
        }
      }
    } else if (traced) {
      ++trace->steps;
    }
    idle_steps = left == budget ? idle_steps + 1 : 0;
    budget = left;
    if (budget == 0) return RUN_SENTENCES;
    // Some grammars grow forms forever without a sentence; stop those.
    if (idle_steps >= IDLE_STEP_LIMIT && !stack_is_empty()) {
      output_write(IDLE_MESSAGE);
      return RUN_IDLE;
    }
  }
  return RUN_STACK_EMPTY;
}

}  // namespace

void run_search(const grammar_table& g, run_trace* trace) {
  if (trace == nullptr) {
    run_search_loop<false>(g, nullptr);
    return;
  }
  trace->steps = trace->forms_refused = 0;
  trace->forms_made = 1;  // the seed
  trace->most_pending = 1;
  trace_enable(true);
  try {
    trace->end = run_search_loop<true>(g, trace);
  } catch (...) {
    trace_enable(false);
    throw;
  }
  trace_enable(false);
}

int run_file() { return run_with(load_grammar); }

int run_bytes(std::string_view bytes) {
  return run_with([bytes](grammar_table& g) { return parse_grammar(g, bytes); });
}

int run_bytes_traced(std::string_view bytes, run_trace& trace) {
  trace = run_trace{trace.on_sentence, 0, 0, 0, 0, RUN_REJECTED};
  return run_with([bytes](grammar_table& g) { return parse_grammar(g, bytes); }, &trace);
}

void run_reset() {
  stack_clear();
  form_free_blocks();  // no form is left to hold a piece
  trace_free_blocks();
  trace_enable(false);
  output_release();
  check_reset();
  grammar_watch(nullptr);
}

// SPDX-License-Identifier: MIT
// Run module: load, list, search, and the reset between runs.
#include "run.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "derivation.h"
#include "form_read.h"
#include "form_print.h"
#include "output.h"

namespace {

constexpr char IDLE_MESSAGE[] = "No sentence in 10000 steps: search stopped.\n";
static_assert(output_names_number(IDLE_MESSAGE, IDLE_STEP_LIMIT));

grammar_table run_table;  // the one rule table of the program's runs

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
// A traced search paused before a step goes on, not `fresh`, from where
// its trace says it was.
template <bool traced>
run_end run_search_loop(const grammar_table& g, run_trace* trace, bool fresh = true) {
  if (fresh) stack_push(grammar_seed(g));
  int budget = traced ? SENTENCE_BUDGET - trace->printed : SENTENCE_BUDGET;
  int idle_steps = traced ? trace->idle : 0;
  sentential_form form;
  while (!stack_is_empty()) {
    if (traced && trace->stop_before != 0 && trace->steps + 1 >= trace->stop_before) return RUN_PAUSED;
    int left = budget;  // what a dead end's step leaves: it makes nothing
    if (stack_pop_live(form)) {
      int pending = traced ? stack_size() : 0;
      uint64_t at = traced ? output_position() : 0;
      left = expand_leftmost(g, form, budget);
      if (traced) {
        run_count_step(g, form, pending, *trace);
        if (left != budget && trace->on_sentence != nullptr) {
          trace->on_sentence(trace_labels(form.how), trace->steps, at - trace->origin);
        }
      }
    } else if (traced) {
      ++trace->steps;
    }
    idle_steps = left == budget ? idle_steps + 1 : 0;
    budget = left;
    if (traced) {
      trace->printed = SENTENCE_BUDGET - budget;
      trace->idle = idle_steps;
    }
    if (budget == 0) return RUN_SENTENCES;
    // Some grammars grow forms forever without a sentence; stop those.
    if (idle_steps >= IDLE_STEP_LIMIT && !stack_is_empty()) {
      output_write(IDLE_MESSAGE);
      return RUN_IDLE;
    }
  }
  return RUN_STACK_EMPTY;
}

// What the report tells of a file that `status` says was loaded or not.
void run_fill_report(run_report& report, int status, const grammar_table& g,
                     const check_report& checks) {
  report.rules = 0;
  for (int i = 0; status == 0 && i < g.rule_count; ++i) report.rules += grammar_alternative_count(g, i);
  report.rejected_line = status == 0 ? 0 : checks.rejected_line;
  size_t printed = std::min(checks.warnings.size(), size_t{CHECK_WARNING_LIMIT});
  for (size_t k = 0; k < printed; ++k) report.warned.push_back(checks.warnings[k].line);
}

// run_session's body, a template so that the program's runs, whose use is
// known here, inline the whole search into one loop as if it were written
// out: a call through std::function in the middle of it costs every step.
template <typename Use>
int run_session_with(run_input input, Use use, run_report* report) {
  loader_source source = loader_program_source();
  if (!input.from_file) source.path = nullptr;
  int status = 0;
  bool out_of_memory = false;
  try {
    check_report checks;
    status = run_load(run_table, source, input.bytes, checks);
    if (report != nullptr) run_fill_report(*report, status, run_table, checks);
    if (status == 0) use(run_table);
  } catch (const std::bad_alloc&) {
    output_write("Out of memory.\n");
    status = 1;
    out_of_memory = true;
  }
  if (report != nullptr) report->out_of_memory = out_of_memory;
  run_reset();
  return status;
}

}  // namespace

int run_session(run_input input, const std::function<void(const grammar_table& g)>& use,
                run_report* report) {
  return run_session_with(input, use, report);
}

int run_load(grammar_table& g, const loader_source& source, std::string_view bytes,
             check_report& report) {
  loader_watcher watcher = check_watcher(report);
  int status = source.path != nullptr ? loader_load(g, source, watcher)
                                      : loader_parse(g, bytes, source, watcher);
  if (status == 0) check_table(report, g);
  check_end(report, source.name, status == 0);  // the warnings come before what they are about
  return status;
}

void run_search(const grammar_table& g) { run_search_loop<false>(g, nullptr); }

void run_search_traced(const grammar_table& g, run_trace& trace) {
  trace.steps = trace.forms_refused = 0;
  trace.forms_made = 1;  // the seed
  trace.most_pending = 1;
  trace_enable(true);
  try {
    trace.end = run_search_loop<true>(g, &trace);
  } catch (...) {
    trace_enable(false);
    throw;
  }
  trace_enable(false);
}

namespace {

// A whole run of `input`: the listing, then the search, untraced: the
// program's runs, which must pay nothing for the page's tracing.
int run_listed(run_input input) {
  return run_session_with(input, [](const grammar_table& g) {
    print_rules(g);
    run_search(g);
  }, nullptr);
}

}  // namespace

int run_file() { return run_listed({true, {}}); }

int run_bytes(std::string_view bytes) { return run_listed({false, bytes}); }

int run_bytes_traced(std::string_view bytes, run_trace& trace, run_report* report) {
  trace = run_trace{trace.on_sentence, 0, 0, 0, 0, RUN_REJECTED, output_position(), 0, 0, 0};
  run_report own;
  run_report& told = report != nullptr ? *report : own;
  int status = run_session_with(run_input{false, bytes}, [&trace](const grammar_table& g) {
    print_rules(g);
    run_search_traced(g, trace);
  }, &told);
  if (told.out_of_memory) trace.end = RUN_OUT_OF_MEMORY;
  return status;
}

run_form_view run_view_form(const sentential_form& form, size_t whole, size_t context) {
  run_form_view view{form_length(form), form_length(form), form_leftmost(form), form.fate, {}, 0};
  if (form_is_dead_end(form)) return view;
  if (!form_is_sentence(form)) view.leftmost_at = form_length(form) - form_tail_length(form);
  // A short form whole (a doomed one from its leftmost nonterminal on);
  // a long one around its leftmost nonterminal, walked to no further.
  bool short_form = view.length <= whole;
  form_window_text window = form_window(form, short_form ? view.length : context,
                                        short_form ? view.length : context + 1);
  view.text = std::move(window.text);
  view.text_start = window.start;
  return view;
}

namespace {

// The slot that the next removal takes, by the plain rule: the shortest
// form, the lowest slot among equals.
int run_shortest_slot() {
  int best = 0;
  for (int slot = 1; slot < stack_size(); ++slot) {
    if (form_length(stack_form_at(slot)) < form_length(stack_form_at(best))) best = slot;
  }
  return best;
}

// What the step that took the form in `taken` did, told from the stack
// and the trace before it (`pending` forms, `printed` sentences) and after.
void run_tell_step(const grammar_table& g, const run_trace& trace, int pending, int printed,
                   char leftmost, int fate, run_step& told) {
  told.dead_end = fate == FORM_DEAD_END;
  told.sentence = trace.printed > printed ? trace.printed : 0;
  told.children.clear();
  if (told.dead_end || leftmost == '\0') return;
  int n = leftmost - 'A';
  int made = stack_size() - (pending - 1);
  for (int k = g.choice_start[n]; k < g.choice_start[n + 1]; ++k) {
    const grammar_choice& c = g.choices[k];
    told.children.push_back({{c.entry, c.slot}, k - g.choice_start[n] >= made});
  }
}

}  // namespace

bool run_replay_steps(const grammar_table& g, uint64_t first, uint64_t last,
                      const std::function<void(uint64_t step, int slot, const sentential_form& form)>& on_pending,
                      const std::function<void(uint64_t step, const run_step& told)>& on_step) {
  run_trace trace{nullptr, 0, 1, 0, 1, RUN_REJECTED, 0, std::max<uint64_t>(first, 1), 0, 0};
  stack_clear();
  trace_enable(true);
  bool reached = false;
  try {
    run_end end = run_search_loop<true>(g, &trace);
    for (uint64_t step = trace.stop_before; end == RUN_PAUSED && step <= last; ++step) {
      reached = true;
      int pending = stack_size(), printed = trace.printed;
      run_step told{run_shortest_slot(), false, 0, {}};
      const sentential_form& taken = stack_form_at(told.taken);
      char leftmost = form_leftmost(taken);
      int fate = taken.fate;
      for (int slot = 0; slot < pending; ++slot) on_pending(step, slot, stack_form_at(slot));
      trace.stop_before = step + 1;
      end = run_search_loop<true>(g, &trace, false);  // the step, and a pause before the next
      run_tell_step(g, trace, pending, printed, leftmost, fate, told);
      on_step(step, told);
    }
  } catch (...) {
    run_reset();
    throw;
  }
  run_reset();
  return reached;
}

void run_reset() {
  stack_clear();
  form_print_forget();
  form_free_blocks();  // no form is left to hold a piece
  trace_free_blocks();
  trace_enable(false);
  output_release();
}

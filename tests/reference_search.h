// SPDX-License-Identifier: MIT
// A plain model of the search, for the tests and the fuzz target to hold the
// program to: every form a string of its own, the shortest found by a scan
// of every slot, every new form built in full. It follows the documented
// rules of a run, not the program's code, and is slow on long forms.
#ifndef SENTGEN_REFERENCE_SEARCH_H
#define SENTGEN_REFERENCE_SEARCH_H

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "derivation.h"
#include "grammar.h"
#include "run.h"
#include "trace.h"

// One search step as the model takes it: the forms pending before it, in
// slot order, the slot it takes, and what it does with the form.
struct reference_step {
  std::vector<std::string> pending;                    // the forms, before the step
  size_t taken;                                        // the slot taken
  bool sentence;                                       // the form taken was printed
  std::vector<std::pair<trace_label, bool>> children;  // else each alternative's form, and
                                                       // whether a full stack refused it
};

// What a traced run tells, as the model finds it: each sentence's rules
// and the step that took it out, and the counts of the search.
struct reference_trace {
  std::vector<std::vector<trace_label>> derivations;  // each sentence's rules, in order
  std::vector<uint64_t> sentence_steps;               // the step that took each out
  uint64_t steps = 0;                                 // forms taken off the stack
  uint64_t forms_made = 1;                            // forms kept, the seed included
  uint64_t forms_refused = 0;                         // forms a full stack refused
  int most_pending = 1;                               // most forms pending at once
  run_end end = RUN_STACK_EMPTY;                      // why the search ended
  std::function<void(const reference_step& step)> on_step;  // told of every step, when set
};

// The stack of pending forms as the search's rules state it: push to the
// end; take out the shortest, the lowest slot among equals, found by a
// scan of every slot, exchanged with the last slot first. Each form keeps
// a value of type `Tag` beside it.
template <typename Tag>
struct reference_stack {
  std::vector<std::pair<std::string, Tag>> slots;  // the pending forms, in slot order

  void push(std::string form, Tag tag) { slots.emplace_back(std::move(form), std::move(tag)); }
  // The slot pop_shortest takes.
  size_t shortest() const {
    size_t best = 0;
    for (size_t i = 1; i < slots.size(); ++i) {
      if (slots[i].first.size() < slots[best].first.size()) best = i;
    }
    return best;
  }
  std::pair<std::string, Tag> pop_shortest() {
    std::swap(slots[shortest()], slots.back());
    std::pair<std::string, Tag> taken = std::move(slots.back());
    slots.pop_back();
    return taken;
  }
};

// A small random grammar file: up to 8 rule lines for S, A and B, with
// right-hand sides of up to 9 symbols among them, a, b and @; long forms,
// full stacks and rejected lines come up among them.
inline std::string reference_random_grammar(std::mt19937& random) {
  const std::string symbols = "SSSAABBab@";
  std::string text;
  for (int line = 0, lines = 1 + static_cast<int>(random() % 8); line < lines; ++line) {
    text += "SAB"[random() % 3];
    text += " -> ";
    for (int c = 0, size = static_cast<int>(random() % 10); c < size; ++c) {
      text += symbols[random() % symbols.size()];
    }
    text += '\n';
  }
  return text;
}

// Appends to `out` what a run on `g` prints after the listing; with
// `trace`, keeps each form's rules too and reports into it. Gives up once
// its work (forms scanned plus bytes of forms built) passes `max_work`, and
// returns false; `out` then holds a prefix of what the run prints.
inline bool reference_search(const grammar_table& g, size_t max_work, std::string& out,
                             reference_trace* trace = nullptr) {
  reference_trace ignored;
  reference_trace& t = trace != nullptr ? *trace : ignored;
  reference_stack<std::vector<trace_label>> stack;  // each pending form with its rules
  stack.push(std::string(grammar_seed(g)), {});
  int budget = SENTENCE_BUDGET;
  int idle_steps = 0;
  size_t work = 0;
  while (!stack.slots.empty()) {
    work += stack.slots.size();
    reference_step step;
    if (t.on_step) {
      for (const auto& slot : stack.slots) step.pending.push_back(slot.first);
      step.taken = stack.shortest();
    }
    auto [form, made_by] = stack.pop_shortest();
    ++t.steps;
    size_t k = form.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    step.sentence = k == std::string::npos;
    if (k == std::string::npos) {
      if (t.on_step) t.on_step(step);
      out += form + '\n';
      t.derivations.push_back(made_by);
      t.sentence_steps.push_back(t.steps);
      idle_steps = 0;
      if (--budget == 0) {
        t.end = RUN_SENTENCES;
        return true;
      }
      continue;
    }
    for (int i = 0; i < g.rule_count; ++i) {
      for (int j = 0; g.lhs[i] == form[k] && j < MAX_ALTERNATIVES && g.rhs[i][j][0] != '\0'; ++j) {
        bool refused = stack.slots.size() >= static_cast<size_t>(STACK_LIMIT);
        step.children.push_back({{static_cast<uint8_t>(i), static_cast<uint8_t>(j)}, refused});
        if (refused) {
          out += "STACK OVERFLOW!\n";
          ++t.forms_refused;
          continue;
        }
        std::string alternative = g.rhs[i][j][0] == '@' ? "" : g.rhs[i][j];
        std::vector<trace_label> rules = made_by;
        if (trace != nullptr) rules.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(j)});
        work += form.size() - 1 + alternative.size() + rules.size();  // the new form, its rules
        stack.push(form.substr(0, k) + alternative + form.substr(k + 1), std::move(rules));
        ++t.forms_made;
        if (work > max_work) return false;
      }
    }
    t.most_pending = std::max(t.most_pending, static_cast<int>(stack.slots.size()));
    if (t.on_step) t.on_step(step);
    if (++idle_steps >= IDLE_STEP_LIMIT && !stack.slots.empty()) {
      out += "No sentence in 10000 steps: search stopped.\n";
      t.end = RUN_IDLE;
      return true;
    }
  }
  return true;
}

#endif

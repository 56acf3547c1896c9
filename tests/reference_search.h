// SPDX-License-Identifier: MIT
// A plain model of the search, for the tests and the fuzz target to hold the
// program to: every form a string of its own, the shortest found by a scan
// of every slot, every new form built in full. It follows the documented
// rules of a run, not the program's code, and is slow on long forms.
#ifndef SENTGEN_REFERENCE_SEARCH_H
#define SENTGEN_REFERENCE_SEARCH_H

#include <string>
#include <utility>
#include <vector>

#include "derivation.h"
#include "grammar.h"
#include "run.h"

// Appends to `out` what a run on `g` prints after the listing. Gives up once
// its work (forms scanned plus bytes of forms built) passes `max_work`, and
// returns false; `out` then holds a prefix of what the run prints.
inline bool reference_search(const grammar_table& g, size_t max_work, std::string& out) {
  std::vector<std::string> stack{std::string(grammar_seed(g))};
  int budget = SENTENCE_BUDGET;
  int idle_steps = 0;
  size_t work = 0;
  while (!stack.empty()) {
    size_t best = 0;
    work += stack.size();
    for (size_t i = 1; i < stack.size(); ++i) {
      if (stack[i].size() < stack[best].size()) best = i;
    }
    std::swap(stack[best], stack.back());
    std::string form = std::move(stack.back());
    stack.pop_back();
    size_t k = form.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    if (k == std::string::npos) {
      out += form + '\n';
      idle_steps = 0;
      if (--budget == 0) return true;
      continue;
    }
    for (int i = 0; i < g.rule_count; ++i) {
      for (int j = 0; g.lhs[i] == form[k] && j < MAX_ALTERNATIVES && g.rhs[i][j][0] != '\0'; ++j) {
        if (stack.size() >= static_cast<size_t>(STACK_LIMIT)) {
          out += "STACK OVERFLOW!\n";
          continue;
        }
        std::string alternative = g.rhs[i][j][0] == '@' ? "" : g.rhs[i][j];
        stack.push_back(form.substr(0, k) + alternative + form.substr(k + 1));
        work += stack.back().size();
        if (work > max_work) return false;
      }
    }
    if (++idle_steps >= IDLE_STEP_LIMIT && !stack.empty()) {
      out += "No sentence in 10000 steps: search stopped.\n";
      return true;
    }
  }
  return true;
}

#endif

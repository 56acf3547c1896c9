// SPDX-License-Identifier: MIT
// Derivation module: which form the search takes next (the stack of
// pending forms) and the expansion step; it uses forms through form.h only.
#ifndef SENTGEN_DERIVATION_H
#define SENTGEN_DERIVATION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "form.h"
#include "grammar.h"

constexpr int STACK_SLOTS = 1000;  // slots in the form stack
constexpr int STACK_LIMIT = 998;   // a push is refused at this many forms

// The pending forms. Removal always takes the shortest form, the lowest slot
// among equals, and moves the last slot's form into the freed slot.
struct form_stack_state {
  // stack_items[0 .. stack_count-1] are the pending forms; slots above are
  // empty. Slots are made on first use, up to STACK_SLOTS.
  std::vector<sentential_form> stack_items;
  int32_t stack_count;  // forms held
};

extern form_stack_state form_stack;  // the one stack of the run

// Empties the stack, releasing every form.
void stack_clear();
// Stores a copy of `form`, or prints "STACK OVERFLOW!" when the stack is full.
void stack_push(std::string_view form);
// Removes the shortest form into `out`, releasing what `out` held; only
// called on a non-empty stack.
void stack_pop_shortest(sentential_form& out);
// The same, but a form whose leftmost nonterminal has no rule is dropped
// instead, as a step on it would drop it, leaving `out` as it was: returns
// whether `out` holds the form taken out.
bool stack_pop_live(sentential_form& out);
bool stack_is_empty();
// Forms held now, and the form in `slot`, from 0 to stack_size() - 1.
int stack_size();
const sentential_form& stack_form_at(int slot);

// Prints `form` when it is a sentence and returns budget - 1; otherwise
// pushes every replacement of its leftmost nonterminal and returns budget.
int expand_leftmost(const grammar_table& g, const sentential_form& form, int budget);

#endif

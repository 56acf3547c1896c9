// SPDX-License-Identifier: MIT
// Derivation module: which form the search takes next (the stack of
// pending forms, one for the run, private to this module) and the
// expansion step; it uses forms through form.h only.
#ifndef SENTGEN_DERIVATION_H
#define SENTGEN_DERIVATION_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "form.h"
#include "grammar.h"

constexpr int STACK_SLOTS = 1000;  // slots in the form stack
constexpr int STACK_LIMIT = 998;   // a push is refused at this many forms

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

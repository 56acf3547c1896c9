// Derivation module: the stack of pending sentential forms and the
// leftmost expansion step of the search.
#ifndef SENTGEN_DERIVATION_H
#define SENTGEN_DERIVATION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "grammar.h"

constexpr int STACK_SLOTS = 1000;  // slots in the form stack
constexpr int STACK_LIMIT = 998;   // a push is refused at this many forms

// A sentential form: bytes A to Z are nonterminals, all others terminals.
struct stack_form {
  std::string text;  // the form's bytes
  size_t leftmost;   // index of its leftmost nonterminal; text.size() if none
};

// The pending forms. Removal always takes the shortest form, the lowest slot
// among equals, and moves the last slot's form into the freed slot.
struct form_stack_state {
  // stack_items[0 .. stack_count-1] are the pending forms; the slots above
  // keep the buffers of removed forms so that pushes can reuse them. Slots
  // are made on first use, up to STACK_SLOTS, so a short run makes few.
  std::vector<stack_form> stack_items;
  int32_t stack_count;  // forms held
  size_t length[STACK_SLOTS];  // length of the form in each slot in use
};

extern form_stack_state form_stack;  // the one stack of the run

// Empties the stack, releasing every form.
void stack_clear();
// Stores a copy of `form`, or prints "STACK OVERFLOW!" when the stack is full.
void stack_push(std::string_view form);
// Removes the shortest form into `out`; only called on a non-empty stack.
void stack_pop_shortest(stack_form& out);
bool stack_is_empty();

// Prints `form` when it is a sentence and returns budget - 1; otherwise
// pushes every replacement of its leftmost nonterminal and returns budget.
int expand_leftmost(const grammar_table& g, const stack_form& form, int budget);

#endif

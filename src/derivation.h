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
// It is kept in two parts so that a step edits only their ends: `head`, the
// terminals before the leftmost nonterminal, and `tail`, the rest reversed,
// whose last byte is the leftmost nonterminal. A sentence has an empty tail.
// Plain byte vectors, without a small-buffer optimisation, so that forms
// change slots by swapping pointers.
struct stack_form {
  std::vector<char> head;  // terminals before the leftmost nonterminal
  std::vector<char> tail;  // the rest of the form, last byte first
};

// Exchanges two forms' buffers, three pointers each.
inline void swap(stack_form& a, stack_form& b) noexcept {
  a.head.swap(b.head);
  a.tail.swap(b.tail);
}

// The pending forms. Removal always takes the shortest form, the lowest slot
// among equals, and moves the last slot's form into the freed slot.
struct form_stack_state {
  // stack_items[0 .. stack_count-1] are the pending forms; the slots above
  // keep the buffers of removed forms so that pushes can reuse them. Slots
  // are made on first use, up to STACK_SLOTS, so a short run makes few.
  std::vector<stack_form> stack_items;
  int32_t stack_count;  // forms held
};

extern form_stack_state form_stack;  // the one stack of the run

// Splits a form's text into its two parts, and joins them back.
stack_form form_from_text(std::string_view text);
std::string form_text(const stack_form& form);
size_t form_length(const stack_form& form);

// Empties the stack, releasing every form.
void stack_clear();
// Stores a copy of `form`, or prints "STACK OVERFLOW!" when the stack is full.
void stack_push(std::string_view form);
// Removes the shortest form into `out`; only called on a non-empty stack.
// The buffers `out` held are kept for later pushes.
void stack_pop_shortest(stack_form& out);
bool stack_is_empty();

// Prints `form` when it is a sentence and returns budget - 1; otherwise
// pushes every replacement of its leftmost nonterminal and returns budget.
// The form's buffers may be reused for a new form: the caller only
// releases `form` afterwards.
int expand_leftmost(const grammar_table& g, stack_form& form, int budget);

#endif

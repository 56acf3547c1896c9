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

struct form_node;  // a piece of form text, shared by the forms that hold it

// A sentential form: bytes A to Z are nonterminals, all others terminals.
// Its text lives in pieces that never change and are shared with the forms
// it was made from and the forms made from it, so that making a form costs
// the same however long it is. `head` holds the terminals before the
// leftmost nonterminal, last piece first, since a step only adds to its
// end; `tail` holds the rest, first piece first, since a step only replaces
// its first byte. A sentence has no tail. A form holds one reference to each
// chain and drops them when it is destroyed or overwritten.
struct stack_form {
  form_node* head = nullptr;  // terminals before the leftmost nonterminal
  form_node* tail = nullptr;  // the leftmost nonterminal and all after it
  size_t length = 0;          // bytes in the whole form

  stack_form() = default;
  stack_form(stack_form&& other) noexcept;
  stack_form& operator=(stack_form&& other) noexcept;
  stack_form(const stack_form&) = delete;
  stack_form& operator=(const stack_form&) = delete;
  ~stack_form();
};

// The pending forms. Removal always takes the shortest form, the lowest slot
// among equals, and moves the last slot's form into the freed slot.
struct form_stack_state {
  // stack_items[0 .. stack_count-1] are the pending forms; slots above are
  // empty. Slots are made on first use, up to STACK_SLOTS.
  std::vector<stack_form> stack_items;
  int32_t stack_count;  // forms held
};

extern form_stack_state form_stack;  // the one stack of the run

// Makes a form from its text, and gives a form's text back.
stack_form form_from_text(std::string_view text);
std::string form_text(const stack_form& form);
size_t form_length(const stack_form& form);
// Whether every piece of `form` is as the module builds them: its recorded
// length and piece sizes match its text, the head holds only terminals, the
// tail starts with a nonterminal. For tests: it walks the whole form.
bool form_is_sound(const stack_form& form);
// Pieces held by forms now; spare pieces kept for reuse do not count.
size_t form_pieces_in_use();

// Empties the stack, releasing every form, and returns the pieces to the
// heap when no form is left.
void stack_clear();
// Stores a copy of `form`, or prints "STACK OVERFLOW!" when the stack is full.
void stack_push(std::string_view form);
// Removes the shortest form into `out`, releasing what `out` held; only
// called on a non-empty stack.
void stack_pop_shortest(stack_form& out);
bool stack_is_empty();

// Prints `form` when it is a sentence and returns budget - 1; otherwise
// pushes every replacement of its leftmost nonterminal and returns budget.
int expand_leftmost(const grammar_table& g, const stack_form& form, int budget);

#endif

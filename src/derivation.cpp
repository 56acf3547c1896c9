// SPDX-License-Identifier: MIT
// Derivation module: shortest-first stack of forms and the expansion step.
#include "derivation.h"

#include <algorithm>
#include <array>
#include <utility>

#include "output.h"
#include "trace.h"

form_stack_state form_stack;

namespace {

// Min-tree over the slots, so that finding the next form out costs one walk
// up the tree per changed slot instead of a scan of every form. Node k has
// children 2k and 2k + 1; nodes TREE_LEAVES and up are the slots' leaves.
// A leaf holds ~(length << SLOT_BITS | slot) for a slot in use and 0 for one
// that is not, so the largest value names the shortest form, the lowest slot
// among equals, and the zero-filled start is an empty stack.
// Slots in use are always 0 to stack_count - 1, so only the subtree over the
// first stack_tree_width slots matters; its top, stack_tree_root, is the
// winner, and a small stack keeps its walks short.
constexpr int SLOT_BITS = 10;
constexpr int TREE_LEAVES = 1 << SLOT_BITS;
static_assert(TREE_LEAVES >= STACK_SLOTS, "every slot needs a leaf");

std::array<uint64_t, 2 * TREE_LEAVES> stack_tree;
unsigned stack_tree_width = 1;            // slots under stack_tree_root
unsigned stack_tree_root = TREE_LEAVES;  // node over slots 0 to width - 1
// A slot that a removal empties keeps its leaf, the form it had, until a
// new form takes it, which mostly comes soon; a removal clears one only
// when it comes out on top. One walk up the tree saved in most steps.

// Sets the leaf of `slot` and recomputes the nodes above it, up to the
// root or to the first node that keeps its value.
void stack_tree_set(int slot, uint64_t leaf) {
  unsigned k = static_cast<unsigned>(slot) + TREE_LEAVES;
  stack_tree[k] = leaf;
  for (; k / 2 >= stack_tree_root; k /= 2) {
    uint64_t up = std::max(stack_tree[k], stack_tree[k ^ 1]);
    if (stack_tree[k / 2] == up) break;
    stack_tree[k / 2] = up;
  }
}

// Prints the overflow line `count` times; the output joins the lines of
// many steps into a few large writes.
void stack_overflow(int count) {
  static constexpr char OVERFLOW_LINE[] = "STACK OVERFLOW!\n";
  output_repeat({OVERFLOW_LINE, sizeof OVERFLOW_LINE - 1}, static_cast<size_t>(count));
}

// The next free slot, empty, for a new form; the caller fills it and then
// calls stack_commit. The stack must not be full.
// Makes one more slot; apart from stack_next_slot, so that its common case
// stays small enough to inline.
void stack_add_slot() {
  form_stack.stack_items.reserve(STACK_SLOTS);
  form_stack.stack_items.emplace_back();
}

inline sentential_form& stack_next_slot() {
  size_t slot = static_cast<size_t>(form_stack.stack_count);
  if (form_stack.stack_items.size() <= slot) stack_add_slot();
  return form_stack.stack_items[slot];
}

// Puts the form now in `slot`, which is in use, into the tree.
void stack_tree_place(int slot) {
  uint64_t length = form_length(form_stack.stack_items[static_cast<size_t>(slot)]);
  stack_tree_set(slot, ~(length << SLOT_BITS | static_cast<uint64_t>(slot)));
}

void stack_commit() {
  // Only a new form can take the stack past the tree's width.
  while (stack_tree_width <= static_cast<unsigned>(form_stack.stack_count)) {
    stack_tree_width *= 2;
    stack_tree_root /= 2;
  }
  stack_tree_place(form_stack.stack_count++);
}

}  // namespace

void stack_clear() {
  // Zeroing the leaves of every slot made zeroes every node a walk has written.
  for (size_t slot = 0; slot < form_stack.stack_items.size(); ++slot) {
    stack_tree_set(static_cast<int>(slot), 0);
  }
  std::vector<sentential_form>().swap(form_stack.stack_items);
  form_stack.stack_count = 0;
  stack_tree_width = 1;
  stack_tree_root = TREE_LEAVES;
}

void stack_push(std::string_view form) {
  if (form_stack.stack_count >= STACK_LIMIT) {
    stack_overflow(1);
    return;
  }
  sentential_form made = form_from_text(form);
  stack_next_slot() = std::move(made);
  stack_commit();
}

// The slot whose leaf is on top of the tree.
int stack_tree_top() { return static_cast<int>(~stack_tree[stack_tree_root] & (TREE_LEAVES - 1)); }

void stack_pop_shortest(sentential_form& out) {
  int last = form_stack.stack_count - 1;
  int best = stack_tree_top();
  while (best > last) {  // an emptied slot's leaf, cleared now
    stack_tree_set(best, 0);
    best = stack_tree_top();
  }
  std::vector<sentential_form>& items = form_stack.stack_items;
  out = std::move(items[static_cast<size_t>(best)]);
  form_stack.stack_count = last;
  if (best != last) {
    items[static_cast<size_t>(best)] = std::move(items[static_cast<size_t>(last)]);
    stack_tree_place(best);
  }
}

bool stack_is_empty() { return form_stack.stack_count <= 0; }

int stack_size() { return form_stack.stack_count; }

const sentential_form& stack_form_at(int slot) {
  return form_stack.stack_items[static_cast<size_t>(slot)];
}

int expand_leftmost(const grammar_table& g, const sentential_form& form, int budget) {
  if (form_is_sentence(form)) {
    form_print(form);
    return budget - 1;
  }
  // The leftmost nonterminal picks its alternatives from the table's index.
  int n = form_leftmost(form) - 'A';
  int first = g.choice_start[n];
  int alternatives = g.choice_start[n + 1] - first;
  // A full stack refuses the rest, so those are never built.
  int kept = std::min(alternatives, STACK_LIMIT - form_stack.stack_count);
  bool traced = trace_enabled();  // read once: the loop's stores could change it
  form_step step(form, kept > 1);  // what the children share, found once
  for (int k = first; k < first + kept; ++k) {
    sentential_form& child = stack_next_slot();
    form_derive(step, grammar_choice_text(g, g.choices[k]), g.choices[k].lead, child);
    if (traced) child.how = trace_make(form.how, {g.choices[k].entry, g.choices[k].slot});
    stack_commit();
  }
  if (kept < alternatives) stack_overflow(alternatives - kept);
  return budget;
}

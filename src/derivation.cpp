// SPDX-License-Identifier: MIT
// Derivation module: shortest-first stack of forms and the expansion step.
#include "derivation.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "form_read.h"
#include "form_print.h"
#include "output.h"
#include "trace.h"

namespace {

// The pending forms. Removal always takes the shortest form, the lowest slot
// among equals, and moves the last slot's form into the freed slot.
struct form_stack_state {
  // stack_items[0 .. stack_count-1] are the pending forms; slots above are
  // empty. Slots are made on first use, up to STACK_SLOTS.
  std::vector<sentential_form> stack_items;
  int32_t stack_count;  // forms held
};

form_stack_state form_stack;  // the one stack of the run

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

// Makes the slots up to `count`; apart from stack_slots, so that its
// common case stays small enough to inline.
void stack_add_slots(size_t count) {
  form_stack.stack_items.reserve(STACK_SLOTS);
  form_stack.stack_items.resize(count);
}

// The next `count` free slots, empty, for new forms: the caller fills each
// and then calls stack_commit. They must fit in the stack.
inline sentential_form* stack_slots(int count) {
  size_t slot = static_cast<size_t>(form_stack.stack_count);
  size_t needed = slot + static_cast<size_t>(count);
  if (form_stack.stack_items.size() < needed) stack_add_slots(needed);
  return &form_stack.stack_items[slot];
}

// Puts the form of `length` bytes now in `slot`, which is in use, into the tree.
void stack_tree_place(int slot, uint64_t length) {
  stack_tree_set(slot, ~(length << SLOT_BITS | static_cast<uint64_t>(slot)));
}

// Adds the form of `length` bytes in the next free slot to the stack.
void stack_commit(uint64_t length) {
  // Only a new form can take the stack past the tree's width.
  while (stack_tree_width <= static_cast<unsigned>(form_stack.stack_count)) {
    stack_tree_width *= 2;
    stack_tree_root /= 2;
  }
  stack_tree_place(form_stack.stack_count++, length);
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
  uint64_t length = form_length(made);
  *stack_slots(1) = std::move(made);
  stack_commit(length);
}

namespace {

// The slot whose leaf is on top of the tree.
int stack_tree_top() { return static_cast<int>(~stack_tree[stack_tree_root] & (TREE_LEAVES - 1)); }

// Takes the shortest form, the lowest slot among equals, out of the stack
// into `out`, releasing what `out` held; the last form moves to the freed
// slot, and only the last slot is left empty. When `live`, a form whose
// leftmost nonterminal has no rule is dropped instead, as a step on it
// would drop it, `out` is left as it was, and the result is false.
template <bool live>
inline bool stack_take_shortest(sentential_form& out) {
  int best = stack_tree_top();
  while (best >= form_stack.stack_count) {  // an emptied slot's leaf, cleared now
    stack_tree_set(best, 0);
    best = stack_tree_top();
  }
  int last = --form_stack.stack_count;
  form_fields& taken = form_stack.stack_items[static_cast<size_t>(best)];
  form_fields& moved = form_stack.stack_items[static_cast<size_t>(last)];
  bool kept = !live || !form_is_dead_end(taken);  // a dead end holds no pieces
  if (kept) {
    if (out.head != nullptr || out.tail != nullptr) form_release(out);
    static_cast<form_fields&>(out) = taken;
  }
  if (best != last) {
    taken = moved;
    stack_tree_place(best, taken.length);
  }
  moved = form_fields();
  return kept;
}

}  // namespace

void stack_pop_shortest(sentential_form& out) { stack_take_shortest<false>(out); }

bool stack_pop_live(sentential_form& out) { return stack_take_shortest<true>(out); }

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
  if (alternatives == 0) return budget;  // a dead end pushed as text, not made as one
  // A full stack refuses the rest, so those are never built.
  int kept = std::min(alternatives, STACK_LIMIT - form_stack.stack_count);
  bool traced = trace_enabled();  // read once: the loop's stores could change it
  form_family family(form, kept > 1);  // what the children share, found once
  sentential_form* slots = stack_slots(kept);
  size_t rest = form_length(form) - 1;  // bytes of the form that each child keeps
  bool doomed = form_is_doomed(form);   // and so is every child
  // A child whose leftmost nonterminal has no rule is only taken out and
  // dropped, so its text is never made. For an alternative of terminals,
  // that nonterminal is the one after the form's leftmost: found once.
  for (int i = 0; i < kept; ++i) {
    const grammar_choice& c = g.choices[first + i];
    sentential_form& child = slots[i];
    std::string_view text = grammar_choice_text(g, c);
    size_t length = rest + c.size;
    char dead = c.dead ? text[c.lead] : '\0';  // the leftmost nonterminal, when it has no rule
    if (c.lead == c.size) {
      char next = form_family_next(family);
      if (next != '\0' && grammar_has_no_rule(g, next)) dead = next;
    }
#ifdef SENTGEN_CHECKED
    size_t pieces_before = form_pieces_in_use();
#endif
    if (dead != '\0') {
      form_dead_end(length, dead, child);
    } else {
      form_derive(family, text, c.lead, child, doomed || c.doomed);
    }
#ifdef SENTGEN_CHECKED
    form_check_child(child, pieces_before);
#endif
    if (traced) child.how = trace_make(form.how, {c.entry, c.slot});
    stack_commit(length);
  }
  if (kept < alternatives) stack_overflow(alternatives - kept);
  return budget;
}

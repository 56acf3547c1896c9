// Derivation module: shortest-first stack of forms and the expansion step.
#include "derivation.h"

#include <algorithm>
#include <array>
#include <cstdio>

form_stack_state form_stack;

namespace {

// Tournament tree over the slots, so that finding the next form out costs
// one walk up the tree per changed slot instead of a scan of every form.
// Node k (1 to TREE_LEAVES - 1) has children 2k and 2k + 1; child c at or
// above TREE_LEAVES is the leaf for slot c - TREE_LEAVES. A node holds the
// winning slot of its leaves: the shortest form, the lowest slot among
// equals, slots in use before slots not in use.
// The slots in use are always 0 to stack_count - 1, so only the subtree over
// the first stack_tree_width slots matters; its top, stack_tree_root, is the
// overall winner, and a small stack keeps its walks short. Only nodes over
// slots in use are kept current; any other node still names a slot of its
// own range, which is not in use, so it loses every comparison.
constexpr int TREE_LEAVES = 1024;
static_assert(TREE_LEAVES >= STACK_SLOTS, "every slot needs a leaf");

constexpr std::array<uint16_t, TREE_LEAVES> stack_tree_initial() {
  std::array<uint16_t, TREE_LEAVES> t{};
  for (int k = TREE_LEAVES - 1; k >= 1; --k) {
    int c = 2 * k;  // leftmost leaf below k
    while (c < TREE_LEAVES) c *= 2;
    t[k] = static_cast<uint16_t>(c - TREE_LEAVES);
  }
  return t;
}

std::array<uint16_t, TREE_LEAVES> stack_tree = stack_tree_initial();
int stack_tree_width = 1;            // slots under stack_tree_root, >= stack_count
int stack_tree_root = TREE_LEAVES;  // node over slots 0 to width - 1

inline int stack_tree_child(int c) {
  return c >= TREE_LEAVES ? c - TREE_LEAVES : stack_tree[c];
}

// Slot `left` comes from a lower range than slot `right`.
inline int stack_winner(int left, int right) {
  if (right >= form_stack.stack_count) return left;
  return form_stack.length[right] < form_stack.length[left] ? right : left;
}

// Recomputes the nodes above `slot`, up to the root, after its form or its
// use changed.
void stack_tree_update(int slot) {
  while (stack_tree_width < form_stack.stack_count) {
    stack_tree_width *= 2;
    stack_tree_root /= 2;
  }
  for (int k = (slot + TREE_LEAVES) / 2; k >= stack_tree_root; k /= 2) {
    stack_tree[k] = static_cast<uint16_t>(
        stack_winner(stack_tree_child(2 * k), stack_tree_child(2 * k + 1)));
  }
}

inline bool is_nonterminal(char c) { return c >= 'A' && c <= 'Z'; }

// Index of the first nonterminal in `text`, or its size when there is none.
size_t first_nonterminal(std::string_view text) {
  return static_cast<size_t>(
      std::find_if(text.begin(), text.end(), is_nonterminal) - text.begin());
}

void stack_overflow() { output_write("STACK OVERFLOW!\n"); }

// Stores prefix + middle + suffix in the next free slot, whose buffer is
// reused. `leftmost` is the new form's leftmost nonterminal, known by the
// caller. The caller has checked that the stack is not full.
void stack_store(std::string_view prefix, std::string_view middle,
                 std::string_view suffix, size_t leftmost) {
  int slot = form_stack.stack_count;
  if (form_stack.stack_items.size() <= static_cast<size_t>(slot)) {
    form_stack.stack_items.reserve(STACK_SLOTS);
    form_stack.stack_items.emplace_back();
  }
  stack_form& item = form_stack.stack_items[slot];
  item.text.assign(prefix.data(), prefix.size());
  item.text.append(middle.data(), middle.size());
  item.text.append(suffix.data(), suffix.size());
  item.leftmost = leftmost;
  form_stack.length[slot] = item.text.size();
  form_stack.stack_count = slot + 1;
  stack_tree_update(slot);
}

bool stack_is_full() { return form_stack.stack_count >= STACK_LIMIT; }

}  // namespace

void stack_clear() {
  std::vector<stack_form>().swap(form_stack.stack_items);
  form_stack.stack_count = 0;
  stack_tree_width = 1;
  stack_tree_root = TREE_LEAVES;
}

void stack_push(std::string_view form) {
  if (stack_is_full()) {
    stack_overflow();
    return;
  }
  stack_store(form, {}, {}, first_nonterminal(form));
}

void stack_pop_shortest(stack_form& out) {
  int last = form_stack.stack_count - 1;
  int best = stack_tree_child(stack_tree_root);
  if (best != last) {
    std::swap(form_stack.stack_items[best], form_stack.stack_items[last]);
    std::swap(form_stack.length[best], form_stack.length[last]);
  }
  // The caller's old buffer takes the freed slot, for a later push to reuse.
  std::swap(out, form_stack.stack_items[last]);
  form_stack.stack_count = last;
  stack_tree_update(last);
  if (best != last) stack_tree_update(best);
}

bool stack_is_empty() { return form_stack.stack_count <= 0; }

int expand_leftmost(const grammar_table& g, const stack_form& form, int budget) {
  std::string_view text = form.text;
  size_t at = form.leftmost;
  if (at >= text.size()) {
    output_write(text);
    output_write("\n");
    return budget - 1;
  }
  char nonterminal = text[at];
  std::string_view prefix = text.substr(0, at);
  std::string_view suffix = text.substr(at + 1);
  size_t suffix_leftmost = std::string_view::npos;  // found on first need
  for (int i = 0; i < g.rule_count; ++i) {
    if (g.lhs[i] != nonterminal) continue;
    int count = grammar_alternative_count(g, i);
    for (int j = 0; j < count; ++j) {
      // A full stack refuses the form, so it is never built.
      if (stack_is_full()) {
        stack_overflow();
        continue;
      }
      std::string_view alternative = grammar_alternative(g, i, j);
      size_t leftmost = first_nonterminal(alternative);
      if (leftmost == alternative.size()) {
        if (suffix_leftmost == std::string_view::npos) {
          suffix_leftmost = first_nonterminal(suffix);
        }
        leftmost += suffix_leftmost;
      }
      stack_store(prefix, alternative, suffix, at + leftmost);
    }
  }
  return budget;
}

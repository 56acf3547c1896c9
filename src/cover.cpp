// SPDX-License-Identifier: MIT
// Cover module. Two shortest-path fixed points over the nonterminals find
// what every line is made of before any line is built: the cheapest
// string of terminals each nonterminal derives, and the cheapest context
// each stands in, in a sentence derived from the start form. A rule's
// line is then its left-hand side's context around the rule with its
// nonterminals' cheapest strings; the lines kept are chosen among those,
// and only they are built.
//
// Cost, for R choices of at most W = 9 symbols over N = 26 nonterminals:
// each fixed point settles one nonterminal a round, in N rounds over the
// choices, O(N R W) and O(N R W^2); the sets of rules each line uses,
// O(N R W) words of R bits; the choice of lines, O(R^2) such sets; then
// the bytes and labels of the lines kept, and a sort of at most R lines.
// Nothing recurses: a line is built from an explicit stack whose depth is
// at most W times the N + N levels of its derivation tree.
#include "cover.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

constexpr int COVER_CHOICES = MAX_RULES * MAX_ALTERNATIVES;  // choices an index holds at most
constexpr int COVER_NONE = -1;                               // no choice, no position

// What a derivation costs: the bytes of terminals it yields, then the
// rules it applies; cheaper is shorter, then fewer steps. Both are held
// at UINT64_MAX when larger.
struct cover_cost {
  uint64_t length;  // bytes of terminals
  uint64_t steps;   // rules applied
};

bool cover_cheaper(cover_cost a, cover_cost b) {
  return a.length != b.length ? a.length < b.length : a.steps < b.steps;
}

uint64_t cover_add(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

cover_cost cover_plus(cover_cost a, cover_cost b) {
  return {cover_add(a.length, b.length), cover_add(a.steps, b.steps)};
}

// A set of choices of the index: bit k % 64 of word k / 64 for choice k.
struct cover_rules {
  uint64_t word[(COVER_CHOICES + 63) / 64];  // the bits
};

void cover_add_rule(cover_rules& set, int k) { set.word[k / 64] |= uint64_t{1} << (k % 64); }
bool cover_has(const cover_rules& set, int k) { return (set.word[k / 64] >> (k % 64) & 1) != 0; }
void cover_join(cover_rules& set, const cover_rules& more) {
  for (size_t w = 0; w < std::size(set.word); ++w) set.word[w] |= more.word[w];
}

// What the fixed points find for a table, nonterminal n for 'A' + n.
struct cover_plan {
  int count;                                  // choices in the index
  char owner[COVER_CHOICES];                  // owner[k]: the nonterminal choice k rewrites
  bool usable[COVER_CHOICES];                 // see cover_usable
  bool yields[NONTERMINAL_COUNT];             // it derives a string of terminals
  cover_cost yield[NONTERMINAL_COUNT];        // the cheapest such string's cost
  int yield_by[NONTERMINAL_COUNT];            // the choice its cheapest string starts with
  cover_rules yield_uses[NONTERMINAL_COUNT];  // the choices of that string's derivation
  bool reached[NONTERMINAL_COUNT];            // it stands in a form a sentence derives from
  // The cost of the cheapest context: the start form's derivation with
  // this nonterminal left in it, its own subtree not counted.
  cover_cost context[NONTERMINAL_COUNT];
  int context_by[NONTERMINAL_COUNT];            // the choice that puts it there; none for the start
  int context_at[NONTERMINAL_COUNT];            // its position in that right-hand side
  cover_rules context_uses[NONTERMINAL_COUNT];  // the choices of the context's derivation
};

std::string_view cover_text(const grammar_table& g, int k) {
  return grammar_choice_text(g, g.choices[k]);
}

int cover_slot(char nonterminal) { return nonterminal - 'A'; }

// The cost of choice k with the cheapest strings of its nonterminals, that
// at position `skip` left out; false while one of them has none yet.
bool cover_choice_cost(const grammar_table& g, const cover_plan& plan, int k, int skip,
                       cover_cost& cost) {
  std::string_view text = cover_text(g, k);
  cost = {0, 1};
  for (size_t at = 0; at < text.size(); ++at) {
    if (static_cast<int>(at) == skip) continue;
    if (!is_nonterminal(text[at])) {
      cost = cover_plus(cost, {1, 0});
    } else if (plan.yields[cover_slot(text[at])]) {
      cost = cover_plus(cost, plan.yield[cover_slot(text[at])]);
    } else {
      return false;
    }
  }
  return true;
}

// The choices of choice k's derivation below it: those of its
// nonterminals' cheapest strings, that at position `skip` left out.
void cover_below(const grammar_table& g, const cover_plan& plan, int k, int skip,
                 cover_rules& uses) {
  std::string_view text = cover_text(g, k);
  for (size_t at = 0; at < text.size(); ++at) {
    if (static_cast<int>(at) != skip && is_nonterminal(text[at])) {
      cover_join(uses, plan.yield_uses[cover_slot(text[at])]);
    }
  }
}

// The cheapest strings: a round settles the nonterminal whose cheapest
// choice, over nonterminals settled already, is the cheapest (the lowest
// choice among equals). No choice over the others can be cheaper, since
// costs only add; a string's derivation only takes choices settled before
// its own, so it is finite.
void cover_plan_yields(const grammar_table& g, cover_plan& plan) {
  for (int round = 0; round < NONTERMINAL_COUNT; ++round) {
    int best = COVER_NONE;
    cover_cost best_cost{};
    for (int k = 0; k < plan.count; ++k) {
      cover_cost cost;
      if (plan.yields[cover_slot(plan.owner[k])]) continue;
      if (!cover_choice_cost(g, plan, k, COVER_NONE, cost)) continue;
      if (best == COVER_NONE || cover_cheaper(cost, best_cost)) {
        best = k;
        best_cost = cost;
      }
    }
    if (best == COVER_NONE) return;
    int n = cover_slot(plan.owner[best]);
    plan.yields[n] = true;
    plan.yield[n] = best_cost;
    plan.yield_by[n] = best;
    cover_add_rule(plan.yield_uses[n], best);
    cover_below(g, plan, best, COVER_NONE, plan.yield_uses[n]);
  }
}

// The cheapest contexts, the same way from the start symbol: a round
// settles the nonterminal that stands at the cheapest position of a
// choice of one settled already (the lowest choice and position among
// equals). Only choices whose nonterminals all derive a string count:
// those are the usable ones, and the nonterminals settled those reached.
void cover_plan_contexts(const grammar_table& g, cover_plan& plan) {
  std::string_view seed = grammar_seed(g);
  if (seed.size() != 1 || !is_nonterminal(seed[0])) return;
  int start = cover_slot(seed[0]);
  plan.reached[start] = true;
  plan.context[start] = {0, 0};
  for (int round = 1; round < NONTERMINAL_COUNT; ++round) {
    int best = COVER_NONE;
    int best_at = COVER_NONE;
    cover_cost best_cost{};
    for (int k = 0; k < plan.count; ++k) {
      cover_cost whole;
      int a = cover_slot(plan.owner[k]);
      if (!plan.reached[a] || !cover_choice_cost(g, plan, k, COVER_NONE, whole)) continue;
      std::string_view text = cover_text(g, k);
      for (size_t at = 0; at < text.size(); ++at) {
        if (!is_nonterminal(text[at]) || plan.reached[cover_slot(text[at])]) continue;
        cover_cost cost;
        cover_choice_cost(g, plan, k, static_cast<int>(at), cost);
        cost = cover_plus(plan.context[a], cost);
        if (best == COVER_NONE || cover_cheaper(cost, best_cost)) {
          best = k;
          best_at = static_cast<int>(at);
          best_cost = cost;
        }
      }
    }
    if (best == COVER_NONE) break;
    int a = cover_slot(plan.owner[best]);
    int b = cover_slot(cover_text(g, best)[static_cast<size_t>(best_at)]);
    plan.reached[b] = true;
    plan.context[b] = best_cost;
    plan.context_by[b] = best;
    plan.context_at[b] = best_at;
    plan.context_uses[b] = plan.context_uses[a];
    cover_add_rule(plan.context_uses[b], best);
    cover_below(g, plan, best, best_at, plan.context_uses[b]);
  }
  for (int k = 0; k < plan.count; ++k) {
    cover_cost cost;
    plan.usable[k] =
        plan.reached[cover_slot(plan.owner[k])] && cover_choice_cost(g, plan, k, COVER_NONE, cost);
  }
}

void cover_plan_fill(const grammar_table& g, cover_plan& plan) {
  plan = {};
  plan.count = g.choice_start[NONTERMINAL_COUNT];
  for (int n = 0; n < NONTERMINAL_COUNT; ++n) {
    for (int k = g.choice_start[n]; k < g.choice_start[n + 1]; ++k) {
      plan.owner[k] = static_cast<char>('A' + n);
    }
    plan.yield_by[n] = plan.context_by[n] = plan.context_at[n] = COVER_NONE;
  }
  cover_plan_yields(g, plan);
  cover_plan_contexts(g, plan);
}

// Usable choice k's line, not yet built: its cost and the choices it uses.
struct cover_candidate {
  int choice;          // the rule it is the shortest line of
  cover_cost cost;     // its sentence's bytes and its derivation's steps
  cover_rules uses;    // the choices its derivation applies
  cover_rules covers;  // those it applies at their shortest: the rules it can be kept for
};

// Builds the line of usable choice k, whose cost is `cost`: walks its
// derivation tree in preorder, which is the order of a leftmost derivation,
// from the start symbol down the contexts to k's left-hand side, then the
// cheapest strings.
void cover_build(const grammar_table& g, const cover_plan& plan, int k, cover_cost cost,
                 cover_line& line) {
  // The path of contexts: path[i] is the choice applied at depth i, from
  // the start symbol at depth 0 to k at the last; at[i], the position of
  // the nonterminal it leaves for depth i + 1.
  int path[NONTERMINAL_COUNT];
  int at[NONTERMINAL_COUNT];
  int depth = 0;
  for (int n = cover_slot(plan.owner[k]); plan.context_by[n] != COVER_NONE;
       n = cover_slot(plan.owner[plan.context_by[n]])) {
    path[depth] = plan.context_by[n];
    at[depth++] = plan.context_at[n];
  }
  std::reverse(path, path + depth);
  std::reverse(at, at + depth);
  path[depth] = k;
  at[depth] = COVER_NONE;
  // A symbol still to derive: on the path at `level`, or, off it
  // (COVER_NONE), a terminal or a nonterminal that takes its cheapest string.
  struct cover_task {
    char symbol;  // the symbol
    int level;    // its depth on the path, or COVER_NONE
  };
  std::vector<cover_task> tasks{{grammar_seed(g)[0], 0}};
  line.sentence.reserve(static_cast<size_t>(cost.length));  // within the bounds
  line.labels.reserve(static_cast<size_t>(cost.steps));
  while (!tasks.empty()) {
    cover_task task = tasks.back();
    tasks.pop_back();
    if (task.level == COVER_NONE && !is_nonterminal(task.symbol)) {
      line.sentence += task.symbol;
      continue;
    }
    int choice =
        task.level == COVER_NONE ? plan.yield_by[cover_slot(task.symbol)] : path[task.level];
    line.labels.push_back({g.choices[choice].entry, g.choices[choice].slot});
    std::string_view text = cover_text(g, choice);
    for (size_t i = text.size(); i-- > 0;) {
      bool on_path = task.level != COVER_NONE && static_cast<int>(i) == at[task.level];
      tasks.push_back({text[i], on_path ? task.level + 1 : COVER_NONE});
    }
  }
}

bool cover_label_less(grammar_label a, grammar_label b) {
  return a.entry != b.entry ? a.entry < b.entry : a.slot < b.slot;
}

// Shortest first, then by bytes as unsigned, then by labels.
bool cover_line_less(const cover_line& a, const cover_line& b) {
  if (a.sentence.size() != b.sentence.size()) return a.sentence.size() < b.sentence.size();
  int bytes = std::memcmp(a.sentence.data(), b.sentence.data(), a.sentence.size());
  if (bytes != 0) return bytes < 0;
  return std::lexicographical_compare(a.labels.begin(), a.labels.end(), b.labels.begin(),
                                      b.labels.end(), cover_label_less);
}

bool cover_line_equal(const cover_line& a, const cover_line& b) {
  return a.sentence == b.sentence && a.labels == b.labels;
}

int cover_count(const cover_rules& set, const cover_rules& among) {
  int count = 0;
  for (size_t w = 0; w < std::size(set.word); ++w) {
    for (uint64_t bits = set.word[w] & among.word[w]; bits != 0; bits &= bits - 1) ++count;
  }
  return count;
}

bool cover_within(const cover_rules& set, const cover_rules& of) {
  for (size_t w = 0; w < std::size(set.word); ++w) {
    if ((set.word[w] & ~of.word[w]) != 0) return false;
  }
  return true;
}

// The lines to keep, as indices into `candidates`: the one that covers the
// most rules not covered yet, again and again (the cheaper, then the lower
// choice among equals), then without those whose rules the others cover.
std::vector<size_t> cover_choose(const std::vector<cover_candidate>& candidates) {
  cover_rules open{};
  for (const cover_candidate& c : candidates) cover_join(open, c.covers);
  std::vector<size_t> kept;
  for (;;) {
    size_t best = candidates.size();
    int best_count = 0;
    for (size_t i = 0; i < candidates.size(); ++i) {
      int count = cover_count(candidates[i].covers, open);
      if (count > best_count) {  // candidates are cheapest first
        best = i;
        best_count = count;
      }
    }
    if (best == candidates.size()) break;
    kept.push_back(best);
    for (size_t w = 0; w < std::size(open.word); ++w) {
      open.word[w] &= ~candidates[best].covers.word[w];
    }
  }
  for (size_t i = 0; i < kept.size();) {
    cover_rules others{};
    for (size_t j = 0; j < kept.size(); ++j) {
      if (j != i) cover_join(others, candidates[kept[j]].covers);
    }
    if (cover_within(candidates[kept[i]].covers, others)) {
      kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return kept;
}

}  // namespace

void cover_usable(const grammar_table& g, bool (&usable)[MAX_RULES * MAX_ALTERNATIVES]) {
  cover_plan plan;
  cover_plan_fill(g, plan);
  std::copy(std::begin(plan.usable), std::end(plan.usable), usable);
}

void cover_sentences(const grammar_table& g, cover_result& result) {
  result.lines.clear();
  result.too_long.clear();
  cover_plan plan;
  cover_plan_fill(g, plan);
  // Each usable rule's shortest line, its cost and the choices it uses.
  std::vector<cover_candidate> candidates;
  for (int k = 0; k < plan.count; ++k) {
    if (!plan.usable[k]) continue;
    cover_candidate c{k, {}, {}, {}};
    int a = cover_slot(plan.owner[k]);
    cover_choice_cost(g, plan, k, COVER_NONE, c.cost);
    c.cost = cover_plus(plan.context[a], c.cost);
    c.uses = plan.context_uses[a];
    cover_add_rule(c.uses, k);
    cover_below(g, plan, k, COVER_NONE, c.uses);
    candidates.push_back(c);
  }
  // A line covers the rules it applies whose own lines are as short: a
  // rule's line is the shortest that uses it, and no other line that uses
  // it can have fewer steps, so a rule whose own line passes a bound is
  // covered by no line within them.
  uint64_t shortest[COVER_CHOICES];
  std::fill(std::begin(shortest), std::end(shortest), UINT64_MAX);
  for (const cover_candidate& c : candidates) shortest[c.choice] = c.cost.length;
  std::vector<cover_candidate> within;
  for (cover_candidate& c : candidates) {
    if (c.cost.length > COVER_MAX_LENGTH || c.cost.steps > COVER_MAX_STEPS) {
      grammar_label label{g.choices[c.choice].entry, g.choices[c.choice].slot};
      result.too_long.push_back({label, c.cost.length, c.cost.steps});
      continue;
    }
    for (int k = 0; k < plan.count; ++k) {
      if (cover_has(c.uses, k) && shortest[k] == c.cost.length) cover_add_rule(c.covers, k);
    }
    within.push_back(c);
  }
  std::stable_sort(within.begin(), within.end(),
                   [](const cover_candidate& a, const cover_candidate& b) {
                     return cover_cheaper(a.cost, b.cost);
                   });
  for (size_t i : cover_choose(within)) {
    result.lines.emplace_back();
    cover_build(g, plan, within[i].choice, within[i].cost, result.lines.back());
  }
  std::sort(result.lines.begin(), result.lines.end(), cover_line_less);
  result.lines.erase(std::unique(result.lines.begin(), result.lines.end(), cover_line_equal),
                     result.lines.end());
  std::sort(result.too_long.begin(), result.too_long.end(),
            [](const cover_left_out& a, const cover_left_out& b) {
              return cover_label_less(a.label, b.label);
            });
}

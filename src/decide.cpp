// SPDX-License-Identifier: MIT
// Decide module: Earley's sets, built on worklists, over states. An item
// is a state and an origin: the state holds every dotted rule that one
// step, a scan or a completion, put in the set with that origin, with the
// rules past the nullable nonterminals after them, so that an item stands
// for several of the textbook's and a step is one lookup. States are made
// the first time a step reaches them and shared by every set after; so are
// the states of a set's predictions, found by the mask of what it predicts.
// A set keeps the items that began in an earlier set in the order they were
// added, then those of its predictions. That order is what makes a
// derivation rebuilt from the chart well founded: a rule of an item is
// justified by items of earlier sets, by a rule of the same item found
// before it, or by items of its own set added before it.
//
// A push builds a set in two phases: the scan and the completions from the
// set before, then the completions from earlier sets (its actions). A short
// set's frame, its states and which of its items began together, says all
// that the first phase reads, so the first push of a byte on a frame keeps
// that phase as a program, with the actions it leaves, and the pushes after
// it write the items the program names. Each action of a program leads to a
// child node, found by the frame of the set it completes from, that holds
// what it adds; where an item may meet another, or origins may fall
// together, what was kept is checked, and the chart goes step by step where
// it does not hold. Programs and nodes add items in the order the steps
// would, so that a chart is the same however it came about, unless it ran
// out of states.
#include "decide.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace {

constexpr int16_t DECIDE_END = -1;           // rule.next at the end of an alternative
constexpr int16_t DECIDE_NONTERMINAL = 256;  // rule.next of 'A' + n is this + n
constexpr uint32_t DECIDE_STATE_MASK = (uint32_t{1} << DECIDE_STATE_BITS) - 1;
constexpr int DECIDE_BLOCK_BITS = 14;
constexpr uint32_t DECIDE_BLOCK = uint32_t{1} << DECIDE_BLOCK_BITS;  // items in a block
// Dotted rules at most: the start form's 2 and 10 for each alternative.
constexpr uint32_t DECIDE_RULES = 2 + MAX_RULES * MAX_ALTERNATIVES * RHS_SLOT_SIZE;
// States at most. A set's hash also holds "nonterminal n completed from
// set i": the item (DECIDE_STATE_LIMIT + n, i), which no state makes.
constexpr uint32_t DECIDE_STATE_LIMIT = DECIDE_STATE_MASK + 1 - 32;
static_assert(DECIDE_RULES < DECIDE_STATE_LIMIT, "a state for each dotted rule alone fits");
static_assert(DECIDE_OWNERS <= 32, "the start form fits a nonterminal_set");
// An item's origin is below its set, or the set itself for a prediction,
// which the set of the longest prefix does without: no byte follows it.
static_assert(DECIDE_MAX_LENGTH <= (size_t{1} << (32 - DECIDE_STATE_BITS)), "origins fit their bits");
constexpr uint32_t DECIDE_SHORT = 16;             // items of a set that finds its items by a scan
constexpr uint32_t DECIDE_NONE = UINT32_MAX;      // no item, state or edge found
constexpr uint64_t DECIDE_NO_STEPS = UINT64_MAX;  // empty_steps of a nonterminal that is not nullable
constexpr nonterminal_set DECIDE_START_BIT = nonterminal_set{1} << DECIDE_START;

inline decide_item decide_make(uint32_t state, uint32_t origin) { return origin << DECIDE_STATE_BITS | state; }
inline uint32_t decide_state_of(decide_item item) { return item & DECIDE_STATE_MASK; }
inline uint32_t decide_origin(decide_item item) { return item >> DECIDE_STATE_BITS; }
inline bool decide_has(nonterminal_set set, uint32_t n) { return (set >> n & 1) != 0; }
inline nonterminal_set decide_bit(uint32_t n) { return nonterminal_set{1} << n; }

// The lowest member of a set that is not empty.
inline uint32_t decide_lowest(nonterminal_set set) {
  static const uint8_t position[32] = {0,  1,  28, 2,  29, 14, 24, 3,  30, 22, 20, 15, 25, 17, 4,  8,
                                       31, 27, 13, 23, 21, 19, 16, 7,  26, 12, 18, 6,  11, 5,  10, 9};
  return position[((set & (~set + 1)) * uint32_t{0x077CB531}) >> 27];
}
// Calls `visit(n)` for each member n of `set`, lowest first.
template <typename Visit>
void decide_members(nonterminal_set set, Visit visit) {
  for (; set != 0; set &= set - 1) visit(decide_lowest(set));
}

inline decide_item decide_at(const decide_chart& c, uint32_t index) {
  return c.blocks[index >> DECIDE_BLOCK_BITS][index & (DECIDE_BLOCK - 1)];
}
// Set j's items are [decide_first(c, j), decide_end(c, j)).
inline uint32_t decide_first(const decide_chart& c, uint32_t j) { return c.sets[j].item; }
inline uint32_t decide_end(const decide_chart& c, uint32_t j) {
  return j + 1 < c.set_count ? c.sets[j + 1].item : c.item_count;
}
inline uint32_t decide_last(const decide_chart& c) { return c.set_count - 1; }

// Whether `check(item)` holds for one of the items [from, to), visited in
// order a block at a time; a check that only visits returns false.
template <typename Check>
bool decide_any(const decide_chart& c, uint32_t from, uint32_t to, Check check) {
  if (from < to && (from >> DECIDE_BLOCK_BITS) == ((to - 1) >> DECIDE_BLOCK_BITS)) {
    const decide_item* at = &c.blocks[from >> DECIDE_BLOCK_BITS][from & (DECIDE_BLOCK - 1)];
    for (const decide_item* end = at + (to - from); at < end; ++at) {
      if (check(*at)) return true;
    }
    return false;
  }
  while (from < to) {
    const decide_item* block = c.blocks[from >> DECIDE_BLOCK_BITS].get();
    uint32_t at = from & (DECIDE_BLOCK - 1);
    uint32_t stop = std::min<uint32_t>(DECIDE_BLOCK, at + (to - from));
    for (uint32_t k = at; k < stop; ++k) {
      if (check(block[k])) return true;
    }
    from += stop - at;
  }
  return false;
}

// A state's dotted rules, [decide_rules_of(c, s), + s.rule_count).
inline const uint16_t* decide_rules_of(const decide_chart& c, const decide_state& s) {
  return c.state_rules.data() + s.rule;
}
// Calls `visit(rule)` for each dotted rule of `state`, in order.
template <typename Visit>
void decide_each_rule(const decide_chart& c, uint32_t state, Visit visit) {
  const decide_state& s = c.states[state];
  for (const uint16_t *r = decide_rules_of(c, s), *end = r + s.rule_count; r < end; ++r) visit(uint32_t{*r});
}

// Grows `v` to hold `more` elements beyond its size, by half again at
// least, so that the pushes after it cannot throw.
template <typename T>
void decide_grow(std::vector<T>& v, size_t more) {
  size_t need = v.size() + more;
  if (need > v.capacity()) v.reserve(std::max(need, v.capacity() + v.capacity() / 2));
}

// --- States ---

// The prediction a state of a set's predictions is closed over: itself.
constexpr uint32_t DECIDE_SELF = DECIDE_OPEN - 1;
static_assert(DECIDE_SELF != DECIDE_OPEN, "the markers of what a state is closed over stand apart");

// Where a step goes: a state, or `count` states from `pieces`.
struct decide_targets {
  uint32_t count;   // states; 0 for none
  uint32_t target;  // the state when count is 1, else the first piece
};

// Closes the sorted kernel in `rules`, adding the rest in the order found:
// the rule past each nullable nonterminal that a rule waits for, and the
// rules of `prediction` (unless DECIDE_OPEN) moved past a nonterminal that
// a rule completes.
void decide_close_kernel(const decide_chart& c, std::vector<uint16_t>& rules, uint32_t prediction) {
  std::vector<char> in(c.rules.size(), 0);
  for (uint16_t r : rules) in[r] = 1;
  auto add = [&rules, &in](uint32_t r) {
    if (in[r] == 0) rules.push_back(static_cast<uint16_t>(r));
    in[r] = 1;
  };
  const decide_state* p = prediction == DECIDE_OPEN ? nullptr : &c.states[prediction];
  for (size_t k = 0; k < rules.size(); ++k) {
    const decide_rule& rule = c.rules[rules[k]];
    if (rule.next >= DECIDE_NONTERMINAL) {
      if (decide_has(c.nullable, static_cast<uint32_t>(rule.next - DECIDE_NONTERMINAL))) add(rules[k] + 1u);
      continue;
    }
    if (rule.next != DECIDE_END || p == nullptr || !decide_has(p->waits, rule.owner)) continue;
    for (const uint16_t *r = c.state_rules.data() + p->rule, *end = r + p->rule_count; r < end; ++r) {
      if (c.rules[*r].next == DECIDE_NONTERMINAL + rule.owner) add(*r + 1u);
    }
  }
}

uint32_t decide_key_hash(const uint16_t* kernel, size_t count, uint32_t prediction) {
  uint32_t hash = (2166136261u ^ prediction) * 16777619u;
  for (size_t k = 0; k < count; ++k) hash = (hash ^ kernel[k]) * 16777619u;
  return hash;
}
uint32_t decide_key_hash(const decide_chart& c, const decide_state& s) {
  return decide_key_hash(c.state_rules.data() + s.rule, s.kernel, s.prediction);
}

// The state of the sorted `kernel` closed over `prediction`, or DECIDE_NONE.
uint32_t decide_lookup_state(const decide_chart& c, const std::vector<uint16_t>& kernel, uint32_t prediction,
                             uint32_t hash) {
  if (c.state_hash.empty()) return DECIDE_NONE;
  size_t mask = c.state_hash.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    uint32_t slot = c.state_hash[at];
    if (slot == 0) return DECIDE_NONE;
    const decide_state& s = c.states[slot - 1];
    if (s.kernel == kernel.size() && s.prediction == prediction &&
        std::equal(kernel.begin(), kernel.end(), c.state_rules.data() + s.rule)) {
      return slot - 1;
    }
  }
}

// What a state of `rules` is, but for where its rules and edges go and
// what it is closed over; the symbols of its edges, in order, in `symbols`.
decide_state decide_describe(const decide_chart& c, const std::vector<uint16_t>& rules, std::vector<int16_t>& symbols) {
  decide_state s{};
  for (uint16_t r : rules) {
    const decide_rule& rule = c.rules[r];
    if (rule.next == DECIDE_END) {
      s.completes |= decide_bit(rule.owner);
      continue;
    }
    symbols.push_back(rule.next);
    if (rule.next < DECIDE_NONTERMINAL) continue;
    auto n = static_cast<uint32_t>(rule.next - DECIDE_NONTERMINAL);
    s.waits_more |= s.waits & decide_bit(n);
    s.waits |= decide_bit(n);
    s.predicts |= c.closure[n];
  }
  std::sort(symbols.begin(), symbols.end());
  symbols.erase(std::unique(symbols.begin(), symbols.end()), symbols.end());
  s.rule_count = static_cast<uint16_t>(rules.size());
  s.edge_count = static_cast<uint16_t>(symbols.size());
  s.terminals = static_cast<uint16_t>(std::lower_bound(symbols.begin(), symbols.end(), DECIDE_NONTERMINAL) - symbols.begin());
  return s;
}

// The state hash, twice as large, when one more state would fill it past
// half; else nothing.
std::vector<uint32_t> decide_larger_hash(const decide_chart& c) {
  std::vector<uint32_t> table;
  if (2 * (c.states.size() + 1) <= c.state_hash.size()) return table;
  table.assign(std::max<size_t>(64, 2 * c.state_hash.size()), 0);
  size_t mask = table.size() - 1;
  for (size_t at = 0; at < c.state_hash.size(); ++at) {
    uint32_t slot = c.state_hash[at];
    if (slot == 0) continue;
    size_t to = decide_key_hash(c, c.states[slot - 1]) & mask;
    while (table[to] != 0) to = (to + 1) & mask;
    table[to] = slot;
  }
  return table;
}

// Makes the state of `rules`, a closed kernel of `kernel` rules, closed
// over `prediction` (DECIDE_SELF: over itself, a prediction, kept out of
// the hash), and returns its number. Every vector grows before any
// changes, so that a bad_alloc leaves the states as they were.
uint32_t decide_add_state(decide_chart& c, const std::vector<uint16_t>& rules, size_t kernel, uint32_t prediction) {
  std::vector<int16_t> symbols;
  decide_state s = decide_describe(c, rules, symbols);
  auto id = static_cast<uint32_t>(c.states.size());
  s.kernel = static_cast<uint16_t>(kernel);
  s.prediction = prediction == DECIDE_SELF ? id : prediction;
  std::vector<uint32_t> table = prediction == DECIDE_SELF ? std::vector<uint32_t>() : decide_larger_hash(c);
  decide_grow(c.states, 1);
  decide_grow(c.state_rules, rules.size());
  decide_grow(c.edges, symbols.size());
  if (!table.empty()) c.state_hash.swap(table);
  s.rule = static_cast<uint32_t>(c.state_rules.size());
  s.edge = static_cast<uint32_t>(c.edges.size());
  c.states.push_back(s);
  c.state_rules.insert(c.state_rules.end(), rules.begin(), rules.end());
  for (int16_t symbol : symbols) c.edges.push_back({symbol, 0, 0});
  if (prediction != DECIDE_SELF) {
    size_t mask = c.state_hash.size() - 1;
    size_t at = decide_key_hash(c, s) & mask;
    while (c.state_hash[at] != 0) at = (at + 1) & mask;
    c.state_hash[at] = id + 1;
  }
  if (kernel == 1 && prediction == DECIDE_OPEN) {
    c.alone[rules[0]] = static_cast<uint16_t>(id + 1);
    --c.alone_missing;
  }
  return id;
}

// The open state of the dotted rule `rule` alone; there is always room.
uint32_t decide_alone(decide_chart& c, uint32_t rule) {
  if (c.alone[rule] != 0) return c.alone[rule] - 1u;
  std::vector<uint16_t> rules{static_cast<uint16_t>(rule)};
  decide_close_kernel(c, rules, DECIDE_OPEN);
  return decide_add_state(c, rules, 1, DECIDE_OPEN);
}

// Whether the chart has room for a state that is not an open rule alone.
inline bool decide_room(const decide_chart& c) { return c.states.size() + c.alone_missing < c.state_limit; }

// The open states of each rule of `kernel` alone, as targets.
decide_targets decide_pieces(decide_chart& c, const std::vector<uint16_t>& kernel) {
  std::vector<uint32_t> alone;
  for (uint16_t rule : kernel) alone.push_back(decide_alone(c, rule));
  if (alone.size() == 1) return {1, alone[0]};
  decide_grow(c.pieces, alone.size());
  auto first = static_cast<uint32_t>(c.pieces.size());
  c.pieces.insert(c.pieces.end(), alone.begin(), alone.end());
  return {static_cast<uint32_t>(alone.size()), first};
}

// Where the rules of `kernel` go, closed over `prediction`: their state,
// or, when the chart has no room left for it, the open states of each of
// them alone.
decide_targets decide_reach(decide_chart& c, std::vector<uint16_t>& kernel, uint32_t prediction) {
  if (kernel.empty()) return {0, 0};
  std::sort(kernel.begin(), kernel.end());
  kernel.erase(std::unique(kernel.begin(), kernel.end()), kernel.end());
  uint32_t found = decide_lookup_state(c, kernel, prediction, decide_key_hash(kernel.data(), kernel.size(), prediction));
  if (found != DECIDE_NONE) return {1, found};
  if (!decide_room(c) && !(kernel.size() == 1 && prediction == DECIDE_OPEN)) return decide_pieces(c, kernel);
  std::vector<uint16_t> rules = kernel;
  decide_close_kernel(c, rules, prediction);
  return {1, decide_add_state(c, rules, kernel.size(), prediction)};
}

// Takes edge k of `state` for the first time: where it goes is made, and
// kept in the edge.
decide_targets decide_take(decide_chart& c, uint32_t state, uint32_t k) {
  std::vector<uint16_t> kernel;
  int16_t symbol = c.edges[k].symbol;
  decide_each_rule(c, state, [&c, &kernel, symbol](uint32_t r) {
    if (c.rules[r].next == symbol) kernel.push_back(static_cast<uint16_t>(r + 1));
  });
  decide_targets targets = decide_reach(c, kernel, c.states[state].prediction);
  c.edges[k].count = static_cast<uint16_t>(targets.count);
  c.edges[k].target = targets.target;
  return targets;
}

inline size_t decide_prediction_slot(nonterminal_set predicted, size_t mask) {
  return static_cast<size_t>((predicted * uint64_t{0x9E3779B97F4A7C15}) >> 40) & mask;
}

// The states of what predicting `predicted` starts, made: each
// nonterminal's alternatives from their start, past nullable ones, in a
// state closed over itself, or, without room for it, one by one.
decide_targets decide_new_prediction(decide_chart& c, nonterminal_set predicted) {
  std::vector<uint16_t> kernel;
  decide_members(predicted, [&c, &kernel](uint32_t n) {
    kernel.insert(kernel.end(), c.first_rules.data() + c.first_at[n], c.first_rules.data() + c.first_at[n + 1]);
  });
  std::sort(kernel.begin(), kernel.end());
  if (kernel.empty()) return {0, 0};
  if (!decide_room(c)) return decide_pieces(c, kernel);
  // Closed over itself, it is closed past nullable nonterminals: what one
  // of its rules completes is nullable, and the rules waiting for it have
  // stepped over it already.
  std::vector<uint16_t> rules = kernel;
  decide_close_kernel(c, rules, DECIDE_OPEN);
  return {1, decide_add_state(c, rules, kernel.size(), DECIDE_SELF)};
}

// The states of what predicting `predicted` starts, made the first time.
decide_targets decide_predict(decide_chart& c, nonterminal_set predicted) {
  size_t mask = c.predictions.size() - 1;
  if (!c.predictions.empty()) {
    for (size_t at = decide_prediction_slot(predicted, mask); c.predictions[at].predicted != 0; at = (at + 1) & mask) {
      if (c.predictions[at].predicted == predicted) return {c.predictions[at].count, c.predictions[at].target};
    }
  }
  decide_targets targets = decide_new_prediction(c, predicted);
  if (2 * (size_t{c.prediction_count} + 1) > c.predictions.size()) {
    std::vector<decide_prediction> table(std::max<size_t>(16, 2 * c.predictions.size()), decide_prediction{0, 0, 0});
    table.swap(c.predictions);
    mask = c.predictions.size() - 1;
    for (const decide_prediction& p : table) {
      if (p.predicted == 0) continue;
      size_t at = decide_prediction_slot(p.predicted, mask);
      while (c.predictions[at].predicted != 0) at = (at + 1) & mask;
      c.predictions[at] = p;
    }
  }
  size_t at = decide_prediction_slot(predicted, mask);
  while (c.predictions[at].predicted != 0) at = (at + 1) & mask;
  c.predictions[at] = {predicted, targets.count, targets.target};
  ++c.prediction_count;
  return targets;
}

// --- Sets ---

// Points the cursor at the slot of item `item_count`: in a new block when
// the last one is full. The blocks that a chart can index are 2^18.
void decide_seek(decide_chart& c) {
  size_t block = c.item_count >> DECIDE_BLOCK_BITS;
  uint32_t at = c.item_count & (DECIDE_BLOCK - 1);
  if (block == c.blocks.size()) {
    if (block + 1 >= (size_t{1} << (32 - DECIDE_BLOCK_BITS))) throw std::bad_alloc();  // DECIDE_NONE is a marker
    std::unique_ptr<decide_item[]> fresh(new decide_item[DECIDE_BLOCK]);
    c.blocks.push_back(std::move(fresh));
  }
  c.cursor = c.blocks[block].get() + at;
  c.room = DECIDE_BLOCK - at;
}

inline void decide_append(decide_chart& c, decide_item item) {
  if (c.room == 0) decide_seek(c);
  *c.cursor++ = item;
  --c.room;
  ++c.item_count;
}

inline size_t decide_slot(const decide_chart& c, decide_item key) {
  return static_cast<size_t>((key * uint64_t{0x9E3779B97F4A7C15}) >> (64 - c.seen_bits));
}

// The set's hash, twice as large (or made), its keys moved.
void decide_seen_grow(decide_chart& c) {
  int bits = c.seen_bits == 0 ? 8 : c.seen_bits + 1;
  std::vector<uint64_t> old(size_t{1} << bits, 0);
  old.swap(c.seen);
  c.seen_bits = bits;
  c.seen_mask = static_cast<uint32_t>(c.seen.size() - 1);
  size_t mask = c.seen.size() - 1;
  for (uint64_t slot : old) {
    if (slot >> 32 != c.stamp) continue;
    size_t at = decide_slot(c, static_cast<decide_item>(slot));
    while (c.seen[at] >> 32 == c.stamp) at = (at + 1) & mask;
    c.seen[at] = slot;
  }
}

// Adds `key` to the set's hash; false when it was there.
inline bool decide_seen_insert(decide_chart& c, decide_item key) {
  if (2 * (size_t{c.seen_count} + 1) > size_t{c.seen_mask} + 1) decide_seen_grow(c);
  size_t mask = c.seen_mask;
  uint64_t tagged = uint64_t{c.stamp} << 32 | key;
  for (size_t at = decide_slot(c, key);; at = (at + 1) & mask) {
    uint64_t slot = c.seen[at];
    if (slot >> 32 != c.stamp) {
      c.seen[at] = tagged;
      ++c.seen_count;
      return true;
    }
    if (slot == tagged) return false;
  }
}

// The set being built has grown past a scan: its items go into a hash of
// their own, the keys of the set before becoming empty slots.
void decide_hash_set(decide_chart& c) {
  c.hashed = true;
  c.seen_count = 0;
  if (++c.stamp == 0) {
    std::fill(c.seen.begin(), c.seen.end(), uint64_t{0});
    c.stamp = 1;
  }
  decide_any(c, c.first, c.item_count, [&c](decide_item item) { return !decide_seen_insert(c, item); });
}

// Bit of `item` in a short set's signature: a set that lacks it lacks the
// item, and the scan is skipped.
inline uint64_t decide_signature(decide_item item) {
  return uint64_t{1} << ((item * uint32_t{0x9E3779B1}) >> 26);
}

// Adds `item` to the set being built, unless it is there; whether it was not.
inline bool decide_add(decide_chart& c, decide_item item) {
  if (c.hashed) {
    if (!decide_seen_insert(c, item)) return false;
    decide_append(c, item);
    return true;
  }
  uint64_t bit = decide_signature(item);
  if ((c.signature & bit) != 0 &&
      decide_any(c, c.first, c.item_count, [item](decide_item k) { return k == item; })) {
    return false;
  }
  c.signature |= bit;
  decide_append(c, item);
  if (c.item_count - c.first > DECIDE_SHORT) decide_hash_set(c);
  return true;
}

// Starts the set whose first item is the next: short, with no item yet.
inline void decide_start_set(decide_chart& c) {
  c.first = c.item_count;
  c.hashed = false;
  c.signature = 0;
}
// Makes set j, the last, whose items went in straight, the set being
// built: short; its signature is made again where it is needed.
inline void decide_resume_set(decide_chart& c, uint32_t j) {
  c.first = c.sets[j].item;
  c.hashed = false;
  c.signature = 0;
}

// Adds to the set being built an item of `origin` for each state of `targets`.
inline void decide_add_targets(decide_chart& c, decide_targets targets, uint32_t origin) {
  if (targets.count == 1) {
    decide_add(c, decide_make(targets.target, origin));
    return;
  }
  for (uint32_t k = 0; k < targets.count; ++k) decide_add(c, decide_make(c.pieces[targets.target + k], origin));
}

// The edge of `symbol` among edges [from, to), which are in order, or
// DECIDE_NONE.
inline uint32_t decide_find_edge(const decide_chart& c, uint32_t from, uint32_t to, int symbol) {
  if (to - from > 8) {
    const decide_edge* at = std::lower_bound(c.edges.data() + from, c.edges.data() + to, symbol,
                                             [](const decide_edge& e, int s) { return e.symbol < s; });
    return at != c.edges.data() + to && at->symbol == symbol ? static_cast<uint32_t>(at - c.edges.data()) : DECIDE_NONE;
  }
  for (uint32_t k = from; k < to; ++k) {
    if (c.edges[k].symbol == symbol) return k;
  }
  return DECIDE_NONE;
}

// The item of `state` and `origin` moves past `symbol`, in [from, to) of
// the state's edges: what it goes to joins the set being built.
inline void decide_step(decide_chart& c, uint32_t state, uint32_t origin, int symbol, uint32_t from, uint32_t to) {
  uint32_t k = decide_find_edge(c, from, to, symbol);
  if (k == DECIDE_NONE) return;
  decide_targets targets{c.edges[k].count, c.edges[k].target};
  if (targets.count == 0) targets = decide_take(c, state, k);
  decide_add_targets(c, targets, origin);
}

// Set i's Leo item for the nonterminal n, or null (i is not the last set).
inline const decide_leo* decide_find_leo(const decide_chart& c, uint32_t i, uint32_t n) {
  if (!decide_has(c.sets[i].leos, n)) return nullptr;
  for (uint32_t k = c.sets[i].leo, end = c.sets[i + 1].leo; k < end; ++k) {
    if (c.leo[k].nonterminal == n) return &c.leo[k];
  }
  return nullptr;
}

// --- Frames and programs ---

constexpr uint32_t DECIDE_FRAME_ITEMS = 8;    // items of a set with a frame, at most
constexpr uint32_t DECIDE_FRAMES = 1u << 16;  // frames at most
constexpr uint32_t DECIDE_PROGRAMS = 1u << 16;  // programs at most
constexpr uint32_t DECIDE_REPLAY_ROOM = 2 * DECIDE_FRAME_ITEMS;  // items of a set a replay writes straight on
constexpr uint64_t DECIDE_NO_STEP = UINT64_MAX;  // a node's last step before any: no offset and token make it
constexpr uint32_t DECIDE_NO_RECENT = 0x1FF;    // a frame's recent program of none: no symbol is 511
static_assert(DECIDE_NONTERMINAL + 32 < DECIDE_NO_RECENT, "a symbol fits 9 bits, none of them all ones");

// The frame of `count` entries and their origins' masks, after them in
// `entries`, and Leo's items for `leos`, made unless the chart has no room
// for it, with `candidates` then.
uint32_t decide_intern_frame(decide_chart& c, const uint32_t* entries, uint32_t count, nonterminal_set leos,
                             nonterminal_set candidates) {
  uint32_t hash = (2166136261u ^ count ^ leos) * 16777619u;
  for (uint32_t k = 0; k < 2 * count; ++k) hash = (hash ^ entries[k]) * 16777619u;
  size_t mask = c.frame_hash.size() - 1;
  for (size_t at = hash & mask; !c.frame_hash.empty() && c.frame_hash[at] != 0; at = (at + 1) & mask) {
    const decide_frame& f = c.frames[c.frame_hash[at] - 1];
    if (f.count != count || f.leos != leos) continue;
    const uint32_t* known = c.frame_entries.data() + f.entry;
    uint32_t k = 0;
    while (k < 2 * count && known[k] == entries[k]) ++k;
    if (k == 2 * count) return c.frame_hash[at] - 1;
  }
  if (c.frames.size() >= DECIDE_FRAMES) return DECIDE_NO_FRAME;
  std::vector<uint32_t> table;
  if (2 * (c.frames.size() + 1) > c.frame_hash.size()) {
    table.assign(std::max<size_t>(64, 2 * c.frame_hash.size()), 0);
    for (uint32_t id = 0; id < c.frames.size(); ++id) {
      size_t to = c.frames[id].hash & (table.size() - 1);
      while (table[to] != 0) to = (to + 1) & (table.size() - 1);
      table[to] = id + 1;
    }
  }
  decide_grow(c.frames, 1);
  decide_grow(c.frame_entries, 2 * count);
  if (!table.empty()) c.frame_hash.swap(table);
  auto id = static_cast<uint32_t>(c.frames.size());
  uint32_t apart = 0;  // its first items of origins all apart
  while (apart < count && entries[apart] >> 16 == apart) ++apart;
  c.frames.push_back({static_cast<uint32_t>(c.frame_entries.size()), count, hash, {DECIDE_NO_RECENT, DECIDE_NO_RECENT},
                      leos, candidates, apart});
  c.frame_entries.insert(c.frame_entries.end(), entries, entries + 2 * count);
  mask = c.frame_hash.size() - 1;
  size_t at = hash & mask;
  while (c.frame_hash[at] != 0) at = (at + 1) & mask;
  c.frame_hash[at] = id + 1;
  return id;
}

// The frame of set j, complete, whose Leo candidates are `candidates`, or
// DECIDE_NO_FRAME for a long one.
uint32_t decide_frame_of(decide_chart& c, uint32_t j, nonterminal_set candidates) {
  uint32_t first = decide_first(c, j), count = c.item_count - first;
  if (count > DECIDE_FRAME_ITEMS) return DECIDE_NO_FRAME;
  decide_item items[DECIDE_FRAME_ITEMS];
  for (uint32_t k = 0; k < count; ++k) items[k] = decide_at(c, first + k);
  uint32_t entries[2 * DECIDE_FRAME_ITEMS];
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t same = 0;  // the first item of its origin
    while ((items[same] ^ items[k]) > DECIDE_STATE_MASK) ++same;
    entries[k] = decide_state_of(items[k]) | same << 16;
    uint32_t origin = decide_origin(items[k]);
    entries[count + k] = same == k && origin < j ? c.sets[origin].waited | c.sets[origin].leos : 0;
  }
  return decide_intern_frame(c, entries, count, c.sets[j].leos, candidates);
}

inline size_t decide_program_slot(uint32_t key, size_t mask) {
  return static_cast<size_t>((key * uint64_t{0x9E3779B97F4A7C15}) >> 32) & mask;
}

// The program of `frame` for `symbol`: for a byte, of a push onto a set
// of the frame; for 256 + n, of completing 'A' + n from a set of the frame.
// DECIDE_NONE where there is none yet.
// The frame keeps the last two it was asked for, most of what a usual
// grammar asks.
uint32_t decide_lookup_program(decide_chart& c, uint32_t frame, uint32_t symbol) {
  if (c.program_hash.empty()) return DECIDE_NONE;
  uint32_t key = frame << 9 | symbol;
  size_t mask = c.program_hash.size() - 1;
  for (size_t at = decide_program_slot(key, mask);; at = (at + 1) & mask) {
    uint64_t slot = c.program_hash[at];
    if (slot == 0) return DECIDE_NONE;
    if (slot >> 32 != key) continue;
    decide_frame& f = c.frames[frame];
    f.recent[1] = f.recent[0];
    f.recent[0] = static_cast<uint32_t>(slot - 1) << 9 | symbol;
    return static_cast<uint32_t>(slot) - 1;
  }
}
inline uint32_t decide_find_program(decide_chart& c, uint32_t frame, uint32_t symbol) {
  const decide_frame& f = c.frames[frame];
  if ((f.recent[0] & 0x1FF) == symbol) return f.recent[0] >> 9;
  if ((f.recent[1] & 0x1FF) == symbol) return f.recent[1] >> 9;
  return decide_lookup_program(c, frame, symbol);
}

// What a step adds, for a program: each item's state and the item of the
// set stepped from whose origin it takes.
struct decide_record {
  uint32_t frame;                 // the frame of the set stepped from
  bool all;                       // items already in the set are noted too
  std::vector<uint32_t> entries;  // the items: state | item of the set stepped from << 16
};

// Adds an item of `origin` for each state of `targets`; a record notes
// them with the first item of the set stepped from of that origin, which
// its item k has.
inline void decide_add_noted(decide_chart& c, decide_targets targets, uint32_t origin, decide_record* record,
                             uint32_t k) {
  for (uint32_t t = 0; t < targets.count; ++t) {
    uint32_t state = targets.count == 1 ? targets.target : c.pieces[targets.target + t];
    bool added = decide_add(c, decide_make(state, origin));
    if (record != nullptr && (added || record->all)) {
      uint32_t first = c.frame_entries[c.frames[record->frame].entry + k] >> 16;
      record->entries.push_back(state | first << 16);
    }
  }
}

// Item k of the set stepped from, of `state` and `origin`, moves past
// `symbol`, in [from, to) of the state's edges, into the set being built.
inline void decide_step_noted(decide_chart& c, uint32_t state, uint32_t origin, int symbol, uint32_t from,
                              uint32_t to, decide_record* record, uint32_t k) {
  uint32_t edge = decide_find_edge(c, from, to, symbol);
  if (edge == DECIDE_NONE) return;
  decide_targets targets{c.edges[edge].count, c.edges[edge].target};
  if (targets.count == 0) targets = decide_take(c, state, edge);
  decide_add_noted(c, targets, origin, record, k);
}

constexpr uint32_t DECIDE_PROGRAM_ENTRIES = 1u << 20;  // all programs' items and actions at most

// Whether the chart has room for a program of `entries` and `actions`.
inline bool decide_program_room(const decide_chart& c, size_t entries, size_t actions) {
  return c.programs.size() < DECIDE_PROGRAMS &&
         c.program_entries.size() + entries + c.program_actions.size() + actions <= DECIDE_PROGRAM_ENTRIES;
}

// Keeps `program`, with `entries` and `actions`, and returns its number.
// Every vector grows before any changes; the caller made sure of room.
uint32_t decide_add_program(decide_chart& c, decide_program program, const std::vector<uint32_t>& entries,
                            const std::vector<uint32_t>& actions) {
  decide_grow(c.programs, 1);
  decide_grow(c.program_entries, entries.size());
  decide_grow(c.program_actions, actions.size());
  program.entry = static_cast<uint32_t>(c.program_entries.size());
  program.count = static_cast<uint32_t>(entries.size());
  program.action = static_cast<uint32_t>(c.program_actions.size());
  program.actions = static_cast<uint32_t>(actions.size());
  program.last_step = DECIDE_NO_STEP;
  program.last_child = DECIDE_NONE;
  // An action's item is an item of the set being built.
  for (uint32_t action : actions) {
    if (action >> 16 != DECIDE_LEO_ACTION &&
        c.states[decide_state_of(decide_at(c, c.first + (action >> 16)))].prediction == DECIDE_OPEN) {
      program.opens = true;
    }
  }
  // A first action that adds a Leo item's top stops every run at once.
  bool through = !program.opens && !program.doubt && program.count < DECIDE_REPLAY_ROOM &&
                 (actions.empty() || actions[0] >> 16 != DECIDE_LEO_ACTION);
  if (program.kind == DECIDE_ROOT) program.reach = static_cast<uint8_t>(std::min<uint32_t>(program.count, 0xFF));
  program.runs = static_cast<uint8_t>((through ? DECIDE_RUN_THROUGH : 0) |
                                      (program.mixed ? DECIDE_RUN_MIXED : 0));
  c.program_entries.insert(c.program_entries.end(), entries.begin(), entries.end());
  c.program_actions.insert(c.program_actions.end(), actions.begin(), actions.end());
  c.programs.push_back(program);
  return static_cast<uint32_t>(c.programs.size() - 1);
}

// Keeps `program`, with `entries` and `actions`, as the program of `frame`
// for `symbol`, where the chart has room.
void decide_keep_program(decide_chart& c, uint32_t frame, uint32_t symbol, const decide_program& program,
                         const std::vector<uint32_t>& entries, const std::vector<uint32_t>& actions) {
  if (!decide_program_room(c, entries.size(), actions.size())) return;
  std::vector<uint64_t> table;
  if (2 * (c.programs.size() + 1) > c.program_hash.size()) {
    table.assign(std::max<size_t>(64, 2 * c.program_hash.size()), 0);
    for (uint64_t slot : c.program_hash) {
      if (slot == 0) continue;
      size_t to = decide_program_slot(static_cast<uint32_t>(slot >> 32), table.size() - 1);
      while (table[to] != 0) to = (to + 1) & (table.size() - 1);
      table[to] = slot;
    }
  }
  decide_grow(c.programs, 1);  // so that decide_add_program cannot throw once the table is in
  decide_grow(c.program_entries, entries.size());
  decide_grow(c.program_actions, actions.size());
  if (!table.empty()) c.program_hash.swap(table);
  uint32_t key = frame << 9 | symbol;
  size_t mask = c.program_hash.size() - 1, at = decide_program_slot(key, mask);
  while (c.program_hash[at] != 0) at = (at + 1) & mask;
  c.program_hash[at] = uint64_t{key} << 32 | (uint64_t{decide_add_program(c, program, entries, actions)} + 1);
}

// Whether action `action` of the set being built is sure to add nothing:
// it completes 'A' + n, for a state not open, from a set that waits for
// no 'A' + n and has no Leo item for it. The set's frame says as much.
inline bool decide_idle(const decide_chart& c, uint32_t action) {
  uint32_t n = action & 0xFFFF, at = action >> 16;
  if (at == DECIDE_LEO_ACTION) return false;
  decide_item item = decide_at(c, c.first + at);
  const decide_set& set = c.sets[decide_origin(item)];
  return ((set.waited | set.leos) >> n & 1) == 0 && c.states[decide_state_of(item)].prediction != DECIDE_OPEN;
}

// The predictions of set i, its last items, that wait for the
// nonterminal n move past it, for an open state that completed n from i.
void decide_complete_predictions(decide_chart& c, uint32_t n, uint32_t i) {
  int symbol = DECIDE_NONTERMINAL + static_cast<int>(n);
  for (uint32_t k = c.sets[i + 1].item; k > c.sets[i].item && decide_origin(decide_at(c, k - 1)) == i; --k) {
    uint32_t state = decide_state_of(decide_at(c, k - 1));
    const decide_state& s = c.states[state];
    if (decide_has(s.waits, n)) decide_step(c, state, i, symbol, s.edge + s.terminals, s.edge + s.edge_count);
  }
}

// Completes the nonterminal n from set i by the items of set i that wait
// for it, stepped one by one, and keeps what they add as the program of
// set i's frame for n.
void decide_complete_anew(decide_chart& c, uint32_t n, uint32_t i) {
  uint32_t frame = c.sets[i].frame, from = decide_first(c, i);
  int symbol = DECIDE_NONTERMINAL + static_cast<int>(n);
  if (frame == DECIDE_NO_FRAME) {
    // A long set: no program, and the plain step of each item, the
    // targets of its state found once for a row of items of that state.
    uint32_t last = DECIDE_NONE;
    decide_targets targets{0, 0};
    decide_any(c, from, c.sets[i + 1].item, [&](decide_item item) {
      uint32_t state = decide_state_of(item), origin = decide_origin(item);
      if (origin == i) return true;  // the predictions, the last items
      if (state != last) {
        last = state;
        const decide_state& s = c.states[state];
        uint32_t k = decide_has(s.waits, n) ? decide_find_edge(c, s.edge + s.terminals, s.edge + s.edge_count, symbol)
                                            : DECIDE_NONE;
        targets = k == DECIDE_NONE ? decide_targets{0, 0} : decide_targets{c.edges[k].count, c.edges[k].target};
        if (k != DECIDE_NONE && targets.count == 0) targets = decide_take(c, state, k);
      }
      if (targets.count != 0) decide_add_targets(c, targets, origin);
      return false;
    });
    return;
  }
  decide_record record{frame, true, {}};
  for (uint32_t k = from, end = c.sets[i + 1].item; k < end; ++k) {
    decide_item item = decide_at(c, k);
    uint32_t state = decide_state_of(item), origin = decide_origin(item);
    if (origin == i) break;  // the predictions, the last items
    const decide_state& s = c.states[state];
    if (!decide_has(s.waits, n)) continue;
    decide_step_noted(c, state, origin, symbol, s.edge + s.terminals, s.edge + s.edge_count, &record, k - from);
  }
  decide_keep_program(c, frame, static_cast<uint32_t>(symbol), decide_program{}, record.entries, {});
}

// The nonterminal n, started in set i, is complete in the set being built,
// by a rule of a state closed over set i's predictions: every item of set
// i waiting for it moves past it, or Leo's item of set i alone, as the
// program of set i's frame for n says where there is one. A short set may
// complete n twice, which adds nothing new.
inline void decide_complete_closed(decide_chart& c, uint32_t n, uint32_t i) {
  const decide_set& set = c.sets[i];
  if (((set.waited | set.leos) >> n & 1) == 0) return;
  if (c.hashed && !decide_seen_insert(c, decide_make(DECIDE_STATE_LIMIT + n, i))) return;
  if (decide_has(set.leos, n)) {
    decide_add(c, decide_find_leo(c, i, n)->top);
    return;
  }
  uint32_t id = set.frame == DECIDE_NO_FRAME ? DECIDE_NONE : decide_find_program(c, set.frame, DECIDE_NONTERMINAL + n);
  if (id == DECIDE_NONE) {
    decide_complete_anew(c, n, i);
    return;
  }
  uint32_t from = set.item;
  const uint32_t* entry = c.program_entries.data() + c.programs[id].entry;
  for (const uint32_t* end = entry + c.programs[id].count; entry < end; ++entry) {
    decide_add(c, (decide_at(c, from + (*entry >> 16)) & ~DECIDE_STATE_MASK) | (*entry & 0xFFFF));
  }
}

// The nonterminal n, started in set i, is complete in the set being built:
// as decide_complete_closed says, and for a state that is `open`, the
// predictions of set i that wait for n move past it too.
inline void decide_complete(decide_chart& c, uint32_t n, uint32_t i, bool open) {
  if (open) decide_complete_predictions(c, n, i);
  decide_complete_closed(c, n, i);
}
// What the items of a set that began before it wait for and predict.
struct decide_waits {
  nonterminal_set once;       // the nonterminals that one of their rules or more waits for
  nonterminal_set more;       // those that more than one waits for
  nonterminal_set predicted;  // what those predict
};

inline void decide_note(decide_waits& waits, const decide_state& s) {
  waits.more |= (waits.once & s.waits) | s.waits_more;
  waits.once |= s.waits;
  waits.predicted |= s.predicts;
}

// Works through the items of the set being built from index `from`,
// adding what each completes, and notes what they wait for and predict.
void decide_close(decide_chart& c, uint32_t from, decide_waits& waits) {
  const decide_item* at = nullptr;  // item p, in its block
  for (uint32_t p = from; p < c.item_count; ++p, ++at) {
    if (at == nullptr || (p & (DECIDE_BLOCK - 1)) == 0) at = &c.blocks[p >> DECIDE_BLOCK_BITS][p & (DECIDE_BLOCK - 1)];
    decide_item item = *at;
    const decide_state& s = c.states[decide_state_of(item)];
    decide_note(waits, s);
    // Aycock and Horspool: nullable nonterminals are stepped over in the
    // states, so that no completion from the set itself is needed.
    nonterminal_set completes = s.completes & ~DECIDE_START_BIT;
    if (completes == 0) continue;
    uint32_t origin = decide_origin(item);
    bool open = s.prediction == DECIDE_OPEN;
    decide_members(completes, [&c, origin, open](uint32_t n) { decide_complete(c, n, origin, open); });
  }
}

// Appends the items of set j's predictions, of origin j, for `targets`,
// and returns what they wait for.
nonterminal_set decide_add_predictions(decide_chart& c, uint32_t j, decide_targets targets) {
  nonterminal_set waits = 0;
  for (uint32_t k = 0; k < targets.count; ++k) {
    uint32_t state = targets.count == 1 ? targets.target : c.pieces[targets.target + k];
    decide_append(c, decide_make(state, j));
    waits |= c.states[state].waits;
  }
  return waits;
}

// The index of set j's first item that waits for the nonterminal n, with
// its rule that does in `rule`, or DECIDE_NONE.
uint32_t decide_only_waiting(const decide_chart& c, uint32_t j, uint32_t n, uint32_t& rule) {
  for (uint32_t k = decide_first(c, j), end = decide_end(c, j); k < end; ++k) {
    decide_item item = decide_at(c, k);
    if (!decide_has(c.states[decide_state_of(item)].waits, n)) continue;
    rule = DECIDE_NONE;
    decide_each_rule(c, decide_state_of(item), [&c, &rule, n](uint32_t r) {
      if (rule == DECIDE_NONE && c.rules[r].next == DECIDE_NONTERMINAL + static_cast<int>(n)) rule = r;
    });
    return k;
  }
  return DECIDE_NONE;
}

// The state that `state` goes to past the nonterminal n, which one of its
// rules alone waits for: its kernel is that rule moved past n.
uint32_t decide_past(decide_chart& c, uint32_t state, uint32_t n) {
  const decide_state& s = c.states[state];
  uint32_t k = decide_find_edge(c, s.edge + s.terminals, s.edge + s.edge_count, DECIDE_NONTERMINAL + static_cast<int>(n));
  decide_targets targets{c.edges[k].count, c.edges[k].target};
  if (targets.count == 0) targets = decide_take(c, state, k);
  return targets.target;
}

// Set j's frame as program `p`, which knows its ending, says, unless its
// Leo items came out otherwise than when it was kept.
inline uint32_t decide_known_frame(decide_chart& c, uint32_t j, const decide_program& p) {
  if (c.sets[j].leos == p.leo_set || p.frame == DECIDE_NO_FRAME) return p.frame;
  return decide_frame_of(c, j, c.frames[p.frame].candidates);
}

// Room for `count` Leo items more.
void decide_more_leo(decide_chart& c, uint32_t count) {
  c.leo.resize(std::max<size_t>(64, 2 * (size_t{c.leo_count} + count)));
}

// Leo's items of set j, once it is closed. Its candidates are the
// nonterminals B in `alone`, which one rule of the items that began before
// the set alone waits for, and its predictions do not, where B is that
// rule's last symbol. Where a prediction waits for B there is none:
// completing B adds the one item, which goes on by Leo's item for its
// owner, so a chain costs one item more, and a chain never names an item
// that the sets do not keep. Only a chain of two links or more makes an
// item, the top of the chain through the sets: where the rule's owner is a
// candidate of the set where the rule began, that set's Leo item for it,
// or the one rule there moved past it; a chain of one adds just what
// completing B adds. Those rules began in an earlier set, so a chain only
// goes back to sets already done.
//
// How to make them is kept as recipes, three words each: n | owner << 8,
// the index of the rule's item in the set, and the state of the rule moved
// past n.
void decide_leo_recipes(decide_chart& c, uint32_t j, nonterminal_set alone, std::vector<uint32_t>& recipes) {
  recipes.clear();
  decide_members(alone, [&c, j, &recipes](uint32_t n) {
    uint32_t rule = 0;
    uint32_t k = decide_only_waiting(c, j, n, rule);  // an item that began before j
    if (k == DECIDE_NONE || c.rules[rule + 1].next != DECIDE_END) return;
    uint32_t state = decide_past(c, decide_state_of(decide_at(c, k)), n);
    recipes.push_back(n | uint32_t{c.rules[rule].owner} << 8);
    recipes.push_back(k - decide_first(c, j));
    recipes.push_back(state);
  });
}

// The Leo candidates of set i, complete, which has no frame to say.
nonterminal_set decide_count_candidates(const decide_chart& c, uint32_t i) {
  decide_waits waits{0, 0, 0};
  nonterminal_set initial = 0;  // what its predictions wait for
  decide_any(c, decide_first(c, i), decide_end(c, i), [&c, &waits, &initial, i](decide_item item) {
    const decide_state& s = c.states[decide_state_of(item)];
    if (decide_origin(item) == i) {
      initial |= s.waits;
    } else {
      decide_note(waits, s);
    }
    return false;
  });
  nonterminal_set candidates = 0;
  decide_members(waits.once & ~waits.more & ~initial, [&c, &candidates, i](uint32_t n) {
    uint32_t rule = 0;
    if (decide_only_waiting(c, i, n, rule) != DECIDE_NONE && c.rules[rule + 1].next == DECIDE_END) {
      candidates |= decide_bit(n);
    }
  });
  return candidates;
}

// The Leo candidates of set i, complete.
inline nonterminal_set decide_candidates_of(const decide_chart& c, uint32_t i) {
  uint32_t frame = c.sets[i].frame;
  return frame != DECIDE_NO_FRAME ? c.frames[frame].candidates : decide_count_candidates(c, i);
}

// The top of the chain for the nonterminal n from set i: its Leo item's
// top, or, for a candidate of set i with none, its one rule that waits for
// n moved past it; a null item where n is no candidate there.
decide_item decide_chain_top(decide_chart& c, uint32_t i, uint32_t n) {
  if (const decide_leo* leo = decide_find_leo(c, i, n)) return leo->top;
  if (!decide_has(decide_candidates_of(c, i), n)) return 0;
  uint32_t rule = 0;
  decide_item only = decide_at(c, decide_only_waiting(c, i, n, rule));
  return decide_make(decide_past(c, decide_state_of(only), n), decide_origin(only));
}

// Makes Leo's items of set j by `count` recipes, where their chains are
// of two links or more.
void decide_chain_items(decide_chart& c, uint32_t j, const uint32_t* recipe, uint32_t count) {
  nonterminal_set leos = 0;
  for (const uint32_t* end = recipe + 3 * count; recipe < end; recipe += 3) {
    uint32_t n = recipe[0] & 0xFF, owner = recipe[0] >> 8;
    if (owner == DECIDE_START) continue;
    uint32_t origin = decide_origin(decide_at(c, decide_first(c, j) + recipe[1]));
    if (((c.sets[origin].leos | decide_candidates_of(c, origin)) >> owner & 1) == 0) continue;
    decide_item top = decide_chain_top(c, origin, owner);
    c.leos_ever |= decide_bit(n);
    if (c.leo_count == c.leo.size()) decide_more_leo(c, 1);
    c.leo[c.leo_count++] = {top, n};
    leos |= decide_bit(n);
  }
  c.sets[j].leos = leos;
}

// Makes Leo's items of set j by `count` recipes: a chain of one, the
// usual one, is seen at once and makes nothing.
inline void decide_leo_items(decide_chart& c, uint32_t j, const uint32_t* recipe, uint32_t count) {
  if (count == 1) {
    uint32_t owner = recipe[0] >> 8;
    if (((c.candidates_ever | c.leos_ever) >> owner & 1) == 0) return;  // and so for the start form
    const decide_set& set = c.sets[decide_origin(decide_at(c, c.sets[j].item + recipe[1]))];
    if (set.frame != DECIDE_NO_FRAME && ((set.leos | c.frames[set.frame].candidates) >> owner & 1) == 0) return;
  }
  decide_chain_items(c, j, recipe, count);
}

// The tail of the nonterminal n (or the start form) predicted in set g.
length_set decide_tail_of(const decide_chart& c, uint32_t g, uint32_t n) {
  size_t end = g + 1 < c.tail_start.size() ? c.tail_start[g + 1] : c.tails.size();
  for (size_t k = c.tail_start[g]; k < end; ++k) {
    if (c.tails[k].nonterminal == n) return c.tails[k].lengths;
  }
  return 0;
}

// The tails of set j, once closed: for each nonterminal B predicted there,
// the lengths that can follow a B started there, which is the union, over
// the rules waiting for B, of what follows B in the rule and then the
// rule's own nonterminal. The rules of the predictions wait on tails of set
// j: those grow to a fixed point.
void decide_tails(decide_chart& c, uint32_t j) {
  length_set tail[DECIDE_OWNERS] = {};
  if (j == 0) tail[DECIDE_START] = 1;  // the start form is followed by nothing
  uint32_t own = c.item_count;         // the first item of the predictions
  uint32_t index = decide_first(c, j);
  decide_any(c, index, c.item_count, [&](decide_item item) {
    uint32_t origin = decide_origin(item);
    if (origin == j) own = std::min(own, index);
    ++index;
    if (origin == j || c.states[decide_state_of(item)].waits == 0) return false;
    decide_each_rule(c, decide_state_of(item), [&c, &tail, origin](uint32_t r) {
      int next = c.rules[r].next;
      if (next < DECIDE_NONTERMINAL) return;
      tail[next - DECIDE_NONTERMINAL] |= analysis_add_lengths(c.rest_lengths[r + 1], decide_tail_of(c, origin, c.rules[r].owner));
    });
    return false;
  });
  nonterminal_set predicted = 0;
  for (bool grew = true; grew;) {
    grew = false;
    decide_any(c, own, c.item_count, [&](decide_item item) {
      decide_each_rule(c, decide_state_of(item), [&](uint32_t r) {
        int next = c.rules[r].next;
        predicted |= decide_bit(c.rules[r].owner);
        if (next < DECIDE_NONTERMINAL) return;
        length_set more = analysis_add_lengths(c.rest_lengths[r + 1], tail[c.rules[r].owner]);
        length_set& own_tail = tail[next - DECIDE_NONTERMINAL];
        grew = grew || (more & ~own_tail) != 0;
        own_tail |= more;
      });
      return false;
    });
  }
  decide_members(predicted, [&c, &tail](uint32_t n) { c.tails.push_back({tail[n], n}); });
}

// How a set ended: its predictions, and its frame.
struct decide_ending {
  decide_targets prediction;  // the states of its predictions
  nonterminal_set initial;    // what they wait for
  uint32_t frame;             // its frame
  nonterminal_set leos;       // the nonterminals it has Leo items for
};

// Ends set j, whose items that began before it are in: its predictions,
// Leo's items, tails and frame, all put in `ending` too.
void decide_end_set(decide_chart& c, uint32_t j, const decide_waits& waits, decide_ending& ending) {
  ending.prediction = waits.predicted != 0 ? decide_predict(c, waits.predicted) : decide_targets{0, 0};
  // The set of the longest prefix does without: no byte follows it.
  ending.initial = j < DECIDE_MAX_LENGTH ? decide_add_predictions(c, j, ending.prediction) : 0;
  c.sets[j].waited = waits.once;
  nonterminal_set alone = waits.once & ~waits.more & ~ending.initial;
  decide_leo_recipes(c, j, alone, c.recipes);
  auto count = static_cast<uint32_t>(c.recipes.size() / 3);
  if (count != 0) decide_leo_items(c, j, c.recipes.data(), count);
  nonterminal_set candidates = 0;
  for (uint32_t k = 0; k < c.recipes.size(); k += 3) candidates |= decide_bit(c.recipes[k] & 0xFF);
  c.candidates_ever |= candidates;
  ending.leos = c.sets[j].leos;
  if (c.completions && decide_first(c, j) < c.item_count) decide_tails(c, j);
  ending.frame = decide_frame_of(c, j, candidates);
  c.sets[j].frame = ending.frame;
}

// The set of the prefix j long goes, and all after it.
void decide_truncate(decide_chart& c, uint32_t j) {
  c.item_count = c.sets[j].item;
  c.room = 0;  // the cursor is found again at the next append
  c.leo_count = c.sets[j].leo;
  c.set_count = j;
  if (c.completions && c.tail_start.size() > j) {
    c.tails.resize(c.tail_start[j]);
    c.tail_start.resize(j);
  }
  // A spare block beyond those in use, so that a push and a pop at a
  // block's edge do not take and give back memory each time.
  size_t used = (size_t{c.item_count} + DECIDE_BLOCK - 1) >> DECIDE_BLOCK_BITS;
  if (c.blocks.size() > used + 1) c.blocks.resize(used + 1);
}

// --- Building a set ---

// The nonterminal n, started in set i, the set before, is complete in the
// set being built: its items waiting for n move past it, those of its
// predictions too for an `open` state; Leo's item of set i is left to an
// action.
void decide_complete_before(decide_chart& c, uint32_t n, uint32_t i, bool open, decide_record* record) {
  if (c.hashed && !decide_seen_insert(c, decide_make(DECIDE_STATE_LIMIT + n, i))) return;
  if (decide_has(c.sets[i].leos, n)) {
    c.pending.push_back(n | DECIDE_LEO_ACTION << 16);
    return;
  }
  if (!open && !decide_has(c.sets[i].waited, n)) return;
  int symbol = DECIDE_NONTERMINAL + static_cast<int>(n);
  for (uint32_t from = decide_first(c, i), k = from, end = c.sets[i + 1].item; k < end; ++k) {
    decide_item item = decide_at(c, k);
    uint32_t state = decide_state_of(item), origin = decide_origin(item);
    if (origin == i && !open) return;  // the predictions, the last items
    const decide_state& s = c.states[state];
    if (decide_has(s.waits, n)) {
      decide_step_noted(c, state, origin, symbol, s.edge + s.terminals, s.edge + s.edge_count, record, k - from);
    }
  }
}

// The first phase of building set j from set j - 1 and `byte`: the scan,
// then the completions from set j - 1, in order. The completions from
// earlier sets, and Leo's items of set j - 1, wait in `pending` as actions.
void decide_first_phase(decide_chart& c, uint32_t j, unsigned char byte, decide_record* record, decide_waits& waits) {
  uint32_t before = j - 1, from = decide_first(c, before), first = decide_first(c, j);
  for (uint32_t k = from; k < first; ++k) {
    decide_item item = decide_at(c, k);
    uint32_t state = decide_state_of(item);
    const decide_state& s = c.states[state];
    if (s.terminals != 0) {
      decide_step_noted(c, state, decide_origin(item), byte, s.edge, s.edge + s.terminals, record, k - from);
    }
  }
  for (uint32_t p = first; p < c.item_count; ++p) {
    decide_item item = decide_at(c, p);
    const decide_state& s = c.states[decide_state_of(item)];
    decide_note(waits, s);
    nonterminal_set completes = s.completes & ~DECIDE_START_BIT;
    if (completes == 0) continue;
    if (decide_origin(item) != before) {
      decide_members(completes, [&c, p, first](uint32_t n) { c.pending.push_back(n | (p - first) << 16); });
      continue;
    }
    bool open = s.prediction == DECIDE_OPEN;
    decide_members(completes, [&c, before, open, record](uint32_t n) { decide_complete_before(c, n, before, open, record); });
  }
}

// The second phase of building set j, whose first `mark` items the first
// phase added: the actions [action, end), then what the items they add
// complete.
void decide_second_phase(decide_chart& c, uint32_t j, uint32_t mark, const uint32_t* action, const uint32_t* end,
                         decide_waits& waits) {
  uint32_t first = decide_first(c, j);
  for (; action < end; ++action) {
    uint32_t n = *action & 0xFFFF, at = *action >> 16;
    if (at == DECIDE_LEO_ACTION) {
      decide_add(c, decide_find_leo(c, j - 1, n)->top);
      continue;
    }
    decide_item item = decide_at(c, first + at);
    decide_complete(c, n, decide_origin(item), c.states[decide_state_of(item)].prediction == DECIDE_OPEN);
  }
  decide_close(c, first + mark, waits);
}

// Whether program `id` can know how a set it builds ends: set j, its
// actions having added nothing, which is not the set of the longest prefix.
inline bool decide_can_finish(const decide_chart& c, uint32_t id, uint32_t j) {
  return !c.programs[id].finished && j < DECIDE_MAX_LENGTH;
}

// Keeps in program `id` how set j, which it built, ended, as `ending` and
// the recipes of its Leo's items say, unless the chart has no room.
void decide_finish_program(decide_chart& c, uint32_t id, const decide_ending& ending) {
  if (c.program_actions.size() + c.recipes.size() > DECIDE_PROGRAM_ENTRIES) return;
  decide_grow(c.program_actions, c.recipes.size());
  decide_program& p = c.programs[id];
  p.initial = ending.initial;
  p.prediction_count = ending.prediction.count;
  p.prediction = ending.prediction.target;
  p.frame = ending.frame;
  p.leo_set = ending.leos;
  p.leo = static_cast<uint32_t>(c.program_actions.size());
  p.leos = static_cast<uint32_t>(c.recipes.size() / 3);
  c.program_actions.insert(c.program_actions.end(), c.recipes.begin(), c.recipes.end());
  p.finished = true;
  if (p.prediction_count <= 1) p.runs |= DECIDE_RUN_ENDS;
  if (p.frame != DECIDE_NO_FRAME && c.frames[p.frame].count >= p.reach && c.frames[p.frame].apart >= p.reach) {
    p.runs |= DECIDE_RUN_APART;
  }
}

// Builds set j, started, from set j - 1 and `byte`, in two phases, and
// keeps the first as a program when set j - 1 has a frame.
void decide_build_anew(decide_chart& c, uint32_t j, unsigned char byte, uint32_t frame) {
  decide_record record{frame, false, {}};
  decide_record* noted = frame != DECIDE_NO_FRAME ? &record : nullptr;
  decide_waits waits{0, 0, 0};
  decide_first_phase(c, j, byte, noted, waits);
  decide_waits first = waits;
  uint32_t mark = c.item_count - decide_first(c, j);
  if (!c.pending.empty()) {
    std::vector<uint32_t> actions(c.pending);  // kept in `pending` for the program
    decide_second_phase(c, j, mark, actions.data(), actions.data() + actions.size(), waits);
  }
  bool plain = c.item_count - decide_first(c, j) == mark;  // the actions added nothing
  decide_ending ending{};
  decide_end_set(c, j, waits, ending);
  if (noted == nullptr) return;
  decide_program program{};
  program.once = first.once;
  program.more = first.more;
  program.predicted = first.predicted;
  size_t before = c.programs.size();
  std::vector<uint32_t> actions;
  for (uint32_t action : c.pending) {
    if (!decide_idle(c, action)) actions.push_back(action);
  }
  decide_keep_program(c, frame, byte, program, record.entries, actions);
  if (c.programs.size() > before && plain && decide_can_finish(c, static_cast<uint32_t>(before), j)) {
    decide_finish_program(c, static_cast<uint32_t>(before), ending);
  }
}

// Appends `count` items, each entry's state with the origin of the item of
// the set from `from`, `size` items long, that the entry names.
inline void decide_append_entries(decide_chart& c, const uint32_t* entry, uint32_t count, uint32_t from,
                                  uint32_t size) {
  if (c.room >= count && (from >> DECIDE_BLOCK_BITS) == ((from + size - 1) >> DECIDE_BLOCK_BITS)) {
    const decide_item* base = &c.blocks[from >> DECIDE_BLOCK_BITS][from & (DECIDE_BLOCK - 1)];
    decide_item* out = c.cursor;
    for (uint32_t k = 0; k < count; ++k) out[k] = (base[entry[k] >> 16] & ~DECIDE_STATE_MASK) | (entry[k] & 0xFFFF);
    c.cursor = out + count;
    c.room -= count;
    c.item_count += count;
    return;
  }
  {
    for (const uint32_t* end = entry + count; entry < end; ++entry) {
      decide_append(c, (decide_at(c, from + (*entry >> 16)) & ~DECIDE_STATE_MASK) | (*entry & 0xFFFF));
    }
  }
}

// Ends set j as program `p` knows it ends, its actions having added nothing.
inline void decide_end_known(decide_chart& c, uint32_t j, const decide_program& p) {
  if (j < DECIDE_MAX_LENGTH) {
    for (uint32_t k = 0; k < p.prediction_count; ++k) {
      decide_append(c, decide_make(p.prediction_count == 1 ? p.prediction : c.pieces[p.prediction + k], j));
    }
  }
  c.sets[j].waited = p.once;
  c.sets[j].frame = p.frame;
  if (p.leos != 0) decide_leo_items(c, j, c.program_actions.data() + p.leo, p.leos);
  c.sets[j].frame = decide_known_frame(c, j, p);
  if (c.completions && decide_first(c, j) < c.item_count) decide_tails(c, j);
}

// --- Nodes: the second phase, kept ---

constexpr uint32_t DECIDE_NOOP = 1u << 16;       // the token of an action that adds nothing
constexpr uint32_t DECIDE_LEO_TOKEN = 1u << 29;  // with state << 16 | frame: of an action that adds a Leo item's top

// The token of an action that adds the Leo item's top `top`: its state, and
// the frame of the set where it began, which says what completing it
// from there does; DECIDE_NONE where that set has no frame.
inline uint32_t decide_leo_token(const decide_chart& c, decide_item top) {
  uint32_t frame = c.sets[decide_origin(top)].frame;
  return frame == DECIDE_NO_FRAME ? DECIDE_NONE : DECIDE_LEO_TOKEN | decide_state_of(top) << 16 | frame;
}
constexpr uint32_t DECIDE_CHECK = 1u << 30;      // an entry that may meet an item of its state in the set
constexpr uint32_t DECIDE_DUP = 1u << 31;        // one that met the very item when the node was made

// The token of an action of a node for set j, by which its child is found:
// the frame of the set the action completes from, `from`, or, for the Leo
// item's top it adds, `top`, decide_leo_token's; DECIDE_NOOP where the
// action finds nothing, DECIDE_NONE for an open state or a set without a
// frame.
inline uint32_t decide_token(const decide_chart& c, uint32_t j, uint32_t action, uint32_t& from, decide_item& top) {
  uint32_t n = action & 0xFFFF, at = action >> 16;
  if (at == DECIDE_LEO_ACTION) {
    top = decide_find_leo(c, j - 1, n)->top;
    return decide_leo_token(c, top);
  }
  decide_item item = decide_at(c, decide_first(c, j) + at);
  if (c.states[decide_state_of(item)].prediction == DECIDE_OPEN) return DECIDE_NONE;
  from = decide_origin(item);
  const decide_set& set = c.sets[from];
  if (((set.waited | set.leos) >> n & 1) == 0) return DECIDE_NOOP;
  if (decide_has(set.leos, n)) {
    top = decide_find_leo(c, from, n)->top;
    return decide_leo_token(c, top);
  }
  return set.frame == DECIDE_NO_FRAME ? DECIDE_NONE : set.frame;
}

inline size_t decide_step_slot(uint64_t key, size_t mask) {
  return static_cast<size_t>((key * uint64_t{0x9E3779B97F4A7C15}) >> 32) & mask;
}

// The key of the child of node `node` for its action `offset`, of `token`.
inline uint64_t decide_step_key(uint32_t node, uint32_t offset, uint32_t token) {
  return ((uint64_t{node} << 8 | offset) << 30 | token) + 1;
}

// The child of node `node` for its action `offset`, of `token`, or
// DECIDE_NONE. The node keeps the last it was asked for.
uint32_t decide_lookup_step(decide_chart& c, uint32_t node, uint32_t offset, uint32_t token) {
  if (c.step_keys.empty()) return DECIDE_NONE;
  uint64_t key = decide_step_key(node, offset, token);
  size_t mask = c.step_keys.size() - 1;
  for (size_t at = decide_step_slot(key, mask);; at = (at + 1) & mask) {
    if (c.step_keys[at] == 0) return DECIDE_NONE;
    if (c.step_keys[at] != key) continue;
    c.programs[node].last_step = uint64_t{offset} << 30 | token;
    c.programs[node].last_child = c.step_ids[at];
    return c.step_ids[at];
  }
}
inline uint32_t decide_find_step(decide_chart& c, uint32_t node, uint32_t offset, uint32_t token) {
  const decide_program& p = c.programs[node];
  if (p.last_step == (uint64_t{offset} << 30 | token)) return p.last_child;
  return decide_lookup_step(c, node, offset, token);
}

// Files node `id` as the child of `node` for its action `offset`, of
// `token`; the tables grow first.
void decide_keep_step(decide_chart& c, uint32_t node, uint32_t offset, uint32_t token, uint32_t id) {
  if (2 * (size_t{c.step_count} + 1) > c.step_keys.size()) {
    std::vector<uint64_t> keys(std::max<size_t>(64, 2 * c.step_keys.size()), 0);
    std::vector<uint32_t> ids(keys.size(), 0);
    for (size_t k = 0; k < c.step_keys.size(); ++k) {
      if (c.step_keys[k] == 0) continue;
      size_t at = decide_step_slot(c.step_keys[k], keys.size() - 1);
      while (keys[at] != 0) at = (at + 1) & (keys.size() - 1);
      keys[at] = c.step_keys[k];
      ids[at] = c.step_ids[k];
    }
    c.step_keys.swap(keys);
    c.step_ids.swap(ids);
  }
  uint64_t key = decide_step_key(node, offset, token);
  size_t mask = c.step_keys.size() - 1, at = decide_step_slot(key, mask);
  while (c.step_keys[at] != 0) at = (at + 1) & mask;
  c.step_keys[at] = key;
  c.step_ids[at] = id;
  ++c.step_count;
}

// The item that `entry` of a node of `kind` makes, from set `from` or as
// `top`.
inline decide_item decide_entry_item(const decide_chart& c, uint32_t entry, uint8_t kind, uint32_t from, decide_item top) {
  if (kind == DECIDE_LEO_STEP) return top;
  return (decide_at(c, decide_first(c, from) + (entry >> 16 & 0xFF)) & ~DECIDE_STATE_MASK) | (entry & DECIDE_STATE_MASK);
}

// Whether the set being built holds `item`; with `state`, an item of its state.
inline bool decide_in_set(const decide_chart& c, decide_item item, bool state) {
  decide_item mask = state ? DECIDE_STATE_MASK : ~decide_item{0};
  return decide_any(c, c.first, c.item_count, [item, mask](decide_item k) { return ((k ^ item) & mask) == 0; });
}

// Adds the items of node `id`, taken from set `from` or as `top`, to the
// set being built, unless one meets the set otherwise than when the node
// was made; whether they all went as then.
bool decide_take_node(decide_chart& c, uint32_t id, uint32_t from, decide_item top) {
  const decide_program& p = c.programs[id];
  const uint32_t* entry = c.program_entries.data() + p.entry;
  for (const uint32_t* end = entry + p.count; entry < end; ++entry) {
    decide_item item = decide_entry_item(c, *entry, p.kind, from, top);
    if ((*entry & DECIDE_CHECK) != 0) {
      bool in = decide_in_set(c, item, false);
      if (in != ((*entry & DECIDE_DUP) != 0)) return false;
      if (in) continue;
    }
    decide_append(c, item);
  }
  return true;
}

// The items that completing the nonterminal n from set `from`, of a frame,
// makes, as entries naming its items: its items that wait for n moved
// past it.
void decide_completed_entries(decide_chart& c, uint32_t n, uint32_t from, std::vector<uint32_t>& entries) {
  uint32_t first = decide_first(c, from);
  const uint32_t* frame = c.frame_entries.data() + c.frames[c.sets[from].frame].entry;
  int symbol = DECIDE_NONTERMINAL + static_cast<int>(n);
  for (uint32_t k = first, end = c.sets[from + 1].item; k < end; ++k) {
    decide_item item = decide_at(c, k);
    uint32_t state = decide_state_of(item);
    if (decide_origin(item) == from) break;  // the predictions, the last items
    const decide_state& s = c.states[state];
    if (!decide_has(s.waits, n)) continue;
    uint32_t edge = decide_find_edge(c, s.edge + s.terminals, s.edge + s.edge_count, symbol);
    decide_targets targets{c.edges[edge].count, c.edges[edge].target};
    if (targets.count == 0) targets = decide_take(c, state, edge);
    frame = c.frame_entries.data() + c.frames[c.sets[from].frame].entry;  // decide_take may move nothing of it, but be sure
    uint32_t same = frame[k - first] >> 16;
    for (uint32_t t = 0; t < targets.count; ++t) {
      entries.push_back((targets.count == 1 ? targets.target : c.pieces[targets.target + t]) | same << 16);
    }
  }
}

// Makes the child of node `parent` for its action `offset`, whose token
// is `token`, taking it from set `from` or as `top`: its items join the
// set being built, their completions become actions after the parent's
// others. DECIDE_NONE where the set would grow past a frame or the chart
// has no room; what it added then is done over by the caller.
uint32_t decide_make_node(decide_chart& c, uint32_t parent, uint32_t offset, uint32_t token, uint32_t from,
                          decide_item top) {
  uint32_t action = c.program_actions[c.programs[parent].action + offset];
  std::vector<uint32_t> entries;
  uint8_t kind = (token & DECIDE_LEO_TOKEN) != 0 ? DECIDE_LEO_STEP : DECIDE_STEP;
  if (kind == DECIDE_LEO_STEP) {
    entries.push_back(decide_state_of(top));
  } else {
    decide_completed_entries(c, action & 0xFFFF, from, entries);
  }
  if (c.item_count - c.first + entries.size() > DECIDE_FRAME_ITEMS) return DECIDE_NONE;
  const decide_program& p = c.programs[parent];
  std::vector<uint32_t> actions(c.program_actions.data() + p.action + offset + 1,
                                c.program_actions.data() + p.action + p.actions);
  decide_program node{};
  node.kind = kind;
  node.mixed = p.mixed || !entries.empty();
  node.reach = static_cast<uint8_t>(c.item_count - c.first + entries.size());  // no more than DECIDE_FRAME_ITEMS
  decide_waits waits{p.once, p.more, p.predicted};
  for (uint32_t& entry : entries) {
    decide_item item = decide_entry_item(c, entry, kind, from, top);
    bool in = decide_in_set(c, item, false);
    if (decide_in_set(c, item, true)) {
      entry |= DECIDE_CHECK | (in ? DECIDE_DUP : 0);
      node.doubt = true;
    }
    if (in) continue;
    uint32_t index = c.item_count - c.first;
    decide_append(c, item);
    const decide_state& s = c.states[decide_state_of(item)];
    decide_note(waits, s);
    decide_members(s.completes & ~DECIDE_START_BIT, [&c, &actions, index](uint32_t n) {
      if (!decide_idle(c, n | index << 16)) actions.push_back(n | index << 16);
    });
  }
  node.once = waits.once;
  node.more = waits.more;
  node.predicted = waits.predicted;
  if (!decide_program_room(c, entries.size(), actions.size())) return DECIDE_NONE;
  if (actions.size() > 0xFF) return DECIDE_NONE;  // offsets fit their bits
  uint32_t id = decide_add_program(c, node, entries, actions);
  decide_keep_step(c, parent, offset, token, id);
  return id;
}

// Whether the items of set j, but its predictions, are told apart by their
// origins as the first items of `frame` are.
bool decide_pattern_fits(const decide_chart& c, uint32_t j, uint32_t frame) {
  uint32_t first = decide_first(c, j), count = c.item_count - first;
  if (frame == DECIDE_NO_FRAME || c.frames[frame].count < count) return false;
  const uint32_t* entries = c.frame_entries.data() + c.frames[frame].entry;
  decide_item items[DECIDE_FRAME_ITEMS];
  for (uint32_t k = 0; k < count; ++k) {
    items[k] = decide_at(c, first + k);
    uint32_t same = 0;
    while ((items[same] ^ items[k]) > DECIDE_STATE_MASK) ++same;
    if (same != entries[k] >> 16) return false;
  }
  return true;
}

// Ends set j at node `id`, which has no actions left: as the node knows,
// where it does and the origins fit, else found, and kept in the node.
void decide_end_node(decide_chart& c, uint32_t j, uint32_t id) {
  const decide_program& p = c.programs[id];
  if (p.finished && (!p.mixed || decide_pattern_fits(c, j, p.frame))) {
    decide_end_known(c, j, p);
    return;
  }
  decide_waits waits{p.once, p.more, p.predicted};
  bool fits = !p.finished;
  decide_ending ending{};
  decide_end_set(c, j, waits, ending);
  if (fits && decide_can_finish(c, id, j)) decide_finish_program(c, id, ending);
}

// Goes on building set j step by step from node `id`, whose actions from
// `offset` are yet to do, the set's items after its first `mark` yet to
// complete.
void decide_walk_off(decide_chart& c, uint32_t j, uint32_t id, uint32_t offset, uint32_t mark) {
  const decide_program& p = c.programs[id];
  decide_waits waits{p.once, p.more, p.predicted};
  std::vector<uint32_t> actions(c.program_actions.data() + p.action + offset,
                                c.program_actions.data() + p.action + p.actions);
  c.signature = 0;
  decide_any(c, c.first, c.item_count, [&c](decide_item item) {
    c.signature |= decide_signature(item);
    return false;
  });
  if (c.item_count - c.first > DECIDE_SHORT) decide_hash_set(c);
  decide_second_phase(c, j, mark, actions.data(), actions.data() + actions.size(), waits);
  decide_ending ending{};
  decide_end_set(c, j, waits, ending);
}

// Builds set j, whose items from node `id` are in, by the nodes of its
// actions from `offset`: each action adds nothing, or leads to a child node, found by
// the action's token and made the first time, that adds its items. Where
// a node cannot be found, made or taken as it was made, the rest is done
// step by step. A node whose actions all add nothing ends the set.
void decide_walk(decide_chart& c, uint32_t j, uint32_t id, uint32_t offset) {
  for (;;) {
    if (offset == c.programs[id].actions) {
      decide_end_node(c, j, id);
      return;
    }
    uint32_t action = c.program_actions[c.programs[id].action + offset], from = 0;
    decide_item top = 0;
    uint32_t token = decide_token(c, j, action, from, top);
    if (token == DECIDE_NOOP) {
      ++offset;
      continue;
    }
    uint32_t mark = c.item_count - c.first;
    uint32_t child = token == DECIDE_NONE ? DECIDE_NONE : decide_find_step(c, id, offset, token);
    bool taken = false;
    if (child != DECIDE_NONE) {
      taken = decide_take_node(c, child, from, top);
    } else if (token != DECIDE_NONE) {
      child = decide_make_node(c, id, offset, token, from, top);
      taken = child != DECIDE_NONE;
    }
    if (!taken) {
      decide_walk_off(c, j, id, offset, mark);
      return;
    }
    id = child;
    offset = 0;
  }
}

// Builds set j, started, from set j - 1 by program `id`: its items, then
// its actions by their nodes.
void decide_build_again(decide_chart& c, uint32_t j, uint32_t id) {
  const decide_program& p = c.programs[id];
  uint32_t from = decide_first(c, j - 1);
  decide_append_entries(c, c.program_entries.data() + p.entry, p.count, from, decide_first(c, j) - from);
  decide_walk(c, j, id, 0);
}

// Builds set j, started, from set j - 1 and `byte`.
inline void decide_build(decide_chart& c, uint32_t j, unsigned char byte) {
  decide_start_set(c);
  c.pending.clear();
  uint32_t frame = c.sets[j - 1].frame;
  uint32_t id = frame == DECIDE_NO_FRAME ? DECIDE_NONE : decide_find_program(c, frame, byte);
  if (id != DECIDE_NONE) {
    decide_build_again(c, j, id);
  } else {
    decide_build_anew(c, j, byte, frame);
  }
}


// --- Replays: the usual push, straight ---


// Where a replay writes: set j's items so far, in the last block.
struct decide_replay_at {
  uint32_t j;           // the set built
  decide_item* start;   // its first item
  decide_item* out;     // where its next goes
};

// The first `count` items of the set, those of `start`, go into the chart.
inline void decide_replay_done(decide_chart& c, const decide_replay_at& r) {
  auto count = static_cast<uint32_t>(r.out - r.start);
  c.cursor = r.out;
  c.room -= count;
  c.item_count += count;
}

// The items of set i, when they are in one block, else null.
inline const decide_item* decide_items_of(const decide_chart& c, uint32_t i) {
  uint32_t from = c.sets[i].item, to = c.sets[i + 1].item;
  if (from == to || (from >> DECIDE_BLOCK_BITS) != ((to - 1) >> DECIDE_BLOCK_BITS)) return nullptr;
  return &c.blocks[from >> DECIDE_BLOCK_BITS][from & (DECIDE_BLOCK - 1)];
}

// Takes action `action` of node `id` straight: nothing, or the items of
// the child node it leads to, made already and of no doubt. The node the
// walk goes on from, `id` again for nothing, or DECIDE_NONE where it is
// not for a replay.
inline uint32_t decide_replay_action(decide_chart& c, decide_replay_at& r, uint32_t id, uint32_t offset,
                                     uint32_t action) {
  uint32_t n = action & 0xFFFF, at = action >> 16, token = 0;
  decide_item top = 0;
  const decide_item* base = nullptr;
  if (at == DECIDE_LEO_ACTION) {
    top = decide_find_leo(c, r.j - 1, n)->top;
    token = decide_leo_token(c, top);
    if (token == DECIDE_NONE) return DECIDE_NONE;
  } else {
    uint32_t from = decide_origin(r.start[at]);  // not open: the caller saw to that
    const decide_set& set = c.sets[from];
    if (((set.waited | set.leos) >> n & 1) == 0) return id;
    if (decide_has(set.leos, n)) {
      top = decide_find_leo(c, from, n)->top;
      token = decide_leo_token(c, top);
      if (token == DECIDE_NONE) return DECIDE_NONE;
    } else {
      token = set.frame;
      base = decide_items_of(c, from);
      if (token == DECIDE_NO_FRAME || base == nullptr) return DECIDE_NONE;
    }
  }
  uint32_t child = decide_find_step(c, id, offset, token);
  if (child == DECIDE_NONE || c.programs[child].doubt) return DECIDE_NONE;
  const decide_program& p = c.programs[child];
  const uint32_t* entry = c.program_entries.data() + p.entry;
  if (base == nullptr) {
    *r.out++ = top;  // a Leo node's one item
  } else {
    for (uint32_t k = 0; k < p.count; ++k) r.out[k] = (base[entry[k] >> 16] & ~DECIDE_STATE_MASK) | (entry[k] & 0xFFFF);
    r.out += p.count;
  }
  return child;
}

// Whether the `count` items from `items` all began in different sets; the
// three or four of a usual set are compared without a loop.
inline bool decide_apart(const decide_item* items, uint32_t count) {
  if (count == 3) {
    uint32_t a = decide_origin(items[0]), b = decide_origin(items[1]), d = decide_origin(items[2]);
    return a != b && a != d && b != d;
  }
  if (count == 4) {
    uint32_t a = decide_origin(items[0]), b = decide_origin(items[1]), d = decide_origin(items[2]);
    uint32_t e = decide_origin(items[3]);
    return a != b && a != d && b != d && a != e && b != e && d != e;
  }
  for (uint32_t k = 1; k < count; ++k) {
    for (uint32_t m = 0; m < k; ++m) {
      if ((items[m] ^ items[k]) <= DECIDE_STATE_MASK) return false;
    }
  }
  return true;
}

// Whether the items written are told apart by origin as the first items
// of `frame` are.
inline bool decide_replay_fits(const decide_chart& c, const decide_replay_at& r, uint32_t frame) {
  auto count = static_cast<uint32_t>(r.out - r.start);
  if (frame == DECIDE_NO_FRAME || c.frames[frame].count < count) return false;
  if (c.frames[frame].apart >= count) {  // the usual: no two began together
    return decide_apart(r.start, count);
  }
  const uint32_t* entries = c.frame_entries.data() + c.frames[frame].entry;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t same = 0;
    while ((r.start[same] ^ r.start[k]) > DECIDE_STATE_MASK) ++same;
    if (same != entries[k] >> 16) return false;
  }
  return true;
}

// Ends set j at node `id` as the node knows, where it does, the origins fit
// and there is room for the predictions; else as decide_end_node does.
inline void decide_replay_end(decide_chart& c, decide_replay_at& r, uint32_t id) {
  const decide_program& p = c.programs[id];
  if (!p.finished || (p.mixed && !decide_replay_fits(c, r, p.frame)) || r.j >= DECIDE_MAX_LENGTH ||
      p.prediction_count > DECIDE_REPLAY_ROOM - static_cast<uint32_t>(r.out - r.start)) {
    decide_replay_done(c, r);
    decide_resume_set(c, r.j);
    decide_end_node(c, r.j, id);
    return;
  }
  for (uint32_t k = 0; k < p.prediction_count; ++k) {
    *r.out++ = decide_make(p.prediction_count == 1 ? p.prediction : c.pieces[p.prediction + k], r.j);
  }
  decide_replay_done(c, r);
  c.sets[r.j].waited = p.once;
  c.sets[r.j].frame = p.frame;
  if (p.leos != 0) decide_leo_items(c, r.j, c.program_actions.data() + p.leo, p.leos);
  c.sets[r.j].frame = decide_known_frame(c, r.j, p);
  if (c.completions) decide_tails(c, r.j);
}

// Builds set j, started, by program `id` of set j - 1's frame, writing its
// items straight into the last block, which has room for
// DECIDE_REPLAY_ROOM, from set j - 1's, `before`, in one block: the program's items,
// then those of the nodes its actions lead to, and the ending the last
// knows. Where that does not go straight, decide_walk goes on.
void decide_replay(decide_chart& c, uint32_t j, uint32_t id, const decide_item* before) {
  decide_replay_at r{j, c.cursor, c.cursor};
  const decide_program* p = &c.programs[id];
  const uint32_t* entry = c.program_entries.data() + p->entry;
  for (uint32_t k = 0; k < p->count; ++k) r.out[k] = (before[entry[k] >> 16] & ~DECIDE_STATE_MASK) | (entry[k] & 0xFFFF);
  r.out += p->count;
  for (uint32_t offset = 0; offset < c.programs[id].actions;) {
    uint32_t action = c.program_actions[c.programs[id].action + offset];
    uint32_t next = c.programs[id].opens ? DECIDE_NONE : decide_replay_action(c, r, id, offset, action);
    if (next == DECIDE_NONE) {
      decide_replay_done(c, r);
      decide_resume_set(c, j);
      decide_walk(c, j, id, offset);
      return;
    }
    if (next == id) {
      ++offset;
    } else {
      id = next;
      offset = 0;
    }
  }
  decide_replay_end(c, r, id);
}
// --- The table ---

inline int16_t decide_symbol(char c) {
  return is_nonterminal(c) ? static_cast<int16_t>(DECIDE_NONTERMINAL + (c - 'A'))
                           : static_cast<int16_t>(static_cast<unsigned char>(c));
}

// The fewest rules that derive the empty string from each nonterminal,
// and the alternative to apply first: lowered to a fixed point, so that
// each chosen alternative's nonterminals need fewer rules than its owner,
// and an empty derivation built from them ends.
void decide_empty_derivations(decide_chart& c, const grammar_table& g, const uint8_t (&owner)[MAX_RULES * MAX_ALTERNATIVES],
                              const uint16_t (&first_rule)[MAX_RULES * MAX_ALTERNATIVES]) {
  std::fill(std::begin(c.empty_steps), std::end(c.empty_steps), DECIDE_NO_STEPS);
  int count = g.choice_start[NONTERMINAL_COUNT];
  for (bool fell = true; fell;) {
    fell = false;
    for (int k = 0; k < count; ++k) {
      uint64_t steps = 1;  // held at DECIDE_NO_STEPS - 1 when larger
      for (char s : grammar_choice_text(g, g.choices[k])) {
        uint64_t more = is_nonterminal(s) ? c.empty_steps[s - 'A'] : DECIDE_NO_STEPS;
        if (more == DECIDE_NO_STEPS) {
          steps = DECIDE_NO_STEPS;
          break;
        }
        steps = more > DECIDE_NO_STEPS - 1 - steps ? DECIDE_NO_STEPS - 1 : steps + more;
      }
      uint64_t& own = c.empty_steps[owner[k]];
      if (steps < own) {
        own = steps;
        c.empty_rule[owner[k]] = first_rule[k];
        fell = true;
      }
    }
  }
  c.nullable = 0;
  for (uint32_t n = 0; n < NONTERMINAL_COUNT; ++n) {
    if (c.empty_steps[n] != DECIDE_NO_STEPS) c.nullable |= nonterminal_set{1} << n;
  }
}

// Each owner's alternatives' first dotted rules, and what predicting each
// owner predicts: itself and, to a fixed point, what its alternatives wait
// for from their start, past nullable nonterminals. An alternative that
// holds a nonterminal deriving nothing is never predicted: every item of a
// set can still grow into a sentence, and a set is empty once no sentence
// is left.
void decide_first_rules(decide_chart& c, const uint16_t (&first_rule)[MAX_RULES * MAX_ALTERNATIVES],
                        const grammar_table& g) {
  c.first_rules.clear();
  for (uint32_t n = 0; n < NONTERMINAL_COUNT; ++n) {
    c.first_at[n] = static_cast<uint32_t>(c.first_rules.size());
    for (int k = g.choice_start[n]; k < g.choice_start[n + 1]; ++k) {
      if (!g.choices[k].doomed) c.first_rules.push_back(first_rule[k]);
    }
  }
  c.first_at[DECIDE_START] = static_cast<uint32_t>(c.first_rules.size());
  c.first_rules.push_back(0);  // the start form's, the first dotted rule
  c.first_at[DECIDE_OWNERS] = static_cast<uint32_t>(c.first_rules.size());
  for (uint32_t n = 0; n < DECIDE_OWNERS; ++n) {
    c.closure[n] = decide_bit(n);
    for (uint32_t k = c.first_at[n]; k < c.first_at[n + 1]; ++k) {
      for (uint32_t r = c.first_rules[k]; c.rules[r].next >= DECIDE_NONTERMINAL; ++r) {
        auto b = static_cast<uint32_t>(c.rules[r].next - DECIDE_NONTERMINAL);
        c.closure[n] |= decide_bit(b);
        if (!decide_has(c.nullable, b)) break;
      }
    }
  }
  for (bool grew = true; grew;) {
    grew = false;
    for (uint32_t n = 0; n < DECIDE_OWNERS; ++n) {
      nonterminal_set more = c.closure[n];
      decide_members(c.closure[n], [&c, &more](uint32_t b) { more |= c.closure[b]; });
      grew = grew || more != c.closure[n];
      c.closure[n] = more;
    }
  }
}

// Forgets every state: they belong to the table compiled before.
void decide_forget_states(decide_chart& c) {
  c.states.clear();
  c.state_rules.clear();
  c.edges.clear();
  c.pieces.clear();
  c.state_hash.clear();
  c.alone.assign(c.rules.size(), 0);
  c.alone_missing = static_cast<uint32_t>(c.rules.size());
  c.state_limit = DECIDE_STATE_LIMIT;
  c.predictions.clear();
  c.prediction_count = 0;
  c.candidates_ever = 0;
  c.leos_ever = 0;
  c.frames.clear();
  c.frame_entries.clear();
  c.frame_hash.clear();
  c.programs.clear();
  c.program_entries.clear();
  c.program_actions.clear();
  c.program_hash.clear();
}

// The chart's own copy of the table: its dotted rules and their lists.
void decide_compile(decide_chart& c, const grammar_table& g) {
  grammar_facts facts{};
  if (c.completions) analysis_facts(g, facts);
  c.rules.clear();
  c.rest_lengths.clear();
  auto add_rules = [&c, &facts](std::string_view text, uint8_t owner, grammar_label label) {
    for (size_t d = 0; d <= text.size(); ++d) {
      int16_t next = d < text.size() ? decide_symbol(text[d]) : DECIDE_END;
      c.rules.push_back({next, owner, static_cast<uint8_t>(d), label});
      if (c.completions) c.rest_lengths.push_back(analysis_text_lengths(facts, text.substr(d)));
    }
  };
  std::string_view seed = grammar_seed(g);
  add_rules(seed, DECIDE_START, {0, 0});
  c.seed_end = static_cast<uint16_t>(seed.size());
  uint8_t owner[MAX_RULES * MAX_ALTERNATIVES] = {};
  uint16_t first_rule[MAX_RULES * MAX_ALTERNATIVES] = {};
  for (int n = 0; n < NONTERMINAL_COUNT; ++n) {
    for (int k = g.choice_start[n]; k < g.choice_start[n + 1]; ++k) {
      owner[k] = static_cast<uint8_t>(n);
      first_rule[k] = static_cast<uint16_t>(c.rules.size());
      const grammar_choice& choice = g.choices[k];
      add_rules(grammar_choice_text(g, choice), static_cast<uint8_t>(n), {choice.entry, choice.slot});
    }
  }
  decide_empty_derivations(c, g, owner, first_rule);
  decide_first_rules(c, first_rule, g);
  decide_forget_states(c);
}

// Room for `room` sets, those in use kept; never less than there is.
void decide_room_for_sets(decide_chart& c, size_t room) {
  if (room <= c.set_room) return;
  std::unique_ptr<decide_set[]> more(new decide_set[room]);
  std::copy(c.sets.get(), c.sets.get() + c.set_count, more.get());
  c.sets.swap(more);
  c.set_room = static_cast<uint32_t>(room);
}
// Room for twice the sets.
void decide_more_sets(decide_chart& c) { decide_room_for_sets(c, 2 * size_t{c.set_room}); }

// Where a run of pushes writes: the last set and the items after it.
// The chart's arrays that the run reads are kept too: no push of a run
// makes a program, and one adds frames only where it makes Leo's items.
struct decide_run {
  uint32_t j;                        // the last set
  uint32_t frame;                    // its frame
  const decide_item* items;          // its items
  decide_item* out;                  // where the next item goes, in the last block
  uint32_t room;                     // the room left there
  uint32_t count;                    // the chart's items
  const decide_frame* frames;        // c.frames
  const decide_program* programs;    // c.programs
  const uint32_t* entries;           // c.program_entries
  const uint32_t* actions;           // c.program_actions
};

// The run at the chart's last set: false where that set is not for one:
// of no frame, dead, or with its items in two blocks.
inline bool decide_run_at(const decide_chart& c, decide_run& r) {
  uint32_t j = c.set_count - 1, from = c.sets[j].item;
  if (c.sets[j].frame == DECIDE_NO_FRAME || from == c.item_count || (from >> DECIDE_BLOCK_BITS) != ((c.item_count - 1) >> DECIDE_BLOCK_BITS)) return false;
  r = {j,        c.sets[j].frame, &c.blocks[from >> DECIDE_BLOCK_BITS][from & (DECIDE_BLOCK - 1)],
       c.cursor, c.room,          c.item_count,
       c.frames.data(), c.programs.data(), c.program_entries.data(), c.program_actions.data()};
  return true;
}

// The chart takes the run's items and sets.
inline void decide_run_off(decide_chart& c, const decide_run& r) {
  c.cursor = r.out;
  c.room = r.room;
  c.item_count = r.count;
  c.set_count = r.j + 1;
}

// What a push on a run did.
enum decide_run_push_result : uint8_t {
  DECIDE_RUN_NOT,   // nothing: the push is not for a run
  DECIDE_RUN_ON,    // the byte went in, and the run goes on
  DECIDE_RUN_LOST,  // the byte went in by decide_replay, and the chart has no run at its new set
};

// Writes `count` items to `out`, each entry's state with the origin of the
// item of `base` that the entry names.
inline void decide_copy_entries(decide_item* out, const decide_item* base, const uint32_t* entry, uint32_t count) {
  if (count - 1 < 2) {  // the usual one or two, without a loop
    out[0] = (base[entry[0] >> 16] & ~DECIDE_STATE_MASK) | (entry[0] & 0xFFFF);
    if (count == 2) out[1] = (base[entry[1] >> 16] & ~DECIDE_STATE_MASK) | (entry[1] & 0xFFFF);
    return;
  }
  for (uint32_t k = 0; k < count; ++k) out[k] = (base[entry[k] >> 16] & ~DECIDE_STATE_MASK) | (entry[k] & 0xFFFF);
}

// The node that a push by program `id` on the run ends at, its items
// written from the run's `out` on, `written` of them: the program, then
// the children its actions lead to, each found already and of no doubt,
// the last with its ending known; null where it is not for a run.
inline const decide_program* decide_run_node(decide_chart& c, const decide_run& r, uint32_t id, uint32_t& written) {
  const decide_program* programs = r.programs;
  const uint32_t* entries = r.entries;
  const uint32_t* actions = r.actions;
  const decide_set* sets = c.sets.get();
  const decide_program* p = programs + id;
  if ((p->runs & DECIDE_RUN_THROUGH) == 0) return nullptr;
  decide_item* out = r.out;
  decide_copy_entries(out, r.items, entries + p->entry, p->count);
  uint32_t count = p->count;
  for (uint32_t offset = 0; offset < p->actions;) {
    uint32_t action = actions[p->action + offset], n = action & 0xFFFF;
    if (action >> 16 == DECIDE_LEO_ACTION) return nullptr;
    const decide_set& set = sets[decide_origin(out[action >> 16])];
    if (((set.waited | set.leos) >> n & 1) == 0) {  // it adds nothing
      ++offset;
      continue;
    }
    // The set completed from began an item, so it has items, and with a
    // frame no more than DECIDE_FRAME_ITEMS: they are in one block where
    // its first is far enough from the block's end.
    uint32_t first = set.item, frame = set.frame;
    if ((set.leos >> n & 1) != 0 || frame == DECIDE_NO_FRAME ||
        (first & (DECIDE_BLOCK - 1)) > DECIDE_BLOCK - DECIDE_FRAME_ITEMS) {
      return nullptr;
    }
    uint32_t child =
        p->last_step == (uint64_t{offset} << 30 | frame) ? p->last_child : decide_lookup_step(c, id, offset, frame);
    if (child == DECIDE_NONE) return nullptr;
    p = programs + child;
    if ((p->runs & DECIDE_RUN_THROUGH) == 0 || count + p->count >= DECIDE_REPLAY_ROOM) return nullptr;
    const decide_item* base = &c.blocks[first >> DECIDE_BLOCK_BITS][first & (DECIDE_BLOCK - 1)];
    decide_copy_entries(out + count, base, entries + p->entry, p->count);
    count += p->count;
    id = child;
    offset = 0;
  }
  written = count;  // below DECIDE_REPLAY_ROOM, with room for the one prediction
  if ((p->runs & DECIDE_RUN_ENDS) == 0) return nullptr;
  if ((p->runs & DECIDE_RUN_MIXED) == 0) return p;
  if ((p->runs & DECIDE_RUN_APART) != 0 && count == p->reach) return decide_apart(out, count) ? p : nullptr;
  decide_replay_at at{r.j + 1, out, out + count};
  return decide_replay_fits(c, at, p->frame) ? p : nullptr;
}

// Pushes one byte on the run by its program and the nodes of its actions,
// as decide_run_node finds them, else by decide_replay, after which the
// run is found again.
inline decide_run_push_result decide_run_push(decide_chart& c, decide_run& r, unsigned char byte) {
  // A dead set's frame, of no items, has no programs: none of its pushes
  // was ever built.
  if (r.frame == DECIDE_NO_FRAME || r.room <= DECIDE_REPLAY_ROOM) return DECIDE_RUN_NOT;
  const decide_frame& f = r.frames[r.frame];
  uint32_t id = (f.recent[0] & 0x1FF) == byte   ? f.recent[0] >> 9
                : (f.recent[1] & 0x1FF) == byte ? f.recent[1] >> 9
                                                : decide_lookup_program(c, r.frame, byte);
  if (id == DECIDE_NONE) return DECIDE_RUN_NOT;
  uint32_t written = 0;
  const decide_program* node = decide_run_node(c, r, id, written);
  if (node == nullptr) {
    c.sets[r.j + 1] = {r.count, c.leo_count, 0, 0, DECIDE_NO_FRAME};
    ++r.j;
    decide_run_off(c, r);
    decide_replay(c, r.j, id, r.items);
    return decide_run_at(c, r) ? DECIDE_RUN_ON : DECIDE_RUN_LOST;
  }
  const decide_program& p = *node;
  decide_item* start = r.out;
  start[written] = decide_make(p.prediction, r.j + 1);  // counted only with a prediction; there is room
  uint32_t added = written + p.prediction_count;
  c.sets[++r.j] = {r.count, c.leo_count, p.once, 0, p.frame};
  r.items = start;
  r.out = start + added;
  r.room -= added;
  r.count += added;
  r.frame = p.frame;
  if (p.leos != 0) {
    decide_run_off(c, r);  // a chain may look at any set
    decide_leo_items(c, r.j, c.program_actions.data() + p.leo, p.leos);
    r.frame = c.sets[r.j].frame = decide_known_frame(c, r.j, p);
    r.frames = c.frames.data();
  }
  return DECIDE_RUN_ON;
}

// Pushes the bytes [at, end) on a chart with room for their sets and
// without completions, as long as each goes by a program and a run; where
// it stopped: at the end, at a dead prefix, or where decide_extend is to go
// on. The sets of the bytes stay below DECIDE_MAX_LENGTH, so that each has
// its predictions.
const unsigned char* decide_run_on(decide_chart& c, const unsigned char* at, const unsigned char* end) {
  decide_run r{};
  if (!decide_run_at(c, r)) return at;
  while (at < end) {
    decide_run_push_result result = decide_run_push(c, r, *at);
    if (result == DECIDE_RUN_NOT) break;
    ++at;
    if (result == DECIDE_RUN_LOST) return at;
  }
  decide_run_off(c, r);
  return at;
}

// The prefix grows by `byte`, shorter than DECIDE_MAX_LENGTH, with room
// for its set: a bad_alloc leaves the new set in, for the caller to drop.
inline void decide_extend(decide_chart& c, unsigned char byte) {
  uint32_t n = c.set_count - 1, first = c.sets[n].item, end = c.item_count, frame = c.sets[n].frame;
  c.sets[c.set_count++] = {end, c.leo_count, 0, 0, DECIDE_NO_FRAME};
  if (c.completions) c.tail_start.push_back(static_cast<uint32_t>(c.tails.size()));
  if (first == end) return;  // nothing to scan
  if (frame != DECIDE_NO_FRAME && c.room >= DECIDE_REPLAY_ROOM) {
    uint32_t id = decide_find_program(c, frame, byte);
    const decide_item* before = decide_items_of(c, n);
    if (id != DECIDE_NONE && before != nullptr) {
      decide_replay(c, n + 1, id, before);
      return;
    }
  }
  decide_build(c, n + 1, byte);
}

}  // namespace

void decide_begin(decide_chart& chart, const grammar_table& g, bool completions) {
  decide_chart& c = chart;
  c.item_count = 0;
  c.room = 0;
  c.set_count = 0;
  c.leo_count = 0;
  c.tails.clear();
  c.tail_start.clear();
  // What a longer string took before is given back.
  if (c.blocks.size() > 1) c.blocks.resize(1);
  if (c.set_room > 4096) {
    c.sets.reset();
    c.set_room = 0;
  }
  if (c.leo.size() > 4096) std::vector<decide_leo>().swap(c.leo);
  if (c.seen.size() > 4096) {
    std::vector<uint64_t>().swap(c.seen);
    c.seen_bits = 0;
    c.seen_mask = 0;
  }
  c.completions = completions;
  decide_compile(c, g);
  std::string_view seed = grammar_seed(g);
  bool barren = !seed.empty() && is_nonterminal(seed[0]) && (g.derives >> (seed[0] - 'A') & 1) == 0;
  decide_room_for_sets(c, 16);
  c.sets[0] = {0, 0, 0, 0, DECIDE_NO_FRAME};
  c.set_count = 1;
  if (c.completions) c.tail_start.push_back(0);
  decide_start_set(c);
  decide_waits waits{0, 0, barren ? 0 : c.closure[DECIDE_START]};
  decide_ending ending{};
  decide_end_set(c, 0, waits, ending);
}

void decide_push(decide_chart& chart, unsigned char byte) {
  decide_chart& c = chart;
  uint32_t n = decide_last(c);
  if (n >= DECIDE_MAX_LENGTH) throw std::length_error("decide: string longer than DECIDE_MAX_LENGTH");
  if (c.set_count == c.set_room) decide_more_sets(c);
  try {
    decide_extend(c, byte);
  } catch (...) {
    decide_truncate(c, n + 1);
    throw;
  }
}

void decide_pop(decide_chart& chart) {
  if (chart.set_count > 1) decide_truncate(chart, decide_last(chart));
}

void decide_pop_to(decide_chart& chart, size_t length) {
  if (length < decide_length(chart)) decide_truncate(chart, static_cast<uint32_t>(length) + 1);
}

bool decide_alive(const decide_chart& chart) {
  return decide_first(chart, decide_last(chart)) < chart.item_count;
}

bool decide_accepts(const decide_chart& chart) {
  const decide_chart& c = chart;
  return decide_any(c, decide_first(c, decide_last(c)), c.item_count, [&c](decide_item item) {
    return (c.states[decide_state_of(item)].completes & DECIDE_START_BIT) != 0;
  });
}

// Only the first set's predictions add to its completions: elsewhere what
// a prediction can complete is within what the items waiting for its
// nonterminal can.
length_set decide_completions(const decide_chart& chart) {
  const decide_chart& c = chart;
  if (!c.completions) return 0;
  length_set lengths = 0;
  uint32_t j = decide_last(c);
  decide_any(c, decide_first(c, j), c.item_count, [&c, &lengths, j](decide_item item) {
    uint32_t origin = decide_origin(item);
    if (origin == j && j > 0) return true;  // the predictions, the last items
    decide_each_rule(c, decide_state_of(item), [&c, &lengths, origin](uint32_t r) {
      lengths |= analysis_add_lengths(c.rest_lengths[r], decide_tail_of(c, origin, c.rules[r].owner));
    });
    return false;
  });
  return lengths;
}

namespace {

// How a derivation is rebuilt: a stack of tasks, the next on top, each
// either a rule to write or a piece of the chart to take apart into its
// children, which are pushed rightmost first so that the leftmost comes
// out next: the rules come out in the order of a leftmost derivation.
enum decide_task_kind : uint8_t {
  DECIDE_LABEL,     // write the label of `rule`, which stands in no item
  DECIDE_EMPTY,     // write the empty derivation of the nonterminal `rule`
  DECIDE_ITEM,      // write the label of the completed `rule`, then its children
  DECIDE_CHILDREN,  // the children of the symbols before the position of `rule`
};
struct decide_task {
  uint32_t set;           // the rule's set
  uint32_t index;         // the index in the chart of the item that holds it
  uint32_t origin;        // the rule's origin
  uint16_t rule;          // the dotted rule, or a nonterminal
  decide_task_kind kind;  // what to do
};

// Finds rules in sets: a scan of a small set, and a search in a copy,
// sorted by origin and made the first time, of a larger one.
struct decide_finder {
  const decide_chart* chart;     // the chart searched
  std::vector<uint32_t> copy;    // for each set, 1 + where its sorted copy starts in `sorted`, or 0
  std::vector<uint64_t> sorted;  // the sorted copies: origin << 32 | index
};
constexpr uint32_t DECIDE_SMALL_SET = 24;  // items of a set that is scanned

// The rank of the dotted rule `rule` in the state of `item`, its place in
// the state's order, or DECIDE_NONE where the state lacks it.
inline uint32_t decide_rank(const decide_chart& c, decide_item item, uint32_t rule) {
  const decide_state& s = c.states[decide_state_of(item)];
  const uint16_t* rules = decide_rules_of(c, s);
  for (uint32_t k = 0; k < s.rule_count; ++k) {
    if (rules[k] == rule) return k;
  }
  return DECIDE_NONE;
}
inline bool decide_holds(const decide_chart& c, decide_item item, uint32_t rule) {
  return decide_rank(c, item, rule) != DECIDE_NONE;
}

// The index of the first item of set j that holds `rule` with `origin`,
// if it is before `limit`, else DECIDE_NONE. Which one is found does not
// depend on the numbers of the states.
uint32_t decide_find(decide_finder& f, uint32_t j, uint32_t rule, uint32_t origin, uint32_t limit) {
  const decide_chart& c = *f.chart;
  uint32_t first = decide_first(c, j), end = decide_end(c, j);
  if (end - first <= DECIDE_SMALL_SET) {
    for (uint32_t k = first; k < std::min(end, limit); ++k) {
      decide_item item = decide_at(c, k);
      if (decide_origin(item) == origin && decide_holds(c, item, rule)) return k;
    }
    return DECIDE_NONE;
  }
  if (f.copy.empty()) f.copy.assign(c.set_count, 0);
  if (f.copy[j] == 0) {
    f.copy[j] = static_cast<uint32_t>(f.sorted.size()) + 1;
    for (uint32_t k = first; k < end; ++k) f.sorted.push_back(uint64_t{decide_origin(decide_at(c, k))} << 32 | k);
    std::sort(f.sorted.data() + f.copy[j] - 1, f.sorted.data() + f.sorted.size());
  }
  const uint64_t* to = f.sorted.data() + f.copy[j] - 1 + (end - first);
  for (const uint64_t* at = std::lower_bound(to - (end - first), to, uint64_t{origin} << 32);
       at < to && *at >> 32 == origin; ++at) {
    auto index = static_cast<uint32_t>(*at);
    if (index >= limit) break;
    if (decide_holds(c, decide_at(c, index), rule)) return index;
  }
  return DECIDE_NONE;
}

// The first rule of `state`, of rank below `limit`, that completes the
// nonterminal n, or DECIDE_NONE.
uint32_t decide_completed_rule(const decide_chart& c, uint32_t state, uint32_t n, uint32_t limit) {
  const decide_state& s = c.states[state];
  const uint16_t* rules = decide_rules_of(c, s);
  for (uint32_t k = 0; k < std::min<uint32_t>(limit, s.rule_count); ++k) {
    if (c.rules[rules[k]].next == DECIDE_END && c.rules[rules[k]].owner == n) return rules[k];
  }
  return DECIDE_NONE;
}

// Adds the empty derivation of the nonterminal n to the tasks, unless the
// derivation would grow too long.
bool decide_push_empty(const decide_chart& c, uint32_t n, std::vector<decide_task>& tasks, uint64_t& steps) {
  if (c.empty_steps[n] > DECIDE_MAX_STEPS - std::min<uint64_t>(steps, DECIDE_MAX_STEPS)) return false;
  tasks.push_back({0, 0, 0, static_cast<uint16_t>(n), DECIDE_EMPTY});
  steps += c.empty_steps[n];
  return true;
}

// The links of a chain of Leo's items, from the completed nonterminal
// `symbol` begun in set `at` up to the rule of `target`: for each, the
// children of the rule that waited, and the label of that rule moved past
// its nonterminal, which no item holds.
bool decide_leo_links(const decide_chart& c, uint32_t at, uint32_t symbol, decide_item target,
                      std::vector<decide_task>& tasks, uint64_t& steps) {
  uint32_t top = c.state_rules[c.states[decide_state_of(target)].rule];
  for (;;) {
    uint32_t rule = 0;
    uint32_t u = decide_only_waiting(c, at, symbol, rule);
    if (u == DECIDE_NONE) return false;
    uint32_t origin = decide_origin(decide_at(c, u));
    tasks.push_back({at, u, origin, static_cast<uint16_t>(rule), DECIDE_CHILDREN});
    if (rule + 1 == top && origin == decide_origin(target)) return true;
    tasks.push_back({0, 0, 0, static_cast<uint16_t>(rule + 1), DECIDE_LABEL});
    ++steps;
    symbol = c.rules[rule].owner;
    at = origin;
    if (symbol == DECIDE_START || !decide_has(decide_candidates_of(c, at), symbol)) return false;
  }
}

// The completed item at index x of set j, which no item moved past its
// last nonterminal: Leo's item of the set where that nonterminal began put
// it there, for a completed item Z before it. The chain from Z's set up to
// it is pushed: Z's task, then its links.
bool decide_leo_chain(const decide_chart& c, uint32_t j, uint32_t x, std::vector<decide_task>& tasks,
                      uint64_t& steps) {
  decide_item target = decide_at(c, x);
  for (uint32_t z = decide_first(c, j); z < x; ++z) {
    decide_item item = decide_at(c, z);
    uint32_t at = decide_origin(item), owner = DECIDE_NONE;
    decide_members(c.states[decide_state_of(item)].completes & ~DECIDE_START_BIT, [&](uint32_t b) {
      const decide_leo* leo = owner == DECIDE_NONE ? decide_find_leo(c, at, b) : nullptr;
      if (leo != nullptr && leo->top == target) owner = b;
    });
    if (owner == DECIDE_NONE) continue;
    uint32_t rule = decide_completed_rule(c, decide_state_of(item), owner, DECIDE_NONE);
    tasks.push_back({j, z, at, static_cast<uint16_t>(rule), DECIDE_ITEM});
    ++steps;
    return decide_leo_links(c, at, owner, target, tasks, steps);
  }
  return false;
}

// A completed rule of the nonterminal n in an item before index x of set
// j, begun in a set i where `before` stands with `origin`: its task is
// pushed, and j and x move to where `before` is.
bool decide_child(decide_finder& f, uint32_t& j, uint32_t& x, uint32_t before, uint32_t origin, uint32_t n,
                  std::vector<decide_task>& tasks, uint64_t& steps) {
  const decide_chart& c = *f.chart;
  bool at_start = c.rules[before].dot == 0;
  for (uint32_t z = decide_first(c, j); z < x; ++z) {
    decide_item child = decide_at(c, z);
    uint32_t i = decide_origin(child);
    if (!decide_has(c.states[decide_state_of(child)].completes, n) || (at_start && i != origin)) continue;
    uint32_t y = decide_find(f, i, before, origin, DECIDE_NONE);
    if (y == DECIDE_NONE) continue;
    uint32_t rule = decide_completed_rule(c, decide_state_of(child), n, DECIDE_NONE);
    tasks.push_back({j, z, i, static_cast<uint16_t>(rule), DECIDE_ITEM});
    ++steps;
    j = i;
    x = y;
    return true;
  }
  return false;
}

// `before`, the rule of rank `rank` in item x of set j moved back over a
// nullable nonterminal, which is taken to derive nothing: `before` is in
// the same item at a lower rank, or in an earlier item of the set, and x
// moves there.
bool decide_empty_back(decide_finder& f, uint32_t j, uint32_t& x, uint32_t before, uint32_t origin, uint32_t rank) {
  if (decide_rank(*f.chart, decide_at(*f.chart, x), before) < rank) return true;
  uint32_t y = decide_find(f, j, before, origin, x);
  if (y == DECIDE_NONE) return false;
  x = y;
  return true;
}

// A completed rule of the nonterminal n in item x of set j itself, at a
// rank below `rank`, where `before` is a prediction of the set `origin`:
// its task is pushed, and j and x move to that prediction.
bool decide_own_child(decide_finder& f, uint32_t& j, uint32_t& x, uint32_t before, uint32_t origin, uint32_t n,
                      uint32_t rank, std::vector<decide_task>& tasks, uint64_t& steps) {
  const decide_chart& c = *f.chart;
  uint32_t child = decide_completed_rule(c, decide_state_of(decide_at(c, x)), n, rank);
  if (child == DECIDE_NONE) return false;
  uint32_t y = decide_find(f, origin, before, origin, DECIDE_NONE);
  if (y == DECIDE_NONE) return false;
  tasks.push_back({j, x, origin, static_cast<uint16_t>(child), DECIDE_ITEM});
  ++steps;
  j = origin;
  x = y;
  return true;
}

// Pushes the children of the symbols before the position of the task's
// rule, walking back from the position: each step finds the rule one
// symbol back and where the bytes of that symbol began, from items of
// earlier sets, from the same item at a lower rank, or from items of the
// same set added earlier.
bool decide_children(decide_finder& f, const decide_task& task, std::vector<decide_task>& tasks, uint64_t& steps) {
  const decide_chart& c = *f.chart;
  uint32_t j = task.set, x = task.index, rule = task.rule, origin = task.origin;
  bool completed = c.rules[rule].next == DECIDE_END;
  for (bool first = true; c.rules[rule].dot > 0; first = false, --rule) {
    uint32_t before = rule - 1;
    int symbol = c.rules[before].next;
    if (origin == j) {
      // A prediction's rule: what stands before its position derives nothing.
      if (!decide_push_empty(c, static_cast<uint32_t>(symbol - DECIDE_NONTERMINAL), tasks, steps)) return false;
      continue;
    }
    if (symbol < DECIDE_NONTERMINAL) {
      x = decide_find(f, j - 1, before, origin, DECIDE_NONE);
      if (x == DECIDE_NONE) return false;
      --j;
      continue;
    }
    auto n = static_cast<uint32_t>(symbol - DECIDE_NONTERMINAL);
    uint32_t rank = decide_rank(c, decide_at(c, x), rule);
    if (decide_has(c.nullable, n) && decide_empty_back(f, j, x, before, origin, rank)) {
      if (!decide_push_empty(c, n, tasks, steps)) return false;
      continue;
    }
    if (decide_own_child(f, j, x, before, origin, n, rank, tasks, steps)) continue;
    if (decide_child(f, j, x, before, origin, n, tasks, steps)) continue;
    // Only a completed rule's last nonterminal can have been stepped over
    // by Leo's item, and then the chain stands for all the children.
    return first && completed && decide_leo_chain(c, j, x, tasks, steps);
  }
  return true;
}

}  // namespace

bool decide_derivation(const decide_chart& chart, std::vector<grammar_label>& labels) {
  const decide_chart& c = chart;
  labels.clear();
  if (!decide_accepts(c)) return false;
  uint32_t j = decide_last(c);
  decide_finder finder{&c, {}, {}};
  uint32_t root = decide_find(finder, j, c.seed_end, 0, DECIDE_NONE);
  std::vector<decide_task> tasks{{j, root, 0, c.seed_end, DECIDE_CHILDREN}};
  uint64_t steps = 0;  // rules written and promised by the tasks
  while (!tasks.empty()) {
    decide_task task = tasks.back();
    tasks.pop_back();
    switch (task.kind) {
      case DECIDE_LABEL:
        labels.push_back(c.rules[task.rule].label);
        break;
      case DECIDE_EMPTY: {
        // Its steps were counted when it was pushed; its own children are
        // nullable nonterminals, pushed rightmost first.
        uint32_t start = c.empty_rule[task.rule];
        labels.push_back(c.rules[start].label);
        uint32_t end = start;
        while (c.rules[end].next != DECIDE_END) ++end;
        for (uint32_t r = end; r > start; --r) {
          tasks.push_back({0, 0, 0, static_cast<uint16_t>(c.rules[r - 1].next - DECIDE_NONTERMINAL), DECIDE_EMPTY});
        }
        break;
      }
      case DECIDE_ITEM:
        labels.push_back(c.rules[task.rule].label);
        [[fallthrough]];
      case DECIDE_CHILDREN:
        if (!decide_children(finder, task, tasks, steps) || steps > DECIDE_MAX_STEPS) {
          labels.clear();
          return false;
        }
        break;
    }
  }
  return true;
}

namespace {

// Pushes the bytes [at, end) on `c`, which has room for their sets and no
// completions: by runs of kept programs where it can, else as decide_push
// does. Stops early, where it is, at a dead prefix when `stop_dead`.
const unsigned char* decide_push_bytes(decide_chart& c, const unsigned char* at, const unsigned char* end,
                                       bool stop_dead) {
  // The set of the longest prefix, without predictions, is not for a run.
  size_t left = DECIDE_MAX_LENGTH - 1 - std::min<size_t>(decide_length(c), DECIDE_MAX_LENGTH - 1);
  const unsigned char* run_end = at + std::min(static_cast<size_t>(end - at), left);
  while (at < end) {
    at = decide_run_on(c, at, run_end);
    if (at == end || (stop_dead && !decide_alive(c))) break;
    decide_extend(c, *at++);
  }
  return at;
}

}  // namespace

void decide_push_text(decide_chart& chart, std::string_view text) {
  decide_chart& c = chart;
  uint32_t n = decide_last(c);
  if (text.size() > DECIDE_MAX_LENGTH - n) throw std::length_error("decide: string longer than DECIDE_MAX_LENGTH");
  const auto* at = reinterpret_cast<const unsigned char*>(text.data());
  try {
    if (c.completions) {  // runs keep no completions
      for (size_t k = 0; k < text.size(); ++k) decide_push(c, at[k]);
      return;
    }
    decide_room_for_sets(c, size_t{c.set_count} + text.size());
    decide_push_bytes(c, at, at + text.size(), false);
  } catch (...) {
    // A run hands its sets to the chart before anything that allocates.
    if (c.set_count > n + 1) decide_truncate(c, n + 1);
    throw;
  }
}

bool decide_sentence(const grammar_table& g, std::string_view text, std::vector<grammar_label>* labels) {
  if (text.size() > DECIDE_MAX_LENGTH) throw std::length_error("decide: string longer than DECIDE_MAX_LENGTH");
  decide_chart chart;
  decide_begin(chart, g);
  decide_room_for_sets(chart, text.size() + 1);
  // The chart is this call's own: a bad_alloc takes it away whole.
  const auto* at = reinterpret_cast<const unsigned char*>(text.data());
  if (decide_push_bytes(chart, at, at + text.size(), true) != at + text.size()) return false;
  if (!decide_accepts(chart)) return false;
  return labels == nullptr || decide_derivation(chart, *labels);
}

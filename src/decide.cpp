// SPDX-License-Identifier: MIT
// Decide module: Earley's sets, built on worklists. A set keeps only the
// items that began in an earlier set, in the order they were added; the
// items that began in the set itself, where a nonterminal is predicted, are
// the same for every set that predicts it, so a set keeps the mask of what
// it predicts and the table's lists stand for them. The order of the kept
// items is what makes a derivation rebuilt from the chart well founded: an
// item is justified by items of earlier sets, by its set's predictions, or
// by items of its own set added before it.
#include "decide.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace {

constexpr int16_t DECIDE_END = -1;           // rule.next at the end of an alternative
constexpr int16_t DECIDE_NONTERMINAL = 256;  // rule.next of 'A' + n is this + n
constexpr uint32_t DECIDE_RULE_MASK = (uint32_t{1} << DECIDE_RULE_BITS) - 1;
constexpr int DECIDE_BLOCK_BITS = 14;
constexpr uint32_t DECIDE_BLOCK = uint32_t{1} << DECIDE_BLOCK_BITS;  // items in a block
// Dotted rules at most: the start form's 2 and 10 for each alternative.
constexpr uint32_t DECIDE_RULES = 2 + MAX_RULES * MAX_ALTERNATIVES * RHS_SLOT_SIZE;
// A set's hash also holds "nonterminal n completed from set i": the item
// (DECIDE_RULES + n, i), which no dotted rule makes.
static_assert(DECIDE_RULES + NONTERMINAL_COUNT < DECIDE_RULE_MASK, "dotted rules fit their bits");
static_assert(DECIDE_MAX_LENGTH < (size_t{1} << (32 - DECIDE_RULE_BITS)), "origins fit their bits");
constexpr uint32_t DECIDE_SHORT = 16;             // items of a set that finds its items by a scan
constexpr uint32_t DECIDE_NONE = UINT32_MAX;      // no item found
constexpr uint32_t DECIDE_INITIAL = UINT32_MAX - 1;  // found among the initial items, which have no index
constexpr uint64_t DECIDE_NO_STEPS = UINT64_MAX;  // empty_steps of a nonterminal that is not nullable

inline decide_item decide_make(uint32_t rule, uint32_t origin) { return origin << DECIDE_RULE_BITS | rule; }
inline uint32_t decide_rule_of(decide_item item) { return item & DECIDE_RULE_MASK; }
inline uint32_t decide_origin(decide_item item) { return item >> DECIDE_RULE_BITS; }
inline bool decide_has(nonterminal_set set, uint32_t n) { return (set >> n & 1) != 0; }

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
  return j + 1 < c.sets.size() ? c.sets[j + 1].item : c.item_count;
}
inline uint32_t decide_last(const decide_chart& c) { return static_cast<uint32_t>(c.sets.size() - 1); }

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

// Calls `visit(entry)` for each entry of a list for the nonterminal n (or
// the start form).
template <typename Visit>
void decide_list(const decide_lists& lists, uint32_t n, Visit visit) {
  for (uint32_t k = lists.at[n], end = lists.at[n + 1]; k < end; ++k) visit(lists.entries[k]);
}

// Points the cursor at the slot of item `item_count`: in a new block when
// the last one is full. The blocks that a chart can index are 2^18.
void decide_seek(decide_chart& c) {
  size_t block = c.item_count >> DECIDE_BLOCK_BITS;
  uint32_t at = c.item_count & (DECIDE_BLOCK - 1);
  if (block == c.blocks.size()) {
    if (block + 1 >= (size_t{1} << (32 - DECIDE_BLOCK_BITS))) throw std::bad_alloc();  // two indexes are markers
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

// Adds `key` to the set's hash; false when it was there.
bool decide_seen_insert(decide_chart& c, decide_item key) {
  if (2 * (size_t{c.seen_count} + 1) > c.seen.size()) {
    int bits = c.seen_bits == 0 ? 8 : c.seen_bits + 1;
    std::vector<uint64_t> old(size_t{1} << bits, 0);
    old.swap(c.seen);
    c.seen_bits = bits;
    size_t mask = c.seen.size() - 1;
    for (uint64_t slot : old) {
      if (slot >> 32 != c.stamp) continue;
      size_t at = decide_slot(c, static_cast<decide_item>(slot));
      while (c.seen[at] >> 32 == c.stamp) at = (at + 1) & mask;
      c.seen[at] = slot;
    }
  }
  size_t mask = c.seen.size() - 1;
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

// Set j has grown past a scan: its items go into a hash of their own, the
// keys of the set before becoming empty slots.
void decide_hash_set(decide_chart& c, uint32_t j) {
  c.hashed = true;
  c.seen_count = 0;
  if (++c.stamp == 0) {
    std::fill(c.seen.begin(), c.seen.end(), uint64_t{0});
    c.stamp = 1;
  }
  decide_any(c, decide_first(c, j), c.item_count, [&c](decide_item item) { return !decide_seen_insert(c, item); });
}

// Bit of `item` in a short set's signature: a set that lacks it lacks the
// item, and the scan is skipped.
inline uint64_t decide_signature(decide_item item) {
  return uint64_t{1} << ((item * uint32_t{0x9E3779B1}) >> 26);
}

// Adds `item` to set j, the set being built, unless it is there.
inline void decide_add(decide_chart& c, uint32_t j, decide_item item) {
  if (c.hashed) {
    if (decide_seen_insert(c, item)) decide_append(c, item);
    return;
  }
  uint64_t bit = decide_signature(item);
  if ((c.signature & bit) != 0 &&
      decide_any(c, c.first, c.item_count, [item](decide_item k) { return k == item; })) {
    return;
  }
  c.signature |= bit;
  decide_append(c, item);
  if (c.item_count - c.first > DECIDE_SHORT) decide_hash_set(c, j);
}

// Starts set j, whose first item is the next: short, with no item yet.
inline void decide_start_set(decide_chart& c) {
  c.first = c.item_count;
  c.hashed = false;
  c.signature = 0;
}

// Set i's Leo item for the nonterminal n, or null (i is not the last set).
inline const decide_leo* decide_find_leo(const decide_chart& c, uint32_t i, uint32_t n) {
  if (!decide_has(c.sets[i].leos, n)) return nullptr;
  for (uint32_t k = c.sets[i].leo, end = c.sets[i + 1].leo; k < end; ++k) {
    if (c.leo[k].nonterminal == n) return &c.leo[k];
  }
  return nullptr;
}

// The nonterminal n, started in set i, is complete in set j: every item
// of set i waiting for it moves past it, or Leo's item of set i alone. A
// short set may complete n twice, which adds nothing new.
void decide_complete(decide_chart& c, uint32_t j, uint32_t n, uint32_t i) {
  if (c.hashed && !decide_seen_insert(c, decide_make(DECIDE_RULES + n, i))) return;
  if (const decide_leo* leo = decide_find_leo(c, i, n)) {
    decide_add(c, j, leo->top);
    return;
  }
  if (decide_has(c.sets[i].waited, n)) {
    auto wanted = static_cast<int16_t>(DECIDE_NONTERMINAL + static_cast<int16_t>(n));
    decide_any(c, decide_first(c, i), decide_end(c, i), [&c, j, wanted](decide_item item) {
      if (c.rules[decide_rule_of(item)].next == wanted) decide_add(c, j, item + 1);
      return false;
    });
  }
  nonterminal_set predicted = c.sets[i].predicted;
  decide_list(c.waiting, n, [&c, j, i, predicted](decide_entry e) {
    if (decide_has(predicted, e.tag)) decide_add(c, j, decide_make(e.rule + 1u, i));
  });
}

// The kept items of a set that wait for each nonterminal, for Leo's items.
struct decide_waits {
  nonterminal_set once;                  // those that one item or more waits for
  nonterminal_set more;                  // those that more than one waits for
  decide_item only[NONTERMINAL_COUNT];   // the last item that waits for each; set where `once` is
};

// Works through the kept items of set j from its first, adding what each
// completes, and notes what each predicts and waits for.
nonterminal_set decide_close(decide_chart& c, uint32_t j, decide_waits& waits) {
  nonterminal_set predicted = 0;
  const decide_item* at = nullptr;  // item p, in its block
  for (uint32_t p = decide_first(c, j); p < c.item_count; ++p, ++at) {
    if (at == nullptr || (p & (DECIDE_BLOCK - 1)) == 0) at = &c.blocks[p >> DECIDE_BLOCK_BITS][p & (DECIDE_BLOCK - 1)];
    decide_item item = *at;
    const decide_rule& rule = c.rules[decide_rule_of(item)];
    if (rule.next >= DECIDE_NONTERMINAL) {
      auto n = static_cast<uint32_t>(rule.next - DECIDE_NONTERMINAL);
      predicted |= c.closure[n];
      waits.more |= waits.once & (nonterminal_set{1} << n);
      waits.once |= nonterminal_set{1} << n;
      waits.only[n] = item;
      // Aycock and Horspool: a nullable nonterminal is also stepped over
      // at once, so that no completion from the set itself is needed.
      if (decide_has(c.nullable, n)) decide_add(c, j, item + 1);
    } else if (rule.next == DECIDE_END && rule.owner != DECIDE_START) {
      decide_complete(c, j, rule.owner, decide_origin(item));
    }
  }
  return predicted;
}

// Leo's items of set j, once it is closed: for each nonterminal B that one
// kept item alone waits for, as its last symbol, the top of the chain of
// such items through the sets: Leo's item of the set where that item began
// for its owner, or the item itself moved past B. Where an initial item
// waits for B there is none: completing B adds that one item, which goes on
// by Leo's item for its owner, so a chain costs one item more, and a chain
// never names an item that the sets do not keep. Kept items began in an
// earlier set, so a chain only ever goes back to sets already done.
void decide_leo_items(decide_chart& c, uint32_t j, const decide_waits& waits) {
  nonterminal_set initial = 0;  // what the initial items wait for
  decide_members(c.sets[j].predicted, [&c, &initial](uint32_t n) { initial |= c.waits_once[n]; });
  decide_members(waits.once & ~waits.more & ~initial, [&c, &waits, j](uint32_t n) {
    decide_item only = waits.only[n];
    if (c.rules[decide_rule_of(only) + 1].next != DECIDE_END) return;
    uint32_t owner = c.rules[decide_rule_of(only)].owner;
    const decide_leo* below = owner == DECIDE_START ? nullptr : decide_find_leo(c, decide_origin(only), owner);
    c.leo.push_back({below != nullptr ? below->top : only + 1, n});
    c.sets[j].leos |= nonterminal_set{1} << n;
  });
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
// the items waiting for B, of what follows B in the item's rule and then
// the item's own nonterminal. The initial items wait on tails of set j:
// those grow to a fixed point.
void decide_tails(decide_chart& c, uint32_t j) {
  length_set tail[DECIDE_OWNERS] = {};
  if (j == 0) tail[DECIDE_START] = 1;  // the start form is followed by nothing
  decide_any(c, decide_first(c, j), decide_end(c, j), [&c, &tail](decide_item item) {
    uint32_t rule = decide_rule_of(item);
    int next = c.rules[rule].next;
    if (next >= DECIDE_NONTERMINAL) {
      tail[next - DECIDE_NONTERMINAL] |= analysis_add_lengths(
          c.rest_lengths[rule + 1], decide_tail_of(c, decide_origin(item), c.rules[rule].owner));
    }
    return false;
  });
  nonterminal_set predicted = c.sets[j].predicted;
  for (bool grew = true; grew;) {
    grew = false;
    decide_members(predicted, [&](uint32_t owner) {
      decide_list(c.initial, owner, [&](decide_entry e) {
        uint32_t rule = e.rule;
        int next = c.rules[rule].next;
        if (next < DECIDE_NONTERMINAL) return;
        length_set more = analysis_add_lengths(c.rest_lengths[rule + 1], tail[owner]);
        length_set& own = tail[next - DECIDE_NONTERMINAL];
        grew = grew || (more & ~own) != 0;
        own |= more;
      });
    });
  }
  decide_members(predicted, [&c, &tail](uint32_t n) { c.tails.push_back({tail[n], n}); });
}

// Closes set j, whose first items are in, and makes its Leo items and tails.
inline void decide_finish(decide_chart& c, uint32_t j) {
  decide_waits waits;
  waits.once = waits.more = 0;
  c.sets[j].predicted |= decide_close(c, j, waits);
  c.sets[j].waited = waits.once;
  if (c.sets[j].predicted == 0 && decide_first(c, j) == c.item_count) return;  // nothing, nor after it
  decide_leo_items(c, j, waits);
  if (c.completions) decide_tails(c, j);
}

// The set of the prefix j long goes, and all after it.
void decide_truncate(decide_chart& c, uint32_t j) {
  c.item_count = c.sets[j].item;
  c.room = 0;  // the cursor is found again at the next append
  c.leo.resize(c.sets[j].leo);
  c.sets.resize(j);
  if (c.completions && c.tail_start.size() > j) {
    c.tails.resize(c.tail_start[j]);
    c.tail_start.resize(j);
  }
  // A spare block beyond those in use, so that a push and a pop at a
  // block's edge do not take and give back memory each time.
  size_t used = (size_t{c.item_count} + DECIDE_BLOCK - 1) >> DECIDE_BLOCK_BITS;
  if (c.blocks.size() > used + 1) c.blocks.resize(used + 1);
}

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

// Each owner's initial rules, a choice at a time from its first dotted
// rule, and what they scan, wait for and predict.
void decide_initial_rules(decide_chart& c, const uint16_t (&first_rule)[MAX_RULES * MAX_ALTERNATIVES],
                          const grammar_table& g) {
  std::vector<uint16_t> starts[DECIDE_OWNERS];  // each owner's choices' first rules
  starts[DECIDE_START].push_back(0);
  for (uint32_t n = 0; n < NONTERMINAL_COUNT; ++n) {
    for (int k = g.choice_start[n]; k < g.choice_start[n + 1]; ++k) {
      if (!g.choices[k].doomed) starts[n].push_back(first_rule[k]);
    }
  }
  decide_lists* lists[] = {&c.initial, &c.scanned, &c.waiting};
  for (decide_lists* list : lists) list->entries.clear();
  std::vector<decide_entry> waiting[NONTERMINAL_COUNT];
  for (uint32_t n = 0; n < DECIDE_OWNERS; ++n) {
    c.initial.at[n] = static_cast<uint32_t>(c.initial.entries.size());
    c.scanned.at[n] = static_cast<uint32_t>(c.scanned.entries.size());
    c.waits_once[n] = c.waits_more[n] = 0;
    for (uint16_t rule : starts[n]) {
      for (uint16_t r = rule;; ++r) {
        decide_rule& at = c.rules[r];
        at.initial = true;
        c.initial.entries.push_back({r, 0});
        if (at.next < DECIDE_NONTERMINAL) {
          if (at.next != DECIDE_END) c.scanned.entries.push_back({r, static_cast<uint16_t>(at.next)});
          break;
        }
        auto b = static_cast<uint32_t>(at.next - DECIDE_NONTERMINAL);
        c.waits_more[n] |= c.waits_once[n] & (nonterminal_set{1} << b);
        c.waits_once[n] |= nonterminal_set{1} << b;
        waiting[b].push_back({r, static_cast<uint16_t>(n)});
        if (!decide_has(c.nullable, b)) break;
      }
    }
  }
  c.initial.at[DECIDE_OWNERS] = static_cast<uint32_t>(c.initial.entries.size());
  c.scanned.at[DECIDE_OWNERS] = static_cast<uint32_t>(c.scanned.entries.size());
  for (uint32_t b = 0; b < DECIDE_OWNERS; ++b) {
    c.waiting.at[b] = static_cast<uint32_t>(c.waiting.entries.size());
    if (b < NONTERMINAL_COUNT) c.waiting.entries.insert(c.waiting.entries.end(), waiting[b].begin(), waiting[b].end());
  }
  c.waiting.at[DECIDE_OWNERS] = static_cast<uint32_t>(c.waiting.entries.size());
  // What each predicts: itself and, to a fixed point, what its initial
  // rules wait for predicts.
  for (uint32_t n = 0; n < DECIDE_OWNERS; ++n) c.closure[n] = (nonterminal_set{1} << n) | c.waits_once[n];
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

// The chart's own copy of the table: its dotted rules and their lists.
void decide_compile(decide_chart& c, const grammar_table& g) {
  grammar_facts facts{};
  if (c.completions) analysis_facts(g, facts);
  c.rules.clear();
  c.rest_lengths.clear();
  auto add_rules = [&c, &facts](std::string_view text, uint8_t owner, grammar_label label) {
    for (size_t d = 0; d <= text.size(); ++d) {
      int16_t next = d < text.size() ? decide_symbol(text[d]) : DECIDE_END;
      c.rules.push_back({next, owner, static_cast<uint8_t>(d), false, label});
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
  // An alternative that holds a nonterminal deriving nothing is never
  // predicted: every item of a set can still grow into a sentence,
  // and a set is empty once no sentence is left.
  decide_initial_rules(c, first_rule, g);
}

}  // namespace

void decide_begin(decide_chart& chart, const grammar_table& g, bool completions) {
  decide_chart& c = chart;
  c.item_count = 0;
  c.room = 0;
  c.sets.clear();
  c.leo.clear();
  c.tails.clear();
  c.tail_start.clear();
  // What a longer string took before is given back.
  if (c.blocks.size() > 1) c.blocks.resize(1);
  if (c.sets.capacity() > 4096) std::vector<decide_set>().swap(c.sets);
  if (c.leo.capacity() > 4096) std::vector<decide_leo>().swap(c.leo);
  if (c.seen.size() > 4096) {
    std::vector<uint64_t>().swap(c.seen);
    c.seen_bits = 0;
  }
  c.completions = completions;
  decide_compile(c, g);
  std::string_view seed = grammar_seed(g);
  bool barren = !seed.empty() && is_nonterminal(seed[0]) && (g.derives >> (seed[0] - 'A') & 1) == 0;
  c.sets.push_back({0, 0, barren ? 0 : c.closure[DECIDE_START], 0, 0});
  if (c.completions) c.tail_start.push_back(0);
  decide_start_set(c);
  decide_finish(c, 0);
}

void decide_push(decide_chart& chart, unsigned char byte) {
  decide_chart& c = chart;
  uint32_t n = decide_last(c);
  if (n >= DECIDE_MAX_LENGTH) throw std::length_error("decide: string longer than DECIDE_MAX_LENGTH");
  uint32_t first = decide_first(c, n), end = c.item_count;
  nonterminal_set predicted = c.sets[n].predicted;
  c.sets.push_back({c.item_count, static_cast<uint32_t>(c.leo.size()), 0, 0, 0});
  try {
    if (c.completions) c.tail_start.push_back(static_cast<uint32_t>(c.tails.size()));
    if (first == end && predicted == 0) return;  // nothing to scan
    decide_start_set(c);
    // Scanned items are all new: one for each item of set n before the byte.
    auto scan = [&c](decide_item item) {
      c.signature |= decide_signature(item);
      decide_append(c, item);
    };
    decide_any(c, first, end, [&c, byte, &scan](decide_item item) {
      if (c.rules[decide_rule_of(item)].next == byte) scan(item + 1);
      return false;
    });
    decide_members(predicted, [&c, byte, n, &scan](uint32_t owner) {
      decide_list(c.scanned, owner, [byte, n, &scan](decide_entry e) {
        if (e.tag == byte) scan(decide_make(e.rule + 1u, n));
      });
    });
    if (c.item_count - decide_first(c, n + 1) > DECIDE_SHORT) decide_hash_set(c, n + 1);
    decide_finish(c, n + 1);
  } catch (...) {
    decide_truncate(c, n + 1);
    throw;
  }
}

void decide_pop(decide_chart& chart) {
  if (chart.sets.size() > 1) decide_truncate(chart, decide_last(chart));
}

bool decide_alive(const decide_chart& chart) {
  uint32_t j = decide_last(chart);
  return chart.sets[j].predicted != 0 || decide_first(chart, j) < chart.item_count;
}

bool decide_accepts(const decide_chart& chart) {
  const decide_chart& c = chart;
  uint32_t j = decide_last(c);
  if (j == 0) return decide_has(c.sets[0].predicted, DECIDE_START) && c.rules[c.seed_end].initial;
  decide_item whole = decide_make(c.seed_end, 0);
  return decide_any(c, decide_first(c, j), c.item_count, [whole](decide_item item) { return item == whole; });
}

length_set decide_completions(const decide_chart& chart) {
  const decide_chart& c = chart;
  if (!c.completions) return 0;
  length_set lengths = 0;
  uint32_t j = decide_last(c);
  decide_any(c, decide_first(c, j), c.item_count, [&c, &lengths](decide_item item) {
    uint32_t rule = decide_rule_of(item);
    lengths |= analysis_add_lengths(c.rest_lengths[rule], decide_tail_of(c, decide_origin(item), c.rules[rule].owner));
    return false;
  });
  decide_members(c.sets[j].predicted, [&c, &lengths, j](uint32_t owner) {
    length_set tail = decide_tail_of(c, j, owner);
    decide_list(c.initial, owner, [&c, &lengths, tail](decide_entry e) {
      lengths |= analysis_add_lengths(c.rest_lengths[e.rule], tail);
    });
  });
  return lengths;
}

namespace {

// How a derivation is rebuilt: a stack of tasks, the next on top, each
// either a rule to write or a piece of the chart to take apart into its
// children, which are pushed rightmost first so that the leftmost comes
// out next: the rules come out in the order of a leftmost derivation.
enum decide_task_kind : uint8_t {
  DECIDE_LABEL,     // write the rule of `item`, an item no set keeps
  DECIDE_EMPTY,     // write the empty derivation of the nonterminal `item`
  DECIDE_ITEM,      // write the rule of the completed `item`, then its children
  DECIDE_CHILDREN,  // the children of the symbols before the position of `item`
};
struct decide_task {
  uint32_t set;           // the item's set
  uint32_t index;         // the item's index in the chart, or DECIDE_INITIAL
  decide_item item;       // the item, or a nonterminal
  decide_task_kind kind;  // what to do
};

// Finds items in sets: a scan of a small set, and a binary search in a
// sorted copy, made the first time, of a larger one.
struct decide_finder {
  const decide_chart* chart;     // the chart searched
  std::vector<uint32_t> copy;    // for each set, 1 + where its sorted copy starts in `sorted`, or 0
  std::vector<uint64_t> sorted;  // the sorted copies: item << 32 | index
};
constexpr uint32_t DECIDE_SMALL_SET = 24;  // items of a set that is scanned

// The index of `item` in set j if it is there before `limit` (DECIDE_INITIAL
// for an initial item, there before any), else DECIDE_NONE.
uint32_t decide_find(decide_finder& f, uint32_t j, decide_item item, uint32_t limit) {
  const decide_chart& c = *f.chart;
  if (decide_origin(item) == j) {
    const decide_rule& rule = c.rules[decide_rule_of(item)];
    return decide_has(c.sets[j].predicted, rule.owner) && rule.initial ? DECIDE_INITIAL : DECIDE_NONE;
  }
  uint32_t first = decide_first(c, j), end = decide_end(c, j);
  if (end - first <= DECIDE_SMALL_SET) {
    for (uint32_t k = first; k < std::min(end, limit); ++k) {
      if (decide_at(c, k) == item) return k;
    }
    return DECIDE_NONE;
  }
  if (f.copy.empty()) f.copy.assign(c.sets.size(), 0);
  if (f.copy[j] == 0) {
    f.copy[j] = static_cast<uint32_t>(f.sorted.size()) + 1;
    for (uint32_t k = first; k < end; ++k) f.sorted.push_back(uint64_t{decide_at(c, k)} << 32 | k);
    std::sort(f.sorted.data() + f.copy[j] - 1, f.sorted.data() + f.sorted.size());
  }
  const uint64_t* from = f.sorted.data() + f.copy[j] - 1;
  const uint64_t* to = from + (end - first);
  auto at = std::lower_bound(from, to, uint64_t{item} << 32);
  if (at == to || *at >> 32 != item) return DECIDE_NONE;
  auto index = static_cast<uint32_t>(*at);
  return index < limit ? index : DECIDE_NONE;
}

// The index of set j's only kept item waiting for the nonterminal n, which
// a Leo item of the set says there is, or DECIDE_NONE.
uint32_t decide_only_waiting(const decide_chart& c, uint32_t j, uint32_t n) {
  for (uint32_t k = decide_first(c, j), end = decide_end(c, j); k < end; ++k) {
    if (c.rules[decide_rule_of(decide_at(c, k))].next == DECIDE_NONTERMINAL + static_cast<int>(n)) return k;
  }
  return DECIDE_NONE;
}

// Adds the empty derivation of the nonterminal n to the tasks, unless the
// derivation would grow too long.
bool decide_push_empty(const decide_chart& c, uint32_t n, std::vector<decide_task>& tasks, uint64_t& steps) {
  if (c.empty_steps[n] > DECIDE_MAX_STEPS - std::min<uint64_t>(steps, DECIDE_MAX_STEPS)) return false;
  tasks.push_back({0, 0, n, DECIDE_EMPTY});
  steps += c.empty_steps[n];
  return true;
}

// The completed item `target`, index x of set j, which no kept item moved
// past its last nonterminal: Leo's item of the set where that nonterminal
// began put it there, for a completed item Z before it. The chain from Z's
// set up to it is pushed: Z's task, then for each link the children of the
// item that waited and the rule of the item that would have been completed.
bool decide_leo_chain(const decide_chart& c, uint32_t j, uint32_t x, decide_item target,
                      std::vector<decide_task>& tasks, uint64_t& steps) {
  for (uint32_t z = decide_first(c, j); z < x; ++z) {
    decide_item item = decide_at(c, z);
    const decide_rule& rule = c.rules[decide_rule_of(item)];
    uint32_t at = decide_origin(item);
    if (rule.next != DECIDE_END || rule.owner == DECIDE_START) continue;
    const decide_leo* leo = decide_find_leo(c, at, rule.owner);
    if (leo == nullptr || leo->top != target) continue;
    tasks.push_back({j, z, item, DECIDE_ITEM});
    ++steps;
    for (uint32_t symbol = rule.owner;;) {
      uint32_t u = decide_only_waiting(c, at, symbol);
      if (u == DECIDE_NONE) return false;
      decide_item waiting = decide_at(c, u);
      tasks.push_back({at, u, waiting, DECIDE_CHILDREN});
      if (waiting + 1 == target) return true;
      tasks.push_back({0, 0, waiting + 1, DECIDE_LABEL});
      ++steps;
      symbol = c.rules[decide_rule_of(waiting)].owner;
      at = decide_origin(waiting);
      if (symbol == DECIDE_START || decide_find_leo(c, at, symbol) == nullptr) return false;
    }
  }
  return false;
}

// Pushes the children of the symbols before the position of `item`, index
// x of set j, walking back from the position: each step finds the item one
// symbol back and where the bytes of that symbol began, from items
// of earlier sets or items of the same set added earlier.
bool decide_children(decide_finder& f, uint32_t j, uint32_t x, decide_item item, std::vector<decide_task>& tasks,
                     uint64_t& steps) {
  const decide_chart& c = *f.chart;
  bool completed = c.rules[decide_rule_of(item)].next == DECIDE_END;
  for (bool first = true; c.rules[decide_rule_of(item)].dot > 0; first = false) {
    decide_item before = item - 1;
    int symbol = c.rules[decide_rule_of(before)].next;
    if (decide_origin(item) == j) {
      // An initial item: what stands before its position derives nothing.
      if (!decide_push_empty(c, static_cast<uint32_t>(symbol - DECIDE_NONTERMINAL), tasks, steps)) return false;
      item = before;
      continue;
    }
    if (symbol < DECIDE_NONTERMINAL) {
      x = j == 0 ? DECIDE_NONE : decide_find(f, j - 1, before, DECIDE_NONE);
      if (x == DECIDE_NONE) return false;
      --j;
      item = before;
      continue;
    }
    auto n = static_cast<uint32_t>(symbol - DECIDE_NONTERMINAL);
    uint32_t y = decide_has(c.nullable, n) ? decide_find(f, j, before, x) : DECIDE_NONE;
    if (y != DECIDE_NONE) {
      if (!decide_push_empty(c, n, tasks, steps)) return false;
      x = y;
      item = before;
      continue;
    }
    // A completed item of n before this one in set j, begun in a set i
    // where the item one symbol back is.
    uint32_t origin = decide_origin(item);
    bool at_start = c.rules[decide_rule_of(before)].dot == 0;
    bool found = false;
    for (uint32_t z = decide_first(c, j); z < x && !found; ++z) {
      decide_item child = decide_at(c, z);
      const decide_rule& rule = c.rules[decide_rule_of(child)];
      uint32_t i = decide_origin(child);
      if (rule.next != DECIDE_END || rule.owner != n || (at_start && i != origin)) continue;
      y = decide_find(f, i, before, DECIDE_NONE);
      if (y == DECIDE_NONE) continue;
      tasks.push_back({j, z, child, DECIDE_ITEM});
      ++steps;
      j = i;
      x = y;
      item = before;
      found = true;
    }
    if (found) continue;
    // Only a completed item's last nonterminal can have been stepped over
    // by Leo's item, and then the chain stands for all the children.
    return first && completed && decide_leo_chain(c, j, x, item, tasks, steps);
  }
  return true;
}

}  // namespace

bool decide_derivation(const decide_chart& chart, std::vector<grammar_label>& labels) {
  const decide_chart& c = chart;
  labels.clear();
  if (!decide_accepts(c)) return false;
  uint32_t j = decide_last(c);
  decide_item whole = decide_make(c.seed_end, 0);
  uint32_t root = DECIDE_INITIAL;
  for (uint32_t k = decide_first(c, j); k < c.item_count && root == DECIDE_INITIAL; ++k) {
    if (decide_at(c, k) == whole) root = k;
  }
  decide_finder finder{&c, {}, {}};
  std::vector<decide_task> tasks{{j, root, whole, DECIDE_CHILDREN}};
  uint64_t steps = 0;  // rules written and promised by the tasks
  while (!tasks.empty()) {
    decide_task task = tasks.back();
    tasks.pop_back();
    switch (task.kind) {
      case DECIDE_LABEL:
        labels.push_back(c.rules[decide_rule_of(task.item)].label);
        break;
      case DECIDE_EMPTY: {
        // Its steps were counted when it was pushed; its own children are
        // nullable nonterminals, pushed rightmost first.
        uint32_t start = c.empty_rule[task.item];
        labels.push_back(c.rules[start].label);
        uint32_t end = start;
        while (c.rules[end].next != DECIDE_END) ++end;
        for (uint32_t r = end; r > start; --r) {
          tasks.push_back({0, 0, static_cast<uint32_t>(c.rules[r - 1].next - DECIDE_NONTERMINAL), DECIDE_EMPTY});
        }
        break;
      }
      case DECIDE_ITEM:
        labels.push_back(c.rules[decide_rule_of(task.item)].label);
        [[fallthrough]];
      case DECIDE_CHILDREN:
        if (!decide_children(finder, task.set, task.index, task.item, tasks, steps) || steps > DECIDE_MAX_STEPS) {
          labels.clear();
          return false;
        }
        break;
    }
  }
  return true;
}

bool decide_sentence(const grammar_table& g, std::string_view text, std::vector<grammar_label>* labels) {
  if (text.size() > DECIDE_MAX_LENGTH) throw std::length_error("decide: string longer than DECIDE_MAX_LENGTH");
  decide_chart chart;
  decide_begin(chart, g);
  chart.sets.reserve(text.size() + 1);
  for (char byte : text) {
    if (!decide_alive(chart)) return false;
    decide_push(chart, static_cast<unsigned char>(byte));
  }
  if (!decide_accepts(chart)) return false;
  return labels == nullptr || decide_derivation(chart, *labels);
}

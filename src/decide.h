// SPDX-License-Identifier: MIT
// Decide module: whether a byte string is a sentence of a rule table, and
// one leftmost derivation of it. Earley's chart, one set of items for every
// prefix of the string, grown and shrunk a byte at a time; an item is a
// state, a set of dotted rules made once and shared by every set, with the
// origin its rules share. Empty rules are stepped over inside the states,
// and right recursion keeps Leo's items, so that `S -> aS` costs its length
// and not its square. What a push does to a short set is kept, by the set's
// frame and the byte, and done again on the next set of that frame, so that
// a push of a usual grammar is mostly a lookup and a few stores. Every walk
// runs on an explicit worklist: no depth of the C++ stack grows with the
// string.
#ifndef SENTGEN_DECIDE_H
#define SENTGEN_DECIDE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "grammar.h"

// The longest string decided, in bytes: an item keeps its origin, a
// position in the string, in 20 bits. A push past it throws
// std::length_error, and so does decide_sentence on a longer string.
constexpr size_t DECIDE_MAX_LENGTH = size_t{1} << 20;
// The longest derivation decide_derivation gives, in rules applied (the
// labels take 2 bytes each, 256 MiB in all). Only empty derivations nested
// deep can come near it: a nonterminal can need 9^25 rules to derive the
// empty string.
constexpr size_t DECIDE_MAX_STEPS = size_t{1} << 27;

// An Earley item in 32 bits: its state in the low DECIDE_STATE_BITS bits,
// its origin above them (the set where its rules' nonterminals were
// predicted).
using decide_item = uint32_t;
constexpr int DECIDE_STATE_BITS = 12;

// A dotted rule: an alternative, or the start form, with a position in it.
struct decide_rule {
  int16_t next;         // the symbol after the position: a terminal byte, 256 + n for 'A' + n, or -1 at the end
  uint8_t owner;        // n for the nonterminal 'A' + n that owns it; DECIDE_START for the start form
  uint8_t dot;          // symbols before the position
  grammar_label label;  // the alternative's label (none for the start form)
};
// The start form as a nonterminal of its own, predicted in set 0 only.
constexpr uint8_t DECIDE_START = NONTERMINAL_COUNT;
constexpr int DECIDE_OWNERS = NONTERMINAL_COUNT + 1;  // the nonterminals and the start form

// A state: the dotted rules of an item, which share its origin. Its kernel
// is what one step, a scan or a completion, moved past a symbol; the rest
// is their closure: the rules past a nullable nonterminal that one waits
// for, and, where the state is closed over the predictions of its origin's
// set, the rules of those predictions moved past a nonterminal that one of
// its rules completes. A state is made the first time a step reaches it,
// and kept until decide_begin.
struct decide_state {
  uint32_t rule;               // its first dotted rule in `state_rules`: the kernel's in increasing order, then in the closure's
  uint32_t edge;               // its first edge in `edges`: its terminals' in byte order, then its nonterminals'
  uint32_t prediction;         // the state of the predictions it is closed over, or DECIDE_OPEN
  uint16_t rule_count;         // its dotted rules
  uint16_t kernel;             // those of its kernel, the first
  uint16_t terminals;          // its edges on terminals
  uint16_t edge_count;         // all its edges, one for each symbol that one of its rules waits for
  nonterminal_set completes;   // the owners of its rules at their end; bit DECIDE_START: the whole start form
  nonterminal_set waits;       // the nonterminals that its rules wait for
  nonterminal_set waits_more;  // those that more than one of them waits for
  nonterminal_set predicts;    // what predicting those predicts
};
// The prediction of a state closed over none: its completions step the
// predictions of its origin's set as they step any item.
constexpr uint32_t DECIDE_OPEN = UINT32_MAX;

// Where a state goes past a symbol: the states of the items that moving its
// rules past the symbol makes, with the same origin. More than one only
// when the chart ran out of states: then the rules go one by one.
struct decide_edge {
  int16_t symbol;   // a terminal byte, or 256 + n for 'A' + n
  uint16_t count;   // the states it goes to; 0 until it is first taken
  uint32_t target;  // the state when count is 1, else the first of them in `pieces`
};

// The states of a set's predictions, by the nonterminals predicted: one,
// closed over itself, or the alternatives one by one.
struct decide_prediction {
  nonterminal_set predicted;  // the nonterminals; 0 for a slot not in use
  uint32_t count;             // the states, as in an edge
  uint32_t target;            // the state or the first piece, as in an edge
};

// A frame: what a short set holds, but for where its items began: each
// item's state, and the first item of the set that began where it did;
// for each origin, what the set there waits for or has Leo items for; and
// its own Leo items. Sets of one frame grow alike on a byte, but for where
// their items began.
struct decide_frame {
  uint32_t entry;              // its first entry in `frame_entries`: state | first item of that origin << 16; then as many masks
  uint32_t count;              // its entries, one per item
  uint32_t hash;               // the hash of its entries, masks and Leo items
  uint32_t recent[2];          // the programs last found for it: program << 9 | symbol (symbol 511 for none)
  nonterminal_set leos;        // the nonterminals its set has Leo items for
  nonterminal_set candidates;  // those it could have them for: which one rule alone waits for, as its last symbol
  uint32_t apart;              // its first items whose origins are all apart
};

// What a push of one byte first does to a set of one frame: the items that
// the scan and the completions from the set before add, in order, each
// with the item of the set before whose origin it takes; the completions
// from earlier sets are left to its actions, done after. Found by the
// first push of the byte on a set of the frame, done again by the next.
// A program of a completion from a set of one frame holds the items it
// adds. A node takes a program's first action: its child, found by what
// the action meets, holds the items that action adds and the actions left.
struct decide_program {
  uint32_t entry;              // its first item in `program_entries`: state | item of the set stepped from << 16, and 2 flag bits
  uint32_t count;              // its items
  uint32_t action;             // its first action in `program_actions`: n | item << 16, see DECIDE_LEO_ACTION
  uint32_t actions;            // its actions: completing 'A' + n from where its item (of the set built) began
  nonterminal_set once;        // what the items of the set built so far wait for
  nonterminal_set more;        // what more than one of their rules waits for
  nonterminal_set predicted;   // what they predict
  nonterminal_set initial;     // with `finished`: what the predictions wait for
  uint32_t prediction_count;   // with `finished`: the states of the predictions, as in an edge
  uint32_t prediction;         // with `finished`: the state or the first piece, as in an edge
  uint32_t frame;              // with `finished`: the frame of the set built, or DECIDE_NO_FRAME
  uint32_t leo;                // with `finished`: the first of its recipes for Leo's items, in `program_actions`
  uint32_t leos;               // with `finished`: those recipes, three words each
  nonterminal_set leo_set;     // with `finished`: the Leo items that the set built had, which its frame says
  uint64_t last_step;          // its child last found: offset << 30 | token
  uint32_t last_child;         // that child; UINT32_MAX before any is found
  uint8_t kind;                // DECIDE_ROOT, DECIDE_STEP or DECIDE_LEO_STEP: where its items' origins are
  bool mixed;                  // the set built so far has items of a node after the root, whose origins may meet
  bool doubt;                  // one of its items has DECIDE_CHECK
  bool opens;                  // one of its actions completes by an open state
  bool finished;               // the ending is known: for when the actions add nothing
  uint8_t runs;                // DECIDE_RUN_ bits: what a run of pushes may take of it as it is
  uint8_t reach;               // the items of the set built, once its items are in, where it was made (at most 255)
};
constexpr uint8_t DECIDE_RUN_THROUGH = 1;  // no doubt, no open action, no Leo action first, few items: it goes straight
constexpr uint8_t DECIDE_RUN_ENDS = 2;     // finished, with one prediction at most
constexpr uint8_t DECIDE_RUN_MIXED = 4;    // mixed: the origins are checked at the end
constexpr uint8_t DECIDE_RUN_APART = 8;    // finished with a frame whose first `reach` items all began apart
// A program's items name items of the set before (a push's program, and
// its node of no action), of the set an action completes from, or are one
// Leo item's top.
constexpr uint8_t DECIDE_ROOT = 0;
constexpr uint8_t DECIDE_STEP = 1;
constexpr uint8_t DECIDE_LEO_STEP = 2;
// The item of an action that adds Leo's item of the set before for 'A' + n.
constexpr uint32_t DECIDE_LEO_ACTION = 0xFFFF;
// The frame of a set too long for one, or of a chart out of room for more.
constexpr uint32_t DECIDE_NO_FRAME = UINT32_MAX;

// Leo's item of a set: completing `nonterminal` from this set adds `top`
// alone, the end of a chain of completions that each have one way on.
struct decide_leo {
  decide_item top;       // the completed item at the chain's end
  uint32_t nonterminal;  // n for 'A' + n
};

// What can follow a nonterminal predicted in a set, for completions.
struct decide_tail {
  length_set lengths;    // the lengths of what can follow it there, up to a sentence's end
  uint32_t nonterminal;  // n for 'A' + n, or DECIDE_START
};

// A set of the chart: set j's items run up to set j + 1's first, the last
// set's to the end of the items. The items that began in an earlier set
// come first, in the order they were added; the items of its predictions,
// whose origin is the set itself, close it.
struct decide_set {
  uint32_t item;           // its first item
  uint32_t leo;            // its first Leo item
  nonterminal_set waited;  // the nonterminals that its items of earlier origins wait for
  nonterminal_set leos;    // the nonterminals it has a Leo item for
  uint32_t frame;          // its frame, or DECIDE_NO_FRAME
};

// An Earley chart over one table, grown a byte at a time: set j holds the
// items of the prefix of length j. Items are 4 bytes, in blocks of 16,384
// that are never moved, and a set takes 20 bytes more, and 8 per Leo item.
struct decide_chart {
  // The table, compiled by decide_begin.
  std::vector<decide_rule> rules;          // the start form's dotted rules, then each alternative's, in the index's order
  std::vector<length_set> rest_lengths;    // with completions: lengths of what follows each rule's position
  std::vector<uint16_t> first_rules;       // each owner's alternatives' first dotted rules, in rule order
  uint32_t first_at[DECIDE_OWNERS + 1] = {};       // where each owner's start in first_rules
  nonterminal_set closure[DECIDE_OWNERS] = {};     // what predicting each predicts: it and its initial rules' next ones
  nonterminal_set nullable = 0;                    // the nonterminals that derive the empty string
  uint16_t empty_rule[NONTERMINAL_COUNT] = {};     // the first dotted rule of each nullable one's empty derivation
  uint64_t empty_steps[NONTERMINAL_COUNT] = {};    // that derivation's rules, fewest of any; UINT64_MAX: not nullable
  uint16_t seed_end = 0;                           // the dotted rule of the whole start form: its item says "a sentence"
  bool completions = false;                        // sets keep their tails, for decide_completions
  // The states, made as the sets reach them.
  std::vector<decide_state> states;              // by number
  std::vector<uint16_t> state_rules;             // every state's dotted rules, in a row
  std::vector<decide_edge> edges;                // every state's edges, in a row
  std::vector<uint32_t> pieces;                  // the states of edges that go to more than one
  std::vector<uint32_t> state_hash;              // open hash of the states by kernel and prediction: number + 1, or 0
  std::vector<uint16_t> alone;                   // for each dotted rule, 1 + the open state of it alone, or 0
  uint32_t alone_missing = 0;                    // dotted rules without that state yet
  nonterminal_set candidates_ever = 0;           // what a set has had as a Leo candidate, since decide_begin
  nonterminal_set leos_ever = 0;                 // what a set has had a Leo item for, since decide_begin
  uint32_t state_limit = 0;                      // the most states, lowered by tests; those of rules alone always have room
  std::vector<decide_prediction> predictions;    // open hash of the predictions' states
  uint32_t prediction_count = 0;                 // slots of it in use
  // Frames and programs, made as the sets reach them.
  std::vector<decide_frame> frames;              // by number
  std::vector<uint32_t> frame_entries;           // every frame's entries, in a row
  std::vector<uint32_t> frame_hash;              // open hash of the frames: number + 1, or 0
  std::vector<decide_program> programs;          // by number
  std::vector<uint32_t> program_entries;         // every program's items, in a row
  std::vector<uint32_t> program_actions;         // every program's actions, in a row
  std::vector<uint64_t> program_hash;            // open hash of the programs: (frame << 9 | symbol) << 32 | number + 1, or 0
  std::vector<uint64_t> step_keys;               // open hash of the nodes by parent and what the action met: key + 1, or 0
  std::vector<uint32_t> step_ids;                // the node of each key
  uint32_t step_count = 0;                       // keys in it
  std::vector<uint32_t> pending;                 // the actions of the push under way
  std::vector<uint32_t> recipes;                 // the recipes of Leo's items of the set under way
  // The sets.
  std::vector<std::unique_ptr<decide_item[]>> blocks;  // every set's items, in order, in blocks
  uint32_t item_count = 0;                             // items held in the blocks
  decide_item* cursor = nullptr;                       // where the next item goes, in the last block
  uint32_t room = 0;                                   // items that still fit there
  std::unique_ptr<decide_set[]> sets;                  // room for the sets, the first set_count in use
  uint32_t set_count = 0;                              // the sets: one per prefix, set 0 for the empty one
  uint32_t set_room = 0;                               // the sets there is room for
  std::vector<decide_leo> leo;                         // room for every set's Leo items, in order, the first leo_count in use
  uint32_t leo_count = 0;                              // Leo items in use
  std::vector<decide_tail> tails;                      // with completions: every set's tails, in order
  std::vector<uint32_t> tail_start;                    // with completions: each set's first tail
  // The set being built: a short one finds its items by a scan, a longer
  // one in the hash, with "nonterminal n completed from set i" too.
  uint32_t first = 0;          // its first item
  uint64_t signature = 0;      // a short one's items: bit (hash of item) % 64
  std::vector<uint64_t> seen;  // open hash of its items: stamp << 32 | item
  int seen_bits = 0;           // log2 of seen's size, 0 while it is empty
  uint32_t seen_mask = 0;      // seen's size - 1, once it is not empty
  uint32_t seen_count = 0;     // keys of this set in it
  uint32_t stamp = 0;          // the stamp of this set's keys; older ones count as empty slots
  bool hashed = false;         // the set is long enough for the hash
};

// Starts `chart` over `g` with the empty prefix; whatever it held before
// goes, even a chart left by a bad_alloc. With `completions`, every set also
// keeps what can follow it, for decide_completions (some 16 bytes per
// nonterminal predicted in a set: for short prefixes).
void decide_begin(decide_chart& chart, const grammar_table& g, bool completions = false);
// The prefix grows by `byte`. Throws std::length_error at DECIDE_MAX_LENGTH
// and std::bad_alloc, with the chart as it was before the call.
void decide_push(decide_chart& chart, unsigned char byte);
// The prefix grows by the bytes of `text`, as by decide_push of each, but
// by runs of kept programs where it can: the quick way to push a string.
// Throws std::length_error past DECIDE_MAX_LENGTH and std::bad_alloc, with
// the chart as it was before the call.
void decide_push_text(decide_chart& chart, std::string_view text);
// The prefix loses its last byte, and the chart is what it was before that
// byte's push; on the empty prefix it does nothing.
void decide_pop(decide_chart& chart);
// The prefix keeps its first `length` bytes, as after as many pops, at the
// cost of one; longer lengths do nothing.
void decide_pop_to(decide_chart& chart, size_t length);
// The prefix's length.
inline size_t decide_length(const decide_chart& chart) { return chart.set_count - size_t{1}; }
// Whether the prefix is a sentence.
bool decide_accepts(const decide_chart& chart);
// Whether some sentence starts with the prefix; false for every push after.
bool decide_alive(const decide_chart& chart);
// Only with completions: bit r is set when some sentence is the prefix
// followed by exactly r more bytes (r < 64). 0 without completions.
length_set decide_completions(const decide_chart& chart);
// Replaces `labels` with one leftmost derivation of the prefix: the rules
// applied from the start form, each to the leftmost nonterminal. The same
// chart gives the same derivation every time. Returns false, with `labels`
// empty, when the prefix is not a sentence or the derivation it rebuilds
// would be longer than DECIDE_MAX_STEPS. Throws std::bad_alloc.
bool decide_derivation(const decide_chart& chart, std::vector<grammar_label>& labels);
// Whether `text` is a sentence of `g`, and, when `labels` is not null and it
// is, its derivation as decide_derivation gives it (false when that fails).
// Throws std::length_error past DECIDE_MAX_LENGTH, and std::bad_alloc.
bool decide_sentence(const grammar_table& g, std::string_view text, std::vector<grammar_label>* labels);

#endif

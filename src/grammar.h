// SPDX-License-Identifier: MIT
// Grammar module: the rule table, what it holds, and its listing. The
// loader fills it (loader.h); the analyses index it (analysis.h).
#ifndef SENTGEN_GRAMMAR_H
#define SENTGEN_GRAMMAR_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr int MAX_RULES = 30;        // rule entries in the table
constexpr int MAX_ALTERNATIVES = 5;  // alternatives per entry
constexpr int RHS_SLOT_SIZE = 10;    // 9 characters and the terminator
constexpr int NONTERMINAL_COUNT = 26;  // the nonterminals A to Z

// Whether `c` is a nonterminal: the bytes A to Z, whatever the locale.
inline bool is_nonterminal(char c) { return c >= 'A' && c <= 'Z'; }
// Terminals before the first nonterminal of an alternative: its size when
// it has none.
inline size_t grammar_lead(std::string_view text) {
  return static_cast<size_t>(std::find_if(text.begin(), text.end(), is_nonterminal) - text.begin());
}

// A rule as the listing labels it, "entry:slot": alternative `slot` of
// rule entry `entry`.
struct grammar_label {
  uint8_t entry;  // the rule entry
  uint8_t slot;   // the alternative's slot in it
};
inline bool operator==(grammar_label a, grammar_label b) { return a.entry == b.entry && a.slot == b.slot; }

// An alternative as the search uses it.
struct grammar_choice {
  uint8_t entry;  // the rule entry that holds it
  uint8_t slot;   // its slot in that entry
  uint8_t size;   // bytes it puts into a form: 0 for "@"
  uint8_t lead;   // terminals before its first nonterminal: size when none
  bool dead;      // its first nonterminal has no alternative: a form it makes is a dead end
  bool doomed;    // it holds a nonterminal that derives no sentence, nor does a form it makes
};

// The fixed-size rule table. An entry is one left-hand character with up to
// five alternatives; a nonterminal may own several entries, used in order.
struct grammar_table {
  int32_t rule_count;  // entries in use: 0 to rule_count - 1
  char lhs[MAX_RULES];  // left-hand character of each entry
  // rhs[i][j]: alternative j of entry i, NUL-terminated; "@" is the empty
  // string, and an empty slot ends the entry's alternatives.
  char rhs[MAX_RULES][MAX_ALTERNATIVES][RHS_SLOT_SIZE];
  // Derived from the fields above by the analyses, so that a step finds its
  // alternatives without a scan of the table: those of the nonterminal
  // 'A' + n, entries in table order and slots in order, are choices[k] for
  // k from choice_start[n] up to, not including, choice_start[n + 1].
  uint8_t choice_start[NONTERMINAL_COUNT + 1];
  grammar_choice choices[MAX_RULES * MAX_ALTERNATIVES];
  uint32_t derives;  // bit n: a sentence derives from 'A' + n
  // rhs_line[i][j]: the file line slot j of entry i was read from, for the
  // warnings that name it; rhs_line[i][0] is the entry's first line.
  uint64_t rhs_line[MAX_RULES][MAX_ALTERNATIVES];
};

// Whether the nonterminal `c` has no alternative.
inline bool grammar_has_no_rule(const grammar_table& g, char c) {
  size_t n = static_cast<size_t>(c - 'A');
  return g.choice_start[n] == g.choice_start[n + 1];
}

// The form the search starts from: the start symbol alone, or the empty
// form when the file has no rule line (its start symbol is then NUL).
inline std::string_view grammar_seed(const grammar_table& g) {
  return {g.lhs, g.lhs[0] != '\0' ? size_t{1} : size_t{0}};
}

// Prints "Production Rules" and one line per alternative of every entry.
void print_rules(const grammar_table& g);

// Number of alternatives of entry i: its slots up to the first empty one.
int grammar_alternative_count(const grammar_table& g, int i);

// The text of a right-hand-side slot as stored, up to its terminator.
inline std::string_view grammar_slot_text(const char (&slot)[RHS_SLOT_SIZE]) {
  return {slot, static_cast<size_t>(std::find(slot, slot + RHS_SLOT_SIZE, '\0') - slot)};
}

// The text an alternative contributes to a form: "" for "@", else the slot.
std::string_view grammar_alternative(const grammar_table& g, int i, int j);
inline std::string_view grammar_choice_text(const grammar_table& g, grammar_choice c) {
  return {g.rhs[c.entry][c.slot], c.size};
}

#endif

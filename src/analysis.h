// SPDX-License-Identifier: MIT
// Analysis module: what the rule table says before any search. The index
// of the alternatives by nonterminal, which the search steps through, and
// the facts about each nonterminal that the search set-up, the checks and
// the questions about a grammar all rest on: which have an alternative,
// which derive a string of terminals or the empty string, which the start
// symbol reaches, and how long the strings they derive can be.
#ifndef SENTGEN_ANALYSIS_H
#define SENTGEN_ANALYSIS_H

#include <cstdint>
#include <string_view>

#include "grammar.h"

// A set of nonterminals: bit n stands for 'A' + n.
using nonterminal_set = uint32_t;
inline nonterminal_set analysis_bit(char c) { return nonterminal_set{1} << (c - 'A'); }
inline bool analysis_has(nonterminal_set set, char c) { return (set & analysis_bit(c)) != 0; }
// The nonterminals that `text` holds.
nonterminal_set analysis_nonterminals(std::string_view text);

// Lengths of strings: bit k stands for length k, for k below
// ANALYSIS_LENGTHS; longer ones are not told apart.
using length_set = uint64_t;
constexpr int ANALYSIS_LENGTHS = 64;
// The lengths of a string of an `a` part followed by a `b` part.
length_set analysis_add_lengths(length_set a, length_set b);

// The length of the shortest string of terminals where there is none.
constexpr uint64_t ANALYSIS_NO_YIELD = UINT64_MAX;

// What is known of every nonterminal of a table. Alternatives are those of
// the index: a nonterminal's, over all its entries, in table order.
struct grammar_facts {
  nonterminal_set defined;   // nonterminals with at least one alternative
  nonterminal_set derives;   // those that derive a string of terminals
  nonterminal_set nullable;  // those that derive the empty string
  // The length of the shortest string of terminals each derives, or
  // ANALYSIS_NO_YIELD; lengths past 2^64 - 2 are held at that value.
  uint64_t shortest[NONTERMINAL_COUNT];
  length_set lengths[NONTERMINAL_COUNT];  // the lengths of the strings each derives
};

// The alternatives of an indexed table as the fixed points walk them:
// choice k of the index, whose nonterminal it is and which it holds.
struct analysis_choices {
  int count;                                            // choices in the index
  char owner[MAX_RULES * MAX_ALTERNATIVES];             // choice k is an alternative of owner[k]
  nonterminal_set holds[MAX_RULES * MAX_ALTERNATIVES];  // the nonterminals choice k holds
  nonterminal_set defined;                              // nonterminals with an alternative
};
void analysis_choices_of(const grammar_table& g, analysis_choices& choices);

// Fills the table's index of its alternatives by nonterminal (choice_start,
// choices) and `derives`; the loader calls it once the table is read.
void analysis_index(grammar_table& g);

// Fills `facts` from an indexed table.
void analysis_facts(const grammar_table& g, grammar_facts& facts);

// The nonterminals that derive a string of terminals, where those in
// `assumed` are taken to derive one whatever their alternatives. The search
// assumes none: a form that holds a nonterminal without alternatives never
// becomes a sentence. The checks assume the nonterminals without
// alternatives: those have a warning of their own, and the nonterminals
// that use them are not to blame.
nonterminal_set analysis_derives(const analysis_choices& choices, nonterminal_set assumed);

// The nonterminals that forms made from those in `from` can hold, through
// any alternative: `from` and all they lead to.
nonterminal_set analysis_reached(const analysis_choices& choices, nonterminal_set from);

// The lengths of the strings of terminals that `text`, a string of
// symbols, derives.
length_set analysis_text_lengths(const grammar_facts& facts, std::string_view text);

#endif

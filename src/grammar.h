// Grammar module: the rule table, its loader and its listing.
// It is also home to the output sink, since every other module builds on it.
#ifndef SENTGEN_GRAMMAR_H
#define SENTGEN_GRAMMAR_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

constexpr int MAX_RULES = 30;        // rule entries in the table
constexpr int MAX_ALTERNATIVES = 5;  // alternatives per entry
constexpr int RHS_SLOT_SIZE = 10;    // 9 characters and the terminator
constexpr int NONTERMINAL_COUNT = 26;  // the nonterminals A to Z

// An alternative as the search uses it.
struct grammar_choice {
  uint8_t entry;  // the rule entry that holds it
  uint8_t slot;   // its slot in that entry
  uint8_t size;   // bytes it puts into a form: 0 for "@"
};

// The fixed-size rule table. An entry is one left-hand character with up to
// five alternatives; a nonterminal may own several entries, used in order.
struct grammar_table {
  int32_t rule_count;  // entries in use: 0 to rule_count - 1
  char lhs[MAX_RULES];  // left-hand character of each entry
  // rhs[i][j]: alternative j of entry i, NUL-terminated; "@" is the empty
  // string, and an empty slot ends the entry's alternatives.
  char rhs[MAX_RULES][MAX_ALTERNATIVES][RHS_SLOT_SIZE];
  // Derived from the fields above by the loader, so that a step finds its
  // alternatives without a scan of the table: those of the nonterminal
  // 'A' + n, entries in table order and slots in order, are choices[k] for
  // k from choice_start[n] up to, not including, choice_start[n + 1].
  uint8_t choice_start[NONTERMINAL_COUNT + 1];
  grammar_choice choices[MAX_RULES * MAX_ALTERNATIVES];
};

extern grammar_table grammar;  // the one table of the run

// Fills `g` from grammar.txt in the current directory. Returns 0, or 1 after
// printing why the file cannot be used (missing, unreadable, or rejected).
int load_grammar(grammar_table& g);

// Fills `g` from the bytes of a grammar file. Returns 0, or 1 after printing
// the one "grammar.txt:N: ..." line that names the first offending line.
int parse_grammar(grammar_table& g, std::string_view bytes);

// Prints "Production Rules" and one line per alternative of every entry.
void print_rules(const grammar_table& g);

// Number of alternatives of entry i: its slots up to the first empty one.
int grammar_alternative_count(const grammar_table& g, int i);

// The text an alternative contributes to a form: "" for "@", else the slot.
std::string_view grammar_alternative(const grammar_table& g, int i, int j);
inline std::string_view grammar_choice_text(const grammar_table& g, grammar_choice c) {
  return {g.rhs[c.entry][c.slot], c.size};
}

// The output sink. Everything the program prints goes through it, to
// standard output or, while a buffer is set, appended to that buffer.
void output_to(std::string* buffer);  // nullptr: standard output
void output_write(std::string_view bytes);
// Room for `size` more bytes of output, to be filled before the next output
// call; null when the sink cannot give that much in one place.
char* output_room(size_t size);
// Writes `size` bytes that `fill` writes into the memory it is given: in
// place where the sink has room, else through a scratch buffer.
template <typename Fill>
void output_fill(size_t size, Fill fill) {
  if (char* room = output_room(size)) {
    fill(room);
    return;
  }
  std::unique_ptr<char[]> scratch(new char[size]);  // no need to clear it
  fill(scratch.get());
  output_write({scratch.get(), size});
}
// Hands everything written so far to standard output; returns 1 when
// standard output has failed, else 0.
int output_flush();

#endif

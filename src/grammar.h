// SPDX-License-Identifier: MIT
// Grammar module: the rule table, its loader and its listing.
#ifndef SENTGEN_GRAMMAR_H
#define SENTGEN_GRAMMAR_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

constexpr int MAX_RULES = 30;        // rule entries in the table
constexpr int MAX_ALTERNATIVES = 5;  // alternatives per entry
constexpr int RHS_SLOT_SIZE = 10;    // 9 characters and the terminator
constexpr int NONTERMINAL_COUNT = 26;  // the nonterminals A to Z
constexpr char GRAMMAR_FILE_NAME[] = "grammar.txt";  // read from the current directory

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
  // Derived from the fields above by the loader, so that a step finds its
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

extern grammar_table grammar;  // the one table of the run

// The loader's state between blocks of a grammar file: a file is parsed as
// it is read, and of each line only what the table needs is kept.
struct grammar_reader {
  grammar_table* table;        // the table being filled
  uint64_t line_number;        // the line being read, counted from 1
  uint64_t line_length;        // its bytes so far, newline excluded
  char first;                  // its first byte
  char arrow[4];               // its bytes at positions 1 to 4, for the warnings
  char rhs[RHS_SLOT_SIZE - 1];  // its first bytes from position 5 on
  bool comment;                // it starts with ';'
  bool nul;                    // it holds a byte 0
  bool cr_pending;             // a CR was read last, perhaps the start of CR LF
  bool ended;                  // the data has ended at a byte 0x1A
  int entry;                   // the entry rule lines go to now
  int alternatives;            // alternatives in that entry; 0 before any rule
  int status;                  // 0, or 1 once a line is rejected
};

// What the loader tells of each rule line it has judged, so that a watcher
// (the grammar checks) can look at the line without the loader's state.
struct grammar_line {
  uint64_t number;       // the line's number, counted from 1
  uint64_t length;       // its bytes, newline excluded
  char head[5];          // its bytes 0 to 4: the left-hand side and the separator
  std::string_view rhs;  // its right-hand side as stored ("@" for the empty string)
  int entry;             // the entry it went to
  int slot;              // its slot in that entry
  bool rejected;         // the loader rejected it, and reading stops here
};
using grammar_watcher = void (*)(const grammar_line& line);
// Tells `watcher` of every rule line judged from now on; nullptr: no one.
void grammar_watch(grammar_watcher watcher);

// Starts reading a grammar file into `g`, which is cleared.
void grammar_begin(grammar_reader& reader, grammar_table& g);
// Parses the next block of the file. Returns false once reading can stop:
// a line was rejected (its message is printed) or the data has ended.
bool grammar_feed(grammar_reader& reader, std::string_view block);
// Ends the file: parses its last line and completes the table. Returns 0,
// or 1 when a line was rejected.
int grammar_end(grammar_reader& reader);

// Reads up to `size` bytes of the open grammar file into `buffer`; returns
// the bytes read, 0 at the end of the file, or -1 with errno set when the
// read fails. A test may point it at a read that fails.
extern long (*grammar_read)(char* buffer, size_t size, FILE* file);

// "grammar.txt:N: ", the start of every message about line N of the file.
std::string grammar_position(uint64_t line);

// Fills `g` from grammar.txt in the current directory. Returns 0, or 1 after
// printing why the file cannot be used (missing, unreadable, rejected, or a
// read that failed).
int load_grammar(grammar_table& g);

// Fills `g` from the bytes of a grammar file. Returns 0, or 1 after printing
// the one "grammar.txt:N: ..." line that names the first offending line.
int parse_grammar(grammar_table& g, std::string_view bytes);

// The form the search starts from: the start symbol alone, or the empty
// form when the file has no rule line (its start symbol is then NUL).
inline std::string_view grammar_seed(const grammar_table& g) {
  return {g.lhs, g.lhs[0] != '\0' ? size_t{1} : size_t{0}};
}

// Prints "Production Rules" and one line per alternative of every entry.
void print_rules(const grammar_table& g);

// Number of alternatives of entry i: its slots up to the first empty one.
int grammar_alternative_count(const grammar_table& g, int i);

// The text an alternative contributes to a form: "" for "@", else the slot.
std::string_view grammar_alternative(const grammar_table& g, int i, int j);
inline std::string_view grammar_choice_text(const grammar_table& g, grammar_choice c) {
  return {g.rhs[c.entry][c.slot], c.size};
}

#endif

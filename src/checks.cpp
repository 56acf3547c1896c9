// SPDX-License-Identifier: MIT
// Checks module: warnings about slips in a grammar file, line by line as
// the loader reads it and over the whole table once it is loaded.
#include "checks.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "output.h"

namespace {

bool check_enabled = true;  // off: no check prints anything

// A warning, kept until the file is read: a rejected file has no listing
// and no search, so of its warnings only those about a line's own shape
// are printed, in their words for such a file.
struct check_warning {
  uint64_t line;         // the line it names
  std::string text;      // its words for a loaded file
  std::string rejected;  // its words for a rejected file; empty: not printed
};
// The warnings of this file so far, printed together in line order once
// the file is read. A file has at most a few hundred: one a stored rule
// line, a few a nonterminal.
std::vector<check_warning> check_warnings;

// A set of nonterminals, bit n for 'A' + n: the whole-table checks are
// small fixpoints over these, with no allocation.
using check_set = uint32_t;
inline check_set check_bit(char c) { return check_set{1} << (c - 'A'); }
inline bool check_has(check_set set, size_t n) { return (set >> n & 1) != 0; }

// The nonterminals in `text`.
check_set check_nonterminals(std::string_view text) {
  check_set set = 0;
  for (char c : text) set |= is_nonterminal(c) ? check_bit(c) : 0;
  return set;
}

// Keeps a warning about `line` for check_end to print; `shape`: it is
// about the line's own shape, and also printed when the file is rejected,
// in the words `rejected` (those of a loaded file when empty).
void check_warn(uint64_t line, std::string message, bool shape = false,
                std::string rejected = "") {
  if (!check_enabled) return;
  if (shape && rejected.empty()) rejected = message;
  check_warnings.push_back({line, std::move(message), std::move(rejected)});
}

bool has_byte_order_mark(const grammar_line& line) {
  return line.number == 1 && line.length >= 3 && line.head[0] == '\xef' &&
         line.head[1] == '\xbb' && line.head[2] == '\xbf';
}

// The first line of an entry whose left-hand side is not a nonterminal:
// the search never expands it, whatever its alternatives.
void check_left_hand_side(const grammar_line& line) {
  char ch = line.head[0];
  std::string shape = "left-hand side " + check_quote({&ch, 1}) + " is not a nonterminal A to Z";
  std::string run = ": the rules of this entry are listed but never used";
  if (line.entry == 0) {
    run += ", and the start symbol " + check_quote({&ch, 1}) + " is the only sentence";
  }
  std::string hint;
  if (ch == '#' || ch == '/') {
    hint = "; comment lines start with \";\"";
  } else if (ch == ' ' || ch == '\t') {
    hint = "; the left-hand side is the line's first character";
  } else if (ch >= 'a' && ch <= 'z') {
    hint = "; nonterminals are upper case";
  }
  check_warn(line.number, shape + run + hint, true, shape + hint);
}

// A line of exactly five characters: its right-hand side, from the sixth
// on, is empty, which ends its entry's alternatives. When characters 2 to 5
// are not the separator, the writer most likely left out a space.
void check_five_characters(const grammar_line& line) {
  char ch = line.head[0];
  std::string_view arrow(line.head + 1, 4);
  std::string message = "the rule line " + check_quote({line.head, 5}) + " has exactly 5 characters";
  if (arrow == " -> ") {
    message += ": its empty right-hand side hides it and every later alternative of this "
               "entry of " + std::string(1, ch) + "; \"" + ch + " -> @\" writes the empty string";
  } else {
    // What follows the separator's characters, as the writer most likely
    // meant it: "S ->@" is "S -> @" without its space.
    size_t meant = arrow.find_first_not_of(" ->");
    std::string rhs(meant == std::string_view::npos ? "@" : arrow.substr(meant));
    message += ", and characters 2 to 5 are " + check_quote(arrow) +
               ", not \" -> \": its right-hand side, from the 6th character on, is empty and "
               "hides it and every later alternative of this entry of " + std::string(1, ch) +
               "; for the right-hand side " + check_quote(rhs) + " write " +
               check_quote(std::string(1, ch) + " -> " + rhs);
  }
  check_warn(line.number, message, true);
}

// The table as the whole-table checks see it: for each alternative of the
// index, its nonterminal and the nonterminals it holds.
struct check_uses {
  int count;                                       // alternatives in the index
  uint8_t owner[MAX_RULES * MAX_ALTERNATIVES];     // 'A' + owner[k] has alternative k
  check_set holds[MAX_RULES * MAX_ALTERNATIVES];   // the nonterminals alternative k holds
  check_set defined;                               // nonterminals with an alternative
};

void check_collect(const grammar_table& g, check_uses& uses) {
  uses.count = g.choice_start[NONTERMINAL_COUNT];
  uses.defined = 0;
  for (uint8_t n = 0; n < NONTERMINAL_COUNT; ++n) {
    for (int k = g.choice_start[n]; k < g.choice_start[n + 1]; ++k) {
      uses.owner[k] = n;
      uses.holds[k] = check_nonterminals(grammar_choice_text(g, g.choices[k]));
      uses.defined |= check_set{1} << n;
    }
  }
}

// The nonterminals that forms made from `from` can hold.
check_set check_reached(const check_uses& uses, check_set from) {
  check_set reached = from;
  for (check_set before = 0; before != reached;) {
    before = reached;
    for (int k = 0; k < uses.count; ++k) {
      if (check_has(reached, uses.owner[k])) reached |= uses.holds[k];
    }
  }
  return reached;
}

// The nonterminals that derive a sentence: those with an alternative whose
// nonterminals all do. A nonterminal without any alternative counts as one
// that does: it has a warning of its own, and those that use it are not to
// blame.
check_set check_derives(const check_uses& uses) {
  check_set ends = ~uses.defined;
  for (check_set before = 0; before != ends;) {
    before = ends;
    for (int k = 0; k < uses.count; ++k) {
      if ((uses.holds[k] & ~ends) == 0) ends |= check_set{1} << uses.owner[k];
    }
  }
  return ends;
}

// The first entry of `c` whose alternatives a five-character line ends
// before any, or -1.
int check_hidden_entry(const grammar_table& g, char c) {
  for (int i = 0; i < g.rule_count; ++i) {
    if (g.lhs[i] == c && g.rhs[i][0][0] == '\0') return i;
  }
  return -1;
}

}  // namespace

void check_reset() { check_warnings.clear(); }

void check_enable(bool on) { check_enabled = on; }

void check_line(const grammar_line& line) {
  if (has_byte_order_mark(line)) {
    check_warn(line.number,
               "the file starts with a UTF-8 byte-order mark, read as the first line's first "
               "bytes: its left-hand side is \"\\xef\", not a nonterminal; save the file "
               "without the mark",
               true);
  }
  if (line.rejected) return;
  char ch = line.head[0];
  if (!is_nonterminal(ch)) {
    // Its entry is never used, so the shape of its lines does not matter.
    if (line.slot == 0 && !has_byte_order_mark(line)) check_left_hand_side(line);
    return;
  }
  if (line.length == 5) {
    check_five_characters(line);
    return;
  }
  std::string_view arrow(line.head + 1, 4);
  if (arrow != " -> ") {
    std::string read_as = line.rhs == "@" ? "\"@\", the empty string" : check_quote(line.rhs);
    check_warn(line.number,
               "characters 2 to 5 are " + check_quote(arrow) +
                   ", not \" -> \", so the right-hand side is read as " + read_as,
               true);
  }
}

void check_table(const grammar_table& g) {
  char start = g.lhs[0];
  // A start symbol that is not a nonterminal uses no rule at all, which
  // its entry's warning has said.
  if (!is_nonterminal(start)) return;
  check_uses uses;
  check_collect(g, uses);
  check_set reached = check_reached(uses, check_bit(start));
  check_set ends = check_derives(uses);

  // Nonterminals that a used alternative holds but that have none of their
  // own, named at the first line that uses them.
  uint64_t first_use[NONTERMINAL_COUNT] = {};
  for (int k = 0; k < uses.count; ++k) {
    check_set missing = check_has(reached, uses.owner[k]) ? uses.holds[k] & ~uses.defined : 0;
    if (missing != 0) {
      uint64_t line = g.rhs_line[g.choices[k].entry][g.choices[k].slot];
      for (size_t m = 0; missing != 0; ++m, missing >>= 1) {
        if ((missing & 1) != 0 && (first_use[m] == 0 || line < first_use[m])) first_use[m] = line;
      }
    }
  }
  for (size_t m = 0; m < NONTERMINAL_COUNT; ++m) {
    if (first_use[m] == 0) continue;
    char c = static_cast<char>('A' + m);
    std::string message = std::string(1, c) + " has no alternative: no form that holds it "
                                              "becomes a sentence; ";
    // Rule lines for it that a five-character line hides: mend that line.
    int hidden = check_hidden_entry(g, c);
    if (hidden >= 0) {
      message += "line " + std::to_string(g.rhs_line[hidden][0]) +
                 ", its rule line of exactly 5 characters, ends its alternatives before any: "
                 "write a right-hand side on it (\"@\" for the empty string)";
    } else {
      message += "add a rule line for " + std::string(1, c);
    }
    check_warn(first_use[m], message);
  }

  // Rules that replace a nonterminal by itself alone, where the search
  // uses them: each makes a copy of the form it is applied to.
  for (int k = 0; k < uses.count; ++k) {
    char c = static_cast<char>('A' + uses.owner[k]);
    bool copies = grammar_choice_text(g, g.choices[k]) == std::string_view(&c, 1);
    if (!copies || !check_has(reached, uses.owner[k])) continue;
    check_warn(g.rhs_line[g.choices[k].entry][g.choices[k].slot],
               "the rule " + check_quote(std::string(1, c) + " -> " + c) + " replaces " + c +
                   " by itself: it only copies the form it is applied to, a step that brings "
                   "no sentence nearer, and each copy takes a place on the stack; delete it");
  }

  // Nonterminals whose every alternative leads back into ones that never
  // end, named at their first entry.
  for (size_t n = 0; n < NONTERMINAL_COUNT; ++n) {
    if (!check_has(reached & ~ends, n)) continue;
    char c = static_cast<char>('A' + n);
    check_warn(g.rhs_line[g.choices[g.choice_start[n]].entry][0],
               std::string(1, c) +
                   " derives no sentence: each of its alternatives holds a nonterminal that "
                   "derives none; add a base case, such as \"" + c +
                   " -> @\", to it or to the nonterminals it uses");
  }

  // Nonterminals with rules that no form made from the start symbol ever
  // holds, named at their first entry.
  check_set named = reached;
  for (int i = 0; i < g.rule_count; ++i) {
    char c = g.lhs[i];
    if (!is_nonterminal(c) || (named & check_bit(c)) != 0) continue;
    named |= check_bit(c);
    check_warn(g.rhs_line[i][0], std::string("the start symbol ") + start + " never reaches " +
                                     c + ": its rules are never used");
  }
}

void check_end(bool loaded) {
  if (!loaded) {
    // No listing, no search: only a line's own shape is worth telling.
    auto about_run = [](const check_warning& w) { return w.rejected.empty(); };
    check_warnings.erase(std::remove_if(check_warnings.begin(), check_warnings.end(), about_run),
                         check_warnings.end());
    for (check_warning& w : check_warnings) w.text = std::move(w.rejected);
  }
  if (check_warnings.empty()) return;
  std::stable_sort(check_warnings.begin(), check_warnings.end(),
                   [](const auto& a, const auto& b) { return a.line < b.line; });
  size_t shown = std::min(check_warnings.size(), size_t{CHECK_WARNING_LIMIT});
  std::string text;
  for (size_t k = 0; k < shown; ++k) {
    text += grammar_position(check_warnings[k].line) + "warning: " + check_warnings[k].text + '\n';
  }
  if (check_warnings.size() > shown) {
    text += std::string(GRAMMAR_FILE_NAME) + ": warning: " +
            std::to_string(check_warnings.size() - shown) + " more warnings not shown\n";
  }
  output_error(text);
  check_warnings.clear();
}

std::string check_quote(std::string_view bytes) {
  std::string out = "\"";
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

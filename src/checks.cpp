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

bool check_enabled = true;  // off: no check keeps anything

// Keeps a warning about `line` for check_end to print; `shape`: it is
// about the line's own shape, and also printed when the file is rejected,
// in the words `rejected` (those of a loaded file when empty).
void check_warn(check_report& report, uint64_t line, std::string message, bool shape = false,
                std::string rejected = "") {
  if (!check_enabled) return;
  if (shape && rejected.empty()) rejected = message;
  report.warnings.push_back({line, std::move(message), std::move(rejected)});
}

bool has_byte_order_mark(const loader_line& line) {
  return line.number == 1 && line.length >= 3 && line.head[0] == '\xef' &&
         line.head[1] == '\xbb' && line.head[2] == '\xbf';
}

// The first line of an entry whose left-hand side is not a nonterminal:
// the search never expands it, whatever its alternatives.
void check_left_hand_side(check_report& report, const loader_line& line) {
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
  check_warn(report, line.number, shape + run + hint, true, shape + hint);
}

// A line of exactly five characters: its right-hand side, from the sixth
// on, is empty, which ends its entry's alternatives. When characters 2 to 5
// are not the separator, the writer most likely left out a space.
void check_five_characters(check_report& report, const loader_line& line) {
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
  check_warn(report, line.number, message, true);
}

// The checks of one rule line, as the loader tells of it.
void check_line(void* context, const loader_line& line) {
  check_report& report = *static_cast<check_report*>(context);
  if (line.rejected) report.rejected_line = line.number;
  if (has_byte_order_mark(line)) {
    check_warn(report, line.number,
               "the file starts with a UTF-8 byte-order mark, read as the first line's first "
               "bytes: its left-hand side is \"\\xef\", not a nonterminal; save the file "
               "without the mark",
               true);
  }
  if (line.rejected) return;
  char ch = line.head[0];
  if (!is_nonterminal(ch)) {
    // Its entry is never used, so the shape of its lines does not matter.
    if (line.slot == 0 && !has_byte_order_mark(line)) check_left_hand_side(report, line);
    return;
  }
  if (line.length == 5) {
    check_five_characters(report, line);
    return;
  }
  std::string_view arrow(line.head + 1, 4);
  if (arrow != " -> ") {
    std::string read_as = line.rhs == "@" ? "\"@\", the empty string" : check_quote(line.rhs);
    check_warn(report, line.number,
               "characters 2 to 5 are " + check_quote(arrow) +
                   ", not \" -> \", so the right-hand side is read as " + read_as,
               true);
  }
}

// The first entry of `c` whose alternatives a five-character line ends
// before any, or -1.
int check_hidden_entry(const grammar_table& g, char c) {
  for (int i = 0; i < g.rule_count; ++i) {
    if (g.lhs[i] == c && g.rhs[i][0][0] == '\0') return i;
  }
  return -1;
}

// The file line choice k of the index was read from.
uint64_t check_choice_line(const grammar_table& g, int k) {
  return g.rhs_line[g.choices[k].entry][g.choices[k].slot];
}

// Nonterminals that a used alternative holds but that have none of their
// own, named at the first line that uses them.
void check_undefined(check_report& report, const grammar_table& g, const analysis_choices& uses,
                     nonterminal_set reached) {
  uint64_t first_use[NONTERMINAL_COUNT] = {};
  for (int k = 0; k < uses.count; ++k) {
    nonterminal_set missing = analysis_has(reached, uses.owner[k]) ? uses.holds[k] & ~uses.defined : 0;
    uint64_t line = check_choice_line(g, k);
    for (size_t m = 0; missing != 0; ++m, missing >>= 1) {
      if ((missing & 1) != 0 && (first_use[m] == 0 || line < first_use[m])) first_use[m] = line;
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
    check_warn(report, first_use[m], message);
  }
}

// Rules that replace a nonterminal by itself alone, where the search uses
// them: each makes a copy of the form it is applied to.
void check_copies(check_report& report, const grammar_table& g, const analysis_choices& uses,
                  nonterminal_set reached) {
  for (int k = 0; k < uses.count; ++k) {
    char c = uses.owner[k];
    bool copies = grammar_choice_text(g, g.choices[k]) == std::string_view(&c, 1);
    if (!copies || !analysis_has(reached, c)) continue;
    check_warn(report, check_choice_line(g, k),
               "the rule " + check_quote(std::string(1, c) + " -> " + c) + " replaces " + c +
                   " by itself: it only copies the form it is applied to, a step that brings "
                   "no sentence nearer, and each copy takes a place on the stack; delete it");
  }
}

// Nonterminals whose every alternative leads back into ones that never
// end, named at their first entry; and nonterminals with rules that no
// form made from the start symbol ever holds, named at their first entry.
void check_ends_and_reach(check_report& report, const grammar_table& g, const analysis_choices& uses,
                          nonterminal_set reached) {
  // A nonterminal without any alternative counts as one that ends: it
  // has a warning of its own, and those that use it are not to blame.
  nonterminal_set ends = analysis_derives(uses, ~uses.defined);
  for (int n = 0; n < NONTERMINAL_COUNT; ++n) {
    char c = static_cast<char>('A' + n);
    if (!analysis_has(reached & ~ends, c)) continue;
    check_warn(report, g.rhs_line[g.choices[g.choice_start[n]].entry][0],
               std::string(1, c) +
                   " derives no sentence: each of its alternatives holds a nonterminal that "
                   "derives none; add a base case, such as \"" + c +
                   " -> @\", to it or to the nonterminals it uses");
  }
  nonterminal_set named = reached;
  char start = g.lhs[0];
  for (int i = 0; i < g.rule_count; ++i) {
    char c = g.lhs[i];
    if (!is_nonterminal(c) || analysis_has(named, c)) continue;
    named |= analysis_bit(c);
    check_warn(report, g.rhs_line[i][0], std::string("the start symbol ") + start +
                                             " never reaches " + c + ": its rules are never used");
  }
}

}  // namespace

void check_enable(bool on) { check_enabled = on; }

loader_watcher check_watcher(check_report& report) { return {check_line, &report}; }

void check_table(check_report& report, const grammar_table& g) {
  char start = g.lhs[0];
  // A start symbol that is not a nonterminal uses no rule at all, which
  // its entry's warning has said.
  if (!is_nonterminal(start)) return;
  analysis_choices uses;
  analysis_choices_of(g, uses);
  nonterminal_set reached = analysis_reached(uses, analysis_bit(start));
  check_undefined(report, g, uses, reached);
  check_copies(report, g, uses, reached);
  check_ends_and_reach(report, g, uses, reached);
}

void check_end(check_report& report, std::string_view name, bool loaded) {
  std::vector<check_warning>& warnings = report.warnings;
  if (!loaded) {
    // No listing, no search: only a line's own shape is worth telling.
    auto about_run = [](const check_warning& w) { return w.rejected.empty(); };
    warnings.erase(std::remove_if(warnings.begin(), warnings.end(), about_run), warnings.end());
    for (check_warning& w : warnings) w.text = std::move(w.rejected);
  }
  std::stable_sort(warnings.begin(), warnings.end(),
                   [](const auto& a, const auto& b) { return a.line < b.line; });
  if (warnings.empty()) return;
  size_t shown = std::min(warnings.size(), size_t{CHECK_WARNING_LIMIT});
  std::string text;
  for (size_t k = 0; k < shown; ++k) {
    text += loader_position(name, warnings[k].line) + "warning: " + warnings[k].text + '\n';
  }
  if (warnings.size() > shown) {
    text += std::string(name) + ": warning: " + std::to_string(warnings.size() - shown) +
            " more warnings not shown\n";
  }
  output_error(text);
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

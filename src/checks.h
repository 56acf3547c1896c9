// SPDX-License-Identifier: MIT
// Checks module: warnings on standard error where a grammar file says
// something other than its writer most likely meant. They never change
// what the run prints on standard output or its exit status.
#ifndef SENTGEN_CHECKS_H
#define SENTGEN_CHECKS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "grammar.h"
#include "loader.h"

constexpr int CHECK_WARNING_LIMIT = 20;  // warning lines printed for a file; the rest are counted

// A warning, kept until the file is read: a rejected file has no listing
// and no search, so of its warnings only those about a line's own shape
// are printed, in their words for such a file.
struct check_warning {
  uint64_t line;         // the line it names
  std::string text;      // its words for a loaded file
  std::string rejected;  // its words for a rejected file; empty: not printed
};

// The warnings of one grammar file, gathered while it is read and printed
// together in line order once it is. A file has at most a few hundred:
// one a stored rule line, a few a nonterminal.
struct check_report {
  std::vector<check_warning> warnings;  // in the order found; in line order after check_end
  uint64_t rejected_line = 0;           // the rule line the loader rejected; 0: none
};

// Turns the checks on or off for the loads that follow; they start on.
void check_enable(bool on);

// The checks of each rule line, as the loader tells of it, into `report`.
loader_watcher check_watcher(check_report& report);

// The checks that need the whole loaded table: nonterminals without
// alternatives, nonterminals that derive no sentence, unreachable entries.
void check_table(check_report& report, const grammar_table& g);

// Prints the file's warnings on standard error, in line order, each as
// "NAME:N: warning: ...", the first CHECK_WARNING_LIMIT of them and then
// how many more there were; `report` keeps those it printed. A file that
// was not `loaded` has no listing and no search: of its warnings, only
// those about the shape of the lines read before the rejected one are
// printed, worded without claims about a run.
void check_end(check_report& report, std::string_view name, bool loaded);

// `bytes` in double quotes, with every byte a terminal could take for a
// control sequence (control bytes, DEL, 0x80 and above) written as \t, \r
// or \xHH, and \ and " escaped.
std::string check_quote(std::string_view bytes);

#endif

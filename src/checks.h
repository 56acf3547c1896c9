// SPDX-License-Identifier: MIT
// Checks module: warnings on standard error where a grammar file says
// something other than its writer most likely meant. They never change
// what the run prints on standard output or its exit status.
#ifndef SENTGEN_CHECKS_H
#define SENTGEN_CHECKS_H

#include <string>
#include <string_view>

#include "grammar.h"

constexpr int CHECK_WARNING_LIMIT = 20;  // warning lines printed a run; the rest are counted

// Forgets the warnings kept: the next file starts with none.
void check_reset();
// Turns the checks on or off for the runs that follow; they start on.
void check_enable(bool on);

// The checks of one rule line, as the loader tells of it (a grammar_watcher).
void check_line(const grammar_line& line);

// The checks that need the whole loaded table: nonterminals without
// alternatives, nonterminals that derive no sentence, unreachable entries.
void check_table(const grammar_table& g);

// Prints the file's warnings on standard error, in line order, the first
// CHECK_WARNING_LIMIT of them and then how many more there were. A file
// that was not `loaded` has no listing and no search: of its warnings,
// only those about the shape of the lines read before the rejected one
// are printed, worded without claims about a run.
void check_end(bool loaded);

// `bytes` in double quotes, with every byte a terminal could take for a
// control sequence (control bytes, DEL, 0x80 and above) written as \t, \r
// or \xHH, and \ and " escaped.
std::string check_quote(std::string_view bytes);

#endif

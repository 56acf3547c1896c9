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

// Starts a file's warnings: none kept yet.
void check_begin();
// Turns the checks on or off for the runs that follow; they start on.
void check_enable(bool on);

// The loader's checks of the rule line `reader` has just read: the first
// is called before the line is stored or rejected, the second once it is
// stored, with `reader` still describing it.
void check_byte_order_mark(const grammar_reader& reader);
void check_rule_line(const grammar_reader& reader);

// The checks that need the whole loaded table: nonterminals without
// alternatives, nonterminals that derive no sentence, unreachable entries.
void check_table(const grammar_table& g);

// Prints the file's warnings on standard error, in line order, the first
// CHECK_WARNING_LIMIT of them and then how many more there were.
void check_end();

// `bytes` in double quotes, with every byte a terminal could take for a
// control sequence (control bytes, DEL, 0x80 and above) written as \t, \r
// or \xHH, and \ and " escaped.
std::string check_quote(std::string_view bytes);

#endif

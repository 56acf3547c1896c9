// SPDX-License-Identifier: MIT
// Grammar module: what the rule table holds, and its listing.
#include "grammar.h"

#include <cstdio>

#include "output.h"

int grammar_alternative_count(const grammar_table& g, int i) {
  int j = 0;
  while (j < MAX_ALTERNATIVES && g.rhs[i][j][0] != '\0') ++j;
  return j;
}

std::string_view grammar_alternative(const grammar_table& g, int i, int j) {
  if (g.rhs[i][j][0] == '@') return {};
  return grammar_slot_text(g.rhs[i][j]);
}

void print_rules(const grammar_table& g) {
  output_write("Production Rules\n");
  for (int i = 0; i < g.rule_count; ++i) {
    int count = grammar_alternative_count(g, i);
    for (int j = 0; j < count; ++j) {
      // "\t%d:%d %c -> %s\n"; the left-hand side is one byte, whatever it is.
      char head[32];
      int n = snprintf(head, sizeof head, "\t%d:%d ", i, j);
      output_write({head, static_cast<size_t>(n)});
      output_write({&g.lhs[i], 1});
      output_write(" -> ");
      output_write(grammar_slot_text(g.rhs[i][j]));
      output_write("\n");
    }
  }
}

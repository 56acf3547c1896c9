// Unit tests of the rule table: what the loader stores, beyond what the
// listing shows.
#include "grammar.h"

#include <gtest/gtest.h>

namespace {

TEST(GrammarTest, FileWithoutRulesHasOneEntryWithNulStart) {
  grammar_table g;
  ASSERT_EQ(parse_grammar(g, "; only a comment\n"), 0);
  EXPECT_EQ(g.rule_count, 1);
  EXPECT_EQ(g.lhs[0], '\0');
  EXPECT_EQ(grammar_alternative_count(g, 0), 0);
}

TEST(GrammarTest, ParsingStartsFromAnEmptyTable) {
  grammar_table g;
  ASSERT_EQ(parse_grammar(g, "S -> a\nS -> b\nA -> c\n"), 0);
  ASSERT_EQ(parse_grammar(g, "T -> x\n"), 0);
  EXPECT_EQ(g.rule_count, 1);
  EXPECT_EQ(grammar_alternative_count(g, 0), 1);
  EXPECT_EQ(g.lhs[1], '\0');
}

TEST(GrammarTest, AlternativesAsTheSearchUsesThem) {
  grammar_table g;
  ASSERT_EQ(parse_grammar(g, "S -> abcdefghi\nS -> @tail\nS -> a@\nS -> \nS -> hidden\n"), 0);
  EXPECT_EQ(grammar_alternative_count(g, 0), 3);
  EXPECT_EQ(grammar_alternative(g, 0, 0), "abcdefghi");
  EXPECT_EQ(grammar_alternative(g, 0, 1), "");
  EXPECT_EQ(grammar_alternative(g, 0, 2), "a@");
  EXPECT_STREQ(g.rhs[0][4], "hidden");
}

TEST(GrammarTest, RejectedFileLeavesNoListing) {
  grammar_table g;
  std::string printed;
  output_to(&printed);
  EXPECT_EQ(parse_grammar(g, "S -> a\nS ->\n"), 1);
  output_to(nullptr);
  EXPECT_EQ(printed, "grammar.txt:2: rule line shorter than 5 characters\n");
}

}  // namespace

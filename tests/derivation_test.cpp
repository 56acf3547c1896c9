// SPDX-License-Identifier: MIT
// Unit tests of the form stack and the expansion step: the orders and
// limits that a whole run shows only indirectly.
#include "derivation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "form_read.h"
#include "output.h"
#include "reference_search.h"
#include "run.h"

namespace {

// Each test starts from an empty stack and captures what is printed.
class DerivationTest : public ::testing::Test {
 protected:
  void SetUp() override { run_reset(); }
  void TearDown() override { run_reset(); }
  std::string pop() {
    sentential_form form;
    stack_pop_shortest(form);
    EXPECT_TRUE(form_is_sound(form));
    return form_text(form);
  }
  int expand(const grammar_table& g, std::string_view text, int budget) {
    sentential_form form = form_from_text(text);
    return expand_leftmost(g, form, budget);
  }
  void fill(int count) {
    for (int i = 0; i < count; ++i) stack_push("aaaaaaaaaaaaaaaa" + std::to_string(i));
  }
  static grammar_table load(std::string_view text) {
    grammar_table g;
    EXPECT_EQ(parse_grammar(g, text), 0);
    return g;
  }
  output_capture capture;           // what the test prints
  const std::string& printed = capture.out;
};

const std::string overflow_line = "STACK OVERFLOW!\n";

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST_F(DerivationTest, EqualLengthsComeOutInSlotExchangeOrder) {
  for (const char* form : {"x", "y", "z", "w"}) stack_push(form);
  std::vector<std::string> order;
  while (!stack_is_empty()) order.push_back(pop());
  EXPECT_EQ(order, (std::vector<std::string>{"x", "w", "z", "y"}));
}

// Random pushes and removals against the plain rule: scan every slot for
// the shortest, lowest slot first, and exchange it with the last slot.
TEST_F(DerivationTest, RemovalMatchesLinearScanOfSlots) {
  reference_stack<int> model;
  std::mt19937 random(12345);
  for (int step = 0; step < 40000; ++step) {
    bool push = model.slots.empty() || random() % 100 < (step < 20000 ? 55u : 45u);
    if (push) {
      std::string form(random() % 12, 'a');
      if (!form.empty() && random() % 2) form[random() % form.size()] = 'S';
      form += static_cast<char>('a' + step % 26);
      stack_push(form);
      if (model.slots.size() < static_cast<size_t>(STACK_LIMIT)) model.push(form, step);
    } else {
      ASSERT_EQ(pop(), model.pop_shortest().first) << "at step " << step;
    }
    ASSERT_EQ(stack_size(), static_cast<int>(model.slots.size()));
  }
}

TEST_F(DerivationTest, FullStackRefusesEachPushWithOneLine) {
  fill(STACK_LIMIT);
  EXPECT_EQ(printed, "");
  stack_push("a");
  stack_push("b");
  EXPECT_EQ(printed, repeat(overflow_line, 2));
  EXPECT_EQ(stack_size(), STACK_LIMIT);
  // The refused short forms were not kept: the shortest left is a filler.
  EXPECT_EQ(pop().size(), 17u);
}

TEST_F(DerivationTest, StepOnFullStackKeepsOnlyFirstNewForm) {
  grammar_table g = load("S -> x\nS -> yy\nA -> q\nS -> zzz\n");
  fill(STACK_LIMIT - 1);
  EXPECT_EQ(expand(g, "S", 7), 7);
  EXPECT_EQ(printed, repeat(overflow_line, 2));
  EXPECT_EQ(pop(), "x");
}

TEST_F(DerivationTest, SentenceIsPrintedAndSpendsBudget) {
  grammar_table g = load("S -> a\n");
  EXPECT_EQ(expand(g, "a\x80\xff z", 3), 2);
  EXPECT_EQ(expand(g, "", 2), 1);
  EXPECT_EQ(printed, "a\x80\xff z\n\n");
  EXPECT_TRUE(stack_is_empty());
}

TEST_F(DerivationTest, ReplacesLeftmostInTableThenSlotOrder) {
  grammar_table g = load("X -> dZ\nX -> @\nY -> y\nX -> eeYe\nZ -> z\n");
  EXPECT_EQ(expand(g, "abXcYd", 5), 5);
  EXPECT_EQ(printed, "");
  // Pushed in the order abdZcYd, abcYd, abeeYecYd: the shortest goes first,
  // then the exchange leaves the other two in push order.
  EXPECT_EQ(pop(), "abcYd");
  EXPECT_EQ(pop(), "abdZcYd");
  EXPECT_EQ(pop(), "abeeYecYd");
}

// A new form whose leftmost nonterminal has no rule, from the alternative
// or after it, keeps its length and that nonterminal but not its text: it
// comes out in its turn and is dropped, as one with its text would be.
TEST_F(DerivationTest, NewFormWhoseLeftmostHasNoRuleKeepsOnlyItsPlace) {
  grammar_table g = load("S -> Zb\nS -> aa\nS -> c\nS -> dddS\nS -> eeeeeeeee\n");
  EXPECT_EQ(expand(g, "xSXy", 5), 5);
  EXPECT_EQ(stack_size(), 5);
  auto pop_dead_end = [&g](size_t length, char leftmost) {
    sentential_form form;
    stack_pop_shortest(form);
    ASSERT_TRUE(form_is_dead_end(form));
    EXPECT_FALSE(form_is_sentence(form));
    EXPECT_EQ(form_length(form), length);
    EXPECT_EQ(form_leftmost(form), leftmost);
    EXPECT_EQ(expand_leftmost(g, form, 5), 5);
  };
  // Pushed in the order xZbXy, xaaXy, xcXy, xdddSXy, xeeeeeeeeeXy: the
  // shortest goes first, then the exchanges.
  pop_dead_end(4, 'X');
  pop_dead_end(5, 'Z');
  pop_dead_end(5, 'X');
  EXPECT_EQ(pop(), "xdddSXy");
  pop_dead_end(12, 'X');
  EXPECT_TRUE(stack_is_empty());
  EXPECT_EQ(printed, "");
  run_reset();
  EXPECT_EQ(form_pieces_in_use(), 0u);
}

// A new form that holds a nonterminal from which no sentence derives (B,
// whose alternatives all hold B or Y, which has none) keeps no head, and
// neither do the forms made from it; they come out in their turn.
TEST_F(DerivationTest, FormThatCannotBecomeASentenceKeepsNoHead) {
  grammar_table g = load("S -> aB\nS -> cc\nB -> bbB\nB -> Yb\n");
  EXPECT_EQ(expand(g, "S", 5), 5);
  sentential_form form;
  stack_pop_shortest(form);
  EXPECT_TRUE(form_is_doomed(form));
  EXPECT_TRUE(form_is_sound(form));
  EXPECT_EQ(form_text(form), "B");
  EXPECT_EQ(form_length(form), 2u);
  EXPECT_EQ(expand_leftmost(g, form, 5), 5);  // abbB and the dead end aYb
  EXPECT_EQ(pop(), "cc");
  stack_pop_shortest(form);
  EXPECT_TRUE(form_is_dead_end(form));
  EXPECT_EQ(form_length(form), 3u);
  stack_pop_shortest(form);
  EXPECT_TRUE(form_is_doomed(form));
  EXPECT_EQ(form_text(form), "B");
  EXPECT_EQ(form_length(form), 4u);
  EXPECT_TRUE(stack_is_empty());
  EXPECT_EQ(printed, "");
}

TEST_F(DerivationTest, FormWhoseLeftmostHasNoRuleIsDropped) {
  grammar_table g = load("A -> a\nS -> XA\n");
  EXPECT_EQ(expand(g, "bXA", 4), 4);
  EXPECT_EQ(printed, "");
  EXPECT_TRUE(stack_is_empty());
}

}  // namespace

// SPDX-License-Identifier: MIT
// Unit tests of forms: a form keeps its text however it was built, a child
// shares its parent's pieces, and every piece comes back.
#include "form.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "capture.h"
#include "form_read.h"
#include "form_print.h"
#include "grammar.h"
#include "output.h"
#include "piece.h"

namespace {

// Each test gives back every piece it made: none is left held when its
// forms are gone, and the pieces' memory goes back to the heap.
class FormTest : public ::testing::Test {
 protected:
  void TearDown() override {
    form_print_forget();  // the last long sentence's pieces
    EXPECT_EQ(form_pieces_in_use(), 0u);
    form_free_blocks();
  }
};

const std::string nonterminals = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// form_derive with the alternative's first nonterminal found as the rule
// table's index finds it.
void derive(const sentential_form& parent, std::string_view alternative, sentential_form& child) {
  form_derive(parent, alternative, grammar_lead(alternative), child);
}

// A random text of fewer than `max` bytes, terminals a to c and one byte
// in `odds` a nonterminal A to C, with a run of up to `run` terminals
// after one byte in `run_odds`: long runs fill pieces and extra chains.
std::string random_form_text(std::mt19937& random, size_t max, unsigned odds, unsigned run_odds,
                             unsigned run) {
  std::string text;
  for (size_t k = 0, size = random() % max; k < size; ++k) {
    text += random() % odds == 0 ? nonterminals[random() % 3] : static_cast<char>('a' + random() % 3);
    if (random() % run_odds == 0) text += std::string(random() % run, 'r');
  }
  return text;
}

// A child of a long form takes a few pieces of its own whatever the
// length, and shares the rest with its parent.
TEST_F(FormTest, ChildrenShareTheirParentsText) {
  const std::string before(100000, 'h');
  const std::string after = std::string(100000, 't') + "A" + std::string(50, 'u') + "B";
  {
    sentential_form parent = form_from_text(before + "S" + after);
    std::vector<sentential_form> children;
    for (const char* alternative : {"aAb", "cc", "SSSSSSSSS", "", "xyzB"}) {
      size_t pieces = form_pieces_in_use();
      children.emplace_back();
      derive(parent, alternative, children.back());
      EXPECT_LE(form_pieces_in_use(), pieces + PIECES_PER_CHILD) << alternative;
      EXPECT_TRUE(form_is_sound(children.back()));
      EXPECT_EQ(form_text(children.back()), before + alternative + after);
    }
  }
}

// Random texts (long terminal runs, nonterminals close together or far
// apart) and random chains of steps on them, against plain strings: the
// text, the length, the leftmost nonterminal and the printed sentence.
TEST_F(FormTest, TextSurvivesEveryStep) {
  std::mt19937 random(17);
  auto random_text = [&random](size_t max) { return random_form_text(random, max, 8, 50, 200); };
  output_capture capture;
  for (int round = 0; round < 300; ++round) {
    std::string text = random_text(100);
    sentential_form form = form_from_text(text);
    for (int steps = 0; steps < 40; ++steps) {
      ASSERT_TRUE(form_is_sound(form)) << text;
      ASSERT_EQ(form_text(form), text);
      ASSERT_EQ(form_length(form), text.size());
      size_t k = text.find_first_of(nonterminals);
      ASSERT_EQ(form_is_sentence(form), k == std::string::npos) << text;
      if (k == std::string::npos) {
        capture.out.clear();
        form_print(form);
        EXPECT_EQ(capture.out, text + "\n");
        break;
      }
      ASSERT_EQ(form_leftmost(form), text[k]);
      // A window around the leftmost nonterminal, as the page's step view
      // asks of long forms, walks to the same bytes.
      size_t before = random() % 80, after = 1 + random() % 80;
      form_window_text window = form_window(form, before, after);
      size_t from = k - std::min(k, before);
      ASSERT_EQ(window.start, from) << text;
      ASSERT_EQ(window.text, text.substr(from, k - from + after)) << text;
      std::string alternative = random_text(10).substr(0, 9);
      sentential_form child;
      // The nonterminal after the leftmost, which a step may look for
      // before it makes its children or not at all.
      form_family family(form, random() % 2 == 0);
      if (random() % 2 == 0) {
        size_t next = text.find_first_of(nonterminals, k + 1);
        ASSERT_EQ(form_family_next(family), next == std::string::npos ? '\0' : text[next]) << text;
      }
      form_derive(family, alternative, grammar_lead(alternative), child);
      text.replace(k, 1, alternative);
      form = std::move(child);
    }
  }
}

// A form that holds a nonterminal from which no sentence derives keeps no
// head, and steps make only its tail: random chains of such steps, whose
// terminals run into extra pieces and next pieces, against plain strings;
// siblings of one step share what they find.
TEST_F(FormTest, DoomedFormsKeepTheirTail) {
  std::mt19937 random(41);
  auto random_text = [&random](size_t max) { return random_form_text(random, max, 6, 30, 120); };
  for (int round = 0; round < 300; ++round) {
    std::string text = random_text(60) + "Z";  // Z stays: the form never becomes a sentence
    sentential_form form = form_from_text(text);
    for (int steps = 0; steps < 30; ++steps) {
      size_t k = text.find_first_of(nonterminals);
      form_family family(form, true);
      std::vector<std::string> texts;
      std::vector<sentential_form> children(3);
      for (sentential_form& child : children) {
        std::string alternative = random_text(10).substr(0, 9);
        std::string child_text = text;
        child_text.replace(k, 1, alternative);
        if (child_text.find_first_of(nonterminals) == std::string::npos) {
          alternative = "Z";
          child_text = text;
          child_text.replace(k, 1, alternative);
        }
        form_derive(family, alternative, grammar_lead(alternative), child, true);
        texts.push_back(child_text);
      }
      for (size_t c = 0; c < children.size(); ++c) {
        const std::string& child_text = texts[c];
        size_t leftmost = child_text.find_first_of(nonterminals);
        ASSERT_TRUE(form_is_doomed(children[c]));
        ASSERT_TRUE(form_is_sound(children[c])) << child_text;
        ASSERT_EQ(form_text(children[c]), child_text.substr(leftmost));
        ASSERT_EQ(form_length(children[c]), child_text.size());
        ASSERT_EQ(form_leftmost(children[c]), child_text[leftmost]);
      }
      size_t pick = random() % children.size();
      text = texts[pick];
      form = std::move(children[pick]);
    }
  }
}

// Siblings write what they add after their parent's text in a piece they
// share, or find it there: no form may see another's bytes, and a long
// sentence printed where the last one was must not keep bytes that the two
// see differently. A pool of forms, long and short, each derived again and
// again, against plain strings.
TEST_F(FormTest, SiblingsNeverChangeWhatOthersSee) {
  std::mt19937 random(29);
  const std::vector<std::string> alternatives = {"", "a", "ab", "b", "aS", "abS", "S", "SS",
                                                 "bbbbbbbbb", "aaaaaaaaS", "Sa", "ba"};
  // Through a writer: long sentences only reuse the bytes of the last one
  // in standard output's buffer, not in a test's capture string.
  capture_writer writer;
  std::string expected;
  for (int round = 0; round < 20; ++round) {
    std::vector<std::pair<sentential_form, std::string>> pool;
    for (const std::string& text : {std::string(4100 + random() % 20, 'h') + "SS",
                                    std::string(random() % 30, 'h') + "SaS"}) {
      pool.emplace_back(form_from_text(text), text);
    }
    for (int step = 0; step < 400 && !pool.empty(); ++step) {
      auto& [parent, text] = pool[random() % pool.size()];
      const std::string& alternative = alternatives[random() % alternatives.size()];
      sentential_form child;
      derive(parent, alternative, child);
      std::string child_text = text;
      child_text.replace(child_text.find_first_of(nonterminals), 1, alternative);
      if (form_is_sentence(child)) {
        form_print(child);
        expected += child_text + "\n";
      } else if (pool.size() < 40 && child_text.size() < 4200) {
        pool.emplace_back(std::move(child), child_text);
      }
      if (random() % 8 == 0) pool.erase(pool.begin() + static_cast<long>(random() % pool.size()));
    }
    for (const auto& [form, text] : pool) {
      ASSERT_TRUE(form_is_sound(form)) << text;
      ASSERT_EQ(form_text(form), text);
      ASSERT_EQ(form_length(form), text.size());
      ASSERT_EQ(form_tail_length(form), text.size() - text.find_first_of(nonterminals));
    }
  }
  output_flush();
  EXPECT_EQ(capture_writer::written, expected);
}

// A step of terminals whose nonterminal is the last in its piece takes the
// terminals after it, and those before the next nonterminal in the next
// piece, into the head: an only child copies them, up to 76 bytes, more
// than two pieces' worth; the children of one step share them. The steps
// build a first tail piece of 34 terminals after its nonterminal, followed
// by a piece of 33 terminals before its own, behind heads of every kind:
// none, short, full, longer. Each child is derived again, to a sentence,
// and dropped before the next is looked at.
TEST_F(FormTest, TerminalsUpToTheNextPieceJoinTheHead) {
  const std::vector<std::string> steps = {"XB",        "Xttttttt",  "Xtttttttt", "Xtttttttt",
                                          "Xtttttttt", "Xtt",       "Raaaaaaaa", "Raaaaaaaa",
                                          "Raaaaaaaa", "Raaaaaaaa", "Raa"};
  const std::vector<std::string> siblings = {"ccccccccc", "", "c", "d"};
  output_capture capture;
  for (size_t head : {0u, 1u, 20u, 34u, 35u, 36u, 70u}) {
    for (bool shared : {false, true}) {
      std::string text = std::string(head, 'h') + "Y";
      sentential_form form = form_from_text(text);
      for (const std::string& alternative : steps) {
        sentential_form child;
        derive(form, alternative, child);
        text.replace(text.find_first_of(nonterminals), 1, alternative);
        form = std::move(child);
      }
      ASSERT_EQ(form_text(form), text);
      std::vector<sentential_form> children(siblings.size());
      form_family family(form, shared);
      if (shared) {
        ASSERT_EQ(form_family_next(family), 'B');  // found before the carry is made
      }
      for (size_t k = 0; k < siblings.size(); ++k) {
        if (shared) {
          form_derive(family, siblings[k], siblings[k].size(), children[k]);
        } else {
          derive(form, siblings[k], children[k]);
        }
      }
      for (size_t k = 0; k < siblings.size(); ++k) {
        std::string child_text = text;
        child_text.replace(child_text.find('R'), 1, siblings[k]);
        ASSERT_TRUE(form_is_sound(children[k])) << head << " " << child_text;
        ASSERT_EQ(form_text(children[k]), child_text);
        ASSERT_EQ(form_leftmost(children[k]), 'B');
        for (const std::string alternative : {"eB", "fff"}) {
          sentential_form grandchild;
          derive(children[k], alternative, grandchild);
          child_text.replace(child_text.size() - 1, 1, alternative);
          ASSERT_TRUE(form_is_sound(grandchild)) << head << " " << child_text;
          children[k] = std::move(grandchild);
        }
        capture.out.clear();
        form_print(children[k]);
        EXPECT_EQ(capture.out, child_text + "\n");
        children[k] = sentential_form();  // its siblings' pieces must outlive it
      }
    }
  }
}

// The leftmost nonterminal is found eight bytes at a time: no word may
// hide one, whatever byte it is and wherever it stands in the word, and
// no other byte (next to A or Z, or a letter with the high bit set) may be
// taken for one.
TEST_F(FormTest, LeftmostNonterminalAmongAnyBytes) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool nonterminal = c >= 'A' && c <= 'Z';
    // Whole words, then what is left after them, of every size.
    for (size_t size = 1, at = 0; size < 24; at = at + 1 < size ? at + 1 : (++size, 0)) {
      std::string text(size, 'a');
      text[at] = c;
      sentential_form sentence_or_not = form_from_text(text);
      EXPECT_EQ(form_is_sentence(sentence_or_not), !nonterminal) << byte << " at " << at << " of " << size;
      sentential_form form = form_from_text(text + "S");
      EXPECT_EQ(form_leftmost(form), nonterminal ? c : 'S') << byte << " at " << at << " of " << size;
    }
  }
}

}  // namespace

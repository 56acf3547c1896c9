// SPDX-License-Identifier: MIT
// Unit tests of forms: a form keeps its text however it was built, a child
// shares its parent's pieces, and every piece comes back.
#include "form.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "output.h"

namespace {

const std::string nonterminals = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// A child of a long form takes a few pieces of its own whatever the
// length, and shares the rest with its parent.
TEST(FormTest, ChildrenShareTheirParentsText) {
  const std::string before(100000, 'h');
  const std::string after = std::string(100000, 't') + "A" + std::string(50, 'u') + "B";
  {
    sentential_form parent = form_from_text(before + "S" + after);
    std::vector<sentential_form> children;
    for (const char* alternative : {"aAb", "cc", "SSSSSSSSS", "", "xyzB"}) {
      size_t pieces = form_pieces_in_use();
      children.emplace_back();
      form_derive(parent, alternative, children.back());
      EXPECT_LE(form_pieces_in_use(), pieces + 4) << alternative;
      EXPECT_TRUE(form_is_sound(children.back()));
      EXPECT_EQ(form_text(children.back()), before + alternative + after);
    }
  }
  EXPECT_EQ(form_pieces_in_use(), 0u);
  form_free_blocks();
}

// Random texts (long terminal runs, nonterminals close together or far
// apart) and random chains of steps on them, against plain strings: the
// text, the length, the leftmost nonterminal and the printed sentence.
TEST(FormTest, TextSurvivesEveryStep) {
  std::mt19937 random(17);
  auto random_text = [&random](size_t max) {
    std::string text;
    for (size_t k = 0, size = random() % max; k < size; ++k) {
      text += random() % 8 == 0 ? nonterminals[random() % 3] : static_cast<char>('a' + random() % 3);
      if (random() % 50 == 0) text += std::string(random() % 200, 'r');
    }
    return text;
  };
  output_capture capture;
  for (int round = 0; round < 300; ++round) {
    std::string text = random_text(100);
    sentential_form form = form_from_text(text);
    for (int step = 0; step < 40; ++step) {
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
      std::string alternative = random_text(10).substr(0, 9);
      sentential_form child;
      form_derive(form, alternative, child);
      text.replace(k, 1, alternative);
      form = std::move(child);
    }
  }
  EXPECT_EQ(form_pieces_in_use(), 0u);
  form_free_blocks();
}

// The leftmost nonterminal is found eight bytes at a time: no word may
// hide one, whatever byte it is and wherever it stands in the word, and
// no other byte (next to A or Z, or a letter with the high bit set) may be
// taken for one.
TEST(FormTest, LeftmostNonterminalAmongAnyBytes) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool nonterminal = c >= 'A' && c <= 'Z';
    for (size_t at = 0; at < 17; ++at) {
      std::string text(17, 'a');
      text[at] = c;
      sentential_form sentence_or_not = form_from_text(text);
      EXPECT_EQ(form_is_sentence(sentence_or_not), !nonterminal) << byte << " at " << at;
      sentential_form form = form_from_text(text + "S");
      EXPECT_EQ(form_leftmost(form), nonterminal ? c : 'S') << byte << " at " << at;
    }
  }
  EXPECT_EQ(form_pieces_in_use(), 0u);
  form_free_blocks();
}

}  // namespace

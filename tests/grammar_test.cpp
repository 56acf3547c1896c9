// SPDX-License-Identifier: MIT
// Unit tests of the rule table and its loader: what the loader stores,
// beyond what the listing shows, and how it reads a file in blocks.
#include "grammar.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "loader.h"
#include "output.h"
#include "parse_in_blocks.h"
#include "run.h"

namespace {

// What loading prints and stores, for comparing two loads.
struct load_result {
  int status;
  std::string printed;
  grammar_table table;
  bool operator==(const load_result& other) const {
    return status == other.status && printed == other.printed &&
           (status != 0 || memcmp(&table, &other.table, sizeof table) == 0);
  }
};

// Loads `bytes` fed to the reader in blocks of the sizes `next_size` gives.
template <typename Sizes>
load_result load_in_blocks(std::string_view bytes, Sizes next_size) {
  load_result result{};
  output_capture capture;
  result.status = parse_in_blocks(result.table, bytes, next_size);
  result.printed = std::move(capture.out);
  return result;
}

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

// Which nonterminals derive a sentence, found whatever order the rules
// come in, and what the search is told of each alternative: whether a form
// it makes is a dead end, or can never become a sentence.
TEST(GrammarTest, NonterminalsThatDeriveASentence) {
  grammar_table g;
  ASSERT_EQ(parse_grammar(g, "A -> B\nB -> C\nC -> c\nD -> D\nE -> Ee\nE -> aFb\nG -> cX\n"), 0);
  auto bits = [](std::string_view nonterminals) {
    uint32_t set = 0;
    for (char c : nonterminals) set |= uint32_t{1} << (c - 'A');
    return set;
  };
  EXPECT_EQ(g.derives, bits("ABC"));
  const grammar_choice* e = &g.choices[g.choice_start['E' - 'A']];
  EXPECT_TRUE(e[0].doomed);  // Ee: E derives none
  EXPECT_FALSE(e[0].dead);
  EXPECT_TRUE(e[1].doomed);  // aFb: F has no rule
  EXPECT_TRUE(e[1].dead);
  const grammar_choice& a = g.choices[g.choice_start['A' - 'A']];
  EXPECT_FALSE(a.doomed || a.dead);
}

TEST(GrammarTest, RejectedFileLeavesNoListing) {
  grammar_table g;
  output_capture capture;
  EXPECT_EQ(parse_grammar(g, "S -> a\nS ->\n"), 1);
  EXPECT_EQ(capture.out, "grammar.txt:2: rule line shorter than 5 characters\n");
}

// A block may end anywhere: inside a CR LF pair, after a lone CR, inside a
// comment, a rule line or a stretch of blank lines. Every way of cutting
// loads the same table or prints the same rejection as the whole file.
TEST(GrammarTest, BlocksCutAnywhereLoadAlike) {
  const std::string comments = std::string(300, ';') + "\n" + std::string(700, '\n');
  const std::string files[] = {
      "S -> aSb\r\n; note\r\nS -> @\r\n\r\nA -> x\ry\r",
      comments + "S -> ab\n;" + comments + "\nT -> c\x1a\nT",
      comments + "S -> abc\nS -> abcdefghij\n",
      std::string(1000, '\n') + "S ->\x00 a\n" + comments,
      "S -> a\n\nS\n",
      "; only\r",
  };
  std::mt19937 random(7);
  for (const std::string& file : files) {
    load_result whole = load_in_blocks(file, [] { return size_t{1} << 30; });
    EXPECT_EQ(load_in_blocks(file, [] { return size_t{1}; }), whole) << file;
    for (int round = 0; round < 50; ++round) {
      auto sizes = [&random] { return random_block_size(random); };
      EXPECT_EQ(load_in_blocks(file, sizes), whole) << file;
    }
  }
}

// Line numbers do not wrap at 2^31: 2^31 and more newlines, fed in blocks,
// are counted exactly.
TEST(GrammarTest, LineNumbersPassTwoToThe31) {
  grammar_table g;
  const loader_source program = loader_program_source();
  loader_reader reader;
  loader_begin(reader, g, program);
  const std::string newlines(1 << 20, '\n');
  uint64_t lines = 0;
  while (lines <= (uint64_t{1} << 31)) {
    ASSERT_TRUE(loader_feed(reader, newlines));
    lines += newlines.size();
  }
  output_capture capture;
  EXPECT_FALSE(loader_feed(reader, "S -> a\nS\n"));
  EXPECT_EQ(capture.out, "grammar.txt:" + std::to_string(lines + 2) +
                         ": rule line shorter than 5 characters\n");
}

// A read that fails after the first block ends the run with status 1 and
// one line naming the line being read, the system's reason on standard
// error; a first read that fails is a file that cannot be used at all.
// The reads go through the real loop over a real file, the failing one
// made so by the loader's read hook.
TEST(GrammarTest, FailedReadIsAnError) {
  static int reads_left;  // reads that succeed before the failing one; -1: all
  static long (*const real_read)(char*, size_t, FILE*) = loader_read;
  loader_read = [](char* buffer, size_t size, FILE* file) -> long {
    if (reads_left-- == 0) {
      errno = EIO;
      return -1;
    }
    return real_read(buffer, size, file);
  };
  auto previous = std::filesystem::current_path();
  auto folder = std::filesystem::temp_directory_path() /
                ("sentgen-read-error-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
  std::string file = "S -> aSb\nS -> @\n";
  for (int line = 0; line < 700; ++line) file += ";" + std::string(99, 'c') + "\n";
  std::ofstream(GRAMMAR_FILE_NAME, std::ios::binary) << file;
  const std::string reason = std::string("sentgen: grammar.txt: ") + std::strerror(EIO) + "\n";
  struct {
    int reads;
    const char* printed;
  } cases[] = {{1, "grammar.txt:651: read error\n"}, {0, "File not found: <grammar.txt>.\n"}};
  for (const auto& c : cases) {
    reads_left = c.reads;
    output_capture capture;
    EXPECT_EQ(run_file(), 1);
    EXPECT_EQ(capture.out, c.printed);
    EXPECT_EQ(capture.err, reason);
  }
  reads_left = -1;  // no failure: the whole file loads
  output_capture capture;
  EXPECT_EQ(run_file(), 0);
  EXPECT_EQ(capture.out.substr(0, 17), "Production Rules\n");
  loader_read = real_read;
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
}

}  // namespace

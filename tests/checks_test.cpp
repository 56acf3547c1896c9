// SPDX-License-Identifier: MIT
// Unit tests of the grammar checks: warnings never change a run, never
// carry a raw control byte, and never fire on a grammar without slips.
#include "checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>

#include "capture.h"
#include "run.h"

namespace {

// A run on `grammar` with the checks on or off.
captured_run run_captured(std::string_view grammar, bool checks) {
  check_enable(checks);
  captured_run run = capture_run([grammar] { return run_bytes(grammar); });
  check_enable(true);
  return run;
}

TEST(ChecksTest, QuotingLeavesNoByteATerminalActsOn) {
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  std::string quoted = check_quote(every);
  for (char c : quoted) {
    auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 && byte < 0x7f) << "raw byte " << int{byte};
  }
  EXPECT_EQ(check_quote("a\tb\r\x1b[0m\x7f\xef\"\\"), R"("a\tb\r\x1b[0m\x7f\xef\"\\")");
}

// Grammars with slips of every kind, and random ones made of bytes that
// make slips: with the checks the run prints the same bytes and ends with
// the same status as without, and standard error holds warning lines only.
TEST(ChecksTest, WarningsChangeNothingButStandardError) {
  std::vector<std::string> grammars = {
      "S->aSbb\nS->ab\n", "S\taSbb\n", "\xef\xbb\xbfS -> aSb\nS -> @\n",
      "# a^n b^n\nS -> aSb\nS -> @\n", " S -> aSb\n", "s -> aSb\ns -> @\n", "S -> aX\n",
      "S -> \nS -> a\n", "S -> aS\nS -> bS\n", "S -> a\nA -> b\nS -> c\n"};
  std::mt19937 random(14);
  const std::string bytes = "SSAB ab->@\t#\xef\n";
  for (int n = 0; n < 200; ++n) {
    std::string grammar;
    for (int k = 0, size = static_cast<int>(random() % 60); k < size; ++k) {
      grammar += bytes[random() % bytes.size()];
    }
    grammars.push_back(grammar);
  }
  int warned = 0;
  for (const std::string& grammar : grammars) {
    captured_run with = run_captured(grammar, true);
    captured_run without = run_captured(grammar, false);
    EXPECT_EQ(with.status, without.status) << grammar;
    EXPECT_EQ(with.out, without.out) << grammar;
    EXPECT_EQ(without.err, "");
    static const std::regex warning_line(
        "grammar\\.txt:[0-9]+: warning: .*|grammar\\.txt: warning: [0-9]+ more .*");
    std::istringstream lines(with.err);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
      EXPECT_TRUE(std::regex_match(line, warning_line)) << line;
    }
    EXPECT_LE(count, CHECK_WARNING_LIMIT + 1);
    warned += count > 0;
  }
  EXPECT_GT(warned, 50);
}

// A false alarm on a shipped example would teach users to ignore warnings.
TEST(ChecksTest, ShippedExamplesGetNoWarning) {
  int examples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SENTGEN_EXAMPLES_DIR)) {
    std::ifstream file(entry.path() / "grammar.txt", std::ios::binary);
    ASSERT_TRUE(file) << entry.path();
    std::string grammar((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    captured_run run = run_captured(grammar, true);
    EXPECT_EQ(run.status, 0) << entry.path();
    EXPECT_EQ(run.err, "") << entry.path();
    ++examples;
  }
  EXPECT_GE(examples, 2);
}

}  // namespace

// SPDX-License-Identifier: MIT
// Unit tests of the output sink: repeated lines that wait for the next
// output, and long lines built in place over the last one, through a writer
// as the program's standard output and the page's get them.
#include "output.h"

#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "run.h"

namespace {

// Through a writer, as standard output goes: repeated lines that wait for
// the next output, and a line longer than the output's buffer, built in
// place, come out in order, byte for byte, before and after the buffer is
// given back.
TEST(OutputTest, RepeatsAndLongLinesKeepTheirOrder) {
  static constexpr char LINE[] = "STACK OVERFLOW!\n";
  const std::string_view line(LINE, sizeof LINE - 1);
  std::string expected;
  {
    capture_writer writer;
    for (size_t round = 0; round < 2; ++round) {
      output_write("first\n");
      expected += "first\n";
      for (size_t count : {1u, 5000u, 3u, 40000u}) {
        output_repeat(line, count);
        for (size_t n = 0; n < count; ++n) expected += line;
      }
      for (size_t size : {10u, 70000u, 300000u, 5u}) {
        output_fill(size + 1, [size](char* at) {
          for (size_t n = 0; n < size; ++n) at[n] = static_cast<char>('a' + n % 26);
          at[size] = '\n';
        });
        for (size_t n = 0; n < size; ++n) expected += static_cast<char>('a' + n % 26);
        expected += '\n';
        output_repeat(line, 7);
        for (int n = 0; n < 7; ++n) expected += line;
      }
      output_release();
    }
    EXPECT_EQ(output_flush(), 0);
  }
  EXPECT_EQ(capture_writer::written, expected);
}

// Long sentences that share their start with the last one printed, or
// come from two lines of forms in turn, and standard output's buffer
// growing past its first size on the way: through a writer, where a long
// sentence reuses the bytes that the last one left in the buffer, a run
// prints what it prints into a string.
TEST(OutputTest, LongSentencesThroughWriterMatchCapturedRun) {
  const std::string tree =
      "A -> BaBaBaaaa\nB -> CaCaCaaaa\nC -> DaDaDaaaa\nD -> EaEaEaaaa\n"
      "E -> FaFaFaaaa\nF -> aaaaaaaaa\n";
  for (const std::string& grammar_text :
       {"S -> a\nS -> AS\n" + tree, "S -> P\nS -> Q\nP -> a\nP -> AP\nQ -> bb\nQ -> AQ\n" + tree,
        "S -> a\nS -> AS\nS -> AbS\n" + tree}) {
    captured_run captured = capture_run([&grammar_text] { return run_bytes(grammar_text); });
    ASSERT_EQ(captured.status, 0);
    {
      capture_writer writer;
      EXPECT_EQ(run_bytes(grammar_text), 0);
      EXPECT_EQ(output_flush(), 0);
    }
    EXPECT_GT(capture_writer::written.size(), size_t{100000}) << grammar_text;
    EXPECT_EQ(capture_writer::written, captured.out) << grammar_text;
  }
}

}  // namespace

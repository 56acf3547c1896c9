// SPDX-License-Identifier: MIT
// Unit tests of whole runs in memory: the plain model of the search, running
// out of memory at every allocation, and runs that leave nothing behind.
#include "run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "derivation.h"
#include "output.h"
#include "reference_search.h"
#include "trace.h"

namespace {
long allocations_left = -1;  // allocations that may still succeed; -1: all
long allocations_made = 0;   // allocations that succeeded, ever
}  // namespace

// Every allocation of the program goes through here, so that a test can make
// the next one fail. The pair works on malloc and free, which GCC cannot
// tell from a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  if (allocations_left == 0) throw std::bad_alloc();
  if (allocations_left > 0) --allocations_left;
  if (void* p = std::malloc(size != 0 ? size : 1)) {
    ++allocations_made;
    return p;
  }
  throw std::bad_alloc();
}
// The forms that cannot throw, which the standard library uses for
// scratch memory it can do without (std::stable_sort's buffer).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Runs on `grammar` with output kept in `printed`, whose buffer is reserved
// and reused, so that capturing never allocates once it has grown.
int run_captured(std::string_view grammar, std::string& printed) {
  output_capture capture;
  capture.out.swap(printed);
  capture.out.clear();
  capture.out.reserve(1 << 20);
  int status = run_bytes(grammar);
  printed.swap(capture.out);
  return status;
}

// Random small grammars, long forms and full stacks among them: a run
// prints exactly what the plain model prints, as far as the model gets.
TEST(RunTest, RunsMatchPlainModelOfSearch) {
  std::mt19937 random(2026);
  int compared = 0;
  for (int n = 0; n < 300; ++n) {
    std::string grammar_text = reference_random_grammar(random);
    std::string printed;
    if (run_captured(grammar_text, printed) != 0) continue;  // rejected: the loader's cases
    output_capture listing;
    print_rules(grammar);
    std::string expected = std::move(listing.out);
    if (reference_search(grammar, 4 << 20, expected)) {
      EXPECT_EQ(printed, expected) << grammar_text;
    } else {
      EXPECT_EQ(printed.substr(0, expected.size()), expected) << grammar_text;
    }
    ++compared;
  }
  EXPECT_GT(compared, 200);
}

// A run whose stack fills and empties with long forms takes a few
// allocations: the stack's slots and several blocks of form pieces.
// Failing each one in turn ends the run with the message after a correct
// start of the output, and leaves nothing behind.
TEST(RunTest, OutOfMemoryAnywhereEndsWithMessage) {
  const std::string_view grammar = "S -> aSbScSdS\nS -> SSSSSSSS\nS -> aaaaaaaa\n";
  // Both buffers are reserved up front, so that capturing never allocates.
  std::string full, printed;
  full.reserve(1 << 20);
  printed.reserve(1 << 20);
  long before = allocations_made;
  ASSERT_EQ(run_captured(grammar, full), 0);
  long allocations = allocations_made - before;
  ASSERT_GE(allocations, 5);
  const std::string message = "Out of memory.\n";
  for (long allowed = 0; allowed <= allocations; ++allowed) {
    allocations_left = allowed;
    int status = run_captured(grammar, printed);
    allocations_left = -1;
    if (allowed == allocations) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(printed, full);
      break;
    }
    ASSERT_EQ(status, 1) << "allocation " << allowed;
    ASSERT_GE(printed.size(), message.size());
    size_t kept = printed.size() - message.size();
    EXPECT_EQ(printed.substr(kept), message);
    EXPECT_EQ(printed.substr(0, kept), full.substr(0, kept));
    EXPECT_EQ(form_pieces_in_use(), 0u);
  }
  EXPECT_TRUE(stack_is_empty());
}

// A traced run takes more allocations, the records' blocks; failing each
// one ends the run as out of memory, with every record given back.
TEST(RunTest, TracedRunOutOfMemoryGivesRecordsBack) {
  const std::string_view grammar = "S -> aSbScSdS\nS -> SSSSSSSS\nS -> aaaaaaaa\n";
  std::string printed;
  printed.reserve(1 << 20);
  run_trace trace{};
  for (long allowed = 0;; ++allowed) {
    allocations_left = allowed;
    int status;
    {
      output_capture capture;
      capture.out.swap(printed);
      status = run_bytes_traced(grammar, trace);
      printed.swap(capture.out);
      printed.clear();
    }
    allocations_left = -1;
    EXPECT_EQ(trace_records_made(), 0u);
    EXPECT_EQ(form_pieces_in_use(), 0u);
    if (status == 0) {
      EXPECT_NE(trace.end, RUN_OUT_OF_MEMORY);
      break;
    }
    ASSERT_EQ(trace.end, RUN_OUT_OF_MEMORY) << "allocation " << allowed;
    ASSERT_LT(allowed, 1000);
  }
}

TEST(RunTest, RunsAreIndependent) {
  std::string first, other, again;
  ASSERT_EQ(run_captured("S -> SS\nS -> aaaaaaaaa\n", first), 0);
  ASSERT_EQ(run_captured("A -> xA\nA -> @\n", other), 0);
  ASSERT_EQ(run_captured("S -> SS\nS -> aaaaaaaaa\n", again), 0);
  EXPECT_EQ(first, again);
  EXPECT_NE(other.find("\nxx\n"), std::string::npos);
}

std::string written;  // what output_writer_test was handed
void output_writer_test(const char* bytes, size_t size) { written.append(bytes, size); }

// Through a writer, as standard output goes: repeated lines that wait for
// the next output, and a line longer than the output's buffer, built in
// place, come out in order, byte for byte, before and after the buffer is
// given back.
TEST(OutputTest, RepeatsAndLongLinesKeepTheirOrder) {
  static constexpr char LINE[] = "STACK OVERFLOW!\n";
  const std::string_view line(LINE, sizeof LINE - 1);
  std::string expected;
  written.clear();
  output_to_writer(output_writer_test);
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
      expected += std::string(line) + std::string(line) + std::string(line) + std::string(line) +
                  std::string(line) + std::string(line) + std::string(line);
    }
    output_release();
  }
  EXPECT_EQ(output_flush(), 0);
  output_to_writer(nullptr);
  EXPECT_EQ(written, expected);
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
    std::string captured;
    ASSERT_EQ(run_captured(grammar_text, captured), 0);
    written.clear();
    output_to_writer(output_writer_test);
    EXPECT_EQ(run_bytes(grammar_text), 0);
    EXPECT_EQ(output_flush(), 0);
    output_to_writer(nullptr);
    EXPECT_GT(written.size(), size_t{100000}) << grammar_text;
    EXPECT_EQ(written, captured) << grammar_text;
  }
}

}  // namespace

// SPDX-License-Identifier: MIT
// Output module: the sink that everything the program prints goes through:
// standard output in large blocks, to stdout or a host's writer; lines for
// people to standard error; or, for tests, both to strings.
#ifndef SENTGEN_OUTPUT_H
#define SENTGEN_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Sends output to `buffer`, appended, from now on; nullptr: standard output.
// Returns where output went before.
std::string* output_to(std::string* buffer);
// Hands what goes to standard output to `writer`, in blocks, from now on,
// instead of the C library's stdout; nullptr: stdout again. For a host
// without a standard output, such as a web page. Returns the writer before.
using output_writer_function = void (*)(const char* bytes, size_t size);
output_writer_function output_to_writer(output_writer_function writer);
// A writer that drops what it is handed: for a run replayed only to see
// its stack, whose output was seen already.
void output_drop(const char* bytes, size_t size);
void output_write(std::string_view bytes);
// Writes `line` `count` times, after what was written before and before
// whatever is written next; the copies may wait until then, so that many
// calls go out as a few large writes. `line` must stay as it is for the
// run's life, as a literal does.
void output_repeat(std::string_view line, size_t count);
// Room for `size` more bytes of output, to be filled before the next output
// call. Standard output's buffer grows to hold it, and keeps its size
// until output_release; throws std::bad_alloc when it cannot grow.
char* output_room(size_t size);
// Room for a long line of `size` bytes at the start of standard output's
// buffer, after what is pending has been sent; `kept` tells how many bytes
// there still hold the last line placed by this call, so that a line that
// starts as the last one did need not write those bytes again. A string
// sink keeps none.
char* output_line_room(size_t size, size_t& kept);
// Writes `size` bytes that `fill` writes, in place, into the memory it is given.
template <typename Fill>
void output_fill(size_t size, Fill fill) {
  fill(output_room(size));
}
// Bytes of standard output written so far, those still waiting included:
// where the next byte written will stand. A string sink counts its size.
uint64_t output_position();
// Whether `message` names `number` in decimal, with no digit beside it: a
// message that names a limit is tied to the limit's constant with it at
// compile time, so that changing the limit cannot leave the message wrong.
constexpr bool output_names_number(std::string_view message, uint64_t number) {
  char digits[20] = {};
  size_t n = sizeof digits;
  do {
    digits[--n] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0);
  std::string_view text(digits + n, sizeof digits - n);
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  for (size_t at = message.find(text); at != std::string_view::npos;
       at = message.find(text, at + 1)) {
    size_t end = at + text.size();
    if ((at == 0 || !is_digit(message[at - 1])) && (end == message.size() || !is_digit(message[end]))) {
      return true;
    }
  }
  return false;
}

// Writes one line for people to standard error, at once, or to the string
// given to output_errors_to; standard output is not touched.
void output_error(std::string_view line);
// Sends output_error's lines to `buffer`, appended, from now on; nullptr:
// standard error. Returns where they went before.
std::string* output_errors_to(std::string* buffer);

// While it lives, standard output and error lines go to `out` and `err`;
// when it dies, however its scope is left, they go back where they went
// before. For tests, so that a failed assertion cannot leave later tests
// writing into a string that no longer exists.
class output_capture {
 public:
  output_capture() : saved_out_(output_to(&out)), saved_err_(output_errors_to(&err)) {}
  ~output_capture() {
    output_to(saved_out_);
    output_errors_to(saved_err_);
  }
  output_capture(const output_capture&) = delete;
  output_capture& operator=(const output_capture&) = delete;

  std::string out;  // what was written to standard output
  std::string err;  // what was written to standard error

 private:
  std::string* saved_out_;  // where standard output went before
  std::string* saved_err_;  // where error lines went before
};
// Hands everything written so far to standard output; returns 1 when
// standard output has failed, else 0.
int output_flush();
// Hands the pending output to standard output and gives back the memory
// that standard output's buffer took to grow: once, at a run's end.
void output_release();

#endif

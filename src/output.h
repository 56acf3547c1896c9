// SPDX-License-Identifier: MIT
// Output module: the sink that everything the program prints goes through:
// standard output in large blocks, to stdout or a host's writer; lines for
// people to standard error; or, for tests, both to strings.
#ifndef SENTGEN_OUTPUT_H
#define SENTGEN_OUTPUT_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Sends output to `buffer`, appended, from now on; nullptr: standard output.
void output_to(std::string* buffer);
// Hands what goes to standard output to `writer`, in blocks, from now on,
// instead of the C library's stdout; nullptr: stdout again. For a host
// without a standard output, such as a web page.
void output_to_writer(void (*writer)(const char* bytes, size_t size));
void output_write(std::string_view bytes);
// Room for `size` more bytes of output, to be filled before the next output
// call; null when the sink cannot give that much in one place.
char* output_room(size_t size);
// Writes `size` bytes that `fill` writes into the memory it is given: in
// place where the sink has room, else through a scratch buffer.
template <typename Fill>
void output_fill(size_t size, Fill fill) {
  if (char* room = output_room(size)) {
    fill(room);
    return;
  }
  std::unique_ptr<char[]> scratch(new char[size]);  // no need to clear it
  fill(scratch.get());
  output_write({scratch.get(), size});
}
// Writes one line for people to standard error, at once, or to the string
// given to output_errors_to; standard output is not touched.
void output_error(std::string_view line);
// Sends output_error's lines to `buffer`, appended, from now on; nullptr:
// standard error.
void output_errors_to(std::string* buffer);
// Hands everything written so far to standard output; returns 1 when
// standard output has failed, else 0.
int output_flush();

#endif

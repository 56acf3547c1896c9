// SPDX-License-Identifier: MIT
// Output module: standard output through one buffer, to stdout or a host's
// writer; error lines to standard error; or both to strings, for tests.
#include "output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

std::string* output_buffer = nullptr;  // where output goes; null: stdout
std::string* output_error_buffer = nullptr;  // where error lines go; null: stderr

void output_stdout(const char* bytes, size_t size) { fwrite(bytes, 1, size, stdout); }
// Where blocks for standard output go: stdout, or a host's writer.
void (*output_writer)(const char* bytes, size_t size) = output_stdout;
uint64_t output_handed = 0;  // bytes handed to the writer, ever

// Hands a block to the writer, counted.
void output_hand(const char* bytes, size_t size) {
  output_handed += size;
  output_writer(bytes, size);
}
// Bytes for standard output not yet handed to it: a run writes many short
// lines, and one call per line into the C library costs more than the line.
// A sentence is built in place in this buffer, so one longer than it moves
// the buffer to output_large, which grows in place and is kept for the
// rest of the run: memory given back and taken again would be faulted in
// again, page by page.
char output_small[1 << 16];
char* output_pending = output_small;           // output_small or output_large
size_t output_capacity = sizeof output_small;  // bytes output_pending can hold
size_t output_pending_size = 0;                // bytes used in output_pending
char* output_large = nullptr;  // from the C heap, so that it can grow in place
// Bytes at the start of output_pending that still hold the last line that
// output_line_room placed there, sent or not: the next long line that starts
// the same way need not write those bytes again.
size_t output_line_kept = 0;
// A line to be written output_repeat_count times before any other output:
// a run can refuse millions of forms, and writing their lines only when
// something else comes lets them go out in whole buffers, copied once.
std::string_view output_repeat_line;
size_t output_repeat_count = 0;  // times output_repeat_line is still to be written

// Room for `size` bytes after the pending ones, which must fit; writing
// there ends what is kept of the last long line from there on.
char* output_claim(size_t size) {
  output_line_kept = std::min(output_line_kept, output_pending_size);
  char* room = output_pending + output_pending_size;
  output_pending_size += size;
  return room;
}

// Bytes that fit after the pending ones. Short output uses the grown
// buffer only up to the small one's size past the last long line, so that
// it touches no more memory than the small buffer would.
size_t output_left() {
  size_t limit = std::min(output_capacity, output_line_kept + sizeof output_small);
  return limit > output_pending_size ? limit - output_pending_size : 0;
}

// Hands the pending bytes to the writer.
void output_send_pending() {
  if (output_pending_size > 0) output_hand(output_pending, output_pending_size);
  output_pending_size = 0;
}

// Hands the pending bytes to the writer, to write new ones from the
// buffer's start, over the last long line.
void output_restart() {
  output_send_pending();
  output_line_kept = 0;
}

// Fills `at` with `count` copies of `line`, doubling what is copied.
void output_fill_lines(char* at, std::string_view line, size_t count) {
  if (count == 0) return;
  memcpy(at, line.data(), line.size());
  for (size_t done = 1; done < count;) {
    size_t more = std::min(done, count - done);
    memcpy(at + done * line.size(), at, more * line.size());
    done += more;
  }
}

// Writes the repeated line's copies still owed: what fits after the
// pending bytes joins them; the rest goes out in whole buffers of lines,
// filled once, and its last partial buffer stays pending.
void output_send_repeats() {
  size_t count = std::exchange(output_repeat_count, 0);
  if (count == 0) return;
  std::string_view line = output_repeat_line;
  size_t lines = std::min(count, output_left() / line.size());
  output_fill_lines(output_claim(lines * line.size()), line, lines);
  count -= lines;
  if (count == 0) return;
  output_restart();
  size_t per_buffer = std::min(output_capacity, sizeof output_small) / line.size();
  output_fill_lines(output_pending, line, std::min(count, per_buffer));
  for (; count >= per_buffer; count -= per_buffer) {
    output_hand(output_pending, per_buffer * line.size());
  }
  output_pending_size = count * line.size();
}

// Makes output_pending, now empty, hold at least `size` bytes. It grows by
// half, and at first to four times the small buffer, so that the C heap
// maps it apart from the small blocks, where it can grow without a copy
// and gives no hole back to the heap; pages never written take no memory.
void output_grow(size_t size) {
  size_t capacity = std::max(size, output_large == nullptr ? 4 * sizeof output_small
                                                           : output_capacity + output_capacity / 2);
  void* grown = std::realloc(output_large, capacity);  // in place where it can
  if (grown == nullptr) throw std::bad_alloc();
  if (output_large == nullptr) output_line_kept = 0;  // not carried over from output_small
  output_large = static_cast<char*>(grown);
  output_pending = output_large;
  output_capacity = capacity;
}

}  // namespace

std::string* output_to(std::string* buffer) {
  output_send_repeats();
  return std::exchange(output_buffer, buffer);
}

output_writer_function output_to_writer(output_writer_function writer) {
  output_send_repeats();
  output_writer_function before = output_writer == output_stdout ? nullptr : output_writer;
  output_writer = writer != nullptr ? writer : output_stdout;
  return before;
}

void output_drop(const char*, size_t) {}

void output_write(std::string_view bytes) {
  if (bytes.empty()) return;  // an empty sentence may have no buffer at all
  if (output_buffer != nullptr) {
    output_buffer->append(bytes);
    return;
  }
  output_send_repeats();
  if (bytes.size() > output_left()) {
    output_restart();
    if (bytes.size() > output_left()) {
      output_hand(bytes.data(), bytes.size());
      return;
    }
  }
  memcpy(output_claim(bytes.size()), bytes.data(), bytes.size());
}

void output_repeat(std::string_view line, size_t count) {
  if (count == 0) return;
  if (output_buffer != nullptr) {
    while (count-- > 0) output_buffer->append(line);
    return;
  }
  if (output_repeat_count > 0 && line.data() != output_repeat_line.data()) output_send_repeats();
  output_repeat_line = line;
  output_repeat_count += count;
}

char* output_room(size_t size) {
  if (output_buffer != nullptr) {
    size_t at = output_buffer->size();
    output_buffer->resize(at + size);
    return output_buffer->data() + at;
  }
  output_send_repeats();
  if (size > output_left()) {
    output_restart();
    if (size > output_capacity) output_grow(size);
  }
  return output_claim(size);
}

char* output_line_room(size_t size, size_t& kept) {
  if (output_buffer != nullptr) {
    kept = 0;
    output_line_kept = 0;  // the line at the buffer's start is no longer the last
    return output_room(size);
  }
  output_send_repeats();
  output_send_pending();
  if (size > output_capacity) output_grow(size);
  kept = output_line_kept;
  output_line_kept = size;
  output_pending_size = size;
  return output_pending;
}

uint64_t output_position() {
  if (output_buffer != nullptr) return output_buffer->size();
  return output_handed + output_pending_size + output_repeat_count * output_repeat_line.size();
}

void output_error(std::string_view line) {
  if (output_error_buffer != nullptr) {
    output_error_buffer->append(line);
    return;
  }
  fwrite(line.data(), 1, line.size(), stderr);
}

std::string* output_errors_to(std::string* buffer) {
  return std::exchange(output_error_buffer, buffer);
}

int output_flush() {
  output_send_repeats();
  output_send_pending();
  return fflush(stdout) != 0 || ferror(stdout) ? 1 : 0;
}

void output_release() {
  if (output_large == nullptr) return;
  output_send_repeats();
  output_send_pending();
  output_pending = output_small;
  output_capacity = sizeof output_small;
  output_line_kept = 0;
  std::free(std::exchange(output_large, nullptr));
}

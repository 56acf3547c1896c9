// SPDX-License-Identifier: MIT
// Output module: standard output through one buffer, to stdout or a host's
// writer; error lines to standard error; or both to strings, for tests.
#include "output.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

std::string* output_buffer = nullptr;  // where output goes; null: stdout
std::string* output_error_buffer = nullptr;  // where error lines go; null: stderr

void output_stdout(const char* bytes, size_t size) { fwrite(bytes, 1, size, stdout); }
// Where blocks for standard output go: stdout, or a host's writer.
void (*output_writer)(const char* bytes, size_t size) = output_stdout;
// Bytes for standard output not yet handed to it: a run writes many short
// lines, and one call per line into the C library costs more than the line.
char output_pending[1 << 16];
size_t output_pending_size = 0;  // bytes used in output_pending

}  // namespace

std::string* output_to(std::string* buffer) { return std::exchange(output_buffer, buffer); }

void output_to_writer(void (*writer)(const char* bytes, size_t size)) {
  output_writer = writer != nullptr ? writer : output_stdout;
}

void output_write(std::string_view bytes) {
  if (bytes.empty()) return;  // an empty sentence may have no buffer at all
  if (output_buffer != nullptr) {
    output_buffer->append(bytes);
    return;
  }
  if (bytes.size() > sizeof output_pending - output_pending_size) {
    output_flush();
    if (bytes.size() > sizeof output_pending) {
      output_writer(bytes.data(), bytes.size());
      return;
    }
  }
  memcpy(output_pending + output_pending_size, bytes.data(), bytes.size());
  output_pending_size += bytes.size();
}

char* output_room(size_t size) {
  if (output_buffer != nullptr) {
    size_t at = output_buffer->size();
    output_buffer->resize(at + size);
    return output_buffer->data() + at;
  }
  if (size > sizeof output_pending - output_pending_size) output_flush();
  if (size > sizeof output_pending) return nullptr;
  char* room = output_pending + output_pending_size;
  output_pending_size += size;
  return room;
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
  if (output_pending_size > 0) output_writer(output_pending, output_pending_size);
  output_pending_size = 0;
  return fflush(stdout) != 0 || ferror(stdout) ? 1 : 0;
}

// SPDX-License-Identifier: MIT
// How the unit tests capture what a run prints: both streams into strings,
// or standard output through a writer, as the program and the page send it.
#ifndef SENTGEN_CAPTURE_H
#define SENTGEN_CAPTURE_H

#include <cstddef>
#include <string>
#include <utility>

#include "output.h"

// What a run printed, and its exit status.
struct captured_run {
  int status;       // what the run returned
  std::string out;  // standard output
  std::string err;  // standard error
};

// Calls `run` with both streams captured. Standard output goes into `out`'s
// own buffer, cleared first, so that a test that counts allocations can
// reserve it beforehand and capturing allocates nothing more.
template <typename Run>
captured_run capture_run(Run run, std::string out = {}) {
  output_capture capture;
  capture.out.swap(out);
  capture.out.clear();
  int status = run();
  return {status, std::move(capture.out), std::move(capture.err)};
}

// While it lives, standard output goes through a writer into `written`, in
// the blocks the output module hands over, as it goes to the program's
// standard output or to the page: where only a writer sees what the
// module does with its buffer (long lines written over the last one).
class capture_writer {
 public:
  capture_writer() {
    written.clear();
    output_to_writer(capture_writer_take);
  }
  ~capture_writer() {
    output_flush();
    output_to_writer(nullptr);
  }
  capture_writer(const capture_writer&) = delete;
  capture_writer& operator=(const capture_writer&) = delete;

  static inline std::string written;  // what the writer was handed

 private:
  static void capture_writer_take(const char* bytes, size_t size) { written.append(bytes, size); }
};

#endif

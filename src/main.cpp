// SPDX-License-Identifier: MIT
// The program's entry: one run on grammar.txt, then its output flushed.
#include <csignal>

#include "output.h"
#include "run.h"

int main() {
#ifdef SIGXFSZ
  // Past a file-size limit a write then fails instead of killing the
  // program, so that the limit is reported as the write error it is.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  int status = run_file();
  // A full disk or a closed file must not pass for a good run.
  if (output_flush() != 0) {
    output_error("sentgen: error writing standard output\n");
    return 1;
  }
  return status;
}

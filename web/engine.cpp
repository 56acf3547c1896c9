// SPDX-License-Identifier: MIT
// The page's entry into the engine: one whole run on the bytes of a grammar
// file, as the program makes it on grammar.txt. Standard output goes to the
// page in blocks as it is written, so that a long output never sits whole
// in memory; standard error and the exit status come at the end.
#include <emscripten.h>

#include <cstddef>
#include <string>

#include "output.h"
#include "run.h"

// Hands a block of standard output to the page's script.
EM_JS(void, web_write_output, (const char* bytes, size_t size), {
  Module["sentgenOutput"](HEAPU8.subarray(bytes, bytes + size));
});

// Hands standard error and the exit status to the page's script.
EM_JS(void, web_end_run, (const char* errors, size_t size, int status), {
  Module["sentgenEnd"](HEAPU8.slice(errors, errors + size), status);
});

// Runs the grammar file whose `size` bytes are at `file`.
extern "C" EMSCRIPTEN_KEEPALIVE void sentgen_run(const char* file, size_t size) {
  std::string errors;
  output_to_writer(web_write_output);
  output_errors_to(&errors);
  int status = run_bytes({file, size});
  output_flush();
  output_errors_to(nullptr);
  output_to_writer(nullptr);
  web_end_run(errors.data(), errors.size(), status);
}

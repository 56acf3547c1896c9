// SPDX-License-Identifier: MIT
// Fuzz target through the program's own reading path: the input becomes
// grammar.txt in a scratch folder, and the run reads it with load_grammar
// in blocks, as the program does. It must print, on both streams, what the
// run on the same bytes in memory prints. An input whose first byte is odd
// gets 100 KB of comment lines before it, so that its lines cross the
// boundaries of the reading blocks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "output.h"
#include "run.h"

namespace {

struct run_result {
  int status;
  std::string out, err;
};

template <typename Run>
run_result captured(Run run) {
  output_capture capture;
  int status = run();
  return {status, std::move(capture.out), std::move(capture.err)};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/sentgen-fuzz-file-XXXXXX";
  if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
    perror("sentgen fuzz_file: scratch folder");
    abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && data[0] % 2 == 1) {
    std::string comments;
    while (comments.size() < 100000) comments += "; " + std::to_string(comments.size()) + "\n";
    bytes = comments + bytes;
  }
  FILE* file = fopen("grammar.txt", "wb");
  if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      fclose(file) != 0) {
    perror("sentgen fuzz_file: grammar.txt");
    abort();
  }
  run_result from_file = captured(run_file);
  run_result from_memory = captured([&bytes] { return run_bytes(bytes); });
  if (from_file.status != from_memory.status || from_file.out != from_memory.out ||
      from_file.err != from_memory.err) {
    fprintf(stderr, "property violated: a file read from disk runs as its bytes in memory do\n");
    abort();
  }
  return 0;
}

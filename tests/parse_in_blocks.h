// SPDX-License-Identifier: MIT
// Feeds a grammar file to the loader in blocks, for the unit tests and the
// fuzz target to check that where a block ends never matters.
#ifndef SENTGEN_PARSE_IN_BLOCKS_H
#define SENTGEN_PARSE_IN_BLOCKS_H

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "loader.h"

// Parses `bytes` into `g`, fed to the reader in blocks of the sizes that
// `next_size` gives; returns the status, as parse_grammar does.
template <typename Sizes>
int parse_in_blocks(grammar_table& g, std::string_view bytes, Sizes next_size) {
  constexpr loader_source program = loader_program_source();
  loader_reader reader;
  loader_begin(reader, g, program);
  for (size_t at = 0; at < bytes.size();) {
    size_t size = std::min<size_t>(next_size(), bytes.size() - at);
    if (!loader_feed(reader, bytes.substr(at, size))) break;
    at += size;
  }
  return loader_end(reader);
}

// A block size from `random`: as often 1 to 4 bytes, which split CR LF
// pairs and line starts, as up to 400, which span the loader's stretches.
template <typename Random>
size_t random_block_size(Random& random) {
  return 1 + random() % (random() % 2 ? 4 : 400);
}

#endif

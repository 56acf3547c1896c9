// SPDX-License-Identifier: MIT
// Piece module: the pool's blocks, and giving pieces back.
#include "piece.h"

piece_pool piece_store = {nullptr, 0, nullptr, 0, 0};

namespace {

constexpr std::array<form_piece, NONTERMINAL_COUNT> piece_dead_end_tails_made() {
  std::array<form_piece, NONTERMINAL_COUNT> tails{};
  for (size_t n = 0; n < tails.size(); ++n) {
    tails[n].length = tails[n].size = 1;
    tails[n].refs = DEAD_END_REFS;
    tails[n].text[0] = static_cast<char>('A' + n);
  }
  return tails;
}

void piece_give_back(form_piece* piece) {
  --piece_store.in_use;
  piece->outer = piece_store.spares;
  piece_store.spares = piece;
  ++piece_store.spare_count;
}

}  // namespace

std::array<form_piece, NONTERMINAL_COUNT> piece_dead_end_tails = piece_dead_end_tails_made();

void piece_stock_block() {
  piece_block* block = new piece_block;
  // The old block's unused pieces join the spares, to be used first.
  for (; piece_store.block_unused > 0; --piece_store.block_unused) {
    form_piece& piece = piece_store.blocks->pieces[PIECES_PER_BLOCK - piece_store.block_unused];
    piece.outer = piece_store.spares;
    piece_store.spares = &piece;
    ++piece_store.spare_count;
  }
  block->next = piece_store.blocks;
  piece_store.blocks = block;
  piece_store.block_unused = PIECES_PER_BLOCK;
}

// Loops, not recursion: chains are long.
void piece_free(form_piece* piece) {
  do {
    form_piece* extra = piece->extra;
    while (extra != nullptr && --extra->refs == 0) {
      form_piece* next = extra->extra;
      piece_give_back(extra);
      extra = next;
    }
    form_piece* next = piece->outer;
    piece_give_back(piece);
    piece = next;
  } while (piece != nullptr && --piece->refs == 0);
}

void piece_free_blocks() {
  for (form_piece& tail : piece_dead_end_tails) tail.refs = DEAD_END_REFS;
  if (piece_store.in_use != 0) return;
  while (piece_store.blocks != nullptr) {
    piece_block* next = piece_store.blocks->next;
    delete piece_store.blocks;
    piece_store.blocks = next;
  }
  piece_store.block_unused = 0;
  piece_store.spares = nullptr;
  piece_store.spare_count = 0;
}

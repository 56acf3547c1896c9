// SPDX-License-Identifier: MIT
// Loader module: reads a grammar file into a rule table as it comes, line
// by line, holds it to the table's limits, tells a watcher of every rule
// line, and says what is wrong with a file in lines that name it.
#ifndef SENTGEN_LOADER_H
#define SENTGEN_LOADER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "grammar.h"
#include "output.h"

constexpr char GRAMMAR_FILE_NAME[] = "grammar.txt";  // the program's file, in the current directory

// Where a grammar file comes from and where what is said about it goes.
struct loader_source {
  const char* path;          // the file to open; null for bytes given in memory
  std::string_view name;     // the file's name in every message: "grammar.txt", "ref.txt"
  std::string_view program;  // the program named before the system's reason: "sentgen"
  // Where the messages that stop a load go: the program prints them on
  // standard output (output_write), the companion programs on standard
  // error (output_error). The system's reason always goes to standard error.
  void (*say)(std::string_view line);
};
// grammar.txt, as the program reads it.
constexpr loader_source loader_program_source() {
  return {GRAMMAR_FILE_NAME, GRAMMAR_FILE_NAME, "sentgen", output_write};
}

// What the loader tells of each rule line it has judged, so that a watcher
// (the grammar checks) can look at the line without the loader's state.
struct loader_line {
  uint64_t number;       // the line's number, counted from 1
  uint64_t length;       // its bytes, newline excluded
  char head[5];          // its bytes 0 to 4: the left-hand side and the separator
  std::string_view rhs;  // its right-hand side as stored ("@" for the empty string)
  int entry;             // the entry it went to
  int slot;              // its slot in that entry
  bool rejected;         // the loader rejected it, and reading stops here
};
// Who is told of every rule line judged: `on_line` with `context`.
struct loader_watcher {
  void (*on_line)(void* context, const loader_line& line);  // null: no one
  void* context;                                            // handed back to on_line
};

// The loader's state between blocks of a grammar file: a file is parsed as
// it is read, and of each line only what the table needs is kept.
struct loader_reader {
  grammar_table* table;          // the table being filled
  const loader_source* source;   // where the bytes come from, and where messages go
  loader_watcher watcher;        // told of every rule line
  uint64_t line_number;          // the line being read, counted from 1
  uint64_t line_length;          // its bytes so far, newline excluded
  char first;                    // its first byte
  char arrow[4];                 // its bytes at positions 1 to 4, for the warnings
  char rhs[RHS_SLOT_SIZE - 1];   // its first bytes from position 5 on
  bool comment;                  // it starts with ';'
  bool nul;                      // it holds a byte 0
  bool cr_pending;               // a CR was read last, perhaps the start of CR LF
  bool ended;                    // the data has ended at a byte 0x1A
  int entry;                     // the entry rule lines go to now
  int alternatives;              // alternatives in that entry; 0 before any rule
  int status;                    // 0, or 1 once a line is rejected
};

// Starts reading a grammar file from `source` into `g`, which is cleared.
void loader_begin(loader_reader& reader, grammar_table& g, const loader_source& source,
                  loader_watcher watcher = {});
// Parses the next block of the file. Returns false once reading can stop:
// a line was rejected (its message is said) or the data has ended.
bool loader_feed(loader_reader& reader, std::string_view block);
// Ends the file: parses its last line and completes and indexes the table.
// Returns 0, or 1 when a line was rejected.
int loader_end(loader_reader& reader);

// Reads up to `size` bytes of an open grammar file into `buffer`; returns
// the bytes read, 0 at the end of the file, or -1 with errno set when the
// read fails. A test may point it at a read that fails.
extern long (*loader_read)(char* buffer, size_t size, FILE* file);

// "NAME:N: ", the start of every message about line N of the file NAME.
std::string loader_position(std::string_view name, uint64_t line);

// Fills `g` from the file `source.path`. Returns 0, or 1 after saying why
// the file cannot be used (missing, unreadable, rejected, or a read that
// failed).
int loader_load(grammar_table& g, const loader_source& source, loader_watcher watcher = {});
// Fills `g` from the bytes of a grammar file that `source` names. Returns 0,
// or 1 after saying the one "NAME:N: ..." line that names the first
// offending line.
int loader_parse(grammar_table& g, std::string_view bytes, const loader_source& source,
                 loader_watcher watcher = {});

// The program's loads, of grammar.txt, with messages on standard output.
int load_grammar(grammar_table& g);
int parse_grammar(grammar_table& g, std::string_view bytes);

#endif

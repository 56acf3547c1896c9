// SPDX-License-Identifier: MIT
// Loader module: reads a grammar file, block by block, into the fixed rule
// table, and rejects a file that does not fit it.
#include "loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis.h"
#include "output.h"

namespace {

constexpr char LOADER_END_OF_DATA = '\x1a';  // Ctrl-Z: the file's data ends here
constexpr uint64_t RHS_START = 5;  // positions 1 to 4 hold the arrow; only warnings read them
constexpr size_t READ_BLOCK_SIZE = 1 << 16;  // bytes read from the file at a time
constexpr size_t SKIP_STRETCH = 128;  // bytes of comment lines checked at a time
static_assert(SKIP_STRETCH < 256, "a stretch counts its newlines in a byte");

// The messages that name a limit, each tied to its constant.
constexpr char SHORT_LINE_MESSAGE[] = "rule line shorter than 5 characters";
constexpr char ENTRIES_MESSAGE[] = "more than 30 rule entries";
constexpr char ALTERNATIVES_MESSAGE[] = "more than 5 alternatives for ";
constexpr char LONG_ALTERNATIVE_MESSAGE[] = "alternative longer than 9 characters";
constexpr char UNUSABLE_MESSAGE[] = "File not found: <";  // then the file's name
static_assert(output_names_number(SHORT_LINE_MESSAGE, RHS_START));
static_assert(output_names_number(ENTRIES_MESSAGE, MAX_RULES));
static_assert(output_names_number(ALTERNATIVES_MESSAGE, MAX_ALTERNATIVES));
static_assert(output_names_number(LONG_ALTERNATIVE_MESSAGE, RHS_SLOT_SIZE - 1));

// Tells the watcher, if any, of the rule line just judged.
void loader_tell(const loader_reader& reader, std::string_view rhs, bool rejected) {
  if (reader.watcher.on_line == nullptr) return;
  loader_line line{reader.line_number, reader.line_length, {}, rhs,
                   reader.entry, reader.alternatives - 1, rejected};
  line.head[0] = reader.first;
  std::copy(std::begin(reader.arrow), std::end(reader.arrow), line.head + 1);
  reader.watcher.on_line(reader.watcher.context, line);
}

// Says "NAME:N: message" for the line being read, and stops.
void loader_reject(loader_reader& reader, std::string_view message) {
  loader_tell(reader, {}, true);
  std::string line = loader_position(reader.source->name, reader.line_number);
  line += message;
  line += '\n';
  reader.source->say(line);
  reader.status = 1;
}

// Adds the next bytes of the line being read, none of them a newline.
void loader_line_add(loader_reader& reader, std::string_view bytes) {
  if (bytes.empty() || reader.comment) return;
  uint64_t at = reader.line_length;
  if (at == 0) {
    reader.first = bytes[0];
    reader.comment = bytes[0] == ';';  // ignored whatever it holds
    if (reader.comment) return;
  }
  for (uint64_t p = std::max<uint64_t>(at, 1); p < RHS_START && p < at + bytes.size(); ++p) {
    reader.arrow[p - 1] = bytes[static_cast<size_t>(p - at)];
  }
  uint64_t rhs_end = RHS_START + sizeof reader.rhs;
  for (uint64_t p = std::max(at, RHS_START); p < rhs_end && p < at + bytes.size(); ++p) {
    reader.rhs[p - RHS_START] = bytes[static_cast<size_t>(p - at)];
  }
  reader.nul = reader.nul || bytes.find('\0') != std::string_view::npos;
  reader.line_length = at + bytes.size();
  // The length check comes first, so a NUL byte rejects the line as soon
  // as it is long enough: an endless line of them is rejected at once.
  if (reader.nul && reader.line_length >= RHS_START) {
    loader_reject(reader, "NUL byte in rule line");
  }
}

// Skips the blank and comment lines at the start of `block`, and the start
// of a comment line that goes on in the next block; returns the bytes
// skipped. Called at the start of a line or inside a comment line. Only
// the bytes that start lines are looked at, stretch by stretch, in a flat
// loop that the compiler can vectorize: a file of comments reads at about
// the speed of counting its lines.
size_t loader_skip_ignored(loader_reader& reader, std::string_view block) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
  bool at_start = !reader.comment;  // else inside a comment line
  size_t i = 0;
  // A stretch is SKIP_STRETCH bytes and the one after them, which is the
  // next line's first when the stretch ends with a newline.
  for (; i + SKIP_STRETCH < block.size(); i += SKIP_STRETCH) {
    const unsigned char* p = bytes + i;
    if (at_start && p[0] != ';' && p[0] != '\n') break;
    unsigned char newlines = 0;
    unsigned char rule_start = 0;
    for (size_t k = 0; k < SKIP_STRETCH; ++k) {
      unsigned char newline = p[k] == '\n';
      unsigned char ignored = (p[k + 1] == ';') | (p[k + 1] == '\n');
      newlines += newline;
      rule_start |= newline & (ignored ^ 1);
    }
    if (rule_start) break;
    reader.line_number += newlines;
    at_start = p[SKIP_STRETCH - 1] == '\n';
  }
  // Byte by byte up to the start of a rule line or the end of the block.
  for (; i < block.size() && !(at_start && bytes[i] != ';' && bytes[i] != '\n'); ++i) {
    at_start = bytes[i] == '\n';
    reader.line_number += at_start;
  }
  reader.comment = !at_start;
  return i;
}

// Stores the rule line just read, or rejects it.
void loader_store(loader_reader& reader) {
  if (reader.line_length < RHS_START) {
    loader_reject(reader, SHORT_LINE_MESSAGE);
    return;
  }
  grammar_table& g = *reader.table;
  char ch = reader.first;
  bool new_entry = reader.alternatives > 0 && ch != g.lhs[reader.entry];
  if (new_entry && reader.entry + 1 >= MAX_RULES) {
    loader_reject(reader, ENTRIES_MESSAGE);
    return;
  }
  if (!new_entry && reader.alternatives >= MAX_ALTERNATIVES) {
    loader_reject(reader, ALTERNATIVES_MESSAGE + std::string(1, ch));
    return;
  }
  uint64_t rhs_length = reader.line_length - RHS_START;
  std::string_view rhs(reader.rhs, static_cast<size_t>(std::min<uint64_t>(rhs_length, sizeof reader.rhs)));
  if (!rhs.empty() && rhs[0] == '@') {
    rhs = "@";  // the empty string; the rest of the line is ignored
  } else if (rhs_length >= RHS_SLOT_SIZE) {
    loader_reject(reader, LONG_ALTERNATIVE_MESSAGE);
    return;
  }
  if (new_entry) {
    ++reader.entry;
    reader.alternatives = 0;
  }
  g.lhs[reader.entry] = ch;
  // An empty right-hand side leaves the slot empty, which hides it and
  // every later alternative of the entry.
  std::copy(rhs.begin(), rhs.end(), g.rhs[reader.entry][reader.alternatives]);
  g.rhs_line[reader.entry][reader.alternatives] = reader.line_number;
  ++reader.alternatives;
  loader_tell(reader, grammar_slot_text(g.rhs[reader.entry][reader.alternatives - 1]), false);
}

// Ends the line being read at its newline.
void loader_end_line(loader_reader& reader) {
  if (reader.line_length > 0 && !reader.comment) loader_store(reader);
  if (reader.status != 0) return;
  ++reader.line_number;
  reader.line_length = 0;
  reader.comment = false;
  reader.nul = false;
}

// Prints the system's reason for a failure with the file on standard error.
void loader_reason(const loader_source& source, int error) {
  std::string reason = std::string(source.program) + ": " + std::string(source.name) + ": ";
  reason += error != 0 ? std::strerror(error) : "cannot be read";
  reason += '\n';
  output_error(reason);
}

// Reads as fread does, but tells a failed read from the end of the file.
long loader_fread(char* buffer, size_t size, FILE* file) {
  size_t n = fread(buffer, 1, size, file);
  return ferror(file) ? -1 : static_cast<long>(n);  // what came before a failure is lost too
}

// Says why the file cannot be used, and the system's reason on standard
// error.
void loader_unusable(const loader_source& source, int error) {
  source.say(UNUSABLE_MESSAGE + std::string(source.name) + ">.\n");
  loader_reason(source, error);
}

// Feeds the open `file` to `reader` block by block; returns the load's
// status, and closes the file.
int loader_read_all(loader_reader& reader, FILE* file) {
  static char block[READ_BLOCK_SIZE];
  bool read_any = false;
  for (bool more = true; more;) {
    errno = 0;
    long n = loader_read(block, sizeof block, file);
    if (n < 0) {
      int error = errno;
      fclose(file);
      // Opening a directory succeeds on some systems; its first read fails.
      if (!read_any) {
        loader_unusable(*reader.source, error);
      } else {
        // Later, the rest of the grammar is lost: a run on its first part
        // would pass for a run on the whole file.
        loader_reject(reader, "read error");
        loader_reason(*reader.source, error);
      }
      return 1;
    }
    if (n == 0) break;
    read_any = true;
    more = loader_feed(reader, {block, static_cast<size_t>(n)});
  }
  fclose(file);
  return loader_end(reader);
}

}  // namespace

long (*loader_read)(char* buffer, size_t size, FILE* file) = loader_fread;

std::string loader_position(std::string_view name, uint64_t line) {
  return std::string(name) + ':' + std::to_string(line) + ": ";
}

void loader_begin(loader_reader& reader, grammar_table& g, const loader_source& source,
                  loader_watcher watcher) {
  g = grammar_table{};
  reader = loader_reader{};
  reader.table = &g;
  reader.source = &source;
  reader.watcher = watcher;
  reader.line_number = 1;
}
bool loader_feed(loader_reader& reader, std::string_view block) {
  if (reader.status != 0 || reader.ended) return false;
  // A Ctrl-Z byte ends the file's data, as it does for text files on the
  // console's home system; the same file must load alike everywhere.
  size_t end_of_data = block.find(LOADER_END_OF_DATA);
  reader.ended = end_of_data != std::string_view::npos;
  block = block.substr(0, end_of_data);
  while (!block.empty() && reader.status == 0) {
    if (reader.cr_pending) {
      reader.cr_pending = false;
      if (block[0] == '\n') {
        block.remove_prefix(1);
        loader_end_line(reader);
      } else {
        loader_line_add(reader, "\r");  // a CR alone is an ordinary byte
      }
      continue;
    }
    if (reader.line_length == 0) {
      block.remove_prefix(loader_skip_ignored(reader, block));
      if (block.empty()) break;
    }
    size_t newline = block.find('\n');
    std::string_view bytes = block.substr(0, newline);
    // A CR before the newline belongs to it; one at the end of the block
    // may, if the next block starts with LF.
    if (!bytes.empty() && bytes.back() == '\r') {
      bytes.remove_suffix(1);
      reader.cr_pending = newline == std::string_view::npos;
    }
    loader_line_add(reader, bytes);
    if (newline == std::string_view::npos) break;
    block.remove_prefix(newline + 1);
    if (reader.status == 0) loader_end_line(reader);
  }
  return reader.status == 0 && !reader.ended;
}

int loader_end(loader_reader& reader) {
  if (reader.status == 0 && reader.cr_pending) loader_line_add(reader, "\r");
  if (reader.status == 0) loader_end_line(reader);  // a last line without a newline
  if (reader.status != 0) return reader.status;
  grammar_table& g = *reader.table;
  g.rule_count = reader.entry + 1;
  analysis_index(g);
  return 0;
}

int loader_parse(grammar_table& g, std::string_view bytes, const loader_source& source,
                 loader_watcher watcher) {
  loader_reader reader;
  loader_begin(reader, g, source, watcher);
  loader_feed(reader, bytes);
  return loader_end(reader);
}

int loader_load(grammar_table& g, const loader_source& source, loader_watcher watcher) {
  errno = 0;
  FILE* file = fopen(source.path, "rb");
  if (file == nullptr) {
    loader_unusable(source, errno);
    return 1;
  }
  loader_reader reader;
  loader_begin(reader, g, source, watcher);
  return loader_read_all(reader, file);
}

int load_grammar(grammar_table& g) {
  constexpr loader_source program = loader_program_source();
  return loader_load(g, program);
}

int parse_grammar(grammar_table& g, std::string_view bytes) {
  constexpr loader_source program = loader_program_source();
  return loader_parse(g, bytes, program);
}

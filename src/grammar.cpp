// Grammar module: reads grammar.txt into the fixed rule table and lists it.
#include "grammar.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

grammar_table grammar;

namespace {

constexpr char GRAMMAR_FILE_NAME[] = "grammar.txt";  // read from the current directory
constexpr char GRAMMAR_END_OF_DATA = '\x1a';  // Ctrl-Z: the file's data ends here

std::string* output_buffer = nullptr;  // where output goes; null: stdout
// Bytes for standard output not yet handed to it: a run writes many short
// lines, and one call per line into the C library costs more than the line.
char output_pending[1 << 16];
size_t output_pending_size = 0;  // bytes used in output_pending

// Prints "grammar.txt:N: message" for the rejected line N.
int grammar_reject(int line_number, std::string_view message) {
  std::string line = GRAMMAR_FILE_NAME;
  line += ':';
  line += std::to_string(line_number);
  line += ": ";
  line += message;
  line += '\n';
  output_write(line);
  return 1;
}

// The text of a right-hand-side slot, up to its terminator.
std::string_view grammar_slot_text(const char (&slot)[RHS_SLOT_SIZE]) {
  return {slot, static_cast<size_t>(std::find(slot, slot + RHS_SLOT_SIZE, '\0') - slot)};
}

// Next line of `text` from `pos`, without its newline. A newline is LF or
// CR LF; a CR anywhere else is an ordinary character.
std::string_view grammar_next_line(std::string_view text, size_t& pos) {
  size_t end = text.find('\n', pos);
  std::string_view line;
  if (end == std::string_view::npos) {
    line = text.substr(pos);
    pos = text.size();
  } else {
    line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  }
  return line;
}

// Fills the search's index of the table: every alternative of every entry
// whose left-hand side is a nonterminal, grouped by that nonterminal.
void grammar_index(grammar_table& g) {
  int n = 0;
  for (int c = 0; c < NONTERMINAL_COUNT; ++c) {
    g.choice_start[c] = static_cast<uint8_t>(n);
    for (int i = 0; i < g.rule_count; ++i) {
      if (g.lhs[i] != 'A' + c) continue;
      for (int j = 0, count = grammar_alternative_count(g, i); j < count; ++j) {
        auto size = static_cast<uint8_t>(grammar_alternative(g, i, j).size());
        g.choices[n++] = {static_cast<uint8_t>(i), static_cast<uint8_t>(j), size};
      }
    }
  }
  g.choice_start[NONTERMINAL_COUNT] = static_cast<uint8_t>(n);
}

}  // namespace

void output_to(std::string* buffer) { output_buffer = buffer; }

void output_write(std::string_view bytes) {
  if (bytes.empty()) return;  // an empty sentence may have no buffer at all
  if (output_buffer != nullptr) {
    output_buffer->append(bytes);
    return;
  }
  if (bytes.size() > sizeof output_pending - output_pending_size) {
    output_flush();
    if (bytes.size() > sizeof output_pending) {
      fwrite(bytes.data(), 1, bytes.size(), stdout);
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

int output_flush() {
  fwrite(output_pending, 1, output_pending_size, stdout);
  output_pending_size = 0;
  return fflush(stdout) != 0 || ferror(stdout) ? 1 : 0;
}

int parse_grammar(grammar_table& g, std::string_view bytes) {
  g = grammar_table{};
  // A Ctrl-Z byte ends the file's data, as it does for text files on the
  // console's home system; the same file must load alike everywhere.
  std::string_view text = bytes.substr(0, bytes.find(GRAMMAR_END_OF_DATA));
  int r = 0;  // current entry
  int a = 0;  // alternatives stored in entry r; 0 only before the first rule
  int line_number = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    ++line_number;
    std::string_view line = grammar_next_line(text, pos);
    if (line.empty() || line[0] == ';') continue;  // blank or comment line
    if (line.size() < 5) {
      return grammar_reject(line_number, "rule line shorter than 5 characters");
    }
    if (line.find('\0') != std::string_view::npos) {
      return grammar_reject(line_number, "NUL byte in rule line");
    }
    char ch = line[0];
    bool new_entry = a > 0 && ch != g.lhs[r];
    if (new_entry && r + 1 >= MAX_RULES) {
      return grammar_reject(line_number, "more than 30 rule entries");
    }
    if (!new_entry && a >= MAX_ALTERNATIVES) {
      return grammar_reject(line_number,
                            std::string("more than 5 alternatives for ") + ch);
    }
    // Positions 1 to 4 hold the arrow and are never read.
    std::string_view rhs = line.substr(5);
    if (!rhs.empty() && rhs[0] == '@') {
      rhs = "@";  // the empty string; the rest of the line is ignored
    } else if (rhs.size() >= RHS_SLOT_SIZE) {
      return grammar_reject(line_number, "alternative longer than 9 characters");
    }
    if (new_entry) {
      ++r;
      a = 0;
    }
    g.lhs[r] = ch;
    // An empty right-hand side leaves the slot empty, which hides it and
    // every later alternative of the entry.
    memcpy(g.rhs[r][a], rhs.data(), rhs.size());
    ++a;
  }
  g.rule_count = r + 1;
  grammar_index(g);
  return 0;
}

int load_grammar(grammar_table& g) {
  FILE* file = fopen(GRAMMAR_FILE_NAME, "rb");
  std::string bytes;
  bool readable = file != nullptr;
  if (file != nullptr) {
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) {
      bytes.append(chunk, n);
      if (memchr(chunk, GRAMMAR_END_OF_DATA, n) != nullptr) break;  // the rest is never read
    }
    // Opening a directory succeeds on some systems; its first read fails.
    // A read that fails later ends the data as end of file does.
    readable = !(ferror(file) && bytes.empty());
    fclose(file);
  }
  if (!readable) {
    output_write("File not found: <grammar.txt>.\n");
    return 1;
  }
  return parse_grammar(g, bytes);
}

int grammar_alternative_count(const grammar_table& g, int i) {
  int j = 0;
  while (j < MAX_ALTERNATIVES && g.rhs[i][j][0] != '\0') ++j;
  return j;
}

std::string_view grammar_alternative(const grammar_table& g, int i, int j) {
  if (g.rhs[i][j][0] == '@') return {};
  return grammar_slot_text(g.rhs[i][j]);
}

void print_rules(const grammar_table& g) {
  output_write("Production Rules\n");
  for (int i = 0; i < g.rule_count; ++i) {
    int count = grammar_alternative_count(g, i);
    for (int j = 0; j < count; ++j) {
      // "\t%d:%d %c -> %s\n"; the left-hand side is one byte, whatever it is.
      char head[32];
      int n = snprintf(head, sizeof head, "\t%d:%d ", i, j);
      output_write({head, static_cast<size_t>(n)});
      output_write({&g.lhs[i], 1});
      output_write(" -> ");
      output_write(grammar_slot_text(g.rhs[i][j]));
      output_write("\n");
    }
  }
}

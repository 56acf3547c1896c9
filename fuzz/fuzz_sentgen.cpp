// SPDX-License-Identifier: MIT
// Fuzz target: any bytes as grammar.txt, through the loader, the listing and
// the search, with everything printed kept in memory. Beyond the absence of
// crashes it checks what every run must print.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "checks.h"
#include "derivation.h"
#include "form_read.h"
#include "grammar.h"
#include "loader.h"
#include "output.h"
#include "parse_in_blocks.h"
#include "reference_search.h"
#include "run.h"

namespace {

void require(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "property violated: %s\n", what);
    abort();
  }
}

std::vector<std::string_view> split_lines(std::string_view out) {
  std::vector<std::string_view> lines;
  while (!out.empty()) {
    size_t end = out.find('\n');
    require(end != std::string_view::npos, "output ends with a newline");
    lines.push_back(out.substr(0, end));
    out.remove_prefix(end + 1);
  }
  return lines;
}

bool has_nonterminal(std::string_view text) {
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') return true;
  }
  return false;
}

bool is_rejection(std::string_view line) {
  static const char* const messages[] = {
      "rule line shorter than 5 characters", "NUL byte in rule line",
      "more than 30 rule entries", "alternative longer than 9 characters"};
  std::string_view prefix = "grammar.txt:";
  if (line.substr(0, prefix.size()) != prefix) return false;
  line.remove_prefix(prefix.size());
  size_t digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  if (digits == 0 || line.substr(digits, 2) != ": ") return false;
  line.remove_prefix(digits + 2);
  for (const char* m : messages) {
    if (line == m) return true;
  }
  std::string_view alternatives = "more than 5 alternatives for ";
  return line.size() == alternatives.size() + 1 &&
         line.substr(0, alternatives.size()) == alternatives;
}

// What is kept of a new form whose leftmost nonterminal has no rule: its
// length and that nonterminal.
std::string dead_end_mark(size_t length, char leftmost) {
  return "dead end " + std::to_string(length) + " " + leftmost;
}

// What is kept of a new form that holds a nonterminal that derives no
// sentence: its length and its text from its leftmost nonterminal on.
std::string doomed_mark(size_t length, std::string_view tail) {
  return "doomed " + std::to_string(length) + " " + std::string(tail);
}

// Whether `text` holds a nonterminal from which no sentence derives.
bool holds_barren(const grammar_table& g, std::string_view text) {
  for (char c : text) {
    if (is_nonterminal(c) && (g.derives >> (c - 'A') & 1) == 0) return true;
  }
  return false;
}

// The forms the search makes from the form made of `nonterminal` alone.
std::vector<std::string> expansions_of(const grammar_table& g, char nonterminal) {
  run_reset();
  {
    output_capture ignored;
    sentential_form form = form_from_text(std::string_view(&nonterminal, 1));
    expand_leftmost(g, form, 1);
  }
  std::vector<std::string> made;
  for (int i = 0; i < stack_size(); ++i) {
    const sentential_form& form = stack_form_at(i);
    if (form_is_dead_end(form)) {
      made.push_back(dead_end_mark(form_length(form), form_leftmost(form)));
    } else {
      made.push_back(form_is_doomed(form) ? doomed_mark(form_length(form), form_text(form))
                                          : form_text(form));
    }
  }
  run_reset();
  return made;
}

// The listing names each alternative the search uses, and no other: for
// every nonterminal, the listed alternatives of its entries, in listing
// order, are the forms one step makes from it.
void check_listing(const grammar_table& g, const std::vector<std::string_view>& listing) {
  std::vector<std::string> listed[256];
  for (int i = 0, line = 0; i < g.rule_count; ++i) {
    for (int j = 0;; ++j, ++line) {
      std::string head = "\t" + std::to_string(i) + ":" + std::to_string(j) + " ";
      head += g.lhs[i];
      head += " -> ";
      bool listed_here = static_cast<size_t>(line) < listing.size() &&
                         listing[static_cast<size_t>(line)].substr(0, head.size()) == head;
      if (!listed_here) break;
      std::string_view text = listing[static_cast<size_t>(line)].substr(head.size());
      if (text.substr(0, 1) == "@") text = {};
      size_t lead = grammar_lead(text);
      std::string made(text);
      if (lead < text.size() && grammar_has_no_rule(g, text[lead])) {
        made = dead_end_mark(text.size(), text[lead]);
      } else if (holds_barren(g, text)) {
        made = doomed_mark(text.size(), text.substr(lead));
      }
      listed[static_cast<unsigned char>(g.lhs[i])].push_back(made);
    }
  }
  size_t total = 0;
  for (const auto& l : listed) total += l.size();
  require(total == listing.size(), "every listing line is an entry's alternative");
  for (char n = 'A'; n <= 'Z'; ++n) {
    require(expansions_of(g, n) == listed[static_cast<unsigned char>(n)],
            "the search uses exactly the listed alternatives");
  }
}

void check_output(int status, std::string_view out, const grammar_table& g) {
  std::vector<std::string_view> lines = split_lines(out);
  require(!lines.empty(), "a run prints something");
  if (status == 1 && lines.size() == 1 && is_rejection(lines[0])) return;
  if (status == 1) {
    require(lines.back() == "Out of memory.", "status 1 comes with a message");
    lines.pop_back();
  } else {
    require(status == 0, "status is 0 or 1");
  }
  require(lines[0] == "Production Rules", "the listing comes first");
  size_t listed = 0;
  for (int i = 0; i < g.rule_count; ++i) listed += static_cast<size_t>(grammar_alternative_count(g, i));
  require(lines.size() >= 1 + listed, "the whole listing is printed");
  check_listing(g, std::vector<std::string_view>(lines.begin() + 1, lines.begin() + 1 + static_cast<std::ptrdiff_t>(listed)));
  int sentences = 0;
  for (size_t k = 1 + listed; k < lines.size(); ++k) {
    if (lines[k] == "STACK OVERFLOW!") continue;
    if (lines[k] == "No sentence in 10000 steps: search stopped.") {
      require(k + 1 == lines.size() && status == 0, "the idle stop is the last line");
      continue;
    }
    require(!has_nonterminal(lines[k]), "a sentence holds no nonterminal");
    ++sentences;
  }
  require(sentences <= SENTENCE_BUDGET, "at most twenty sentences");
}

// Loads `bytes` into `g`, its messages thrown away; returns the status.
int load_quietly(grammar_table& g, std::string_view bytes) {
  output_capture ignored;
  return parse_grammar(g, bytes);
}

bool same_table(const grammar_table& a, const grammar_table& b) {
  return a.rule_count == b.rule_count && memcmp(a.lhs, b.lhs, sizeof a.lhs) == 0 &&
         memcmp(a.rhs, b.rhs, sizeof a.rhs) == 0;
}

// LF and CR LF line ends load alike.
void check_line_ends(std::string_view bytes) {
  std::string lf, crlf;
  for (char c : bytes) {
    if (c == '\r') continue;
    lf += c;
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  static grammar_table a, b;
  int status_a = load_quietly(a, lf);
  int status_b = load_quietly(b, crlf);
  require(status_a == status_b && same_table(a, b), "LF and CR LF load the same table");
}

// The search prints what the plain model of it prints, as far as the model
// gets in a bounded time.
void check_against_model(std::string_view out, const grammar_table& g) {
  output_capture listing;
  print_rules(g);
  std::string expected = std::move(listing.out);
  bool finished = reference_search(g, 1 << 20, expected);
  require(finished ? out == expected : out.substr(0, expected.size()) == expected,
          "the search prints what the plain model prints");
}

// Every form the search takes out is whole: its pieces add up to its
// recorded length, its head holds terminals only, its tail starts at a
// nonterminal. Checked over the first steps of a run, a megabyte of forms
// in all.
void check_forms(const grammar_table& g) {
  run_reset();
  size_t checked = 0;
  {
    output_capture ignored;
    stack_push(grammar_seed(g));
    sentential_form form;
    for (int budget = SENTENCE_BUDGET; budget > 0 && !stack_is_empty() && checked < (1u << 20);) {
      stack_pop_shortest(form);
      if (form_is_dead_end(form)) {
        require(grammar_has_no_rule(g, form_leftmost(form)), "a dead end's leftmost nonterminal has no rule");
      } else {
        require(form_is_sound(form), "a form's pieces make up its text");
        require(!form_is_doomed(form) || holds_barren(g, form_text(form)),
                "a form kept without its head holds a nonterminal that derives no sentence");
      }
      checked += form_length(form) + 1;
      budget = expand_leftmost(g, form, budget);
    }
  }
  stack_clear();
  require(form_pieces_in_use() == 0, "released forms give back every piece");
}

// The reader, fed the input in blocks of random sizes (drawn from a seed
// the input gives), loads the same table or prints the same rejection as
// when it is fed the input whole.
void check_blocks(std::string_view bytes) {
  static grammar_table whole, cut;
  output_capture whole_printed;
  int whole_status = parse_grammar(whole, bytes);
  output_capture cut_printed;
  std::minstd_rand random(static_cast<uint32_t>(std::hash<std::string_view>()(bytes)));
  int cut_status = parse_in_blocks(cut, bytes, [&random] { return random_block_size(random); });
  require(whole_status == cut_status && whole_printed.out == cut_printed.out &&
              (whole_status != 0 || same_table(whole, cut)),
          "a file cut into blocks loads as it does whole");
}

// The warnings are lines for people: at most the limit and the line that
// counts the rest, each of bounded length, with no byte that a terminal
// could take for a control sequence. And the run without the checks prints
// the same bytes and ends the same way.
void check_warnings(const grammar_table& grammar, std::string_view bytes, int status,
                    std::string_view out, std::string_view err) {
  size_t lines = 0;
  for (size_t at = 0; at < err.size(); ++lines) {
    size_t end = err.find('\n', at);
    require(end != std::string_view::npos, "standard error ends with a newline");
    require(end - at < 512, "a warning line is short");
    for (size_t k = at; k < end; ++k) {
      auto byte = static_cast<unsigned char>(err[k]);
      require(byte >= 0x20 && byte < 0x7f, "a warning holds no raw control byte");
    }
    at = end + 1;
  }
  require(lines <= CHECK_WARNING_LIMIT + 1, "at most the limit of warnings, and a count");
  if (status != 0) {
    // A rejected file has no listing and no search to tell of. Bytes of
    // the file, quoted, may spell anything: only the words around them count.
    std::string words;
    for (size_t k = 0; k < err.size(); ++k) {
      if (err[k] != '"') {
        words += err[k];
        continue;
      }
      for (++k; k < err.size() && err[k] != '"'; ++k) k += err[k] == '\\' ? 1 : 0;
      words += "\"\"";
    }
    for (std::string_view phrase : {"listed", "never used", "only sentence", "no alternative",
                                    "derives no sentence", "never reaches", "the stack"}) {
      require(words.find(phrase) == std::string::npos, "a rejected file's warnings claim no run");
    }
  } else {
    // "X has no alternative": the search has no rule line for X to use.
    for (size_t at = err.find(" has no alternative"); at != std::string_view::npos;
         at = err.find(" has no alternative", at + 1)) {
      require(at > 0 && is_nonterminal(err[at - 1]), "the warning names a nonterminal");
      int n = err[at - 1] - 'A';
      require(grammar.choice_start[n + 1] == grammar.choice_start[n],
              "a nonterminal said to have no alternative has none the search can use");
    }
  }
  output_capture quiet;
  check_enable(false);
  int quiet_status = run_bytes(bytes);
  check_enable(true);
  require(quiet_status == status && quiet.out == out, "warnings change no byte of the output");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string out, err;
  int status;
  {
    output_capture run;
    status = run_bytes(bytes);
    out = std::move(run.out);
    err = std::move(run.err);
  }
  static grammar_table grammar;  // the table the run loaded, loaded again
  int loaded = load_quietly(grammar, bytes);
  require(loaded == status || status == 1, "the run's table loads alike");
  check_output(status, out, grammar);
  check_warnings(grammar, bytes, status, out, err);
  if (status == 0) {
    check_against_model(out, grammar);
    check_forms(grammar);
  }
  check_line_ends(bytes);
  check_blocks(bytes);
  return 0;
}

// SPDX-License-Identifier: MIT
// A recursive-descent recognizer of examples/expression/grammar.txt, the
// yardstick for the decider's instructions: reads the string on standard
// input (a final newline is dropped) and prints yes or no. E -> E+T | T,
// T -> T*F | F, F -> (E) | a, with the left recursion as loops.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

namespace {
const char* at;   // the next byte
const char* end;  // the string's end

bool expression();
bool factor() {
  if (at < end && *at == 'a') return ++at, true;
  if (at == end || *at != '(') return false;
  ++at;
  if (!expression() || at == end || *at != ')') return false;
  return ++at, true;
}
bool term() {
  if (!factor()) return false;
  while (at < end && *at == '*') {
    ++at;
    if (!factor()) return false;
  }
  return true;
}
bool expression() {
  if (!term()) return false;
  while (at < end && *at == '+') {
    ++at;
    if (!term()) return false;
  }
  return true;
}
// The whole string is an expression.
bool recognize(const std::string& text) {
  at = text.data();
  end = at + text.size();
  return expression() && at == end;
}
}  // namespace

// valgrind --tool=callgrind --toggle-collect=*recognize* counts the
// recognition alone: it is called through a pointer the optimizer cannot
// see through, so that it stays a function of its own.
int main() {
  std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  if (!text.empty() && text.back() == '\n') text.pop_back();
  bool (*volatile recognizer)(const std::string&) = recognize;
  bool yes = recognizer(text);
  std::puts(yes ? "yes" : "no");
  return 0;
}

// The lexer's scanning: tokens, strings and numbers, and the `$` lines.
#include "script/runtime/lua31_Lex.h"

#include <cstdlib>
#include <cstring>

namespace lua31::compiler {

void Lexer::Error(int line, const std::string& message, const char* near) {
  std::string text = chunk_ + ":" + std::to_string(line) + ": " + message;
  if (near) {
    text += " near '";
    text += near;
    text += "'";
  }
  throw CompileError{text};
}

Token Lexer::Next() {
  for (;;) {
    if (p_ >= end_) {
      if (!conds_.empty()) Error(line_, "missing $end", nullptr);
      return Make(TK_EOF);
    }
    if (atLineStart_ && *p_ == '$') {
      Directive();
      continue;
    }
    if (Skipping()) {
      // A skipped line: on to the start of the next one.
      while (p_ < end_ && *p_ != '\n') ++p_;
      if (p_ < end_) {
        ++p_;
        ++line_;
        atLineStart_ = true;
      }
      continue;
    }
    const int c = static_cast<unsigned char>(*p_);
    if (c == '\n') {
      ++p_;
      ++line_;
      atLineStart_ = true;
      continue;
    }
    atLineStart_ = false;
    switch (c) {
      case ' ':
      case '\t':
      case '\r':
      case '\f':
      case '\v':
        ++p_;
        continue;
      case '-':
        if (p_ + 1 < end_ && p_[1] == '-') {
          while (p_ < end_ && *p_ != '\n') ++p_;
          continue;
        }
        ++p_;
        return Make('-');
      case '[':
        if (p_ + 1 < end_ && p_[1] == '[') return LongString();
        ++p_;
        return Make('[');
      case '=':
        return Two('=', TK_EQ, '=');
      case '<':
        return Two('=', TK_LE, '<');
      case '>':
        return Two('=', TK_GE, '>');
      case '~':
        return Two('=', TK_NE, '~');
      case '"':
      case '\'':
        return ShortString(static_cast<char>(c));
      case '.':
        if (p_ + 1 < end_ && p_[1] == '.') {
          if (p_ + 2 < end_ && p_[2] == '.') {
            p_ += 3;
            return Make(TK_DOTS);
          }
          p_ += 2;
          return Make(TK_CONCAT);
        }
        if (p_ + 1 < end_ && IsDigit(p_[1])) return Number();
        ++p_;
        return Make('.');
      default:
        if (IsDigit(c)) return Number();
        if (IsAlpha(c)) return Name();
        ++p_;
        return Make(c);
    }
  }
}

std::string Lexer::Word() {
  const char* s = p_;
  while (p_ < end_ && (IsAlpha(*p_) || IsDigit(*p_))) ++p_;
  return std::string(s, p_);
}

void Lexer::SkipBlanks() {
  while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r')) ++p_;
}

// A `$` line: debug switches, conditionals and the end of input.
void Lexer::Directive() {
  const int line = line_;
  ++p_;
  const std::string word = Word();
  if (word == "if" || word == "ifnot") {
    SkipBlanks();
    const std::string cond = Word();
    if (Skipping()) {
      conds_.push_back(Cond{true, true, false});
    } else {
      bool value;
      if (cond == "nil") {
        value = false;
      } else if (cond == "1") {
        value = true;
      } else if (!cond.empty() && IsAlpha(cond[0])) {
        value = TestName(line, cond);
      } else {
        Error(line, "invalid condition in $" + word, nullptr);
      }
      const bool skip = word == "if" ? !value : value;
      conds_.push_back(Cond{skip, false, false});
    }
  } else if (word == "else") {
    if (conds_.empty()) Error(line, "unmatched $else", nullptr);
    Cond& c = conds_.back();
    if (c.elseSeen) Error(line, "unmatched $else", nullptr);
    c.elseSeen = true;
    if (!c.parentSkip) c.skip = !c.skip;
  } else if (word == "end") {
    if (conds_.empty()) Error(line, "unmatched $end", nullptr);
    conds_.pop_back();
  } else if (word == "endinput") {
    if (!Skipping()) {
      p_ = end_;
      conds_.clear();
      return;
    }
  } else if (word != "debug" && word != "nodebug") {
    Error(line, "unknown directive $" + word, nullptr);
  }
  while (p_ < end_ && *p_ != '\n') ++p_;
}

bool Lexer::TestName(int line, const std::string& name) {
  if (replay_) {
    if (replayAt_ >= replay_->size()) Error(line, "directive outcomes do not match", nullptr);
    return (*replay_)[replayAt_++] != 0;
  }
  const Value* v = TableGetStr(L_->globals, NewString(L_, name));
  const bool set = v != nullptr;
  record_->push_back(set ? 1 : 0);
  return set;
}

Token Lexer::Number() {
  const char* s = p_;
  while (p_ < end_ && IsDigit(*p_)) ++p_;
  if (p_ < end_ && *p_ == '.') {
    ++p_;
    while (p_ < end_ && IsDigit(*p_)) ++p_;
  }
  if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
    ++p_;
    if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
    if (p_ >= end_ || !IsDigit(*p_)) Error(line_, "malformed number", std::string(s, p_).c_str());
    while (p_ < end_ && IsDigit(*p_)) ++p_;
  }
  if (p_ < end_ && (*p_ == '.' || IsAlpha(*p_))) {
    ++p_;
    Error(line_, "malformed number", std::string(s, p_).c_str());
  }
  const std::string text(s, p_);
  Token tok = Make(TK_NUMBER);
  tok.num = std::strtod(text.c_str(), nullptr);
  return tok;
}

Token Lexer::Name() {
  const char* s = p_;
  while (p_ < end_ && (IsAlpha(*p_) || IsDigit(*p_))) ++p_;
  const size_t len = static_cast<size_t>(p_ - s);
  for (size_t i = 0; i < std::size(kReserved); ++i) {
    if (std::strlen(kReserved[i]) == len && std::memcmp(kReserved[i], s, len) == 0) {
      return Make(TK_AND + static_cast<int>(i));
    }
  }
  Token tok = Make(TK_NAME);
  tok.str = NewString(L_, s, len);
  return tok;
}

Token Lexer::ShortString(char quote) {
  const int startLine = line_;
  ++p_;
  buffer_.clear();
  for (;;) {
    if (p_ >= end_ || *p_ == '\n') Error(startLine, "unfinished string", nullptr);
    char c = *p_++;
    if (c == quote) break;
    if (c != '\\') {
      buffer_ += c;
      continue;
    }
    if (p_ >= end_) Error(startLine, "unfinished string", nullptr);
    c = *p_++;
    if (c == '\r' && p_ < end_ && *p_ == '\n') c = *p_++;
    switch (c) {
      case 'a':
        buffer_ += '\a';
        break;
      case 'b':
        buffer_ += '\b';
        break;
      case 'f':
        buffer_ += '\f';
        break;
      case 'n':
        buffer_ += '\n';
        break;
      case 'r':
        buffer_ += '\r';
        break;
      case 't':
        buffer_ += '\t';
        break;
      case 'v':
        buffer_ += '\v';
        break;
      case '\n':
        ++line_;
        buffer_ += '\n';
        break;
      default:
        if (IsDigit(c)) {
          int value = c - '0';
          for (int i = 0; i < 2 && p_ < end_ && IsDigit(*p_); ++i)
            value = value * 10 + (*p_++ - '0');
          if (value > 255) Error(line_, "escape sequence too large", nullptr);
          buffer_ += static_cast<char>(value);
        } else {
          buffer_ += c;
        }
    }
  }
  Token tok = Make(TK_STRING);
  tok.line = startLine;
  tok.str = NewString(L_, buffer_);
  return tok;
}

Token Lexer::LongString() {
  const int startLine = line_;
  p_ += 2;
  buffer_.clear();
  int level = 1;
  for (;;) {
    if (p_ >= end_) Error(startLine, "unfinished long string", nullptr);
    const char c = *p_;
    if (c == '[' && p_ + 1 < end_ && p_[1] == '[') {
      ++level;
      buffer_ += "[[";
      p_ += 2;
    } else if (c == ']' && p_ + 1 < end_ && p_[1] == ']') {
      p_ += 2;
      if (--level == 0) break;
      buffer_ += "]]";
    } else if (c == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
      ++p_;  // CRLF text: the line ends with the newline alone
    } else {
      if (c == '\n') ++line_;
      buffer_ += c;
      ++p_;
    }
  }
  Token tok = Make(TK_STRING);
  tok.line = startLine;
  tok.str = NewString(L_, buffer_);
  return tok;
}

}  // namespace lua31::compiler

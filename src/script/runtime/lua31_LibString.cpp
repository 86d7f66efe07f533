// The scripting runtime's string library: strlen, strsub, strlower, strupper,
// strrep, strbyte, strchar, strfind and gsub with the 3.1 patterns, and
// format.
//
// 3.1 patterns: `+` is an ordinary character and `]` is not magic outside a
// set; the classes are . %a %d %l %s %u %w (capitals: complements); items
// are a class optionally followed by * (longest) - (shortest) or ?
// (optional), %1-%9 (an earlier capture's text) and %bxy (a balanced run);
// ( ) capture (an empty capture is an empty string); ^ at the start and $ at
// the end anchor.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/runtime/lua31_State.h"

namespace lua31 {
namespace {

constexpr int kMaxCaptures = 32;
constexpr int kMaxMatchDepth = 200;
constexpr size_t kMaxStringSize = 256u << 20;
constexpr ptrdiff_t kUnfinished = -1;
constexpr const char* kSpecials = "()%.[*-?";

int64_t ToInteger(double d) {
  if (!(d >= -9.0e18 && d <= 9.0e18)) return d > 0 ? INT64_MAX / 2 : INT64_MIN / 2;
  return static_cast<int64_t>(d);
}

int64_t CheckInteger(Args& a, int i, const char* fname) {
  return ToInteger(CheckNumber(a, i, fname));
}

// A position: negative counts from the end (-1 is the last character).
int64_t Position(int64_t pos, size_t len) {
  return pos >= 0 ? pos : static_cast<int64_t>(len) + pos + 1;
}

// ---- Simple functions ----------------------------------------------------------

int S_strlen(Args& a) {
  Push(a.L, NumberValue(CheckString(a, 1, "strlen")->len));
  return 1;
}

int S_strsub(Args& a) {
  TString* s = CheckString(a, 1, "strsub");
  const size_t len = s->len;
  int64_t i = Position(CheckInteger(a, 2, "strsub"), len);
  int64_t j = Position(ToInteger(OptNumber(a, 3, -1, "strsub")), len);
  if (i < 1) i = 1;
  if (j > static_cast<int64_t>(len)) j = static_cast<int64_t>(len);
  if (i > j) {
    Push(a.L, StringValue(NewString(a.L, "", 0)));
  } else {
    Push(a.L, StringValue(NewString(a.L, s->data() + i - 1, static_cast<size_t>(j - i + 1))));
  }
  return 1;
}

int ChangeCase(Args& a, const char* fname, bool upper) {
  TString* s = CheckString(a, 1, fname);
  std::string out(s->data(), s->len);
  for (char& c : out) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  Push(a.L, StringValue(NewString(a.L, out)));
  return 1;
}

int S_strlower(Args& a) {
  return ChangeCase(a, "strlower", false);
}
int S_strupper(Args& a) {
  return ChangeCase(a, "strupper", true);
}

int S_strrep(Args& a) {
  TString* s = CheckString(a, 1, "strrep");
  const int64_t n = CheckInteger(a, 2, "strrep");
  if (n <= 0 || s->len == 0) {
    Push(a.L, StringValue(NewString(a.L, "", 0)));
    return 1;
  }
  if (static_cast<uint64_t>(n) * s->len > kMaxStringSize) RunError(a.L, "strrep: string too large");
  std::string out;
  out.reserve(static_cast<size_t>(n) * s->len);
  for (int64_t i = 0; i < n; ++i) out.append(s->data(), s->len);
  Push(a.L, StringValue(NewString(a.L, out)));
  return 1;
}

int S_strbyte(Args& a) {
  TString* s = CheckString(a, 1, "strbyte");
  const int64_t i = Position(ToInteger(OptNumber(a, 2, 1, "strbyte")), s->len);
  if (i < 1 || i > static_cast<int64_t>(s->len)) {
    RunError(a.L, "bad argument #2 to function 'strbyte' (out of range)");
  }
  Push(a.L, NumberValue(static_cast<unsigned char>(s->data()[i - 1])));
  return 1;
}

int S_strchar(Args& a) {
  std::string out;
  for (int i = 1; i <= a.n; ++i) {
    const int64_t c = CheckInteger(a, i, "strchar");
    if (c < 0 || c > 255) RunError(a.L, "bad argument #%d to function 'strchar' (out of range)", i);
    out += static_cast<char>(c);
  }
  Push(a.L, StringValue(NewString(a.L, out)));
  return 1;
}

// ---- Pattern matching ----------------------------------------------------------

struct MatchState {
  State* L;
  const char* srcInit;
  const char* srcEnd;
  const char* patEnd;
  int level = 0;
  int depth = 0;
  struct {
    const char* init;
    ptrdiff_t len;
  } capture[kMaxCaptures];
};

[[noreturn]] void PatternError(MatchState& ms, const char* what) {
  RunError(ms.L, "malformed pattern (%s)", what);
}

bool IsLower(int c) {
  return c >= 'a' && c <= 'z';
}
bool IsUpper(int c) {
  return c >= 'A' && c <= 'Z';
}
bool IsDigitC(int c) {
  return c >= '0' && c <= '9';
}

bool ClassMatches(int c, int cl) {
  bool res;
  switch (cl | 0x20) {
    case 'a':
      res = IsLower(c) || IsUpper(c);
      break;
    case 'd':
      res = IsDigitC(c);
      break;
    case 'l':
      res = IsLower(c);
      break;
    case 's':
      res = c == ' ' || (c >= '\t' && c <= '\r');
      break;
    case 'u':
      res = IsUpper(c);
      break;
    case 'w':
      res = IsLower(c) || IsUpper(c) || IsDigitC(c);
      break;
    default:
      return cl == c;  // any other character (letters too) stands for itself
  }
  return IsUpper(cl) ? !res : res;
}

// p points at '[' and end at the closing ']'.
bool BracketMatches(int c, const char* p, const char* end) {
  bool sig = true;
  ++p;
  if (*p == '^') {
    sig = false;
    ++p;
  }
  for (; p < end; ++p) {
    if (*p == '%' && p + 1 < end) {
      ++p;
      if (ClassMatches(c, static_cast<unsigned char>(*p))) return sig;
    } else if (p + 2 < end && p[1] == '-') {
      if (static_cast<unsigned char>(p[0]) <= c && c <= static_cast<unsigned char>(p[2]))
        return sig;
      p += 2;
    } else if (static_cast<unsigned char>(*p) == c) {
      return sig;
    }
  }
  return !sig;
}

const char* ClassEnd(MatchState& ms, const char* p) {
  if (*p == '%') {
    if (p + 1 >= ms.patEnd) PatternError(ms, "ends with '%'");
    return p + 2;
  }
  if (*p == '[') {
    ++p;
    if (p < ms.patEnd && *p == '^') ++p;
    do {
      if (p >= ms.patEnd) PatternError(ms, "missing ']'");
      if (*p++ == '%' && p < ms.patEnd) ++p;
    } while (p >= ms.patEnd || *p != ']');
    return p + 1;
  }
  return p + 1;
}

bool SingleMatches(int c, const char* p, const char* ep) {
  switch (*p) {
    case '.':
      return true;
    case '%':
      return ClassMatches(c, static_cast<unsigned char>(p[1]));
    case '[':
      return BracketMatches(c, p, ep - 1);
    default:
      return static_cast<unsigned char>(*p) == c;
  }
}

const char* Match(MatchState& ms, const char* s, const char* p);

const char* MaxExpand(MatchState& ms, const char* s, const char* p, const char* ep) {
  ptrdiff_t i = 0;
  while (s + i < ms.srcEnd && SingleMatches(static_cast<unsigned char>(s[i]), p, ep)) ++i;
  while (i >= 0) {
    if (const char* r = Match(ms, s + i, ep + 1)) return r;
    --i;
  }
  return nullptr;
}

const char* MinExpand(MatchState& ms, const char* s, const char* p, const char* ep) {
  for (;;) {
    if (const char* r = Match(ms, s, ep + 1)) return r;
    if (s < ms.srcEnd && SingleMatches(static_cast<unsigned char>(*s), p, ep)) {
      ++s;
    } else {
      return nullptr;
    }
  }
}

const char* MatchBalance(MatchState& ms, const char* s, const char* p) {
  if (p + 1 >= ms.patEnd) PatternError(ms, "%b needs two characters");
  if (s >= ms.srcEnd || *s != *p) return nullptr;
  const char open = p[0], close = p[1];
  int count = 1;
  while (++s < ms.srcEnd) {
    if (*s == close) {
      if (--count == 0) return s + 1;
    } else if (*s == open) {
      ++count;
    }
  }
  return nullptr;
}

struct DepthGuard {
  MatchState& ms;
  explicit DepthGuard(MatchState& m) : ms(m) {
    if (++ms.depth > kMaxMatchDepth) RunError(ms.L, "pattern too complex");
  }
  ~DepthGuard() { --ms.depth; }
};

const char* Match(MatchState& ms, const char* s, const char* p) {
  DepthGuard guard(ms);
  for (;;) {
    if (p >= ms.patEnd) return s;
    switch (*p) {
      case '(': {
        if (ms.level >= kMaxCaptures) RunError(ms.L, "too many captures");
        ms.capture[ms.level].init = s;
        ms.capture[ms.level].len = kUnfinished;
        ++ms.level;
        const char* r = Match(ms, s, p + 1);
        if (!r) --ms.level;
        return r;
      }
      case ')': {
        int l = ms.level - 1;
        while (l >= 0 && ms.capture[l].len != kUnfinished) --l;
        if (l < 0) PatternError(ms, "unbalanced ')'");
        ms.capture[l].len = s - ms.capture[l].init;
        const char* r = Match(ms, s, p + 1);
        if (!r) ms.capture[l].len = kUnfinished;
        return r;
      }
      case '$':
        if (p + 1 == ms.patEnd) return s == ms.srcEnd ? s : nullptr;
        break;
      case '%':
        if (p + 1 < ms.patEnd && p[1] == 'b') {
          s = MatchBalance(ms, s, p + 2);
          if (!s) return nullptr;
          p += 4;
          continue;
        }
        if (p + 1 < ms.patEnd && p[1] >= '1' && p[1] <= '9') {
          const int l = p[1] - '1';
          if (l >= ms.level || ms.capture[l].len == kUnfinished) {
            RunError(ms.L, "invalid capture index %%%c", p[1]);
          }
          const size_t len = static_cast<size_t>(ms.capture[l].len);
          if (static_cast<size_t>(ms.srcEnd - s) < len ||
              std::memcmp(ms.capture[l].init, s, len) != 0) {
            return nullptr;
          }
          s += len;
          p += 2;
          continue;
        }
        break;
      default:
        break;
    }
    const char* ep = ClassEnd(ms, p);
    const bool m = s < ms.srcEnd && SingleMatches(static_cast<unsigned char>(*s), p, ep);
    if (ep < ms.patEnd) {
      switch (*ep) {
        case '?':
          if (m) {
            if (const char* r = Match(ms, s + 1, ep + 1)) return r;
          }
          p = ep + 1;
          continue;
        case '*':
          return MaxExpand(ms, s, p, ep);
        case '-':
          return MinExpand(ms, s, p, ep);
        default:
          break;
      }
    }
    if (!m) return nullptr;
    ++s;
    p = ep;
  }
}

void CheckCaptures(MatchState& ms) {
  for (int l = 0; l < ms.level; ++l) {
    if (ms.capture[l].len == kUnfinished) PatternError(ms, "unfinished capture");
  }
}

void PushCapture(MatchState& ms, int l) {
  Push(ms.L,
       StringValue(NewString(ms.L, ms.capture[l].init, static_cast<size_t>(ms.capture[l].len))));
}

int PushCaptures(MatchState& ms) {
  CheckCaptures(ms);
  for (int l = 0; l < ms.level; ++l) PushCapture(ms, l);
  return ms.level;
}

bool HasSpecials(const char* p, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    if (std::strchr(kSpecials, p[i]) || p[i] == '^' || p[i] == '$') return true;
  }
  return false;
}

int S_strfind(Args& a) {
  State* L = a.L;
  TString* s = CheckString(a, 1, "strfind");
  TString* pat = CheckString(a, 2, "strfind");
  int64_t init = Position(ToInteger(OptNumber(a, 3, 1, "strfind")), s->len);
  if (init < 1) init = 1;
  if (init > static_cast<int64_t>(s->len) + 1) {
    Push(L, NilValue());
    return 1;
  }
  const bool plain = (a.n >= 4 && !IsNil(a.at(4))) || !HasSpecials(pat->data(), pat->len);
  const char* src = s->data();
  if (plain) {
    const char* hay = src + init - 1;
    const size_t left = s->len - static_cast<size_t>(init - 1);
    const char* found = nullptr;
    if (pat->len == 0) {
      found = hay;
    } else if (pat->len <= left) {
      for (size_t i = 0; i + pat->len <= left; ++i) {
        if (hay[i] == pat->data()[0] && std::memcmp(hay + i, pat->data(), pat->len) == 0) {
          found = hay + i;
          break;
        }
      }
    }
    if (!found) {
      Push(L, NilValue());
      return 1;
    }
    Push(L, NumberValue(static_cast<double>(found - src + 1)));
    Push(L, NumberValue(static_cast<double>(found - src + pat->len)));
    return 2;
  }
  MatchState ms;
  ms.L = L;
  ms.srcInit = src;
  ms.srcEnd = src + s->len;
  ms.patEnd = pat->data() + pat->len;
  const char* p = pat->data();
  const bool anchor = *p == '^';
  if (anchor) ++p;
  const char* at = src + init - 1;
  do {
    ms.level = 0;
    ms.depth = 0;
    if (const char* e = Match(ms, at, p)) {
      Push(L, NumberValue(static_cast<double>(at - src + 1)));
      Push(L, NumberValue(static_cast<double>(e - src)));
      return 2 + PushCaptures(ms);
    }
  } while (at++ < ms.srcEnd && !anchor);
  Push(L, NilValue());
  return 1;
}

// ---- gsub ------------------------------------------------------------------------

void AddValue(MatchState& ms, std::string& out, Args& a, const char* s, const char* e) {
  State* L = ms.L;
  const Value repl = a.at(3);
  if (repl.tt == TSTRING || repl.tt == TNUMBER) {
    Value r = repl;
    ToStringInPlace(L, &r);
    const char* p = r.s->data();
    const size_t len = r.s->len;
    for (size_t i = 0; i < len; ++i) {
      if (p[i] != '%' || i + 1 >= len) {
        out += p[i];
        continue;
      }
      const char c = p[++i];
      if (c >= '1' && c <= '9') {
        const int l = c - '1';
        if (l >= ms.level || ms.capture[l].len == kUnfinished) {
          RunError(L, "invalid capture index %%%c", c);
        }
        out.append(ms.capture[l].init, static_cast<size_t>(ms.capture[l].len));
      } else {
        out += c;
      }
    }
    return;
  }
  // A function gets the captures; a string or number result is inserted.
  Thread* th = L->cur;
  const uint32_t func = th->top;
  Push(L, repl);
  CheckCaptures(ms);
  for (int l = 0; l < ms.level; ++l) PushCapture(ms, l);
  Call(L, func, 1);
  Value r = th->stack[func];
  th->top = func;
  if (ToStringInPlace(L, &r)) out.append(r.s->data(), r.s->len);
  (void)s;
  (void)e;
}

int S_gsub(Args& a) {
  State* L = a.L;
  TString* s = CheckString(a, 1, "gsub");
  TString* pat = CheckString(a, 2, "gsub");
  const Value repl = a.at(3);
  if (repl.tt != TSTRING && repl.tt != TNUMBER && !IsFunction(repl)) {
    RunError(L, "bad argument #3 to function 'gsub' (string or function expected)");
  }
  const int64_t maxN = a.n >= 4 && !IsNil(a.at(4)) ? CheckInteger(a, 4, "gsub") : INT64_MAX;
  const char* src = s->data();
  MatchState ms;
  ms.L = L;
  ms.srcInit = src;
  ms.srcEnd = src + s->len;
  ms.patEnd = pat->data() + pat->len;
  const char* p = pat->data();
  const bool anchor = *p == '^';
  if (anchor) ++p;
  std::string out;
  int64_t n = 0;
  while (n < maxN) {
    ms.level = 0;
    ms.depth = 0;
    const char* e = Match(ms, src, p);
    if (e) {
      ++n;
      AddValue(ms, out, a, src, e);
      if (out.size() > kMaxStringSize) RunError(L, "gsub: string too large");
    }
    if (e && e > src) {
      src = e;
    } else if (src < ms.srcEnd) {
      out += *src++;
    } else {
      break;
    }
    if (anchor) break;
  }
  out.append(src, static_cast<size_t>(ms.srcEnd - src));
  Push(L, StringValue(NewString(L, out)));
  Push(L, NumberValue(static_cast<double>(n)));
  return 2;
}

// ---- format ------------------------------------------------------------------------

int ClampInt(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return INT_MAX;
  if (d <= -2147483648.0) return INT_MIN;
  return static_cast<int>(d);
}

unsigned ToUnsigned(double d) {
  if (std::isnan(d)) return 0;
  const int64_t i = ToInteger(d);
  return static_cast<unsigned>(static_cast<uint64_t>(i));
}

int S_format(Args& a) {
  State* L = a.L;
  TString* fs = CheckString(a, 1, "format");
  const char* f = fs->data();
  const char* end = f + fs->len;
  std::string out;
  int next = 1;  // last argument used
  char buffer[512];
  while (f < end) {
    if (*f != '%') {
      out += *f++;
      continue;
    }
    if (++f >= end) RunError(L, "invalid format (ends with '%%')");
    if (*f == '%') {
      out += *f++;
      continue;
    }
    int arg;
    if (f + 1 < end && *f >= '1' && *f <= '9' && f[1] == '$') {
      arg = *f - '0' + 1;
      f += 2;
    } else {
      arg = ++next;
    }
    std::string spec = "%";
    while (f < end && std::strchr("-+ #0", *f)) {
      spec += *f++;
      if (spec.size() > 6) RunError(L, "invalid format (repeated flags)");
    }
    for (int part = 0; part < 2; ++part) {
      if (part == 1) {
        if (f >= end || *f != '.') break;
        spec += *f++;
      }
      int digits = 0;
      while (f < end && *f >= '0' && *f <= '9') {
        if (++digits > 2) RunError(L, "invalid format (width or precision too long)");
        spec += *f++;
      }
    }
    if (f >= end) RunError(L, "invalid format (missing conversion)");
    const char conv = *f++;
    if (arg > a.n) RunError(L, "bad argument #%d to function 'format' (no value)", arg);
    int len = 0;
    auto print = [&](auto value) {
      spec += conv == 'i' ? 'd' : conv;
      len = std::snprintf(buffer, sizeof buffer, spec.c_str(), value);
    };
    switch (conv) {
      case 'd':
      case 'i':
      case 'c':
        print(ClampInt(CheckNumber(a, arg, "format")));
        break;
      case 'o':
      case 'u':
      case 'x':
      case 'X':
        print(ToUnsigned(CheckNumber(a, arg, "format")));
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'g':
      case 'G':
        print(CheckNumber(a, arg, "format"));
        break;
      case 's': {
        TString* s = CheckString(a, arg, "format");
        spec += 's';
        const int need = std::snprintf(nullptr, 0, spec.c_str(), s->data());
        if (need < 0) RunError(L, "invalid format");
        std::string piece(static_cast<size_t>(need) + 1, '\0');
        std::snprintf(piece.data(), piece.size(), spec.c_str(), s->data());
        piece.resize(static_cast<size_t>(need));
        out += piece;
        continue;
      }
      case 'q': {
        TString* s = CheckString(a, arg, "format");
        out += '"';
        for (uint32_t j = 0; j < s->len; ++j) {
          const char c = s->data()[j];
          if (c == '"' || c == '\\' || c == '\n') out += '\\';
          out += c;
        }
        out += '"';
        continue;
      }
      default:
        RunError(L, "invalid format (option '%%%c')", conv);
    }
    if (len < 0) RunError(L, "invalid format");
    if (len >= static_cast<int>(sizeof buffer)) len = static_cast<int>(sizeof buffer) - 1;
    out.append(buffer, static_cast<size_t>(len));
  }
  Push(L, StringValue(NewString(L, out)));
  return 1;
}

}  // namespace

const char* PatternClassEnd(State* L, const char* p, const char* end) {
  MatchState ms;
  ms.L = L;
  ms.patEnd = end;
  return ClassEnd(ms, p);
}

bool PatternSingleMatch(int c, const char* p, const char* ep) {
  return SingleMatches(c, p, ep);
}

void OpenStringLib(State* L) {
  static const struct {
    const char* name;
    NativeFn fn;
  } kFunctions[] = {
      {"strlen", S_strlen},     {"strsub", S_strsub},   {"strlower", S_strlower},
      {"strupper", S_strupper}, {"strrep", S_strrep},   {"strbyte", S_strbyte},
      {"strchar", S_strchar},   {"strfind", S_strfind}, {"format", S_format},
      {"gsub", S_gsub},
  };
  for (const auto& f : kFunctions) Register(L, f.name, f.fn);
}

}  // namespace lua31

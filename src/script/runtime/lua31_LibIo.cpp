// The scripting runtime's input/output library, as the engine offers it to
// game scripts: files are read whole through the engine's file services
// (readfrom, read with 3.1 read patterns); writes to standard output and
// error go to the program log; the functions that would reach the host
// (writing files, pipes, remove, rename, tmpname, getenv, execute, exit,
// setlocale) answer nil and do nothing. date and clock are kept.
#include <cstring>
#include <ctime>

#include "script/runtime/lua31_State.h"

namespace lua31 {
namespace {

IoFile* FileOf(State* L, const Value& v) {
  if (v.tt != TUSERDATA) return nullptr;
  auto it = L->ioFiles.find(v.u);
  return it == L->ioFiles.end() ? nullptr : it->second.get();
}

void EmitLine(const IoFile* f, const char* text, size_t len);

// Text written without a final newline goes out as it is.
void FlushPending(IoFile* f) {
  if (f->pending.empty() || (f->kind != 1 && f->kind != 2)) return;
  EmitLine(f, f->pending.data(), f->pending.size());
  f->pending.clear();
}

Value NewHandle(State* L, std::unique_ptr<IoFile> file) {
  IoFile* raw = file.get();
  Udata* u = PushedUdata(L, raw, L->ioTag);
  L->ioFiles[u] = std::move(file);
  return UdataValue(u);
}

Value GlobalValue(State* L, const char* name) {
  const Value* v = TableGetStr(L->globals, NewString(L, name));
  return v ? *v : NilValue();
}

void SetGlobalValue(State* L, const char* name, const Value& v) {
  TableSetStr(L, L->globals, NewString(L, name), v);
}

// The file a read or write works on: a handle given as the first argument
// (the other arguments then start at 2), else the current one.
IoFile* HandleOrCurrent(Args& a, const char* current, int* firstArg) {
  if (IoFile* f = FileOf(a.L, a.at(1))) {
    *firstArg = 2;
    return f;
  }
  *firstArg = 1;
  return FileOf(a.L, GlobalValue(a.L, current));
}

int Fail(State* L, const char* message) {
  Push(L, NilValue());
  Push(L, StringValue(NewString(L, message)));
  return 2;
}

int Refused(Args& a) {
  Push(a.L, NilValue());
  return 1;
}

int IO_readfrom(Args& a) {
  State* L = a.L;
  if (a.n < 1 || IsNil(a.at(1))) {
    if (IoFile* f = FileOf(L, GlobalValue(L, "_INPUT")); f && f->kind == 3) {
      f->kind = 4;
      f->data.clear();
    }
    SetGlobalValue(L, "_INPUT", UdataValue(L->stdio[0]));
    Push(L, NumberValue(1));
    return 1;
  }
  TString* name = CheckString(a, 1, "readfrom");
  if (name->data()[0] == '|') return Fail(L, "pipes are not offered to scripts");
  auto file = std::make_unique<IoFile>();
  std::string error;
  if (!ReadScriptFile(name->data(), file->data, &error)) return Fail(L, error.c_str());
  file->kind = 3;
  const Value h = NewHandle(L, std::move(file));
  SetGlobalValue(L, "_INPUT", h);
  Push(L, h);
  return 1;
}

int IO_writeto(Args& a) {
  State* L = a.L;
  if (a.n < 1 || IsNil(a.at(1))) {
    // Closing the current output: what it holds goes out first.
    if (IoFile* f = FileOf(L, GlobalValue(L, "_OUTPUT"))) FlushPending(f);
    SetGlobalValue(L, "_OUTPUT", UdataValue(L->stdio[1]));
    Push(L, NumberValue(1));
    return 1;
  }
  CheckString(a, 1, "writeto");
  return Fail(L, "writing files is not offered to scripts");
}

int IO_appendto(Args& a) {
  CheckString(a, 1, "appendto");
  return Fail(a.L, "writing files is not offered to scripts");
}

// A 3.1 read pattern: single classes, each optionally followed by ? (never
// fails) or * (reads while it matches); items inside { } are read but not
// kept. Answers what was read, or nil when the pattern failed before
// reading anything.
int IO_read(Args& a) {
  State* L = a.L;
  int arg = 1;
  IoFile* f = HandleOrCurrent(a, "_INPUT", &arg);
  const char* pat = "[^\n]*{\n}";
  size_t patLen = std::strlen(pat);
  if (arg <= a.n && !IsNil(a.at(arg))) {
    TString* p = CheckString(a, arg, "read");
    pat = p->data();
    patLen = p->len;
  }
  if (!f || f->kind != 3) return Refused(a);
  const char* p = pat;
  const char* end = pat + patLen;
  const size_t start = f->pos;
  std::string kept;
  bool skipping = false;
  bool failed = false;
  while (p < end && !failed) {
    if (*p == '{') {
      skipping = true;
      ++p;
      continue;
    }
    if (*p == '}') {
      skipping = false;
      ++p;
      continue;
    }
    const char* ep = PatternClassEnd(L, p, end);
    const char q = ep < end ? *ep : 0;
    auto matches = [&] {
      return f->pos < f->data.size() &&
             PatternSingleMatch(static_cast<unsigned char>(f->data[f->pos]), p, ep);
    };
    auto take = [&] {
      if (!skipping) kept += f->data[f->pos];
      ++f->pos;
    };
    if (q == '*') {
      while (matches()) take();
      p = ep + 1;
    } else if (q == '?') {
      if (matches()) take();
      p = ep + 1;
    } else {
      if (matches()) {
        take();
      } else {
        failed = true;
      }
      p = ep;
    }
  }
  if (failed && f->pos == start) return Refused(a);
  Push(L, StringValue(NewString(L, kept)));
  return 1;
}

// One line (or the unended rest) of standard output or error.
void EmitLine(const IoFile* f, const char* text, size_t len) {
  if (f->kind == 1) {
    WriteOutput(text, len);
  } else {
    std::string line(text, len);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    LogLine("%s", line.c_str());
  }
}

void Emit(IoFile* f, const char* text, size_t len) {
  f->pending.append(text, len);
  size_t eol;
  while ((eol = f->pending.find('\n')) != std::string::npos) {
    EmitLine(f, f->pending.data(), eol + 1);
    f->pending.erase(0, eol + 1);
  }
}

int IO_write(Args& a) {
  State* L = a.L;
  int arg = 1;
  IoFile* f = HandleOrCurrent(a, "_OUTPUT", &arg);
  for (int i = arg; i <= a.n; ++i) {
    TString* s = CheckString(a, i, "write");
    if (f && (f->kind == 1 || f->kind == 2)) Emit(f, s->data(), s->len);
  }
  if (!f || (f->kind != 1 && f->kind != 2)) return Fail(L, "file not writable");
  Push(L, NumberValue(1));
  return 1;
}

int IO_date(Args& a) {
  const char* format = "%c";
  if (a.n >= 1 && !IsNil(a.at(1))) format = CheckString(a, 1, "date")->data();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[256];
  const size_t len = std::strftime(buffer, sizeof buffer, format, &local);
  Push(a.L, StringValue(NewString(a.L, buffer, len)));
  return 1;
}

int IO_clock(Args& a) {
  Push(a.L, NumberValue(static_cast<double>(std::clock()) / CLOCKS_PER_SEC));
  return 1;
}

}  // namespace

void FlushIo(State* L) {
  if (L->ioTag == 0) return;
  for (int k = 1; k <= 2; ++k) {
    if (IoFile* f = FileOf(L, UdataValue(L->stdio[k]))) FlushPending(f);
  }
}

void OpenIoLib(State* L) {
  if (L->ioTag == 0) {
    --L->lastTag;
    L->tags.resize(static_cast<size_t>(-static_cast<int64_t>(L->lastTag)) + 1);
    L->ioTag = L->lastTag;
    for (int k = 0; k < 3; ++k) {
      auto file = std::make_unique<IoFile>();
      file->kind = k;
      L->stdio[k] = NewHandle(L, std::move(file)).u;
    }
  }
  static const struct {
    const char* name;
    NativeFn fn;
  } kFunctions[] = {
      {"readfrom", IO_readfrom}, {"writeto", IO_writeto}, {"appendto", IO_appendto},
      {"read", IO_read},         {"write", IO_write},     {"remove", Refused},
      {"rename", Refused},       {"tmpname", Refused},    {"getenv", Refused},
      {"execute", Refused},      {"exit", Refused},       {"setlocale", Refused},
      {"date", IO_date},         {"clock", IO_clock},
  };
  for (const auto& f : kFunctions) Register(L, f.name, f.fn);
  const char* const names[] = {"_STDIN", "_STDOUT", "_STDERR"};
  for (int k = 0; k < 3; ++k) SetGlobalValue(L, names[k], UdataValue(L->stdio[k]));
  SetGlobalValue(L, "_INPUT", UdataValue(L->stdio[0]));
  SetGlobalValue(L, "_OUTPUT", UdataValue(L->stdio[1]));
}

}  // namespace lua31

// The scripting runtime's code generator: walks the parser's syntax tree and
// emits register code (lua31_Code.h) with a line number per instruction,
// one prototype per function. Compile at the end drives the three stages:
// lexer (lua31_Lex.cpp), parser (lua31_Parse.cpp) and this one.
#include "script/runtime/lua31_Code.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "script/runtime/lua31_Parse.h"

namespace lua31 {
namespace compiler {
namespace {

constexpr int kMaxLocals = 200;  // active locals per function
constexpr int kMaxUpvalues = 255;
constexpr uint32_t kMaxConstants = 65535;
constexpr uint32_t kMaxListBlocks = 1024;

using JumpList = std::vector<int>;

class CodeGen {
 public:
  CodeGen(State* L, Chunk* chunk, Lexer& lex) : L_(L), chunk_(chunk), lex_(lex) {}

  void Main(Block* block) {
    FuncBody body;
    body.body = block;
    body.line = 0;
    body.endLine = lex_.line();
    Function(&body);
  }

 private:
  struct FuncState {
    FuncState* prev = nullptr;
    Proto* p = nullptr;
    std::vector<TString*> actives;  // active locals; register = position
    int freereg = 0;
    std::unordered_map<const TString*, uint32_t> strK;
    std::unordered_map<uint64_t, uint32_t> numK;
    int64_t nilK = -1;
    std::vector<TString*> upnames;
  };

  [[noreturn]] void Error(const std::string& message) { lex_.Error(line_, message, nullptr); }

  int Here() const { return static_cast<int>(fs_->p->code.size()); }

  int Emit(Instr i) {
    fs_->p->code.push_back(i);
    fs_->p->lines.push_back(line_);
    return Here() - 1;
  }

  int EmitJump() { return Emit(MakeJ(OP_JMP, 0)); }

  void PatchTo(const JumpList& list, int target) {
    for (int pc : list) {
      const int offset = target - (pc + 1);
      if (offset > kJumpBias || offset < -kJumpBias) Error("control structure too long");
      fs_->p->code[pc] = MakeJ(OP_JMP, offset);
    }
  }

  int NumActive() const { return static_cast<int>(fs_->actives.size()); }

  int Reserve(int n) {
    const int r = fs_->freereg;
    fs_->freereg += n;
    if (fs_->freereg > kMaxRegisters) Error("function or expression too complex");
    if (fs_->freereg > fs_->p->maxstack) fs_->p->maxstack = static_cast<uint8_t>(fs_->freereg);
    return r;
  }

  uint32_t AddK(const Value& v) {
    std::vector<Value>& k = fs_->p->k;
    if (k.size() >= kMaxConstants) Error("too many constants");
    k.push_back(v);
    return static_cast<uint32_t>(k.size() - 1);
  }

  uint32_t StrK(TString* s) {
    auto it = fs_->strK.find(s);
    if (it != fs_->strK.end()) return it->second;
    const uint32_t i = AddK(StringValue(s));
    fs_->strK[s] = i;
    return i;
  }

  uint32_t NumK(double n) {
    uint64_t bits;
    std::memcpy(&bits, &n, 8);
    auto it = fs_->numK.find(bits);
    if (it != fs_->numK.end()) return it->second;
    const uint32_t i = AddK(NumberValue(n));
    fs_->numK[bits] = i;
    return i;
  }

  uint32_t NilK() {
    if (fs_->nilK < 0) fs_->nilK = AddK(NilValue());
    return static_cast<uint32_t>(fs_->nilK);
  }

  // ---- Functions and blocks ----

  void AddLocal(TString* name) {
    if (NumActive() >= kMaxLocals) Error("too many local variables");
    fs_->actives.push_back(name);
  }

  Proto* Function(FuncBody* f) {
    auto owned = std::make_unique<Proto>();
    Proto* p = owned.get();
    p->chunk = chunk_;
    p->index = static_cast<uint32_t>(chunk_->protos.size());
    p->linedefined = f->line;
    chunk_->protos.push_back(std::move(owned));
    FuncState fs;
    fs.prev = fs_;
    fs.p = p;
    fs_ = &fs;
    const int savedLine = line_;
    line_ = f->line;
    if (f->method) AddLocal(NewString(L_, "self"));
    for (TString* name : f->params) AddLocal(name);
    if (NumActive() > kMaxLocals - 1) Error("too many parameters");
    p->numparams = static_cast<uint8_t>(NumActive());
    if (f->vararg) {
      p->isVararg = 1;
      AddLocal(NewString(L_, "arg"));
    }
    Reserve(NumActive());
    GenBlock(f->body);
    line_ = f->endLine;
    Emit(MakeABC(OP_RETURN, 0, 1, 0));
    if (p->maxstack < 2) p->maxstack = 2;
    fs_ = fs.prev;
    line_ = savedLine;
    return p;
  }

  void GenBlock(Block* b) {
    const size_t active = fs_->actives.size();
    for (Stat* s : b->stats) {
      GenStat(s);
      fs_->freereg = NumActive();
    }
    fs_->actives.resize(active);
    fs_->freereg = NumActive();
  }

  // ---- Names ----

  // The register of a visible local of the current function, or -1 (a
  // global). A local of an enclosing function is a compile error.
  int ResolveName(TString* name) {
    for (int i = NumActive() - 1; i >= 0; --i) {
      if (fs_->actives[i] == name) return i;
    }
    for (FuncState* f = fs_->prev; f; f = f->prev) {
      for (TString* a : f->actives) {
        if (a == name) {
          Error(std::string("cannot access local variable '") + name->data() +
                "' of an enclosing function (use %" + name->data() + ")");
        }
      }
    }
    return -1;
  }

  uint32_t ResolveUpvalue(TString* name) {
    if (!fs_->prev) {
      Error(std::string("up-value %") + name->data() + " used outside a function");
    }
    for (size_t i = 0; i < fs_->upnames.size(); ++i) {
      if (fs_->upnames[i] == name) return static_cast<uint32_t>(i);
    }
    UpvalDesc d;
    bool found = false;
    const std::vector<TString*>& outer = fs_->prev->actives;
    for (int i = static_cast<int>(outer.size()) - 1; i >= 0; --i) {
      if (outer[i] == name) {
        d.reg = static_cast<uint8_t>(i);
        found = true;
        break;
      }
    }
    if (!found) {
      for (FuncState* f = fs_->prev->prev; f; f = f->prev) {
        for (TString* a : f->actives) {
          if (a == name) {
            Error(std::string("up-value %") + name->data() +
                  " must be a global or a local of the immediately enclosing function");
          }
        }
      }
      d.global = name;
    }
    if (fs_->upnames.size() >= kMaxUpvalues) Error("too many up-values");
    fs_->upnames.push_back(name);
    fs_->p->upvals.push_back(d);
    return static_cast<uint32_t>(fs_->upnames.size() - 1);
  }

  // ---- Expressions ----

  static bool IsCall(const Expr* e) { return e->kind == E_CALL || e->kind == E_METHOD; }
  static bool IsConstant(const Expr* e) {
    return e->kind == E_NIL || e->kind == E_NUMBER || e->kind == E_STRING;
  }

  uint32_t ConstantIndex(const Expr* e) {
    if (e->kind == E_NUMBER) return NumK(e->num);
    if (e->kind == E_STRING) return StrK(e->str);
    return NilK();
  }

  // Folds arithmetic on two number literals (the same doubles the
  // interpreter would compute).
  bool Fold(Expr* e, double* out) {
    if (e->kind == E_NUMBER) {
      *out = e->num;
      return true;
    }
    if (e->kind == E_UNARY && e->op == U_NEG) {
      double v;
      if (!Fold(e->a, &v)) return false;
      *out = -v;
      return true;
    }
    if (e->kind == E_BINARY && e->op <= B_DIV) {
      double a, b;
      if (!Fold(e->a, &a) || !Fold(e->b, &b)) return false;
      switch (e->op) {
        case B_ADD:
          *out = a + b;
          break;
        case B_SUB:
          *out = a - b;
          break;
        case B_MUL:
          *out = a * b;
          break;
        default:
          *out = a / b;
          break;
      }
      return true;
    }
    return false;
  }

  void LoadNumber(int r, double n) {
    if (n == std::floor(n) && n >= -32767.0 && n <= 32768.0 && !(n == 0 && std::signbit(n))) {
      Emit(MakeABx(OP_LOADNUM, r, static_cast<uint32_t>(static_cast<int32_t>(n) + 32767)));
    } else {
      Emit(MakeABx(OP_LOADK, r, NumK(n)));
    }
  }

  int NextReg(Expr* e) {
    const int r = Reserve(1);
    ToReg(e, r);
    return r;
  }

  int AnyReg(Expr* e) {
    if (e->kind == E_PAREN) return AnyReg(e->a);
    if (e->kind == E_NAME) {
      const int r = ResolveName(e->str);
      if (r >= 0) return r;
    }
    return NextReg(e);
  }

  // Puts the value of e in register r. Registers above fs_->freereg are
  // free for temporaries; r itself was reserved by the caller.
  void ToReg(Expr* e, int r) {
    const int save = fs_->freereg;
    const int savedLine = line_;
    line_ = e->line;
    // An expression that writes its target before it has read everything
    // goes through a temporary when the target is a live local.
    if (r < NumActive() && (e->kind == E_AND || e->kind == E_OR || e->kind == E_TABLE)) {
      const int t = NextReg(e);
      Emit(MakeABC(OP_MOVE, r, t, 0));
      fs_->freereg = save;
      line_ = savedLine;
      return;
    }
    switch (e->kind) {
      case E_NIL:
        Emit(MakeABC(OP_LOADNIL, r, 0, 0));
        break;
      case E_NUMBER:
        LoadNumber(r, e->num);
        break;
      case E_STRING:
        Emit(MakeABx(OP_LOADK, r, StrK(e->str)));
        break;
      case E_FUNCTION: {
        Proto* child = Function(e->func);
        line_ = e->line;
        std::vector<Proto*>& children = fs_->p->children;
        if (children.size() >= kMaxConstants) Error("too many functions");
        children.push_back(child);
        Emit(MakeABx(OP_CLOSURE, r, static_cast<uint32_t>(children.size() - 1)));
        break;
      }
      case E_TABLE:
        if (r == fs_->freereg - 1 && r >= NumActive()) {
          GenTable(e, r);
        } else {
          const int t = Reserve(1);
          GenTable(e, t);
          Emit(MakeABC(OP_MOVE, r, t, 0));
        }
        break;
      case E_NAME: {
        const int local = ResolveName(e->str);
        if (local >= 0) {
          if (local != r) Emit(MakeABC(OP_MOVE, r, local, 0));
        } else {
          Emit(MakeABx(OP_GETGLOBAL, r, StrK(e->str)));
        }
        break;
      }
      case E_UPVAL:
        Emit(MakeABC(OP_GETUPVAL, r, ResolveUpvalue(e->str), 0));
        break;
      case E_INDEX: {
        const int o = AnyReg(e->a);
        if (e->b->kind == E_STRING && StrK(e->b->str) <= 255) {
          line_ = e->line;
          Emit(MakeABC(OP_GETFIELD, r, o, StrK(e->b->str)));
        } else {
          const int k = AnyReg(e->b);
          line_ = e->line;
          Emit(MakeABC(OP_GETTABLE, r, o, k));
        }
        break;
      }
      case E_CALL:
      case E_METHOD:
        if (r == fs_->freereg - 1 && r >= NumActive()) {
          fs_->freereg = r;
          GenCall(e, r, 1);
        } else {
          const int base = fs_->freereg;
          GenCall(e, base, 1);
          Emit(MakeABC(OP_MOVE, r, base, 0));
        }
        break;
      case E_PAREN:
        ToReg(e->a, r);
        break;
      case E_UNARY: {
        double folded;
        if (e->op == U_NEG && Fold(e, &folded)) {
          LoadNumber(r, folded);
        } else if (e->op == U_NOT && IsConstant(e->a)) {
          if (e->a->kind == E_NIL) {
            LoadNumber(r, 1);
          } else {
            Emit(MakeABC(OP_LOADNIL, r, 0, 0));
          }
        } else {
          const int b = AnyReg(e->a);
          line_ = e->line;
          Emit(MakeABC(e->op == U_NEG ? OP_UNM : OP_NOT, r, b, 0));
        }
        break;
      }
      case E_BINARY:
        GenBinary(e, r);
        break;
      case E_AND:
      case E_OR: {
        ToReg(e->a, r);
        line_ = e->line;
        Emit(MakeABC(OP_TEST, r, 0, e->kind == E_AND ? 0 : 1));
        JumpList end{EmitJump()};
        ToReg(e->b, r);
        PatchTo(end, Here());
        break;
      }
    }
    fs_->freereg = save;
    line_ = savedLine;
  }

  void GenBinary(Expr* e, int r) {
    switch (e->op) {
      case B_ADD:
      case B_SUB:
      case B_MUL:
      case B_DIV: {
        double folded;
        if (Fold(e, &folded)) {
          LoadNumber(r, folded);
          return;
        }
        const int b = AnyReg(e->a);
        static const OpCode plain[] = {OP_ADD, OP_SUB, OP_MUL, OP_DIV};
        static const OpCode withK[] = {OP_ADDK, OP_SUBK, OP_MULK, OP_DIVK};
        if (e->b->kind == E_NUMBER && NumK(e->b->num) <= 255) {
          line_ = e->line;
          Emit(MakeABC(withK[e->op], r, b, NumK(e->b->num)));
        } else {
          const int c = AnyReg(e->b);
          line_ = e->line;
          Emit(MakeABC(plain[e->op], r, b, c));
        }
        return;
      }
      case B_POW: {
        const int b = AnyReg(e->a);
        const int c = AnyReg(e->b);
        line_ = e->line;
        Emit(MakeABC(OP_POW, r, b, c));
        return;
      }
      case B_CONCAT: {
        // a .. b .. c is (a .. b) .. c: the left spine becomes one run of
        // consecutive registers joined by one instruction.
        std::vector<Expr*> operands;
        Expr* x = e;
        while (x->kind == E_BINARY && x->op == B_CONCAT) {
          operands.push_back(x->b);
          x = x->a;
        }
        operands.push_back(x);
        const int n = static_cast<int>(operands.size());
        const int base = Reserve(n);
        for (int i = 0; i < n; ++i) ToReg(operands[n - 1 - i], base + i);
        line_ = e->line;
        Emit(MakeABC(OP_CONCAT, r, base, base + n - 1));
        return;
      }
      case B_LT:
      case B_LE:
      case B_GT:
      case B_GE: {
        // An order comparison as a value keeps a tag method's own result.
        const int b = AnyReg(e->a);
        const int c = AnyReg(e->b);
        static const OpCode value[] = {OP_LTV, OP_LEV, OP_GTV, OP_GEV};
        line_ = e->line;
        Emit(MakeABC(value[e->op - B_LT], r, b, c));
        return;
      }
      default: {
        // Equality as a value: 1 or nil.
        JumpList isFalse;
        CondJump(e, false, isFalse);
        LoadNumber(r, 1);
        JumpList end{EmitJump()};
        PatchTo(isFalse, Here());
        Emit(MakeABC(OP_LOADNIL, r, 0, 0));
        PatchTo(end, Here());
        return;
      }
    }
  }

  // Emits code that jumps (adding the jump to `list`) when the truth of e
  // equals `jumpIf`, and falls through otherwise.
  void CondJump(Expr* e, bool jumpIf, JumpList& list) {
    const int savedLine = line_;
    line_ = e->line;
    const int save = fs_->freereg;
    switch (e->kind) {
      case E_NIL:
        if (!jumpIf) list.push_back(EmitJump());
        break;
      case E_NUMBER:
      case E_STRING:
        if (jumpIf) list.push_back(EmitJump());
        break;
      case E_PAREN:
        CondJump(e->a, jumpIf, list);
        break;
      case E_UNARY:
        if (e->op == U_NOT) {
          CondJump(e->a, !jumpIf, list);
        } else {
          Test(e, jumpIf, list);
        }
        break;
      case E_AND:
      case E_OR: {
        const bool isAnd = e->kind == E_AND;
        if (jumpIf != isAnd) {
          // and, jump when false / or, jump when true: either side decides.
          CondJump(e->a, jumpIf, list);
          CondJump(e->b, jumpIf, list);
        } else {
          JumpList skip;
          CondJump(e->a, !jumpIf, skip);
          CondJump(e->b, jumpIf, list);
          PatchTo(skip, Here());
        }
        break;
      }
      case E_BINARY:
        if (e->op >= B_EQ) {
          Compare(e, jumpIf, list);
        } else {
          Test(e, jumpIf, list);
        }
        break;
      default:
        Test(e, jumpIf, list);
        break;
    }
    fs_->freereg = save;
    line_ = savedLine;
  }

  void Test(Expr* e, bool jumpIf, JumpList& list) {
    const int r = AnyReg(e);
    Emit(MakeABC(OP_TEST, r, 0, jumpIf ? 1 : 0));
    list.push_back(EmitJump());
  }

  void Compare(Expr* e, bool jumpIf, JumpList& list) {
    const int b = AnyReg(e->a);
    OpCode op;
    OpCode opK;
    uint32_t a = jumpIf ? 1 : 0;
    switch (e->op) {
      case B_EQ:
        op = OP_EQ, opK = OP_EQK;
        break;
      case B_NE:
        op = OP_EQ, opK = OP_EQK, a ^= 1;
        break;
      case B_LT:
        op = OP_LT, opK = OP_LTK;
        break;
      case B_LE:
        op = OP_LE, opK = OP_LEK;
        break;
      case B_GT:
        op = OP_GT, opK = OP_GTK;
        break;
      default:
        op = OP_GE, opK = OP_GEK;
        break;
    }
    if (IsConstant(e->b) && ConstantIndex(e->b) <= 255) {
      line_ = e->line;
      Emit(MakeABC(opK, a, b, ConstantIndex(e->b)));
    } else {
      const int c = AnyReg(e->b);
      line_ = e->line;
      Emit(MakeABC(op, a, b, c));
    }
    list.push_back(EmitJump());
  }

  // The function goes to register base (== freereg), its arguments above;
  // afterwards freereg is base again and the results start at base.
  void GenCall(Expr* e, int base, int nresults) {
    if (e->kind == E_METHOD) {
      Reserve(2);
      const uint32_t k = StrK(e->str);
      if (k <= 255) {
        const int o = AnyReg(e->a);
        line_ = e->line;
        Emit(MakeABC(OP_SELF, base, o, k));
      } else {
        ToReg(e->a, base + 1);
        const int t = Reserve(1);
        Emit(MakeABx(OP_LOADK, t, k));
        Emit(MakeABC(OP_GETTABLE, base, base + 1, t));
      }
      fs_->freereg = base + 2;
    } else {
      Reserve(1);
      ToReg(e->a, base);
    }
    for (Expr* arg : e->args) NextReg(arg);
    const int nargs = fs_->freereg - base - 1;
    line_ = e->line;
    Emit(MakeABC(OP_CALL, base, nargs + 1, nresults + 1));
    fs_->freereg = base;
  }

  void GenTable(Expr* e, int r) {
    TableCons* tc = e->table;
    Emit(MakeABC(OP_NEWTABLE, r, static_cast<uint32_t>(std::min<size_t>(tc->listCount, 255)),
                 static_cast<uint32_t>(std::min<size_t>(tc->fieldCount, 255))));
    for (TablePart& part : tc->parts) {
      if (part.list) {
        uint32_t block = 0;
        int pending = 0;
        auto flush = [&] {
          if (block >= kMaxListBlocks) Error("table constructor too long");
          Emit(MakeABx(OP_SETLIST, r, block << 6 | static_cast<uint32_t>(pending)));
          ++block;
          pending = 0;
          fs_->freereg = r + 1;
        };
        for (Expr* item : part.items) {
          NextReg(item);
          if (++pending == kListBlock) flush();
        }
        if (pending) flush();
      } else {
        for (auto& [key, value] : part.fields) {
          const int save = fs_->freereg;
          if (key->kind == E_STRING && StrK(key->str) <= 255) {
            const int v = AnyReg(value);
            Emit(MakeABC(OP_SETFIELD, r, StrK(key->str), v));
          } else {
            const int k = AnyReg(key);
            const int v = AnyReg(value);
            Emit(MakeABC(OP_SETTABLE, r, k, v));
          }
          fs_->freereg = save;
        }
      }
    }
  }

  // ---- Statements ----

  void Store(Expr* target, int valueReg) {
    line_ = target->line;
    if (target->kind == E_NAME) {
      const int local = ResolveName(target->str);
      if (local >= 0) {
        if (local != valueReg) Emit(MakeABC(OP_MOVE, local, valueReg, 0));
      } else {
        Emit(MakeABx(OP_SETGLOBAL, valueReg, StrK(target->str)));
      }
    }
  }

  void GenAssign(Stat* s) {
    const size_t n = s->targets.size();
    if (n == 1 && s->values.size() == 1) {
      Expr* target = s->targets[0];
      Expr* value = s->values[0];
      if (target->kind == E_NAME) {
        const int local = ResolveName(target->str);
        if (local >= 0) {
          ToReg(value, local);
        } else {
          const int v = AnyReg(value);
          line_ = s->line;
          Emit(MakeABx(OP_SETGLOBAL, v, StrK(target->str)));
        }
        return;
      }
      const int o = AnyReg(target->a);
      if (target->b->kind == E_STRING && StrK(target->b->str) <= 255) {
        const int v = AnyReg(value);
        line_ = target->line;
        Emit(MakeABC(OP_SETFIELD, o, StrK(target->b->str), v));
      } else {
        const int k = AnyReg(target->b);
        const int v = AnyReg(value);
        line_ = target->line;
        Emit(MakeABC(OP_SETTABLE, o, k, v));
      }
      return;
    }
    // Several targets: the tables and keys on the left, then the values
    // (adjusted to the number of targets), then the stores.
    std::vector<std::pair<int, int>> places(n, {-1, -1});
    for (size_t i = 0; i < n; ++i) {
      Expr* t = s->targets[i];
      if (t->kind == E_INDEX) {
        places[i].first = NextReg(t->a);
        places[i].second = NextReg(t->b);
      }
    }
    const int base = fs_->freereg;
    AdjustedValues(s->values, n);
    for (size_t i = 0; i < n; ++i) {
      Expr* t = s->targets[i];
      const int v = base + static_cast<int>(i);
      if (t->kind == E_INDEX) {
        line_ = t->line;
        Emit(MakeABC(OP_SETTABLE, places[i].first, places[i].second, v));
      } else {
        Store(t, v);
      }
    }
  }

  // Evaluates values into n consecutive new registers from freereg: a final
  // call gives all the values still missing, extra values are dropped and
  // missing ones are nil.
  void AdjustedValues(const std::vector<Expr*>& values, size_t n) {
    const int base = fs_->freereg;
    const size_t m = values.size();
    for (size_t i = 0; i < m; ++i) {
      Expr* v = values[i];
      if (i == m - 1 && IsCall(v) && i < n) {
        const int want = static_cast<int>(n - i);
        GenCall(v, fs_->freereg, want);
        Reserve(want);
        return;
      }
      NextReg(v);
    }
    if (m < n) {
      const int first = Reserve(static_cast<int>(n - m));
      Emit(MakeABC(OP_LOADNIL, first, static_cast<uint32_t>(n - m - 1), 0));
    }
    fs_->freereg = base + static_cast<int>(n);
  }

  void GenStat(Stat* s) {
    line_ = s->line;
    switch (s->kind) {
      case S_ASSIGN:
        GenAssign(s);
        break;
      case S_LOCAL: {
        const size_t n = s->names.size();
        if (NumActive() + n > static_cast<size_t>(kMaxLocals)) Error("too many local variables");
        AdjustedValues(s->values, n);
        for (TString* name : s->names) AddLocal(name);
        break;
      }
      case S_CALL:
        GenCall(s->values[0], fs_->freereg, 0);
        break;
      case S_DO:
        GenBlock(s->body);
        break;
      case S_WHILE: {
        // The test sits after the body: one jump per turn.
        JumpList toTest{EmitJump()};
        const int top = Here();
        GenBlock(s->body);
        PatchTo(toTest, Here());
        JumpList again;
        CondJump(s->cond, true, again);
        PatchTo(again, top);
        break;
      }
      case S_REPEAT: {
        const int top = Here();
        GenBlock(s->body);
        JumpList again;
        CondJump(s->cond, false, again);
        PatchTo(again, top);
        break;
      }
      case S_IF: {
        JumpList exits;
        for (size_t i = 0; i < s->clauses.size(); ++i) {
          JumpList isFalse;
          CondJump(s->clauses[i].first, false, isFalse);
          GenBlock(s->clauses[i].second);
          if (i + 1 < s->clauses.size() || s->elseBlock) exits.push_back(EmitJump());
          PatchTo(isFalse, Here());
        }
        if (s->elseBlock) GenBlock(s->elseBlock);
        PatchTo(exits, Here());
        break;
      }
      case S_RETURN: {
        const size_t n = s->values.size();
        if (n == 0) {
          Emit(MakeABC(OP_RETURN, 0, 1, 0));
          break;
        }
        if (n == 1 && s->values[0]->kind == E_NAME) {
          const int local = ResolveName(s->values[0]->str);
          if (local >= 0) {
            Emit(MakeABC(OP_RETURN, local, 2, 0));
            break;
          }
        }
        const int base = fs_->freereg;
        for (size_t i = 0; i + 1 < n; ++i) NextReg(s->values[i]);
        Expr* last = s->values[n - 1];
        if (IsCall(last)) {
          GenCall(last, fs_->freereg, -1);
          line_ = s->line;
          Emit(MakeABC(OP_RETURN, base, 0, 0));
        } else {
          NextReg(last);
          line_ = s->line;
          Emit(MakeABC(OP_RETURN, base, static_cast<uint32_t>(n + 1), 0));
        }
        break;
      }
    }
  }

  State* L_;
  Chunk* chunk_;
  Lexer& lex_;
  FuncState* fs_ = nullptr;
  int line_ = 0;
};

}  // namespace
}  // namespace compiler

Chunk* Compile(State* L, const char* source, size_t length, TString* name,
               const std::vector<uint8_t>* replay, std::string* error) {
  Chunk* chunk = NewChunk(L);
  chunk->name = name;
  const std::string chunkName = name ? name->data() : "?";
  try {
    compiler::Lexer lex(L, source, length, chunkName, replay, &chunk->directives);
    compiler::SyntaxTree tree;
    compiler::Block* block = compiler::ParseChunk(lex, &tree);
    if (!lex.ReplayComplete()) lex.Error(lex.line(), "directive outcomes do not match", nullptr);
    compiler::CodeGen gen(L, chunk, lex);
    gen.Main(block);
  } catch (const compiler::CompileError& e) {
    if (error) *error = e.message;
    chunk->protos.clear();
    return nullptr;
  }
  if (replay) chunk->directives = *replay;
  chunk->source.assign(source, length);
  return chunk;
}

}  // namespace lua31

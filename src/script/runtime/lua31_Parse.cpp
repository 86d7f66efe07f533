// The parser: recursive descent over the lexer's tokens, one token of
// look-ahead (two in a table constructor), with a limit on nesting.
#include "script/runtime/lua31_Parse.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace lua31::compiler {
namespace {

constexpr int kMaxDepth = 200;  // nested syntax levels

class Parser {
 public:
  Parser(Lexer& lex, SyntaxTree& tree) : lex_(lex), tree_(tree) {
    t_ = lex_.Next();
    ahead_.t = -1;
  }

  Block* Chunk() {
    Block* b = ParseBlock();
    if (t_.t != TK_EOF) ErrorHere("'<eof>' expected");
    return b;
  }

 private:
  struct Depth {
    Parser* p;
    explicit Depth(Parser* parser) : p(parser) {
      if (++p->depth_ > kMaxDepth) p->ErrorHere("chunk has too many syntax levels");
    }
    ~Depth() { --p->depth_; }
  };

  std::string TokenText(const Token& t) {
    switch (t.t) {
      case TK_EOF:
        return "<eof>";
      case TK_NAME:
        return t.str ? t.str->data() : "<name>";
      case TK_STRING:
        if (!t.str) return "<string>";
        return std::string(t.str->data(), std::min<size_t>(t.str->len, 40));
      case TK_NUMBER: {
        char b[32];
        NumberToText(t.num, b);
        return b;
      }
      case TK_EQ:
        return "==";
      case TK_NE:
        return "~=";
      case TK_LE:
        return "<=";
      case TK_GE:
        return ">=";
      case TK_CONCAT:
        return "..";
      case TK_DOTS:
        return "...";
      default:
        if (t.t >= TK_AND && t.t <= TK_WHILE) return kReserved[t.t - TK_AND];
        if (t.t >= 32 && t.t < 127) return std::string(1, static_cast<char>(t.t));
        char b[16];
        std::snprintf(b, sizeof b, "<\\%d>", t.t);
        return b;
    }
  }

  [[noreturn]] void ErrorHere(const std::string& message) {
    lex_.Error(t_.line, message, TokenText(t_).c_str());
  }

  void Next() {
    if (ahead_.t != -1) {
      t_ = ahead_;
      ahead_.t = -1;
    } else {
      t_ = lex_.Next();
    }
  }

  const Token& Peek() {
    if (ahead_.t == -1) ahead_ = lex_.Next();
    return ahead_;
  }

  std::string What(int t) {
    Token tok;
    tok.t = t;
    // Built by appending: g++ 12 warns falsely of an overlapping copy
    // (-Wrestrict) on "'" + text once the parser has a file of its own.
    std::string quoted = "'";
    quoted += TokenText(tok);
    quoted += '\'';
    return quoted;
  }

  void Check(int t) {
    if (t_.t != t) ErrorHere(What(t) + " expected");
  }

  void Expect(int t) {
    Check(t);
    Next();
  }

  // Closes a construct opened on another line, naming where it opened.
  void ExpectMatch(int t, int opener, int line) {
    if (t_.t == t) {
      Next();
      return;
    }
    if (line == t_.line) ErrorHere(What(t) + " expected");
    ErrorHere(What(t) + " expected (to close " + What(opener) + " at line " + std::to_string(line) +
              ")");
  }

  TString* ExpectName() {
    Check(TK_NAME);
    TString* s = t_.str;
    Next();
    return s;
  }

  Expr* NewExpr(EK kind, int line) {
    tree_.exprs.emplace_back();
    tree_.exprs.back().kind = kind;
    tree_.exprs.back().line = line;
    return &tree_.exprs.back();
  }

  Stat* NewStat(SK kind, int line) {
    tree_.stats.emplace_back();
    tree_.stats.back().kind = kind;
    tree_.stats.back().line = line;
    return &tree_.stats.back();
  }

  static bool BlockFollows(int t) {
    return t == TK_EOF || t == TK_END || t == TK_ELSE || t == TK_ELSEIF || t == TK_UNTIL;
  }

  Block* ParseBlock() {
    Depth depth(this);
    tree_.blocks.emplace_back();
    Block* b = &tree_.blocks.back();
    while (!BlockFollows(t_.t)) {
      if (t_.t == TK_RETURN) {
        b->stats.push_back(ParseReturn());
        if (!BlockFollows(t_.t)) ErrorHere("'end' expected (return must be the last statement)");
        break;
      }
      b->stats.push_back(ParseStatement());
      if (t_.t == ';') Next();
    }
    return b;
  }

  Stat* ParseReturn() {
    Stat* s = NewStat(S_RETURN, t_.line);
    Next();
    if (!BlockFollows(t_.t) && t_.t != ';') s->values = ParseExprList();
    if (t_.t == ';') Next();
    return s;
  }

  Stat* ParseStatement() {
    const int line = t_.line;
    switch (t_.t) {
      case TK_IF: {
        Stat* s = NewStat(S_IF, line);
        Next();
        Expr* cond = ParseExpr();
        Expect(TK_THEN);
        s->clauses.emplace_back(cond, ParseBlock());
        while (t_.t == TK_ELSEIF) {
          Next();
          Expr* c = ParseExpr();
          Expect(TK_THEN);
          s->clauses.emplace_back(c, ParseBlock());
        }
        if (t_.t == TK_ELSE) {
          Next();
          s->elseBlock = ParseBlock();
        }
        ExpectMatch(TK_END, TK_IF, line);
        return s;
      }
      case TK_WHILE: {
        Stat* s = NewStat(S_WHILE, line);
        Next();
        s->cond = ParseExpr();
        Expect(TK_DO);
        s->body = ParseBlock();
        ExpectMatch(TK_END, TK_WHILE, line);
        return s;
      }
      case TK_DO: {
        Stat* s = NewStat(S_DO, line);
        Next();
        s->body = ParseBlock();
        ExpectMatch(TK_END, TK_DO, line);
        return s;
      }
      case TK_REPEAT: {
        Stat* s = NewStat(S_REPEAT, line);
        Next();
        s->body = ParseBlock();
        ExpectMatch(TK_UNTIL, TK_REPEAT, line);
        s->cond = ParseExpr();
        return s;
      }
      case TK_FUNCTION: {
        // function name [. name | : name] body
        Stat* s = NewStat(S_ASSIGN, line);
        Next();
        Expr* target = NewExpr(E_NAME, t_.line);
        target->str = ExpectName();
        bool method = false;
        if (t_.t == '.' || t_.t == ':') {
          method = t_.t == ':';
          Next();
          Expr* key = NewExpr(E_STRING, t_.line);
          key->str = ExpectName();
          Expr* index = NewExpr(E_INDEX, line);
          index->a = target;
          index->b = key;
          target = index;
        }
        s->targets.push_back(target);
        s->values.push_back(ParseFunction(method, line));
        return s;
      }
      case TK_LOCAL: {
        Stat* s = NewStat(S_LOCAL, line);
        Next();
        s->names.push_back(ExpectName());
        while (t_.t == ',') {
          Next();
          s->names.push_back(ExpectName());
        }
        if (t_.t == '=') {
          Next();
          s->values = ParseExprList();
        }
        return s;
      }
      case TK_NAME:
      case '%': {
        Expr* e = ParsePrimary();
        if (t_.t == '=' || t_.t == ',') {
          Stat* s = NewStat(S_ASSIGN, line);
          s->targets.push_back(CheckTarget(e));
          while (t_.t == ',') {
            Next();
            s->targets.push_back(CheckTarget(ParsePrimary()));
          }
          Expect('=');
          s->values = ParseExprList();
          return s;
        }
        if (e->kind != E_CALL && e->kind != E_METHOD) ErrorHere("syntax error");
        Stat* s = NewStat(S_CALL, line);
        s->values.push_back(e);
        return s;
      }
      default:
        ErrorHere("unexpected symbol");
    }
  }

  Expr* CheckTarget(Expr* e) {
    if (e->kind != E_NAME && e->kind != E_INDEX) ErrorHere("syntax error (cannot assign to this)");
    return e;
  }

  std::vector<Expr*> ParseExprList() {
    std::vector<Expr*> list;
    list.push_back(ParseExpr());
    while (t_.t == ',') {
      Next();
      list.push_back(ParseExpr());
    }
    return list;
  }

  static int LeftPriority(int t) {
    switch (t) {
      case TK_AND:
      case TK_OR:
        return 1;
      case TK_EQ:
      case TK_NE:
      case '<':
      case '>':
      case TK_LE:
      case TK_GE:
        return 2;
      case TK_CONCAT:
        return 3;
      case '+':
      case '-':
        return 4;
      case '*':
      case '/':
        return 5;
      case '^':
        return 7;
      default:
        return 0;
    }
  }

  static Op BinaryOp(int t) {
    switch (t) {
      case '+':
        return B_ADD;
      case '-':
        return B_SUB;
      case '*':
        return B_MUL;
      case '/':
        return B_DIV;
      case '^':
        return B_POW;
      case TK_CONCAT:
        return B_CONCAT;
      case TK_EQ:
        return B_EQ;
      case TK_NE:
        return B_NE;
      case '<':
        return B_LT;
      case TK_LE:
        return B_LE;
      case '>':
        return B_GT;
      default:
        return B_GE;
    }
  }

  static constexpr int kUnaryPriority = 6;

  Expr* ParseExpr(int limit = 0) {
    Depth depth(this);
    Expr* left;
    if (t_.t == TK_NOT || t_.t == '-') {
      const int line = t_.line;
      const bool negate = t_.t == '-';
      Next();
      Expr* operand = ParseExpr(kUnaryPriority);
      left = NewExpr(E_UNARY, line);
      left->op = negate ? U_NEG : U_NOT;
      left->a = operand;
    } else {
      left = ParseSimple();
    }
    // Each operator nests the tree one level more (a + b + c is (a + b) + c):
    // a long chain counts as deep nesting.
    int chain = 0;
    for (;;) {
      const int t = t_.t;
      const int priority = LeftPriority(t);
      if (priority == 0 || priority <= limit) break;
      if (depth_ + ++chain > kMaxDepth) ErrorHere("chunk has too many syntax levels");
      const int line = t_.line;
      Next();
      Expr* right = ParseExpr(t == '^' ? 6 : priority);
      Expr* e;
      if (t == TK_AND || t == TK_OR) {
        e = NewExpr(t == TK_AND ? E_AND : E_OR, line);
      } else {
        e = NewExpr(E_BINARY, line);
        e->op = BinaryOp(t);
      }
      e->a = left;
      e->b = right;
      left = e;
    }
    return left;
  }

  Expr* ParseSimple() {
    const int line = t_.line;
    switch (t_.t) {
      case TK_NIL: {
        Next();
        return NewExpr(E_NIL, line);
      }
      case TK_NUMBER: {
        Expr* e = NewExpr(E_NUMBER, line);
        e->num = t_.num;
        Next();
        return e;
      }
      case TK_STRING: {
        Expr* e = NewExpr(E_STRING, line);
        e->str = t_.str;
        Next();
        return e;
      }
      case TK_FUNCTION:
        Next();
        return ParseFunction(false, line);
      case '{':
        return ParseTable();
      case '(': {
        Next();
        Expr* e = NewExpr(E_PAREN, line);
        e->a = ParseExpr();
        ExpectMatch(')', '(', line);
        return e;
      }
      case TK_NAME:
      case '%':
        return ParsePrimary();
      default:
        ErrorHere("unexpected symbol");
    }
  }

  // A variable, an up-value or a call, with its suffixes.
  Expr* ParsePrimary() {
    Depth depth(this);
    Expr* e;
    if (t_.t == '%') {
      e = NewExpr(E_UPVAL, t_.line);
      Next();
      e->str = ExpectName();
    } else {
      e = NewExpr(E_NAME, t_.line);
      e->str = ExpectName();
    }
    int chain = 0;
    for (;;) {
      const int line = t_.line;
      if (depth_ + ++chain > kMaxDepth) ErrorHere("chunk has too many syntax levels");
      switch (t_.t) {
        case '.': {
          Next();
          Expr* key = NewExpr(E_STRING, t_.line);
          key->str = ExpectName();
          Expr* index = NewExpr(E_INDEX, line);
          index->a = e;
          index->b = key;
          e = index;
          break;
        }
        case '[': {
          Next();
          Expr* index = NewExpr(E_INDEX, line);
          index->a = e;
          index->b = ParseExpr();
          Expect(']');
          e = index;
          break;
        }
        case ':': {
          Next();
          Expr* call = NewExpr(E_METHOD, line);
          call->a = e;
          call->str = ExpectName();
          call->line = t_.line;
          call->args = ParseArgs();
          e = call;
          break;
        }
        case '(':
        case TK_STRING:
        case '{': {
          Expr* call = NewExpr(E_CALL, line);
          call->a = e;
          call->args = ParseArgs();
          e = call;
          break;
        }
        default:
          return e;
      }
    }
  }

  std::vector<Expr*> ParseArgs() {
    std::vector<Expr*> args;
    const int line = t_.line;
    if (t_.t == TK_STRING) {
      Expr* e = NewExpr(E_STRING, line);
      e->str = t_.str;
      Next();
      args.push_back(e);
    } else if (t_.t == '{') {
      args.push_back(ParseTable());
    } else if (t_.t == '(') {
      Next();
      if (t_.t != ')') args = ParseExprList();
      ExpectMatch(')', '(', line);
    } else {
      ErrorHere("function arguments expected");
    }
    return args;
  }

  Expr* ParseFunction(bool method, int line) {
    Depth depth(this);
    tree_.funcs.emplace_back();
    FuncBody* f = &tree_.funcs.back();
    f->method = method;
    f->line = line;
    Expect('(');
    if (t_.t != ')') {
      for (;;) {
        if (t_.t == TK_DOTS) {
          Next();
          f->vararg = true;
          break;
        }
        f->params.push_back(ExpectName());
        if (t_.t != ',') break;
        Next();
      }
    }
    Expect(')');
    f->body = ParseBlock();
    f->endLine = t_.line;
    ExpectMatch(TK_END, TK_FUNCTION, line);
    Expr* e = NewExpr(E_FUNCTION, line);
    e->func = f;
    return e;
  }

  // { [part] [; [part]] } where a part is a list of expressions or a list of
  // `name = exp` / `[exp] = exp` fields, and two parts differ in kind.
  Expr* ParseTable() {
    Depth depth(this);
    const int line = t_.line;
    Expect('{');
    tree_.tables.emplace_back();
    TableCons* tc = &tree_.tables.back();
    for (int part = 0; part < 2; ++part) {
      if (t_.t == '}' || (t_.t == ';' && part == 0)) {
        if (t_.t == ';') {
          Next();
          continue;
        }
        break;
      }
      const bool record = t_.t == '[' || (t_.t == TK_NAME && Peek().t == '=');
      if (!tc->parts.empty() && tc->parts[0].list != record) {
        ErrorHere("invalid constructor syntax (two parts of the same kind)");
      }
      TablePart p;
      p.list = !record;
      while (t_.t != '}' && t_.t != ';') {
        if (record) {
          Expr* key;
          if (t_.t == '[') {
            Next();
            key = ParseExpr();
            Expect(']');
          } else {
            key = NewExpr(E_STRING, t_.line);
            key->str = ExpectName();
          }
          Expect('=');
          p.fields.emplace_back(key, ParseExpr());
          ++tc->fieldCount;
        } else {
          p.items.push_back(ParseExpr());
          ++tc->listCount;
        }
        if (t_.t != ',') break;
        Next();
      }
      tc->parts.push_back(std::move(p));
      if (t_.t == ';' && part == 0) {
        Next();
        continue;
      }
      break;
    }
    ExpectMatch('}', '{', line);
    Expr* e = NewExpr(E_TABLE, line);
    e->table = tc;
    return e;
  }

  Lexer& lex_;
  SyntaxTree& tree_;
  Token t_;
  Token ahead_;
  int depth_ = 0;
};

}  // namespace

Block* ParseChunk(Lexer& lex, SyntaxTree* tree) {
  Parser parser(lex, *tree);
  return parser.Chunk();
}

}  // namespace lua31::compiler

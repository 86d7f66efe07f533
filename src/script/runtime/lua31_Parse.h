// The scripting runtime's parser: tokens to a syntax tree of the whole chunk,
// which the code generator then walks. Every node lives in the tree's own
// store until the tree goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "script/runtime/lua31_Lex.h"

namespace lua31::compiler {

struct Block;
struct FuncBody;
struct TableCons;

enum EK : uint8_t {
  E_NIL,
  E_NUMBER,
  E_STRING,
  E_FUNCTION,
  E_TABLE,
  E_NAME,
  E_UPVAL,
  E_INDEX,
  E_CALL,
  E_METHOD,
  E_UNARY,
  E_BINARY,
  E_AND,
  E_OR,
  E_PAREN,
};

enum Op : uint8_t {
  B_ADD,
  B_SUB,
  B_MUL,
  B_DIV,
  B_POW,
  B_CONCAT,
  B_EQ,
  B_NE,
  B_LT,
  B_LE,
  B_GT,
  B_GE,
  U_NEG,
  U_NOT,
};

struct Expr {
  EK kind = E_NIL;
  uint8_t op = 0;
  int line = 0;
  double num = 0;
  TString* str = nullptr;
  Expr* a = nullptr;
  Expr* b = nullptr;
  std::vector<Expr*> args;
  FuncBody* func = nullptr;
  TableCons* table = nullptr;
};

struct TablePart {
  bool list = true;
  std::vector<Expr*> items;
  std::vector<std::pair<Expr*, Expr*>> fields;
};

struct TableCons {
  std::vector<TablePart> parts;
  size_t listCount = 0;
  size_t fieldCount = 0;
};

enum SK : uint8_t { S_ASSIGN, S_LOCAL, S_CALL, S_DO, S_WHILE, S_REPEAT, S_IF, S_RETURN };

struct Stat {
  SK kind = S_ASSIGN;
  int line = 0;
  std::vector<Expr*> targets;
  std::vector<Expr*> values;
  std::vector<TString*> names;
  Expr* cond = nullptr;
  Block* body = nullptr;
  std::vector<std::pair<Expr*, Block*>> clauses;
  Block* elseBlock = nullptr;
};

struct Block {
  std::vector<Stat*> stats;
};

struct FuncBody {
  std::vector<TString*> params;
  bool vararg = false;
  bool method = false;
  Block* body = nullptr;
  int line = 0;
  int endLine = 0;
};

struct SyntaxTree {
  std::deque<Expr> exprs;
  std::deque<Stat> stats;
  std::deque<Block> blocks;
  std::deque<FuncBody> funcs;
  std::deque<TableCons> tables;
};

// The chunk's top block, its nodes in the tree. Throws CompileError.
Block* ParseChunk(Lexer& lex, SyntaxTree* tree);

}  // namespace lua31::compiler

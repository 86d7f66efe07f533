// The scripting runtime's bytecode: one 32-bit word per instruction,
//   op (bits 0-7) | A (8-15) | B (16-23) | C (24-31),
// or op | A | Bx (16-31), or op | sJ (8-31) for jumps.
// Registers are a function's slots from its frame base; K[n] is constant n.
#pragma once

#include <cstdint>

#include "script/runtime/lua31_State.h"

namespace lua31 {

enum OpCode : uint8_t {
  OP_MOVE,       // A B     R[A] = R[B]
  OP_LOADK,      // A Bx    R[A] = K[Bx]
  OP_LOADNUM,    // A Bx    R[A] = Bx - kNumBias (a small whole number)
  OP_LOADNIL,    // A B     R[A .. A+B] = nil
  OP_GETUPVAL,   // A B     R[A] = UpValue[B]
  OP_GETGLOBAL,  // A Bx    R[A] = global K[Bx]
  OP_SETGLOBAL,  // A Bx    global K[Bx] = R[A]
  OP_GETTABLE,   // A B C   R[A] = R[B][R[C]]
  OP_GETFIELD,   // A B C   R[A] = R[B][K[C]]          (K[C] a string)
  OP_SETTABLE,   // A B C   R[A][R[B]] = R[C]
  OP_SETFIELD,   // A B C   R[A][K[B]] = R[C]          (K[B] a string)
  OP_NEWTABLE,   // A B C   R[A] = {} sized for B list items and C fields
  OP_SETLIST,    // A Bx    R[A][k*50 + i] = R[A+i], 1 <= i <= n  (n = Bx & 63, k = Bx >> 6)
  OP_SELF,       // A B C   R[A+1] = R[B]; R[A] = R[B][K[C]]
  OP_ADD,        // A B C   R[A] = R[B] + R[C]
  OP_SUB,
  OP_MUL,
  OP_DIV,
  OP_ADDK,  // A B C   R[A] = R[B] + K[C]          (K[C] a number)
  OP_SUBK,
  OP_MULK,
  OP_DIVK,
  OP_POW,     // A B C   R[A] = R[B] ^ R[C]  (always the `pow` event)
  OP_UNM,     // A B     R[A] = -R[B]
  OP_NOT,     // A B     R[A] = not R[B]
  OP_CONCAT,  // A B C   R[A] = R[B] .. ... .. R[C]
  OP_JMP,     // sJ      pc += sJ
  // Conditional skips: when the test gives A (or C for TEST), the next
  // instruction (a JMP) jumps; otherwise it is skipped.
  OP_TEST,  // A C     truthy(R[A]) == C
  OP_EQ,    // A B C   (R[B] == R[C]) == A
  OP_EQK,   // A B C   (R[B] == K[C]) == A
  OP_LT,
  OP_LTK,
  OP_LE,
  OP_LEK,
  OP_GT,
  OP_GTK,
  OP_GE,
  OP_GEK,
  // Comparisons as values: 1 or nil for numbers and strings, the tag
  // method's own result otherwise.
  OP_LTV,  // A B C   R[A] = R[B] < R[C]
  OP_LEV,
  OP_GTV,
  OP_GEV,
  OP_CALL,     // A B C   R[A .. A+C-2] = R[A](R[A+1 .. A+B-1]); C = 0: all results
  OP_RETURN,   // A B     return R[A .. A+B-2]; B = 0: up to the top
  OP_CLOSURE,  // A Bx    R[A] = closure of child prototype Bx
  OP_COUNT
};

constexpr int kListBlock = 50;        // list items per OP_SETLIST
constexpr uint32_t kNumBias = 32767;  // OP_LOADNUM's bias
constexpr int32_t kJumpBias = 0x7FFFFF;
constexpr int kMaxRegisters = 250;

constexpr Instr MakeABC(OpCode op, uint32_t a, uint32_t b, uint32_t c) {
  return static_cast<Instr>(op) | a << 8 | b << 16 | c << 24;
}
constexpr Instr MakeABx(OpCode op, uint32_t a, uint32_t bx) {
  return static_cast<Instr>(op) | a << 8 | bx << 16;
}
constexpr Instr MakeJ(OpCode op, int32_t offset) {
  return static_cast<Instr>(op) | static_cast<uint32_t>(offset + kJumpBias) << 8;
}
constexpr OpCode GetOp(Instr i) {
  return static_cast<OpCode>(i & 0xFF);
}
constexpr uint32_t GetA(Instr i) {
  return (i >> 8) & 0xFF;
}
constexpr uint32_t GetB(Instr i) {
  return (i >> 16) & 0xFF;
}
constexpr uint32_t GetC(Instr i) {
  return i >> 24;
}
constexpr uint32_t GetBx(Instr i) {
  return i >> 16;
}
constexpr int32_t GetSJ(Instr i) {
  return static_cast<int32_t>(i >> 8) - kJumpBias;
}

}  // namespace lua31

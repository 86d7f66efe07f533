// The scripting runtime's math library: angles in degrees, `mod`, `frexp`,
// `ldexp`, `max`, `min`, `random`, `PI` and the `pow` tag method of numbers
// that gives `^` its meaning.
#include <cmath>

#include "script/runtime/lua31_State.h"

namespace lua31 {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadians = kPi / 180.0;

int Result(Args& a, double d) {
  Push(a.L, NumberValue(d));
  return 1;
}

#define UNARY(NAME, EXPR)                      \
  int M_##NAME(Args& a) {                      \
    const double x = CheckNumber(a, 1, #NAME); \
    return Result(a, EXPR);                    \
  }

UNARY(abs, std::fabs(x))
UNARY(ceil, std::ceil(x))
UNARY(floor, std::floor(x))
UNARY(sqrt, std::sqrt(x))
UNARY(log, std::log(x))
UNARY(log10, std::log10(x))
UNARY(exp, std::exp(x))
UNARY(sin, std::sin(x* kRadians))
UNARY(cos, std::cos(x* kRadians))
UNARY(tan, std::tan(x* kRadians))
UNARY(asin, std::asin(x) / kRadians)
UNARY(acos, std::acos(x) / kRadians)
UNARY(atan, std::atan(x) / kRadians)
UNARY(deg, x / kRadians)
UNARY(rad, x* kRadians)
#undef UNARY

int M_mod(Args& a) {
  return Result(a, std::fmod(CheckNumber(a, 1, "mod"), CheckNumber(a, 2, "mod")));
}

int M_atan2(Args& a) {
  return Result(a, std::atan2(CheckNumber(a, 1, "atan2"), CheckNumber(a, 2, "atan2")) / kRadians);
}

int M_frexp(Args& a) {
  int e = 0;
  const double m = std::frexp(CheckNumber(a, 1, "frexp"), &e);
  Push(a.L, NumberValue(m));
  Push(a.L, NumberValue(e));
  return 2;
}

int M_ldexp(Args& a) {
  const double m = CheckNumber(a, 1, "ldexp");
  const double e = CheckNumber(a, 2, "ldexp");
  const int ie = e > 100000 ? 100000 : (e < -100000 ? -100000 : static_cast<int>(e));
  return Result(a, std::ldexp(m, ie));
}

int MinMax(Args& a, const char* name, bool max) {
  double best = CheckNumber(a, 1, name);
  for (int i = 2; i <= a.n; ++i) {
    const double d = CheckNumber(a, i, name);
    if (max ? d > best : d < best) best = d;
  }
  return Result(a, best);
}

int M_max(Args& a) {
  return MinMax(a, "max", true);
}
int M_min(Args& a) {
  return MinMax(a, "min", false);
}

// xorshift64*: the state is part of the runtime state (saved with it).
double NextRandom(State* L) {
  uint64_t x = L->rng;
  x ^= x >> 12;
  x ^= x << 25;
  x ^= x >> 27;
  L->rng = x;
  return static_cast<double>((x * 0x2545F4914F6CDD1DULL) >> 11) * (1.0 / 9007199254740992.0);
}

int M_random(Args& a) {
  const double r = NextRandom(a.L);
  if (a.n < 1) return Result(a, r);
  const double n = std::floor(CheckNumber(a, 1, "random"));
  if (!(n >= 1)) RunError(a.L, "bad argument #1 to function 'random' (interval is empty)");
  return Result(a, std::floor(r * n) + 1);
}

int M_randomseed(Args& a) {
  const double d = CheckNumber(a, 1, "randomseed");
  uint64_t seed = static_cast<uint64_t>(static_cast<int64_t>(std::isfinite(d) ? d : 0));
  seed = seed * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL;
  a.L->rng = seed ? seed : 1;
  return 0;
}

// The `pow` tag method: m(a, b, "pow").
int M_pow(Args& a) {
  double x, y;
  if (!ToNumber(a.at(1), &x) || !ToNumber(a.at(2), &y)) {
    RunError(a.L, "unexpected type at arithmetic operation");
  }
  return Result(a, std::pow(x, y));
}

}  // namespace

void OpenMathLib(State* L) {
  static const struct {
    const char* name;
    NativeFn fn;
  } kFunctions[] = {
      {"abs", M_abs},
      {"ceil", M_ceil},
      {"floor", M_floor},
      {"sqrt", M_sqrt},
      {"log", M_log},
      {"log10", M_log10},
      {"exp", M_exp},
      {"mod", M_mod},
      {"sin", M_sin},
      {"cos", M_cos},
      {"tan", M_tan},
      {"asin", M_asin},
      {"acos", M_acos},
      {"atan", M_atan},
      {"atan2", M_atan2},
      {"deg", M_deg},
      {"rad", M_rad},
      {"frexp", M_frexp},
      {"ldexp", M_ldexp},
      {"max", M_max},
      {"min", M_min},
      {"random", M_random},
      {"randomseed", M_randomseed},
  };
  for (const auto& f : kFunctions) Register(L, f.name, f.fn);
  TableSetStr(L, L->globals, NewString(L, "PI"), NumberValue(kPi));
  SetTagMethodRaw(L, TAG_NUMBER, EV_POW, CFunctionValue(RegisterNative(L, "lua.pow", M_pow)));
}

}  // namespace lua31

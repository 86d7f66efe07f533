// Conformance of the scripting runtime to the 3.1 language: programs and the
// output they must print, and programs that must not compile, with their
// messages. Each program runs in a fresh state with the base, string, math
// and io libraries; the error method prints "error: <message>".
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/runtime/lua31_State.h"

namespace {

using namespace lua31;

std::string g_out;

void Capture(const char* text, size_t length) {
  g_out.append(text, length);
}

std::string RunProgram(const char* program, bool withMath = true, bool collectAlways = false) {
  State* L = NewState();
  OpenBaseLib(L);
  OpenStringLib(L);
  if (withMath) OpenMathLib(L);
  OpenIoLib(L);
  SetOutputSink(Capture);
  g_out.clear();
  const char* setup =
      collectAlways ? "seterrormethod(function(m) print('error: ' .. m) end) collectgarbage(1)"
                    : "seterrormethod(function(m) print('error: ' .. m) end)";
  EXPECT_EQ(0, DoChunk(L, setup, std::strlen(setup), "setup", nullptr));
  L->cur->top = 0;
  DoChunk(L, program, std::strlen(program), "prog", nullptr);
  CloseState(L);
  SetOutputSink(nullptr);
  return g_out;
}

struct Case {
  const char* name;
  const char* program;
  const char* expected;
};

const Case kPrograms[] = {
    {"truth values",
     R"--(print(1 == 1, 1 == 2, not nil, not 0, not "")
if 0 then print("0 is true") end
if "" then print("the empty string is true") end
print(nil and 1, 0 and 1, nil or "d", false, true)
print(1 < 2, 2 < 1, "a" < "b", "b" <= "a", 1 ~= 1, "a" ~= "b"))--",
     "1\tnil\t1\tnil\tnil\n0 is true\nthe empty string is true\nnil\t1\td\tnil\tnil\n"
     "1\tnil\t1\tnil\tnil\t1\n"},
    {"precedence",
     R"--(print(nil or 1 and nil, 1 or nil and 2, not 1 == nil)
print(-2^2, 2^3^2, 2*3^2, -3+2*4, 1 .. 2 + 3, 2 - 3 - 4, 24 / 4 / 2))--",
     "nil\t2\t1\n-4\t512\t18\t5\t15\t-5\t3\n"},
    {"coercions and number printing",
     R"--(print("10"+1, " 5 " * 2, "10"==10, 10 .. 20, 1/3 .. "", 3.0 .. "")
print(1e20 .. "", 0.1 .. "", -0 .. "", 2^31 .. "", 100000 .. "", -7.5 .. "", -12 .. "")
print(tostring(12), tostring(1.5), tonumber("0x10"), tonumber("  12  "), tonumber("1e2"))
print(tonumber("z", 36), tonumber("ff", 16), tonumber("8", 8), tonumber(""), tonumber("-101", 2))
local t = {} t[0] = "number" t["0"] = "string" print(t[0], t["0"])
print(call(function() return 1 < "2" end, {}, "x")))--",
     "11\t10\tnil\t1020\t0.333333\t3\n1e+20\t0.1\t0\t2.14748e+09\t100000\t-7.5\t-12\n"
     "12\t1.5\tnil\t12\t100\n35\t255\tnil\tnil\t-5\nnumber\tstring\n"
     "error: unexpected type at comparison\nnil\n"},
    {"locals and scope",
     R"--(local x = 1
do local x = x + 1 print(x) end
print(x)
local a, b, c = 1
print(a, b, c)
local d, e = 1, 2, 3
print(d, e)
n = 0 inner = 1 repeat local inner = nil n = n + 1 until inner or n > 5
print(n))--",
     "2\n1\n1\tnil\tnil\n1\t2\n1\n"},
    {"multiple assignment",
     R"--(a, b = 1, 2
a, b = b, a
print(a, b)
t = {} i = 1
i, t[i] = i + 1, 20
print(i, t[1], t[2])
local x, y = 1, 2
x, y = y, x
print(x, y))--",
     "2\t1\n2\t20\tnil\n2\t1\n"},
    {"adjusting value lists",
     R"--(function f() return 1, 2, 3 end
function count(...) return arg.n end
print(count(1, f()))
a, b, c = 1, f() print(a, b, c)
a, b, c = f() print(a, b, c)
a, b, c = (f()) print(a, b, c)
function three() return f() end
print(count(three()))
local x, y, z = three() print(x, y, z)
t = {f()} print(t[1], t[2])
function none() end
print(none()))--",
     "2\n1\t1\t2\n1\t2\t3\n1\tnil\tnil\n1\n1\t2\t3\n1\tnil\nnil\n"},
    {"varargs and arg",
     R"--(function g(a, b, ...) return a, b, arg.n, arg[1], arg[2] end
local p, q, n, r, s = g(3) print(p, q, n, r, s)
p, q, n, r, s = g(3, 4, 5, 8) print(p, q, n, r, s)
function h(...) return type(arg), arg.n end
local ty, cnt = h() print(ty, cnt))--",
     "3\tnil\t0\tnil\tnil\n3\t4\t2\t5\t8\ntable\t0\n"},
    {"upvalues",
     R"--(local x = 10
local get = function() return %x end
x = 20
print(get(), x)
function make(n) return function(d) return %n + d end end
local add5 = make(5) local add7 = make(7)
print(add5(1), add7(1))
g1 = "global value"
local fg = function() return %g1 end
g1 = "changed"
print(fg())
local t = {v = 1}
local bump = function() %t.v = %t.v + 1 end
bump() bump() print(t.v))--",
     "10\t20\n6\t8\nglobal value\n3\n"},
    {"functions and method calls",
     R"--(obj = {name = "box"}
function obj:describe(prefix) return prefix .. self.name end
function obj.twice(x) return x * 2 end
print(obj:describe("a "), obj.twice(21))
counter = {n = 0}
function counter:inc() self.n = self.n + 1 return self end
counter:inc():inc()
print(counter.n)
local lf = 1
function lf() return "local" end
print(lf(), rawgetglobal("lf"))
print(type(print), type(function() end)))--",
     "a box\t42\n2\nlocal\tnil\nfunction\tfunction\n"},
    {"table constructors",
     R"--(print(next({}), next({;}))
t = {'a', 'b',} print(t[1], t[2], t[3], t.n)
t = {type = 'x'; 'a', 'b'} print(t.type, t[1], t[2])
t = {10, 20; n = 2, [5] = 'five'} print(t[1], t.n, t[5])
t = {[1] = 'record'; 'list'} print(t[1])
t = {1, nil, 3} print(t[1], t[2], t[3])
t = {type(0),; n=1} print(t.n)
t = {1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,
     31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50,51,52,53,54,55}
print(t[50], t[51], t[55]))--",
     "nil\tnil\na\tb\tnil\tnil\nx\ta\tb\n10\t2\tfive\nlist\n1\tnil\t3\n1\n50\t51\t55\n"},
    {"table keys and traversal",
     R"--(t = {} t[1] = "n" t["1"] = "s" t[1.5] = "f" t[-1] = "neg" t[print] = "fn"
print(t[1], t["1"], t[1.5], t[-1], t[print], t[nil])
t = {a = 1, b = 2, c = 3, d = 4; 10, 20}
local k, v = next(t, nil) local sum = 0
while k do sum = sum + v t[k] = nil k, v = next(t, k) end
print(sum, next(t))
print(foreach({1, 2, 3}, function(k, v) if v == 2 then return k * 10 end end))
uniqueGlobal = "here"
print(foreachvar(function(n, v) if n == "uniqueGlobal" then return v end end))
local name = nextvar(nil) local seen = 0
while name do if name == "uniqueGlobal" then seen = 1 end name = nextvar(name) end
print(seen)
print(call(next, {{}, "nokey"}, "x"))
print(call(function() local t = {} t[nil] = 1 end, {}, "x")))--",
     "n\ts\tf\tneg\tfn\tnil\n40\tnil\n20\nhere\n1\nerror: invalid key to 'next'\nnil\n"
     "error: table index is nil\nnil\n"},
    {"tag methods: arithmetic and concatenation",
     R"--(T = newtag()
function show(x) if type(x) == "table" then return "T" .. x.v else return tostring(x) end end
function report(a, b, e) return e .. "(" .. show(a) .. "," .. show(b) .. ")" end
foreach({"add", "sub", "mul", "div", "pow", "unm", "concat"}, function(i, e) settagmethod(T, e, report) end)
a = settag({v = 1}, T) b = settag({v = 2}, T)
print(a + b, a - 1, 2 * a, a / b, a ^ b, -a, a .. "s", "s" .. b)
print("3" + 4, -"2")
settagmethod(0, "add", function(a, b) return "tag 0" end)
print("abc" + 1, {} + 1))--",
     "add(T1,T2)\tsub(T1,1)\tmul(2,T1)\tdiv(T1,T2)\tpow(T1,T2)\tunm(T1,nil)\tconcat(T1,s)\t"
     "concat(s,T2)\n7\t-2\ntag 0\ttag 0\n"},
    {"tag methods: order",
     R"--(T = newtag()
log = ""
foreach({"lt", "le", "gt", "ge"}, function(i, e)
  settagmethod(T, e, function(a, b, ev) log = log .. ev .. " " return ev end)
end)
a = settag({}, T) b = settag({}, T)
if a < b then end if a <= b then end if a > b then end if a >= b then end if 1 < a then end
print(log)
print(a < b, a >= 2)
N = newtag()
settagmethod(N, "lt", function() return nil end)
c = settag({}, N)
print(c < c, not (c < c)))--",
     "lt le gt ge lt \nlt\tge\nnil\t1\n"},
    {"tag methods: index, gettable, settable",
     R"--(settagmethod(tag({}), "index", function(t, k) return "missing " .. k end)
local t = {present = "here"}
print(t.present, t.absent)
settagmethod(tag({}), "index", nil)
print(t.absent)
G = newtag()
settagmethod(G, "gettable", function(t, k) return "get " .. k end)
local g = settag({x = 1}, G)
print(g.x, g.y, rawgettable(g, "x"))
settagmethod(G, "settable", function(t, k, v) rawsettable(t, k, v * 10) end)
g.z = 5 print(rawgettable(g, "z"))
print(call(function() local n = 1 return n.x end, {}, "x"))
print(call(settagmethod, {tag({}), "gettable", print}, "x")))--",
     "here\tmissing absent\nnil\nget x\tget y\t1\n50\nerror: indexed expression not a table\nnil\n"
     "error: settagmethod: cannot change the 'gettable' method of tag -4\nnil\n"},
    {"tag methods: getglobal and setglobal",
     R"--(settagmethod(tag(nil), "getglobal", function(name, v) return "undefined " .. name end)
print(undefinedVariable)
settagmethod(tag(nil), "getglobal", nil)
print(undefinedVariable)
W = newtag()
watched = settag({}, W)
settagmethod(W, "setglobal", function(name, old, new) print("set " .. name) rawsetglobal(name, new) end)
watched = 5
watched = 6
print(watched)
R = newtag()
ro = settag({}, R)
settagmethod(R, "getglobal", function(name, v) return "read " .. name end)
print(ro, type(rawgetglobal("ro")), getglobal("ro"))
local capture = function() return %ro end
print(capture()))--",
     "undefined undefinedVariable\nnil\nset watched\n6\nread ro\ttable\tread ro\nread ro\n"},
    {"tag methods: function",
     R"--(F = newtag()
callable = settag({}, F)
settagmethod(F, "function", function(self, a, b) return a + b, "extra" end)
local s, e = callable(2, 3) print(s, e)
print(call(callable, {4, 5}))
print(call(function() undefinedFunction() end, {}, "x")))--",
     "5\textra\n9\nerror: call expression not a function\nnil\n"},
    {"tag methods: gc",
     R"--(Gc = newtag()
collected = 0
settagmethod(Gc, "gc", function(t) collected = collected + t.n end)
function makegarbage() local i = 0 while i < 5 do settag({n = 1}, Gc) i = i + 1 end end
makegarbage()
keep = settag({n = 100}, Gc)
collectgarbage()
print(collected)
settagmethod(tag(nil), "gc", function(x) endOfCycle = (x == nil) end)
collectgarbage()
print(endOfCycle, collected)
print(call(settagmethod, {tag(1), "gc", print}, "x")))--",
     "5\n1\t5\nerror: settagmethod: cannot change the 'gc' method of tag -2\nnil\n"},
    {"tag methods: management",
     R"--(A = newtag() B = newtag()
f = function() return "A add" end
print(settagmethod(A, "add", f) == nil, gettagmethod(A, "add") == f)
print(copytagmethods(B, A) == B, gettagmethod(B, "add") == f)
print(settagmethod(A, "add", nil) == f, gettagmethod(A, "add"))
print(call(settagmethod, {A, "nosuchevent", f}, "x"))
print(call(settagmethod, {A, "add", 12}, "x")))--",
     "1\t1\n1\t1\n1\tnil\nerror: settagmethod: invalid event name 'nosuchevent'\nnil\n"
     "error: settagmethod: the method must be a function or nil\nnil\n"},
    {"fallbacks",
     R"--(local e = {}
old = setfallback("index", function(t, k) return "fb:" .. k end)
print(e.zz, old(e, "q"))
setfallback("index", old)
print(e.zz)
setfallback("arith", function(a, b, op) return op end)
print({} + 1, -{}, {} ^ {}, "x" * 2)
setfallback("order", function(a, b, op) return op end)
print({} < 1, {} >= {})
local prev = setfallback("concat", function(a, b) return "joined" end)
print({} .. "x")
setfallback("concat", prev)
print(call(function() return {} .. "x" end, {}, "x"))
setfallback("getglobal", function(n) return "fb " .. n end)
print(nosuchglobal)
print(setfallback("nosuch", print))
)--",
     "fb:zz\tnil\nnil\nadd\tunm\tpow\tmul\nlt\tge\njoined\n"
     "error: unexpected type for concatenation\nnil\nfb nosuchglobal\n"
     "error: setfallback: invalid fallback name 'nosuch'\n"},
    {"error handling with call and the error method",
     R"--(print(call(error, {"x"}, "x"))
print(call(function(a, b) return a + b end, {1, 2}))
print(call(function(...) return arg.n end, {1, nil, 3; n = 3}), call(function(...) return arg.n end, {1, nil, 3}))
local r = call(function() return 1, 2 end, {}, "p") print(r.n, r[1], r[2])
print(call(error, {"silent"}, "x", nil))
print(call(error, {"z"}, "x", function(m) print("local: " .. m) end))
print(call(error, {}, "x"))
print(call(assert, {nil, "why"; n = 2}, "x"))
print(dostring("return 1 + 1"), dostring("x = 1"), dostring("error('e')"), dostring("x = = 1"))
local old = seterrormethod(nil)
print(call(error, {"quiet"}, "x"))
seterrormethod(old)
print(call(function() return nil + 1 end, {}, "x")))--",
     "error: x\nnil\n3\n3\t1\n2\t1\t2\nnil\nlocal: z\nnil\nnil\n"
     "error: assertion failed!  why\nnil\nerror: e\nerror: x = = 1:1: unexpected symbol near '='\n"
     "2\t1\tnil\tnil\nnil\nerror: unexpected type at arithmetic operation\nnil\n"},
    {"string library",
     R"--(print(strlen("hello"), strlen(""), strlen(123))
print(strsub("hello", 2, 4), strsub("hello", -3), strsub("hello", 2), strsub("hello", 0, 2))
print(strsub("hello", 4, 2) == "", strsub("hello", -100, 100))
print(strlower("HeLLo"), strupper("abc1"), strrep("ab", 3), strrep("x", 0) == "")
print(strbyte("A"), strbyte("abc", -1), strchar(72, 105), strchar() == "")
print(call(strbyte, {"abc", 4}, "x"))
print(call(strchar, {256}, "x")))--",
     "5\t0\t3\nell\tllo\tello\the\n1\thello\nhello\tABC1\tababab\t1\n65\t99\tHi\t1\n"
     "error: bad argument #2 to function 'strbyte' (out of range)\nnil\n"
     "error: bad argument #1 to function 'strchar' (out of range)\nnil\n"},
    {"patterns and captures",
     R"--(function r(f, ...) local t = call(f, arg, "p") local s = "" local i = 1
  while i <= t.n do s = s .. tostring(t[i]) .. " " i = i + 1 end print(s) end
r(strfind, "a+b", "+")
r(strfind, "hello world", "wor")
r(strfind, "hello", "l*")
r(strfind, "key = value", "(%w%w*) *= *(%w%w*)")
r(strfind, "a.b", ".", 1, 1)
r(strfind, "a.b", "%.")
r(strfind, "THE (quick) fox", "%((%a*)%)")
r(strfind, "f(a(b)c)d", "%b()")
r(strfind, "hello hello", "(l)%1")
r(strfind, "abc", "^b")
r(strfind, "abc", "c$")
r(strfind, "a$b", "$b")
r(strfind, "aaab", "a-b")
r(strfind, "y", "x?y")
r(strfind, "abc123", "[%d]") r(strfind, "abc123", "[^%a]") r(strfind, "abc123", "[a-c]*")
r(strfind, "a]", "[]]") r(strfind, "a-b", "[a-]", 2)
r(strfind, "hello", "()ll")
r(strfind, "hello", "", 3)
r(strfind, "hello", "l", 10) r(strfind, "hello", "l", -2)
r(strfind, " \tx", "%s*%S") r(strfind, "Ab1_", "%u%l%d%W") r(strfind, "ab", "%A")
r(gsub, "hello world", "(%w%w*)", "%1 %1")
r(gsub, "abc", "x*", "-")
r(gsub, "hello", "l", "L", 1)
r(gsub, "hello", "^h", "H")
r(gsub, "x = 1, y = 2", "(%w%w*) = (%w%w*)", "%2 = %1")
r(gsub, "abc", "(b)", function(c) return strupper(c) end)
r(gsub, "abc", "b", function() return nil end)
r(gsub, "abc", "b", function(...) return arg.n end)
r(gsub, "a+b", "+", "%%")
r(gsub, "a1b2", "%d", "<%0>"))--",
     "2 2 \n7 9 \n1 0 \n1 11 key value \n2 2 \n2 2 \n5 11 quick \n2 8 \n3 4 l \nnil \n3 3 \n"
     "2 3 \n1 4 \n1 1 \n4 4 \n4 4 \n1 3 \n2 2 \n2 2 \n3 4  \n3 2 \nnil \n4 4 \n1 3 \n1 4 \nnil \n"
     "hello hello world world 2 \n-a-b-c- 4 \nheLlo 1 \nHello 1 \n1 = x, 2 = y 2 \naBc 1 \n"
     "ac 1 \na0c 1 \na%b 1 \na<0>b<0> 2 \n"},
    {"malformed patterns",
     R"--(print(call(strfind, {"a", "%"}, "x"))
print(call(strfind, {"a", "[a"}, "x"))
print(call(strfind, {"a", "(a"}, "x"))
print(call(strfind, {"a", "a)"}, "x"))
print(call(strfind, {"a", "%1"}, "x"))
print(call(strfind, {"a", "%b("}, "x"))
print(call(gsub, {"a", "(a)", "%2"}, "x")))--",
     "error: malformed pattern (ends with '%')\nnil\nerror: malformed pattern (missing ']')\nnil\n"
     "error: malformed pattern (unfinished capture)\nnil\nerror: malformed pattern (unbalanced "
     "')')\nnil\n"
     "error: invalid capture index %1\nnil\nerror: malformed pattern (%b needs two "
     "characters)\nnil\n"
     "error: invalid capture index %2\nnil\n"},
    {"format",
     R"--(print(format("%d %5d %-5d| %05d %+d", 42, 42, 42, 42, 42))
print(format("%i %o %x %X %u", 3.9, 8, 255, 255, 7))
print(format("%c%c%c", 76, 117, 97))
print(format("%e|%.2f|%g|%G|%10.3f|", 12345.678, 3.14159, 0.0001, 1e-10, 2.5))
print(format("%s %10s|%-10s|%.2s", "hi", "right", "left", "cut"))
print(format("%s %s", 12, 1.5))
print(format("%2$d -> %1$03d", 1, 34))
print(format("100%%"))
print(format("%q", 'a "b"\n'))
print(call(format, {"%*d", 1}, "x"))
print(call(format, {"%d"}, "x"))
print(call(format, {"%d", "x"}, "x"))
print(call(format, {"%100d", 1}, "x"))
print(call(format, {"%ld", 1}, "x")))--",
     "42    42 42   | 00042 +42\n3 10 ff FF 7\nLua\n1.234568e+04|3.14|0.0001|1E-10|     2.500|\n"
     "hi      right|left      |cu\n12 1.5\n34 -> 001\n100%\n\"a \\\"b\\\"\\\n\"\n"
     "error: invalid format (option '%*')\nnil\n"
     "error: bad argument #2 to function 'format' (no value)\nnil\n"
     "error: bad argument #2 to function 'format' (number expected)\nnil\n"
     "error: invalid format (width or precision too long)\nnil\n"
     "error: invalid format (option '%l')\nnil\n"},
    {"degree math",
     R"--(print(sin(90), cos(0), tan(45), asin(1), acos(1), atan(1), atan2(1, 0), atan2(-1, 0))
print(deg(PI), floor(rad(180) * 1000), mod(-7, 3), mod(7, -3), mod(5.5, 2))
print(abs(-3), ceil(1.2), floor(-1.2), sqrt(16), log(1), log10(1000), exp(0))
local m, e = frexp(8) print(m, e, ldexp(0.5, 4))
print(max(3, 7, 1), min(3, 7, 1), max(2), 2^10, "2" ^ 2)
print(call(max, {}, "x"))
randomseed(1) local r = random() print(r >= 0 and r < 1)
local n = random(6) print(n >= 1 and n <= 6 and n == floor(n)))--",
     "1\t1\t1\t90\t0\t45\t90\t-90\n180\t3141\t-1\t1\t1.5\n3\t2\t-2\t4\t0\t3\t1\n0.5\t4\t8\n"
     "7\t1\t2\t1024\t4\nerror: bad argument #1 to function 'max' (number expected)\nnil\n1\n1\n"},
    {"type and tag",
     R"--(local name, t = type(1) print(name, t == tag(1))
print(type(nil), type("s"), type({}), type(print), type(function() end))
print(tag(nil) ~= tag(1), tag(1) ~= tag(""), tag("") ~= tag({}), tag(print) ~= tag(function() end))
local T = newtag() print(tag(settag({}, T)) == T, T < 0)
print(call(settag, {{}, 12345}, "x")))--",
     "number\t1\nnil\tstring\ttable\tfunction\tfunction\n1\t1\t1\t1\n1\t1\n"
     "error: settag: tag 12345 is not for tables\nnil\n"},
    {"directives",
     "$if nil\nprint(\"skipped\")\n$else\nprint(\"kept\")\n$end\n$ifnot definedLater\n"
     "print(\"not defined at compile time\")\n$end\n$debug\ndefinedLater = 1\n"
     "dostring(\"$if definedLater\\nprint('defined now')\\n$end\")\n$endinput\nprint(\"never\")\n",
     "kept\nnot defined at compile time\ndefined now\n"},
    {"lexical details",
     "# a first line starting with # is skipped\n"
     "print([[a\nb]], [[x[[y]]z]])\n"
     "print(\"tab\\tq\\\"\\65\\066\\0677\", strlen(\"a\\0b\"))\n"
     "print(\"line\\\nnext\", 'single \\'q\\'', .5, 3., 4.57e-3, 0.3E2)\n"
     "--[[ not a block comment\n"
     "print(\"visible\")\n"
     "for = 1 break = 2 local in = 3 print(for, break, in) ;\n",
     "a\nb\tx[[y]]z\ntab\tq\"ABC7\t3\nline\nnext\tsingle "
     "'q'\t0.5\t3\t0.00457\t30\nvisible\n1\t2\t3\n"},
    {"run-time error messages",
     R"--(print(call(function() return nil + 1 end, {}, "x"))
print(call(function() return {} .. "x" end, {}, "x"))
print(call(function() local t = nil t.x = 1 end, {}, "x"))
print(call(function() error("boom") end, {}, "x"))
print(call(strsub, {}, "x")))--",
     "error: unexpected type at arithmetic operation\nnil\n"
     "error: unexpected type for concatenation\nnil\n"
     "error: indexed expression not a table\nnil\nerror: boom\nnil\n"
     "error: bad argument #1 to function 'strsub' (string expected)\nnil\n"},
};

TEST(LuaConformance, Programs) {
  for (const Case& c : kPrograms) EXPECT_EQ(c.expected, RunProgram(c.program)) << c.name;
}

// The same programs with a collection at every point where one may run:
// nothing the interpreter or the libraries still use is ever freed.
TEST(LuaConformance, ProgramsUnderConstantCollection) {
  for (const Case& c : kPrograms) {
    EXPECT_EQ(c.expected, RunProgram(c.program, true, true)) << c.name;
  }
}

TEST(LuaConformance, PowNeedsTheMathLibrary) {
  EXPECT_EQ("error: unexpected type at arithmetic operation\nnil\n",
            RunProgram("print(call(function() return 2^2 end, {}, \"x\"))", false));
}

// Programs that must not compile: nothing of them runs, and the error method
// gets the chunk name, the line and the reason.
const Case kCompileErrors[] = {
    {"unexpected symbol", "print(1)\nx = = 1", "error: prog:2: unexpected symbol near '='\n"},
    {"for is not a keyword", "for i = 1, 10 do end", "error: prog:1: syntax error near 'i'\n"},
    {"break is not a keyword", "while 1 do break end", "error: prog:1: syntax error near 'end'\n"},
    {"function a.b.c", "function a.b.c() end", "error: prog:1: '(' expected near '.'\n"},
    {"local function", "local function f() end",
     "error: prog:1: '<name>' expected near 'function'\n"},
    {"return not last", "return 1 print(2)--",
     "error: prog:1: 'end' expected (return must be the last statement) near 'print'\n"},
    {"malformed number", "x = 1..2", "error: prog:1: malformed number near '1..'\n"},
    {"unfinished string", "x = 'abc\nprint(x)", "error: prog:1: unfinished string\n"},
    {"unfinished long string", "x = [[abc", "error: prog:1: unfinished long string\n"},
    {"escape too large", "x = '\\300'", "error: prog:1: escape sequence too large\n"},
    {"outer local without %", "function f() local a = 1 return function() return a end end",
     "error: prog:1: cannot access local variable 'a' of an enclosing function (use %a)\n"},
    {"up-value two levels out",
     "function f(a) return function() return function() return %a end end end",
     "error: prog:1: up-value %a must be a global or a local of the immediately enclosing "
     "function\n"},
    {"up-value in the main chunk", "print(%x)",
     "error: prog:1: up-value %x used outside a function\n"},
    {"assigning an up-value", "function f() %x = 1 end",
     "error: prog:1: syntax error (cannot assign to this) near '='\n"},
    {"assigning a call", "f() = 1",
     "error: prog:1: syntax error (cannot assign to this) near '='\n"},
    {"two list parts", "x = {1; 2}",
     "error: prog:1: invalid constructor syntax (two parts of the same kind) near '2'\n"},
    {"missing end", "if x then\nprint(1)--",
     "error: prog:2: 'end' expected (to close 'if' at line 1) near '<eof>'\n"},
    {"parenthesised call", "(f)(1)", "error: prog:1: unexpected symbol near '('\n"},
    {"dots as an expression", "function f(...) return ... end",
     "error: prog:1: unexpected symbol near '...'\n"},
    {"tilde alone", "x = 1 ~ 2", "error: prog:1: unexpected symbol near '~'\n"},
    {"method call without arguments", "a.b:c = 1",
     "error: prog:1: function arguments expected near '='\n"},
    {"directive without condition", "$if\nx = 1\n$end",
     "error: prog:1: invalid condition in $if\n"},
    {"directive not closed", "$if nil\nx = 1", "error: prog:2: missing $end\n"},
    {"unknown directive", "$include x", "error: prog:1: unknown directive $include\n"},
    {"unmatched $end", "$end", "error: prog:1: unmatched $end\n"},
};

TEST(LuaConformance, CompileErrors) {
  for (const Case& c : kCompileErrors) EXPECT_EQ(c.expected, RunProgram(c.program)) << c.name;
}

// The compiler survives deep nesting and long programs without running out
// of stack: a clear error instead.
TEST(LuaConformance, LimitsAreErrors) {
  std::string deep = "x = ";
  for (int i = 0; i < 1000; ++i) deep += "(";
  deep += "1";
  for (int i = 0; i < 1000; ++i) deep += ")";
  EXPECT_EQ("error: prog:1: chunk has too many syntax levels near '('\n", RunProgram(deep.c_str()));
  std::string locals = "local a0";
  for (int i = 1; i < 300; ++i) locals += ", a" + std::to_string(i);
  EXPECT_EQ("error: prog:1: too many local variables\n", RunProgram(locals.c_str()));
  EXPECT_EQ("error: stack overflow\n", RunProgram("function r(n) return r(n + 1) + 1 end r(1)"));
  // Long chains nest as deeply as parentheses do.
  for (const char* piece : {" + 1", " .. 'a'", " and 1", ".b", "()", " < 1"}) {
    std::string chain = "x = a";
    for (int i = 0; i < 100000; ++i) chain += piece;
    EXPECT_EQ(0u, RunProgram(chain.c_str()).find("error: prog:1: chunk has too many syntax levels"))
        << piece;
  }
  std::string concat = "x = 'a'";
  for (int i = 0; i < 190; ++i) concat += " .. 'a'";
  EXPECT_EQ("", RunProgram(concat.c_str()));
  std::string args = "print(1";
  for (int i = 0; i < 300; ++i) args += ", 1";
  EXPECT_EQ("error: prog:1: function or expression too complex\n",
            RunProgram((args + ")").c_str()));
}

}  // namespace

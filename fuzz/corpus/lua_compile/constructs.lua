# a first line starting with # is skipped
$debug
$if nil
this is skipped
$else
x = 1
$end
$ifnot undefinedName
y = [[long
string [[nested]] ]] .. "esc\t\"\65\n" .. 'q'
$end
local a, b, c = 1, 2.5e3, .5
function f(p, q, ...) return p, q, arg.n end
function t:m(v) self.v = v return self end
t = {1, 2, 3; n = 3, ["k"] = f}
t2 = {x = 1, [2] = 3; 'a', 'b',}
local g = function(z) return %a + z, %t.n end
while a < 10 do a = a + 1 if a == 5 then b = b - 1 elseif a > 7 then c = c * 2 else c = c / 2 end end
repeat local r = a until r or a
a, b = b, a
t.k(1, 2):m{3}
print"string call" print[[long call]]
x = not nil and (1 or 2) == 1 .. "s" ~= "t" and -2^2 <= 3 and 4 >= 5 or 6 > 7
$endinput
anything after endinput

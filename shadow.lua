a = Actor(0)
SetShadowColor(1, 2)
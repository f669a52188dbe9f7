surface a() { Ci = 1; }
light b() { Cl = 1; }
surface c() { }

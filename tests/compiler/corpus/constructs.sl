/* The statements, expressions, declarations and user functions of the language. */
#define TWICE(x) ((x) * 2)

float scale_it(float x) { return x * 2; }
color scale_it(color x) { return x * 2; }
point scale_it(point x) { return x * 2; }

void accumulate(output float total; float add)
{
    total += add;
}

float clamped_sum(float a; float b)
{
    float s = a + b;
    if (s > 1)
        return 1;
    return s;
}

float first_loop_exit()
{
    float i = 0;
    while (i < 10) {
        i += 1;
        if (i > 3)
            break;
    }
    return i;
}

surface constructs(float Ka = 1, Kd = .5; color tint = color "hsv" (0, 1, 1);
                   output varying float coverage = 0;
                   float scaled = Kd * 2;
                   float table[3] = {1, 2, Ka};
                   point origin = point "object" (0, 0, 0);
                   vector up = vector (0, 0, 1);
                   matrix xf = 1;
                   string mapname = "";
                   normal nn = 0;
                   uniform float pick = u > .5 ? 1 : 0)
{
    float a = 1, b = 2, c;
    color k = 0, k2 = color (1, .5, .25);
    point p = P, p2 = point "world" (1, 2, 3);
    vector v = vector "shader" (0, 1, 0), v2;
    normal n = normalize(N);
    matrix m = matrix "shader" 1, m2 = (1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    matrix mi = matrixinv m;
    string name = "quote \"inside\" here", other = name;
    float arr[4] = {1, 2, 3, 4};
    color carr[2] = {1, k2};

    /* arithmetic between every pairing the language accepts */
    a = a + b; a = a - b; a = a * b; a = a / b;
    a = b + 1; a = 1 + b; a = TWICE(a + b) - (a + b) / 3;
    k = k + k2; k = k - k2; k = k * k2; k = k / k2;
    k = k + 1; k = 1 + k; k = k - 1; k = 1 - k; k = k * a; k = a * k; k = k / a;
    k = (k + k2) * (k2 - k) / (k + 1);
    p = p + v; p = p - v; v = p - p2; v = v * 2; v = 2 * v; v = v / 2;
    v = (p + v) * a; v = a * (p + v); v = -v; k = -k; a = -a; a = -(a + b);
    a = p . n; v = v ^ n; v = (p + v) ^ (v - p);
    m = m * m2; m = m2 / m; m = m * 2; m = 2 * m; m = m / 2; m = 2 / m; m = m + m2;
    m = (m * 2) * (m2 / 2); m = (m * 2) / m2;
    v = v2; v = v * v2; v = v * a; v = a * v; v = v / v2;
    v = v * (p - p2); v = v / (p - p2); k = k - (k2 * 2); k = k * (k2 + 1); k = k / (k2 + 1);
    v = (p - p2) + 1; v = (p - p2) - 1; v = (p - p2) - (v - p);
    v = (v + p) * (v - p); v = (v + p) / (v - p); p = point 1;

    /* assignments of every form */
    a += 1; a -= b; a *= 2; a /= b;
    k += k2; k -= 1; k *= a; k /= 2; k += 1;
    p += v; v -= p2; v *= 2; v /= a;
    m *= m2; m /= m2; m *= 2; m /= 2; m += m2; m -= m2;
    arr[1] = a; arr[2] += 1; arr[0] *= arr[3]; a = arr[1 + 1];
    carr[1] = k; carr[0] = 1; carr[1] += k2; carr[0] *= a;
    point parr[2] = {P, origin};
    string sarr[2] = {"one", name};
    matrix marr[2] = {m, 1};
    sarr[1] = sarr[0]; marr[1] = marr[0] * 2;
    parr[1] = parr[0] + up; p = parr[1];
    k = 0.5; p = 0; m = 1; c = a = b;
    name = other; other = "x";

    /* casts and colour spaces */
    k = color "hsv" (a, b, .5); k = color "xyz" k; k = color "yiq" k; k = color "hsl" k;
    k = color p; p = point k; v = vector p; n = normal v; p = point "camera" p;
    v = vector "object" v; n = normal "world" n; a = float a; name = string name;
    m = matrix "world" m; n = normal 1; k = color 1;

    /* control flow */
    if (a > b) a = b; else if (a < b && b != 0 || !(a >= 1)) b = a; else { c = 1; }
    if (name == "x" || name != other) c = 2;
    if (a <= b) c = 4;
    if (a == b || a == v || a != v || a != k || v == a || v != a || v != p || k == a || k != k2) c = 5;
    if (k == k2 || k != 1 || 1 == k || p == v || a != arr[1]) c = 3;
    while (a < 10) { a += 1; if (a > 5) continue; b += 1; }
    for (a = 0; a < 3; a += 1) {
        float inner = a * 2;
        for (b = 0; b < 2; b += 1) {
            if (b > inner) break 2;
            if (b < 0) continue 2;
        }
    }
    for (;;) break;
    c = a > b ? a : b;
    k = a > b ? k : k2;

    /* user functions */
    a = scale_it(a) + scale_it(a + 1) + scale_it(scale_it(b));
    k = scale_it(k); p = scale_it(p);
    accumulate(c, a);
    accumulate(arr[0], 1);
    a = clamped_sum(a, clamped_sum(b, c));
    a = first_loop_exit();
    while (a > 0) { a -= first_loop_exit(); }
    float local_fn(float x) { extern float Kd; return x * Kd; }
    a = local_fn(b);
    {
        float a = 3;
        c = a;
    }

    /* texture lookups */
    a = texture(mapname, s, t);
    k = texture(mapname, s, t, s + .1, t, s, t + .1, s + .1, t + .1, "blur", .01, "filter", "box");
    a = texture(mapname[1], s, t);
    k = texture(mapname[0]);
    a = texture(mapname, s, t, "swidth", 2, "twidth", 2, "samples", 4);
    k = environment(mapname, I);
    a = environment(mapname, I, I, I, I, "blur", .1);
    a = shadow(mapname, P, "bias", .01, "samples", 16);
    a = shadow(mapname, P, P, P, P);
    n = bump(mapname, N, dPdu, dPdv);

    /* lights */
    illuminance(P) { k += Cl; }
    illuminance(P, n, PI / 2) { k += Cl * (normalize(L) . n); }
    illuminance("diffuse", P) { k += Cl; }
    illuminance("-specular", P, n, 1) { k += Cl; }
    illuminance("spec", P, n, 1) { if (k == 0) continue; for (;;) break; if (k != 0) break; }

    coverage = a + b + c + pick + scaled + table[2];
    Oi = Os;
    Ci = Os * tint * (k + Ka * ambient() + Kd * diffuse(n));
}

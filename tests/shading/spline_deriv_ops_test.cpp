#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "shading/filterstep.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/op_support.h"

using optest::check_cases;
using optest::FloatCase;
using optest::run_ops;
using optest::TripleCase;

namespace {

// Values 0, 10, 40, 90 (ten times the squares) at t = 0.5 of one segment.
const char *const SQUARES = "pushif 90;pushif 40;pushif 10;pushif 0;pushif 0.5;";

const char *const NAMES = "local\tstring\t$_str_0 \t\"linear\"\nlocal\tstring\t$_str_1 \t\"bspline\"\n"
                          "local\tstring\t$_str_2 \t\"bezier\"\nlocal\tstring\t$_str_3 \t\"nosuch\"\n"
                          "local\tstring\t$_str_4 \t\"hermite\"\nlocal\tstring\t$_str_5 \t\"filter\"\n"
                          "local\tstring\t$_str_6 \t\"box\"\nlocal\tstring\t$_str_7 \t\"width\"\n"
                          "local\tstring\t$_str_8 \t\"blur\"\nlocal\tstring\t$_str_9 \t\"gaussian\"\n"
                          "param\tfloat\tarr[4]\t0\nparam\tfloat\tshort[2]\t0\nparam\tfloat\tbig\t1000\n"
                          "param\tcolor\tcarr[4]\t0 0 0\n";

} // namespace

TEST(SplineOps, BasesOverTheValuesOnTheStack)
{
    const FloatCase cases[] = {
        {"pushif 40;pushif 30;pushif 20;pushif 10;pushif 0;pushif 4;spline", 20},   // t 0: second value
        {"pushif 40;pushif 30;pushif 20;pushif 10;pushif 1;pushif 4;spline", 30},   // t 1: second-last
        {"pushif 40;pushif 30;pushif 20;pushif 10;pushif 0;pushif 0.5;pushif 5;spline", 20},
        {"pushif 40;pushif 30;pushif 20;pushif 10;pushif 0;pushif 0.75;pushif 5;spline", 25},
        {"pushif 0.5;pushif 0;spline", 0},          // no values at all
        {"pushif 7;pushif 0.5;pushif 1;spline", 7},  // one value
    };
    check_cases(cases, NAMES);
    // Ten times the squares 0, 1, 4, 9 at t = 0.5 under each basis.
    const struct {
        const char *basis;
        float expected;
    } bases[] = {
        {"", 22.5f},                   // Catmull-Rom follows the parabola
        {"pushs $_str_0;", 25},         // linear
        {"pushs $_str_1;", 1240.0f / 48},
        {"pushs $_str_2;", 30},         // bezier
        {"pushs $_str_3;", 22.5f},      // an unknown name: Catmull-Rom
        {"pushs $_str_4;", 10},         // hermite: point, tangent, point, tangent
    };
    for (const auto &b : bases) {
        std::string code = std::string(SQUARES) + b.basis + "pushif 4;" + (*b.basis ? "splineb" : "spline");
        EXPECT_FLOAT_EQ(run_ops(code + ";popf r", NAMES).r(), b.expected) << code;
    }
    const TripleCase triples[] = {
        {"pushiv 9 9 9;pushiv 3 4 5;pushiv 1 2 3;pushiv 0 0 0;pushif 0;pushif 4;colorspline",
         Point(1, 2, 3)},
        {"pushiv 9 9 9;pushiv 3 4 5;pushiv 1 2 3;pushiv 0 0 0;pushif 0.5;pushs $_str_0;pushif 4;"
         "pointsplineb",
         Point(2, 3, 4)},
    };
    check_cases(triples, NAMES);
}

TEST(SplineOps, ArrayFormsNeverReadPastTheArray)
{
    const std::string fill = "pushif 0;pushif 0;apopf arr;pushif 10;pushif 1;apopf arr;"
                             "pushif 40;pushif 2;apopf arr;pushif 90;pushif 3;apopf arr;"
                             "pushif 10;pushif 0;apopf short;pushif 20;pushif 1;apopf short;";
    const FloatCase cases[] = {
        {"pushif 0.5;pushif 4;faspline arr", 22.5f},
        {"pushif 0.5;pushs $_str_0;pushif 4;fasplineb arr", 25},
        // A count beyond the array is cut to it: the next parameter (1000) is never read.
        {"pushif 0.5;pushif 9;faspline arr", 22.5f},
        {"pushif 0.5;pushif 4;faspline short", 20.625f},
        {"pushif 1;pushif 4;faspline short", 10},
        {"pushif 0;pushif 4;faspline short", 20},
    };
    for (const FloatCase &c : cases) {
        optest::Results res = run_ops(fill + c.code + ";popf r", NAMES);
        EXPECT_FLOAT_EQ(res.r(), c.expected) << c.code;
    }
    optest::Results res = run_ops("pushiv 1 2 3;pushif 1;apopc carr;pushiv 2 3 4;pushif 2;apopc carr;"
                                  "pushif 0;pushif 4;caspline carr;popc c", NAMES);
    EXPECT_EQ(res.c(), Point(1, 2, 3));
}

TEST(FilterstepOps, FiltersAndParameters)
{
    EXPECT_EQ(filterstep_core(0.5f, 0.5f, 1, "box"), 0.5f);
    // The quartic's rounded coefficients give a hair over one half.
    EXPECT_NEAR(filterstep_core(0.5f, 0.5f, 1, nullptr), 0.5f, 2e-6);
    EXPECT_NEAR(filterstep_core(0.5f, 0.5f, 1, "gaussian"), 0.5f, 2e-6);
    EXPECT_EQ(filterstep_core(0, 1, 1, "gaussian"), filterstep_core(0, 1, 2, nullptr));
    EXPECT_EQ(filterstep_core(0, 0.1f, 0, nullptr), 1.0f);   // no width: a plain step

    const FloatCase cases[] = {
        // filterstep (0.5, 0.4, 0.6, "filter", "box"): half of [0.4, 0.6] lies past the edge
        {"pushs $_str_6;pushs $_str_5;pushif 0.6;pushif 0.4;pushif 0.5;pushif 2;filterstep3", 0.5f},
        // filterstep (0.5, 0.45, 0.65, "filter", "box"): three quarters
        {"pushs $_str_6;pushs $_str_5;pushif 0.65;pushif 0.45;pushif 0.5;pushif 2;filterstep3", 0.75f},
        // filterstep (0.75, 0.25, 0.75, "width", 2, "filter", "box"): the box [0, 1], a quarter past
        {"pushs $_str_6;pushs $_str_5;pushif 2;pushs $_str_7;pushif 0.75;pushif 0.25;pushif 0.75;"
         "pushif 4;filterstep3",
         0.25f},
        // Without derivatives filterstep2 is a plain step.
        {"pushif 0.3;pushif 0.5;pushif 0;filterstep2", 0},
        {"pushif 0.7;pushif 0.5;pushif 0;filterstep2", 1},
        {"pushif 1;pushs $_str_7;pushif 0.7;pushif 0.5;pushif 2;filterstep2", 1},
    };
    check_cases(cases, NAMES);
    // filterstep (0.5, 0.45, 0.65): the Catmull-Rom kernel of radius 2w (w = 0.2) centred on
    // 0.55, integrated up to the edge: 1/2 + the integral over [0, 1/4] of 1.5t^3 - 2.5t^2 + 1.
    EXPECT_NEAR(run_ops("pushif 0.65;pushif 0.45;pushif 0.5;pushif 0;filterstep3;popf r", NAMES).r(),
                0.5 + (1.5 / 4 / 256 - 2.5 / 3 / 64 + 0.25), 1e-5);

    velktest::ErrorCapture capture;
    ShadingPoint sv;
    optest::Results res = run_ops("pushif 99;pushif 1;pushs $_str_8;pushif 0.7;pushif 0.5;pushif 2;"
                                  "filterstep2;popf r;popf u", sv, NAMES);
    EXPECT_EQ(res.r(), 1.0f);
    EXPECT_EQ(sv.u, 99.0f);
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.reports[0].code, RIE_BADTOKEN);
    EXPECT_EQ(capture.reports[0].message, "Bad param to filterstep: blur");
}

namespace {

// The Catmull-Rom kernel of radius 2 (its integral is 1).
double catmull_rom(double x)
{
    x = std::fabs(x);
    if (x < 1) return 1.5 * x * x * x - 2.5 * x * x + 1;
    if (x < 2) return -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2;
    return 0;
}

// The part of the named filter of width w centred on s that lies past edge,
// integrated numerically (Simpson): a box as wide as w, the Catmull-Rom
// kernel reaching 2w (no name, "catmull-rom") or else 4w.
double integrated_step(const char *filter, double edge, double s, double w)
{
    bool box = filter && !std::strcmp(filter, "box");
    double reach = box ? w / 2 : (!filter || !std::strcmp(filter, "catmull-rom")) ? 2 * w : 4 * w;
    auto kernel = [&](double t) { return box ? 1 / w : catmull_rom(2 * t / reach) * 2 / reach; };
    double hi = std::fmin(reach, s - edge);
    if (!(hi > -reach)) return 0;
    const int n = 4000;
    double h = (hi + reach) / n, sum = kernel(-reach) + kernel(hi);
    for (int i = 1; i < n; ++i) sum += kernel(-reach + i * h) * (i % 2 ? 4 : 2);
    return sum * h / 3;
}

// filterstep2 (edge, u, "filter", name) in the +du neighbour (u + du), the
// +dv neighbour (u) and the point itself (u): filtered over the change du.
float filterstep_over_u(float edge, float u, float du, const char *filter_name)
{
    ShadingPoint sv;
    sv.u = u;
    sv.shade_du = sv.shade_dv = 0.1f;
    sv.doareaops = 1;
    DerivScratch scratch(&sv);
    ShadingPoint nu = sv, nv = sv;
    nu.u = u + du;
    nu.whichdisp = DISP_DU;
    nv.whichdisp = DISP_DV;
    std::string code = std::string(filter_name ? filter_name : "") + "pushf u;pushif " + std::to_string(edge) +
                       ";pushif " + (filter_name ? "2" : "0") + ";filterstep2;popf r";
    run_ops(code, nu, NAMES);
    run_ops(code, nv, NAMES);
    return run_ops(code, sv, NAMES).r();
}

} // namespace

// Every filter is continuous and gives the integral of the filter it names,
// out to the filter's full reach (a Catmull-Rom step overshoots 1 between
// one and two widths).
TEST(FilterstepOps, TheIntegralOfTheNamedFilter)
{
    const char *const names[] = {nullptr, "catmull-rom", "box", "gaussian", "triangle", "sinc", "disk"};
    for (const char *name : names)
        for (float w : {0.2f, 1.0f, 3.0f})
            for (int k = -60; k <= 60; ++k) {
                float s = 0.5f + k * w / 12;
                EXPECT_NEAR(filterstep_core(0.5f, s, w, name), integrated_step(name, 0.5, s, w), 1e-4)
                    << (name ? name : "default") << " w " << w << " s " << s;
            }

    // filterstep (0, 0.099, 0.299) and (0, 0.101, 0.301): the edge 0.995 and
    // 1.005 widths below the centre, where the step overshoots.
    EXPECT_NEAR(run_ops("pushif 0.299;pushif 0.099;pushif 0;pushif 0;filterstep3;popf r", NAMES).r(),
                integrated_step(nullptr, 0, 0.199, 0.2), 1e-4);
    EXPECT_NEAR(run_ops("pushif 0.301;pushif 0.101;pushif 0;pushif 0;filterstep3;popf r", NAMES).r(),
                integrated_step(nullptr, 0, 0.201, 0.2), 1e-4);
    EXPECT_NEAR(run_ops("pushs $_str_9;pushs $_str_5;pushif 0.3;pushif -0.1;pushif -0.5;pushif 2;filterstep3;"
                        "popf r", NAMES).r(),
                integrated_step("gaussian", -0.5, 0.1, 0.4), 1e-4);
    // filterstep (edge, u) over the change of u between neighbours (0.1):
    // the edge 1.5 widths below, and 3 widths below with a wider filter.
    EXPECT_NEAR(filterstep_over_u(0.35f, 0.5f, 0.1f, nullptr), integrated_step(nullptr, 0.35, 0.5, 0.1), 1e-4);
    EXPECT_NEAR(filterstep_over_u(0.2f, 0.5f, -0.1f, "pushs $_str_9;pushs $_str_5;"),
                integrated_step("gaussian", 0.2, 0.5, 0.1), 1e-4);
}

namespace {

// The derivative operations of one shader, their results in parameters.
const char *const DERIV_DECLS = "param\tfloat\tdu_u\t0\nparam\tfloat\tdv_u\t0\nparam\tfloat\tdvdx\t0\n"
                                "param\tfloat\tar\t0\nparam\tfloat\tstep\t0\n"
                                "param\tcolor\tdP\t0 0 0\nparam\tcolor\tnrm\t0 0 0\n"
                                "param\tcolor\tdCdx\t0 0 0\n";
const char *const DERIV_CODE =
    "pushf u;Duf;popf du_u;pushf u;Dvf;popf dv_u;"
    "pushf u;pushif 3;pushf u;mulff;Derivf;popf dvdx;"   // Deriv (3u, u)
    "pushv P;area;popf ar;pushv P;Duv;popc dP;pushv P;calculatenormal;popc nrm;"
    "pushf u;pushv P;Derivv;popc dCdx;"                   // Deriv (P, u)
    "pushf u;pushif 0.5;pushif 0;filterstep2;popf step";

// Words of the results after r, c and m.
enum { DU_U = 20, DV_U, DVDX, AREA, STEP, DP, NRM = DP + 3, DCDX = NRM + 3 };

Point triple_at(const optest::Results &res, int word)
{
    return Point(res.at(word), res.at(word + 1), res.at(word + 2));
}

// Runs the +du and +dv neighbours and then the main run of one point: the
// neighbours move u and P along x, and P along y.
optest::Results run_neighbours_and_main(ShadingPoint &sv, optest::Results *placeholder = nullptr)
{
    sv.u = 0.5f;
    sv.Ps = Point(0, 0, 0);
    sv.shade_du = 0.1f;
    sv.shade_dv = 0.2f;
    sv.doareaops = 1;
    DerivScratch scratch(&sv);
    ShadingPoint nu = sv, nv = sv;
    nu.u = 0.6f;
    nu.Ps = Point(0.1f, 0, 0);
    nu.whichdisp = DISP_DU;
    nv.Ps = Point(0, 0.2f, 0);
    nv.whichdisp = DISP_DV;
    optest::Results first = run_ops(DERIV_CODE, nu, DERIV_DECLS);
    if (placeholder) *placeholder = first;
    run_ops(DERIV_CODE, nv, DERIV_DECLS);
    optest::Results res = run_ops(DERIV_CODE, sv, DERIV_DECLS);
    EXPECT_EQ(sv.highestscratch, 2 + 2 + 4 + 6 + 6 + 6 + 8 + 2);
    return res;
}

} // namespace

TEST(DerivOps, NeighbourRunsFeedTheMainRun)
{
    ShadingPoint sv;
    optest::Results placeholder;
    optest::Results res = run_neighbours_and_main(sv, &placeholder);
    EXPECT_FLOAT_EQ(placeholder.at(DU_U), DERIV_PLACEHOLDER);
    EXPECT_EQ(triple_at(placeholder, NRM), Point(0, 0, 0));
    EXPECT_EQ(placeholder.at(STEP), 1.0f);   // a plain step at the edge
    EXPECT_NEAR(res.at(DU_U), 1, 1e-5);
    EXPECT_EQ(res.at(DV_U), 0.0f);
    EXPECT_NEAR(res.at(DVDX), 3, 1e-5);   // only the u direction moves x
    EXPECT_NEAR(res.at(AREA), 0.02f, 1e-7);
    Point dP = triple_at(res, DP);
    EXPECT_NEAR(dP.x, 1, 1e-6);
    EXPECT_EQ(dP.y, 0.0f);
    EXPECT_EQ(triple_at(res, NRM), Point(0, 0, 1));
    Point dCdx = triple_at(res, DCDX);
    EXPECT_NEAR(dCdx.x, 1, 1e-5);
    EXPECT_EQ(dCdx.y, 0.0f);
    // filterstep over the change of s (0.1 here) at the edge is half way.
    EXPECT_NEAR(res.at(STEP), 0.5f, 2e-6);
}

TEST(DerivOps, CalculatenormalFollowsTheOrientation)
{
    ShadingPoint sv;
    sv.surf.set(new GState);
    sv.surf->orientation = 1;   // inside out against a right-handed object
    optest::Results res = run_neighbours_and_main(sv);
    EXPECT_EQ(triple_at(res, NRM), Point(0, 0, -1));
}

TEST(DerivOps, PlaceholdersWithoutDerivatives)
{
    ShadingPoint sv;
    sv.u = 0.5f;
    sv.Ps = Point(1, 2, 3);
    optest::Results res = run_ops(DERIV_CODE, sv, DERIV_DECLS);
    EXPECT_FLOAT_EQ(res.at(DU_U), DERIV_PLACEHOLDER);
    EXPECT_FLOAT_EQ(res.at(DVDX), DERIV_PLACEHOLDER);
    EXPECT_FLOAT_EQ(res.at(AREA), DERIV_PLACEHOLDER);
    EXPECT_EQ(triple_at(res, DP), Point(DERIV_PLACEHOLDER));
    EXPECT_EQ(triple_at(res, NRM), Point(0, 0, 0));
    EXPECT_EQ(res.at(STEP), 1.0f);
}

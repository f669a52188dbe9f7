#include "ri_common/basis.h"

RtBasis RiBezierBasis = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}};
RtBasis RiBSplineBasis = {{-1.0f / 6, 3.0f / 6, -3.0f / 6, 1.0f / 6},
                          {3.0f / 6, -6.0f / 6, 3.0f / 6, 0},
                          {-3.0f / 6, 0, 3.0f / 6, 0},
                          {1.0f / 6, 4.0f / 6, 1.0f / 6, 0}};
RtBasis RiCatmullRomBasis = {{-0.5f, 1.5f, -1.5f, 0.5f}, {1, -2.5f, 2, -0.5f},
                             {-0.5f, 0, 0.5f, 0}, {0, 1, 0, 0}};
RtBasis RiHermiteBasis = {{2, 1, -2, 1}, {-3, -2, 3, -1}, {0, 1, 0, 0}, {1, 0, 0, 0}};
RtBasis RiPowerBasis = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

bool is_builtin_basis(const float *m)
{
    return m == &RiBezierBasis[0][0] || m == &RiBSplineBasis[0][0] ||
           m == &RiCatmullRomBasis[0][0] || m == &RiHermiteBasis[0][0] ||
           m == &RiPowerBasis[0][0];
}

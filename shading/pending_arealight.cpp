// TEMPORARY: area lights sample their surfaces through the geometry module's
// area_sample, which is not in the tree yet; until then an area light has no
// surface to sample. Delete when the real definition lands.
#include "shading/lightsource.h"

int LightSource::random_area_sample(ShaderVars *, int, int, const Point &, float *weight)
{
    *weight = 0;
    return 0;
}

// The standard tokens' names and declarations: the renderer declares them
// at start-up, the RIB writer knows them as declared.
#pragma once

// X(variable, text, declaration or nullptr for interned-only names), in declaration order.
#define VELK_STANDARD_TOKENS(X) \
    X(intensity, "intensity", "float") \
    X(coneangle, "coneangle", "float") \
    X(conedeltaangle, "conedeltaangle", "float") \
    X(beamdistribution, "beamdistribution", "float") \
    X(Ka, "Ka", "float") \
    X(Kd, "Kd", "float") \
    X(Ks, "Ks", "float") \
    X(Kr, "Kr", "float") \
    X(roughness, "roughness", "float") \
    X(mindistance, "mindistance", "float") \
    X(maxdistance, "maxdistance", "float") \
    X(distance, "distance", "float") \
    X(amplitude, "amplitude", "float") \
    X(fov, "fov", "float") \
    X(patch_multiplier, "patch_multiplier", "float") \
    X(branch_ratio, "branch_ratio", "float") \
    X(max_branch_ratio, "max_branch_ratio", "float") \
    X(patchsize, "patchsize", "float") \
    X(elemsize, "elemsize", "float") \
    X(minsize, "minsize", "float") \
    X(minshadowbias, "minshadowbias", "float") \
    X(maxshadowbias, "maxshadowbias", "float") \
    X(refractionindex, "refractionindex", "float") \
    X(displacement, "displacement", "float") \
    X(bias0, "bias0", "float") \
    X(bias1, "bias1", "float") \
    X(zlerp, "zlerp", "float") \
    X(sphere, "sphere", "float") \
    X(backfacetolerance, "backfacetolerance", "float") \
    X(maxerror, "maxerror", "float") \
    X(maxpixeldist, "maxpixeldist", "float") \
    X(lightcolor, "lightcolor", "color") \
    X(specularcolor, "specularcolor", "color") \
    X(background, "background", "color") \
    X(averagecolor, "averagecolor", "color") \
    X(emissioncolor, "emissioncolor", "color") \
    X(refractioncolor, "refractioncolor", "color") \
    X(clearcolor, "clearcolor", "color") \
    X(zthreshold, "zthreshold", "color") \
    X(othreshold, "othreshold", "color") \
    X(from, "from", "point") \
    X(to, "to", "point") \
    X(Np, "Np", "point") \
    X(texturename, "texturename", "string") \
    X(rgb, "rgb", "string") \
    X(archive, "archive", "string") \
    X(include, "include", "string") \
    X(texture, "texture", "string") \
    X(shader, "shader", "string") \
    X(procedural, "procedural", "string") \
    X(serverresource, "serverresource", "string") \
    X(resource, "resource", "string") \
    X(display, "display", "string") \
    X(casts_shadows, "casts_shadows", "string") \
    X(shadows, "shadows", "string") \
    X(zonal, "zonal", "string") \
    X(verbosity, "verbosity", "string") \
    X(cache, "cache", "string") \
    X(name, "name", "string") \
    X(shadinggroup, "shadinggroup", "string") \
    X(algorithm, "algorithm", "string") \
    X(interleave, "interleave", "string") \
    X(coordinatesystem, "coordinatesystem", "string") \
    X(sense, "sense", "string") \
    X(framebufferaddr, "framebufferaddr", "string") \
    X(scanlinecallback, "scanlinecallback", "string") \
    X(resolutionunit, "resolutionunit", "string") \
    X(compression, "compression", "string") \
    X(zcompression, "zcompression", "string") \
    X(rowsperstrip, "rowsperstrip", "string") \
    X(filename, "filename", "string") \
    X(mpcachedir, "mpcachedir", "string") \
    X(seedfile, "seedfile", "string") \
    X(savefile, "savefile", "string") \
    X(resize, "resize", "string") \
    X(category, "__category", "string") \
    X(N, "N", "varying normal") \
    X(P, "P", "vertex point") \
    X(Pz, "Pz", "vertex float") \
    X(Pw, "Pw", "vertex hpoint") \
    X(Cs, "Cs", "varying color") \
    X(Os, "Os", "varying color") \
    X(s, "s", "varying float") \
    X(t, "t", "varying float") \
    X(width, "width", "varying float") \
    X(nondiffuse, "__nondiffuse", "varying float") \
    X(nonspecular, "__nonspecular", "varying float") \
    X(st, "st", "varying float[2]") \
    X(constantwidth, "constantwidth", "constant float") \
    X(minwidth, "minwidth", "constant float") \
    X(look_behind, "look_behind", "integer") \
    X(patch_maxlevel, "patch_maxlevel", "integer") \
    X(patch_minlevel, "patch_minlevel", "integer") \
    X(patch_splitdepth, "patch_splitdepth", "integer") \
    X(verbose, "verbose", "integer") \
    X(maxsamples, "maxsamples", "integer") \
    X(minsamples, "minsamples", "integer") \
    X(use_hierarchy, "use_hierarchy", "integer") \
    X(max_raylevel, "max_raylevel", "integer") \
    X(debug, "debug", "integer") \
    X(has_caustics, "has_caustics", "integer") \
    X(has_shadows, "has_shadows", "integer") \
    X(shadowrays, "shadowrays", "integer") \
    X(steps, "steps", "integer") \
    X(minpatchsamples, "minpatchsamples", "integer") \
    X(prmanspecular, "prmanspecular", "integer") \
    X(cooktorrancespecular, "cooktorrancespecular", "integer") \
    X(truedisplacement, "truedisplacement", "integer") \
    X(use_shadingrate, "use_shadingrate", "integer") \
    X(visibility, "visibility", "integer") \
    X(gridsize, "gridsize", "integer") \
    X(binary, "binary", "integer") \
    X(eyesplits, "eyesplits", "integer") \
    X(jitter, "jitter", "integer") \
    X(texturememory, "texturememory", "integer") \
    X(geommemory, "geommemory", "integer") \
    X(derivmemory, "derivmemory", "integer") \
    X(enable_gaussian, "enable gaussian", "integer") \
    X(enable_lerp, "enable lerp", "integer") \
    X(disable, "disable", "integer") \
    X(automatic, "automatic", "integer") \
    X(pdisc, "pdisc", "integer") \
    X(pdisk, "pdisk", "integer") \
    X(endofframe, "endofframe", "integer") \
    X(profile_shaders, "profile_shaders", "integer") \
    X(merge, "merge", "integer") \
    X(nsamples, "nsamples", "integer") \
    X(primary, "primary", "integer") \
    X(secondary, "secondary", "integer") \
    X(shadow, "shadow", "integer") \
    X(udivisions, "udivisions", "integer") \
    X(vdivisions, "vdivisions", "integer") \
    X(windowid, "windowid", "integer") \
    X(windowdpy, "windowdpy", "integer") \
    X(windowrc, "windowrc", "integer") \
    X(windowstyle, "windowstyle", "integer") \
    X(windowvi, "windowvi", "integer") \
    X(windowcmap, "windowcmap", "integer") \
    X(clearfb, "clearfb", "integer") \
    X(waitforlastframe, "waitforlastframe", "integer") \
    X(doublebuffer, "doublebuffer", "integer") \
    X(dumpimage, "dumpimage", "integer") \
    X(extremedisplacement, "extremedisplacement", "integer") \
    X(doubleshaded, "doubleshaded", "integer") \
    X(outputalldeclares, "outputalldeclares", "integer") \
    X(rasterorient, "rasterorient", "integer") \
    X(subpixel, "subpixel", "integer") \
    X(strategy, "strategy", "integer") \
    X(mpcache, "mpcache", "integer") \
    X(mpmemory, "mpmemory", "integer") \
    X(mpcachestride, "mpcachestride", "integer") \
    X(ysplits, "ysplits", "integer") \
    X(timer, "timer", "integer") \
    X(opacitycull, "opacitycull", "integer") \
    X(hair, "hair", "integer") \
    X(clampwidth, "clampwidth", "integer") \
    X(safetyfile, "safetyfile", "integer") \
    X(centered, "centered", "integer") \
    X(extrapolate, "extrapolate", "integer") \
    X(curvethinning, "curvethinning", "integer") \
    X(curvethinthreshold, "curvethinthreshold", "integer") \
    X(useprmandspy, "useprmandspy", "integer") \
    X(useprmannoise, "useprmannoise", "integer") \
    X(minvalid, "minvalid", "integer") \
    X(interpolate, "interpolate", "integer") \
    X(preseed, "preseed", "integer") \
    X(origin, "origin", "integer[2]") \
    X(bucketsize, "bucketsize", "integer[2]") \
    X(windowlocation, "windowlocation", "int[2]") \
    X(colorclamp, "colorclamp", "float[2]") \
    X(resolution, "resolution", "float[2]") \
    X(pickregion, "pickregion", "float[4]") \
    X(zblur, "zblur", "float[6]") \
    X(transform, "transform", "matrix") \
    X(box, "box", nullptr) \
    X(catmull_rom, "catmull-rom", nullptr) \
    X(gaussian, "gaussian", nullptr) \
    X(triangle, "triangle", nullptr) \
    X(sinc, "sinc", nullptr) \
    X(filter, "filter", nullptr) \
    X(swidth, "swidth", nullptr) \
    X(twidth, "twidth", nullptr) \
    X(fill, "fill", nullptr) \
    X(fidelity, "fidelity", nullptr) \
    X(samples, "samples", nullptr) \
    X(blur, "blur", nullptr) \
    X(sblur, "sblur", nullptr) \
    X(tblur, "tblur", nullptr) \
    X(bias, "bias", nullptr) \
    X(lerp, "lerp", nullptr) \
    X(gapbias, "gapbias", nullptr) \
    X(gapopt, "gapopt", nullptr) \
    X(source, "source", nullptr) \
    X(refblur, "refblur", nullptr) \
    X(srefblur, "srefblur", nullptr) \
    X(trefblur, "trefblur", nullptr) \
    X(linear, "linear", nullptr) \
    X(cubic, "cubic", nullptr) \
    X(raster, "raster", nullptr) \
    X(screen, "screen", nullptr) \
    X(NDC, "NDC", nullptr) \
    X(camera, "camera", nullptr) \
    X(eye, "eye", nullptr) \
    X(world, "world", nullptr) \
    X(current, "current", nullptr) \
    X(object, "object", nullptr)

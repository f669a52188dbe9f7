// What each kind of shader may do: light statements only in lights, light
// loops not in displacements, lights do not set the surface colour.
#pragma once

namespace murn {

class ParseNode;

// Reports (once per node) a light statement, illuminance loop or assignment
// that the shader being compiled may not hold, with the rule broken.
void check_kind_rule(ParseNode *node);

} // namespace murn

// The RIB writer as the binding's back end: the one the RI procedures call
// in a program that does not link the renderers' front end.
#pragma once
#include "binding/backend.h"

const RiBackend &rib_writer_backend();

// A model header that reaches up into the engine: the layering check must
// refuse it.
#pragma once

#include "engine/compute.h"

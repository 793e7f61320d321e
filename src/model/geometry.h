// The geometry records live in the foundation; the model includes them under its old name.
#pragma once
#include "foundation/geometry.h"

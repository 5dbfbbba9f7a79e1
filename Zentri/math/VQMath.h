// All of the engine's math types and geometry queries in one include.
#pragma once

#include "Zentri/math/VQColor.h"
#include "Zentri/math/VQGeometry.h"
#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQQuaternion.h"
#include "Zentri/math/VQVector.h"

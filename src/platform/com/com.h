#pragma once
// Everything of the object model in one include.
#include "comptr.h"
#include "cunknown.h"
#include "guid.h"
#include "hresult.h"
#include "types.h"
#include "unknown.h"

#pragma once
// The media framework: interfaces, media types and formats, threading
// primitives, samples and allocators, filter and pin base classes, transform,
// output queue, seeking pass-through, asynchronous reader, renderer, clocks
// and the filter graph manager.
#include "asyncreader.h"
#include "filter.h"
#include "formats.h"
#include "graph.h"
#include "guids.h"
#include "interfaces.h"
#include "mediatype.h"
#include "outputqueue.h"
#include "refclock.h"
#include "renderer.h"
#include "sample.h"
#include "seeking.h"
#include "sync.h"
#include "transform.h"

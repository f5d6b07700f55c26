#include "clip.h"

CurrentClipState CurrentClip;
VideoSize ProcessVideoSize;

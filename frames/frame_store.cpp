#include "frames/frame_store.h"

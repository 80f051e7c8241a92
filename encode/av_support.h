#pragma once
// The colour-conversion set-up of the encoder. The owners of FFmpeg's records and its error
// text come from media/av_owners.h.

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "media/av_owners.h"

namespace orv::av {

// The swscale colour table of a stream's matrix tag.
int sws_colourspace(AVColorSpace space, int height);

// Conversion flags: accurate rounding, full chroma interpolation, no platform-dependent
// shortcuts, so that every machine converts the same frame to the same bytes.
constexpr int conversion_flags =
    SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

}  // namespace orv::av

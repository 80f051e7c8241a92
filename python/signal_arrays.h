#pragma once
// Frames of more than 8 bits from numpy arrays: uint16 (values / 65535) and float arrays
// (values in [0, 1]) of shape (H, W, 3), RGB, row 0 the top, become an exact signal frame
// (rows bottom-up) and the 24-bit frame of the same picture (each value * 255 rounded).

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "image/pixel_buffer.h"
#include "image/signal_frame.h"

namespace orv {

// True for a numpy array of dtype uint16, float32 or float64.
bool is_deep_array(const pybind11::handle& object);

// Reads such an array; TypeError / ValueError for another shape, a size out of range or a
// float value that is not finite. Values outside [0, 1] are clipped.
void signal_from_array(const pybind11::handle& object, const char* what, SignalFrame& signal,
                       PixelBuffer& frame);

}  // namespace orv

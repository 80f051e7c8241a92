#pragma once
// Frames as numpy arrays and back. 24-bit frames are uint8 arrays; frames of more than 8 bits
// come from numpy arrays: uint16 (values / 65535) and float arrays
// (values in [0, 1]) of shape (H, W, 3), RGB, row 0 the top, become an exact signal frame
// (rows bottom-up) and the 24-bit frame of the same picture (each value * 255 rounded).

#include <cstdint>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "image/pixel_buffer.h"
#include "image/signal_frame.h"

namespace orv {

// Copies an RGB (height, width, 3) uint8 array of any strides into a frame buffer (blue,
// green, red, bottom row first); TypeError / ValueError for another dtype, shape or size.
PixelBuffer frame_from_array(const pybind11::handle& object, const char* what);

// The frame buffer as a uint8 (height, width, 3) RGB array, row 0 the top.
pybind11::array_t<std::uint8_t> array_from_frame(const PixelBuffer& frame);

// True for a numpy array of dtype uint16, float32 or float64.
bool is_deep_array(const pybind11::handle& object);

// Reads such an array; TypeError / ValueError for another shape, a size out of range or a
// float value that is not finite. Values outside [0, 1] are clipped.
void signal_from_array(const pybind11::handle& object, const char* what, SignalFrame& signal,
                       PixelBuffer& frame);

}  // namespace orv

#pragma once
// A frame's non-linear signal values kept exact beside its 24-bit pixels: for inputs of more
// than 8 bits, red, green and blue of every pixel as doubles in [0, 1], rows bottom-up as in
// a PixelBuffer. An empty frame means "none": the 24-bit pixels are the signal.

#include <cstddef>
#include <vector>

namespace orv {

// The memory of the signal frames' values. A full-HD frame's values take 47 MB, above the
// allocator's mapping threshold, so every frame would come in fresh pages for the kernel to
// clear; the two blocks released last (a pair's frames) are kept for the next frames.
void* take_signal_memory(std::size_t bytes);
void release_signal_memory(void* block, std::size_t bytes) noexcept;

template <class T>
struct SignalAllocator {
    using value_type = T;
    SignalAllocator() = default;
    template <class U>
    explicit SignalAllocator(const SignalAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(take_signal_memory(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { release_signal_memory(p, n * sizeof(T)); }
    friend bool operator==(const SignalAllocator&, const SignalAllocator&) { return true; }
};

struct SignalFrame {
    int width = 0;
    int height = 0;
    // pixel (x, y) at 3 * (y * width + x): red, green, blue
    std::vector<double, SignalAllocator<double>> rgb;

    bool present() const { return !rgb.empty(); }
    const double* row(int y) const {
        return rgb.data() + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
};

inline SignalFrame make_signal_frame(int width, int height) {
    SignalFrame f;
    f.width = width;
    f.height = height;
    f.rgb.assign(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0.0);
    return f;
}

}  // namespace orv

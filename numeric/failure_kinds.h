#pragma once
// Every failure the system reports, with its English text. In a text, {p} stands for the
// failure's path, {0}, {1}, ... for its values in order, and {f} for the filter a kernel
// failure is about ("kernel file [PATH]", or the filter being sized when there is no path).
// The system's reason, where there is one, follows the text after ": ".
//
// X(kind, english)
#define ORV_FAILURE_KINDS(X)                                                                       \
    /* Files in general. */                                                                        \
    X(cannot_open, "cannot open {p}")                                                              \
    X(cannot_create, "cannot create {p}")                                                          \
    X(cannot_write, "cannot write {p}")                                                            \
    X(file_exists, "{p} already exists; it is never overwritten")                                  \
    X(output_exists, "{p} already exists; orv-cli never overwrites a file")                        \
    X(cannot_make_folder, "cannot make the output folder {p}")                                     \
    X(output_no_folder, "cannot write {p}: its folder {0} does not exist")                         \
    X(output_not_folder, "cannot write {p}: {0} is not a folder")                                  \
    X(output_twice, "{p} is named twice as an output")                                             \
    X(out_of_memory, "out of memory")                                                              \
    /* BMP files. */                                                                               \
    X(not_a_bmp, "{p} is not a usable 24- or 8-bit BMP file")                                      \
    X(bmp_truncated_header, "{p} is not a usable 24- or 8-bit BMP file (its header is cut short)") \
    X(bmp_header_format,                                                                           \
      "{p} is not a usable 24- or 8-bit BMP file (its information header is shorter than 40 "      \
      "bytes)")                                                                                    \
    X(bmp_compressed, "{p} is not a usable 24- or 8-bit BMP file (it is compressed)")              \
    X(bmp_bad_size, "{p} is not a usable 24- or 8-bit BMP file (its width or height is invalid)")  \
    X(bmp_top_down,                                                                                \
      "{p} is not a usable 24- or 8-bit BMP file (its rows run top-down: the height is "           \
      "negative)")                                                                                 \
    X(bmp_too_large, "{p} is not a usable 24- or 8-bit BMP file (its picture is too large)")       \
    X(bmp_out_of_memory, "{p}: there is not enough memory to read it")                             \
    X(bmp_truncated_pixels,                                                                        \
      "{p} is not a usable 24- or 8-bit BMP file (its pixel data runs past the end of the "        \
      "file)")                                                                                     \
    X(bmp_bad_colour_table,                                                                        \
      "{p} is not a usable 24- or 8-bit BMP file (its colour table is invalid)")                   \
    X(bmp_bad_colour_index,                                                                        \
      "{p} is not a usable 24- or 8-bit BMP file (it uses a colour number outside its colour "     \
      "table)")                                                                                    \
    X(bmp_bad_frame, "cannot write {p}: the frame's pixels or header are invalid")                 \
    /* Video, image and raw files. */                                                              \
    X(media_cannot_open, "{p}: cannot open")                                                       \
    X(media_unreadable, "{p}: not a video or image file ORV can read, or one cut short")           \
    X(media_text_file, "{p}: not a video or image file ORV can read")                              \
    X(media_no_streams, "{p}: cannot read its streams")                                            \
    X(media_no_video, "{p}: holds no video stream")                                                \
    X(media_no_decoder, "{p}: no decoder for its video codec '{0}'")                               \
    X(media_decoder_setup, "{p}: cannot set up its decoder")                                       \
    X(media_decoder_open, "{p}: cannot open its decoder")                                          \
    X(media_out_of_memory, "{p}: out of memory")                                                   \
    X(media_no_frame_size, "{p}: has no frame size")                                               \
    X(media_size_changes,                                                                          \
      "{p}: frame {0} is {1} but the first frame is {2}; the frame size must not change")          \
    X(media_too_large, "{p}: its frames are too large")                                            \
    X(media_raw_needs_format, "{p}: a raw file needs --size WxH and --pix-fmt NAME")               \
    X(media_raw_unknown_format, "{p}: unknown raw pixel format '{0}'")                             \
    X(media_raw_empty, "{p}: holds no frames (expected {0})")                                      \
    X(media_raw_length, "{p}: holds {0} bytes, not a whole number of {1} each")                    \
    X(media_corrupt, "{p}: is truncated or corrupt")                                               \
    X(media_damaged_frame, "{p}: frame {0} is damaged")                                            \
    X(media_ends_early, "{p}: ends after {0} of its {1} frames; the file is truncated or corrupt") \
    X(media_changed, "{p}: changed while being read")                                              \
    X(media_last_frame_cut, "{p}: is truncated: its last frame is incomplete")                     \
    X(media_index_short, "{p}: is truncated: it holds {0} of the {1} frames its index lists")      \
    X(media_duration_short, "{p}: is truncated: its frames stop before the duration it states")    \
    X(media_matrix,                                                                                \
      "{p}: its colour matrix '{0}' is not one of BT.601, BT.709, BT.2020; choose one with "       \
      "--matrix")                                                                                  \
    X(media_unknown_pixel_format, "{p}: has frames of an unknown pixel format")                    \
    X(media_cannot_convert, "{p}: cannot convert its pixel format")                                \
    X(media_no_frames, "{p}: holds no frames")                                                     \
    X(media_too_many_frames, "{p}: too many frames")                                               \
    X(media_start_beyond, "{p}: skipping {0} frames leaves none; the sequence holds {1}")          \
    X(media_not_read, "{p}: not read after an earlier failure")                                    \
    X(media_missing_frame, "{p}: ends before frame {0}")                                           \
    X(media_damaged,                                                                               \
      "{p}: is damaged: {1} of its frames cannot be decoded, the first frame {0} "                 \
      "(--allow-damaged measures the frames that can)")                                            \
    X(no_profile,                                                                                  \
      "{p} holds no profile ({0} is missing): name the profile-data folder with --profile")        \
    X(media_no_frame, "{p}: has no frame {0}")                                                     \
    /* Profile files and colour conversions. */                                                    \
    X(profile_cannot_open, "Error: file open [{p}].")                                              \
    X(profile_folder_wrong, "the profile folder {p} holds no kernel_L.txt")                        \
    X(profile_token_too_long, "Error: file [{p}] holds a token longer than {0} characters.")       \
    X(profile_incomplete,                                                                          \
      "Error: file [{p}] is incomplete: it holds {0} of the {1} values it needs.")                 \
    X(profile_value_out_of_range,                                                                  \
      "Error: file [{p}] holds the value \"{0}\", which is out of range.")                         \
    X(display_not_finite,                                                                          \
      "Error: display model [{p}]: the {0} channel holds a value that is not a finite number.")    \
    X(display_gain_zero,                                                                           \
      "Error: display model [{p}]: the {0} gain is 0, so the model cannot be inverted.")           \
    X(display_gamma_not_positive,                                                                  \
      "Error: display model [{p}]: the {0} gamma is not above 0, so the model cannot be "          \
      "inverted.")                                                                                 \
    X(display_gamma_too_small,                                                                     \
      "Error: display model [{p}]: the {0} gamma is too small to be inverted.")                    \
    X(display_overflow,                                                                            \
      "Error: display model [{p}]: the {0} channel overflows for bright pixels (gain, offset "     \
      "and gamma too large).")                                                                     \
    X(matrix_not_finite, "Error: matrix [{p}] holds a value that is not a finite number.")         \
    X(matrix_too_large, "Error: matrix [{p}] holds a value too large to be used.")                 \
    X(matrix_singular, "Error: matrix [{p}] is singular and cannot be inverted.")                  \
    X(composed_matrix_not_finite,                                                                  \
      "Error: matrix [{0} to ATD of {p}] holds a value that is not a finite number.")              \
    X(composed_matrix_too_large,                                                                   \
      "Error: matrix [{0} to ATD of {p}] holds a value too large to be used.")                     \
    X(composed_matrix_singular,                                                                    \
      "Error: matrix [{0} to ATD of {p}] is singular and cannot be inverted.")                     \
    X(inverse_not_finite, "Error: a colour matrix could not be inverted.")                         \
    X(frame_too_large,                                                                             \
      "The {0} frame is {1} x {2} pixels; frames wider or taller than {3} pixels cannot be "       \
      "measured.")                                                                                 \
    X(pixel_buffer_incomplete,                                                                     \
      "The {0} pixel buffer ({1} x {2}, stride {3}, {4} bytes) does not hold a whole frame.")      \
    X(planes_incomplete, "The {0} planes do not each hold {1} x {2} values.")                      \
    X(destination_mismatch,                                                                        \
      "The destination buffer ({0} x {1}) does not match the image ({2} x {3}).")                  \
    X(cielab_size_mismatch,                                                                        \
      "The two CIELAB images differ in size ({0} x {1} and {2} x {3}) and cannot be compared.")    \
    /* Kernel files and filters. */                                                                \
    X(kernel_token_too_long, "Error: kernel file [{p}] holds a token longer than {0} characters.") \
    X(kernel_incomplete,                                                                           \
      "Error: kernel file [{p}] is incomplete: it ends before the last weight.")                   \
    X(kernel_count_too_small,                                                                      \
      "Error: kernel file [{p}] has a component count of {0}; at least 1 is needed.")              \
    X(kernel_count_too_large,                                                                      \
      "Error: kernel file [{p}] has a component count of {0}; at most {1} are allowed.")           \
    X(filter_no_components, "Error: {f} has no Gaussian components (count {0}).")                  \
    X(filter_missing_values, "Error: {f} lacks spreads or weights for its {0} components.")        \
    X(filter_not_finite, "Error: {f} holds a value that is not a finite number.")                  \
    X(filter_zero_spread, "Error: {f} has a component of spread 0.")                               \
    X(filter_too_wide, "Error: {f} is too wide: its kernel would need more than {0} samples.")     \
    X(kernel_angle_not_positive, "Error: the kernel sample angle must be a positive number.")      \
    X(filter_without_kernel, "Error: a filter without a kernel has no response.")                  \
    X(filter_without_response, "Error: a filter without a response cannot be normalised.")         \
    X(filter_all_zero,                                                                             \
      "Error: a filter whose kernel is all zero (or not finite) has no usable response; check "    \
      "its weights.")                                                                              \
    X(kernel_narrowing, "Error: a kernel can only be widened.")                                    \
    X(filters_not_loaded, "Error: the filters have not been loaded.")                              \
    X(filter_fields_not_loaded, "The filters have not been loaded: load the kernel files first.")  \
    /* The measurement. */                                                                         \
    X(filters_not_ready,                                                                           \
      "The ATD filters are not ready: load and apply the filter settings first.")                  \
    X(sample_angle_not_positive, "The kernel sample angle must be a positive number.")             \
    X(sample_angle_too_large, "The kernel sample angle is too large for the ATD filters.")         \
    X(output_buffer_mismatch, "The {0} buffer ({1} x {2}) does not match the frame ({3} x {4}).")  \
    X(spill_read_back, "Cannot read the filtered reference frame back from its temporary file.")   \
    X(frame_sizes_differ,                                                                          \
      "The reference frame ({0} x {1}) and the degraded frame ({2} x {3}) differ in size and "     \
      "cannot be compared.")                                                                       \
    X(grey_picture_mismatch, "The grey picture ({0} x {1}) does not match the {2} values.")        \
    X(pair_size_mismatch,                                                                          \
      "frame {0}: {p} is {1} but {2} is {3}; the frames of a pair must have the same size")        \
    X(array_size_mismatch,                                                                         \
      "reference is {0} but degraded is {1}; the frames of a pair must have the same size")        \
    X(missing_inputs, "both a reference and a degraded sequence are needed")                       \
    X(pool_temp_create, "Cannot make a temporary file for the pooled values")                      \
    X(pool_write, "Cannot write the pooled values to the temporary file")                          \
    X(pool_read_back, "Cannot read back the pooled values from the temporary file.")               \
    X(svd_no_convergence, "no convergence in {0} dsvdcmp iterations")                              \
    X(png_encode, "Cannot encode a PNG picture")                                                   \
    /* Encoding. */                                                                                \
    X(bitrate_not_a_rate,                                                                          \
      "bitrate \"{0}\" is not a rate: give a positive number of bits per second, such as 800k "    \
      "or 2M")                                                                                     \
    X(codec_unavailable,                                                                           \
      "codec {0} is not available: this machine's libavcodec has no {1} encoder")                  \
    X(unknown_codec, "unknown codec \"{0}\"; known codecs: h264, hevc, av1")                       \
    X(crf_out_of_range, "CRF {0} is out of range for {1}: it takes from {2} to {3}")               \
    X(crf_whole_out_of_range,                                                                      \
      "CRF {0} is out of range for {1}: it takes whole numbers from {2} to {3}")                   \
    X(qp_out_of_range, "QP {0} is out of range for {1}: it takes whole numbers from {2} to {3}")   \
    X(bitrate_out_of_range, "bitrate {0} is out of range: give from 1k to 1000M bits per second")  \
    X(unknown_preset, "unknown preset \"{0}\" for {1}; it knows {2}")                              \
    X(gop_out_of_range,                                                                            \
      "GOP {0} is out of range: give 1 to 100000 frames (0 leaves it to the encoder)")             \
    X(unknown_pixel_format, "unknown pixel format \"{0}\"; use yuv420p or yuv444p")                \
    X(fps_out_of_range, "frame rate {0} is out of range: give 0.1 to 1000 frames per second")      \
    X(unknown_matrix, "unknown matrix \"{0}\"; use bt601, bt709 or bt2020")                        \
    X(unknown_range, "unknown range \"{0}\"; use limited or full")                                 \
    X(nothing_to_encode, "there are no frames to encode")                                          \
    X(odd_frame_size,                                                                              \
      "frames of {0} x {1} cannot be encoded as yuv420p, whose chroma planes need an even "        \
      "width and height; odd sizes are refused rather than padded (use --pix-fmt yuv444p, or "     \
      "crop the frames)")                                                                          \
    X(frames_too_narrow,                                                                           \
      "frames of {0} x {1} are too narrow for hevc (libx265): it needs at least 64 pixels of "     \
      "width")                                                                                     \
    X(mp4_writer_setup, "cannot set up the MP4 writer")                                            \
    X(stream_setup, "cannot describe the stream")                                                  \
    X(encoder_option, "{1} {0} cannot be set")                                                     \
    X(encoder_failed, "{0} failed")                                                                \
    X(encoder_refused_settings, "{0} refused the settings ({1}, preset {2}, {3})")                 \
    X(no_yuv_conversion, "cannot set up the RGB to YUV conversion")                                \
    X(encode_frame_size_changes,                                                                   \
      "frame {0} is {1} x {2} but frame 0 is {3} x {4}; all frames of a sequence must have the "   \
      "same size")                                                                                 \
    X(decoded_count_mismatch, "{p} decodes to {0} frames, not the {1} encoded")                    \
    X(no_encoder_inputs, "choose the input pictures")                                              \
    X(no_encoder_output, "name the output file")                                                   \
    X(value_not_a_number, "the value \"{0}\" is not a number")                                     \
    X(rd_table_unreadable, "{p} is not a rate-distortion table ({0})")                             \
    X(two_pass_needs_bitrate, "two passes need a target bitrate (--bitrate)")                      \
    X(two_pass_unsupported, "{0} has no two-pass mode here (libx264, libx265, libaom-av1 have)")   \
    X(bitstream_without_video, "{p} has no video stream")                                          \
    X(cannot_read_bitstream, "cannot read the packets of {p}")                                     \
    X(bitstream_count_mismatch, "{p} holds {0} frames but the reference sequence has {1}")         \
    X(rd_curve_missing, "{p} has no curve named \"{0}\"")                                          \
    X(unknown_metric, "unknown metric \"{0}\"; the metrics are psnr and ssim")                     \
    X(metrics_planes_missing, "{p} has no decoded {0} planes to measure PSNR and SSIM on")         \
    /* The conditions of a measurement and how inputs are read. */                                 \
    X(pixel_angle_not_positive, "The pixel's visual angle must be a positive number.")             \
    X(media_matrix_text, "matrix must be 'bt601', 'bt709' or 'bt2020', not '{0}'")                 \
    X(media_range_text, "range must be 'limited' or 'full', not '{0}'")                            \
    X(media_size_text, "size must be WxH, 1 to 32768 each (e.g. 1920x1080), not '{0}'")            \
    X(media_pixel_format_text,                                                                     \
      "pix_fmt is not a raw pixel format the libraries know (yuv420p, yuv422p10le, rgb24, ...): "  \
      "'{0}'")                                                                                     \
    X(media_fps_text, "fps must be a positive rate such as 25, 29.97 or 30000/1001, not '{0}'")    \
    X(folder_without_frames, "{p} holds no frame files ({0})")                                     \
    X(pairing_side_without_times,                                                                  \
      "pairing by time needs one video on each side whose frames have times; {p} has none")        \
    X(pairing_side_of_several_files,                                                               \
      "pairing by time needs one video on each side whose frames have times; {p} is one of "       \
      "several files")                                                                             \
    /* The viewer as an input. */                                                                  \
    X(viewing_value_not_positive, "{0} must be a positive finite number, not {1}")                 \
    X(viewing_form_incomplete, "{0} needs {1} as well")                                            \
    X(viewing_two_forms, "{0} and {1} both give the viewing geometry; give only one of them")      \
    X(viewing_unknown_preset, "{0}: unknown viewing preset \"{1}\"; the presets are {2}")          \
    X(viewing_below_one, "{0}: {1} pixels per degree; at least 1 is needed")                       \
    X(viewing_above_filters,                                                                       \
      "{0}: {1} pixels per degree is above the {2} the profile's filter responses reach")          \
    /* Display models and primaries. */                                                            \
    X(luminance_not_positive, "the {0} luminance must be a positive number of cd/m2, not {1}")     \
    X(black_luminance_negative, "the black luminance must be 0 or more cd/m2, not {0}")            \
    X(black_not_below_white,                                                                       \
      "the black luminance ({0} cd/m2) must be below the white luminance ({1} cd/m2)")             \
    X(display_text, "display must be 'profile', 'srgb', 'bt1886', 'pq' or 'hlg', not '{0}'")       \
    X(primaries_text, "primaries must be 'profile', 'bt709', 'p3d65' or 'bt2020', not '{0}'")      \
    X(unknown_transfer, "unknown transfer \"{0}\"; use bt709, pq or hlg")                          \
    X(unknown_stream_primaries, "unknown primaries \"{0}\"; use bt709 or bt2020")

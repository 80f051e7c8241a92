"""ORV's S-CIELAB measurement for Python, with exactly the numbers of orv-cli.

Frames are numpy arrays in the usual Python image layout: dtype uint8, shape
(height, width, 3), channels red, green, blue, row 0 the top of the picture.
Difference maps are float64 arrays of shape (height, width), row 0 the top.

    import orv
    profile = orv.Profile("profiles/default")
    result = orv.diff(reference, degraded, profile)
    result.map, result.mean, result.p95, result.share_above, result.stats()

Measurements release the interpreter lock, so several Python threads measure
side by side and get the same numbers as one. Whole corpora of sequence pairs
run on a Dask cluster with ``python3 -m orv.corpus`` (see orv.corpus).

Failures raise orv.Error with the texts orv-cli prints.
"""

import os

from . import _orv
from ._orv import (
    Error,
    FrameDiff,
    Profile,
    SequenceDiff,
    diff,
    diff_files,
    filter,
    MediaFile,
    formula_name,
    keep_freed_frame_planes,
    threshold_name,
)

__all__ = [
    "Error",
    "FrameDiff",
    "Profile",
    "SequenceDiff",
    "diff",
    "diff_files",
    "filter",
    "formula_name",
    "keep_freed_frame_planes",
    "MediaFile",
    "read_frame",
    "read_frames",
    "sequence_files",
    "threshold_name",
    "IMAGE_SUFFIXES",
]

#: File name endings (lower case) taken as frames when a directory is a sequence.
IMAGE_SUFFIXES = tuple(_orv.image_sequence_suffixes())


def sequence_files(path):
    """The frame files of a sequence, in order.

    ``path`` is one frame file, a directory (its files ending in one of
    IMAGE_SUFFIXES, in natural name order: frame_2 before frame_10), or a list
    of such paths, taken in the order given. Raises orv.Error when a directory
    holds no frame files; a file that cannot be read fails when it is read.
    The expansion is orv-cli's own, so both read a directory alike.
    """
    paths = path if isinstance(path, (list, tuple)) else [path]
    flat = []
    for item in paths:
        if isinstance(item, (list, tuple)):
            flat.extend(sequence_files(item))
        else:
            flat.append(os.fspath(item))
    return _orv.expand_sequence_paths(flat)


def read_frame(path, **media):
    """The first frame of a file as uint8 (H, W, 3) RGB, row 0 the top.

    Any file the media layer reads: BMP (ORV's own reader), PNG, TIFF, JPEG,
    videos and raw files; ``media`` takes MediaFile's keywords (matrix, range,
    size, pix_fmt, fps). Raises orv.Error with orv-cli's texts.
    """
    for frame in MediaFile(os.fspath(path), **media):
        return frame
    raise Error(os.fspath(path) + " holds no frames")


def read_frames(path, **media):
    """Yield the frames of ``path`` one by one as uint8 (H, W, 3) RGB arrays, row 0 the top.

    ``path`` is a file, a directory of image files or a list of them (see
    sequence_files); a video yields all its frames in presentation order.
    ``media`` takes MediaFile's keywords (matrix, range, size, pix_fmt, fps).
    Frames are decoded when asked for, so a long video never sits in memory at
    once. Raises orv.Error with orv-cli's texts.
    """
    for name in sequence_files(path):
        yield from MediaFile(name, **media)

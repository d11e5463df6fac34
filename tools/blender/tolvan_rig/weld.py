"""Welding of vertices that Blender keeps apart (seams, sharp edges, split
normals) but that move as one point, by the converter's rule: vertices that
coincide exactly in the rest pose and in every frame are merged."""
import numpy as np


def weld_map(rest, frames):
    """rest: (V, 3) float64; frames: (F, V, 3) float64.
    Returns (index, keep): index (V,) int, each vertex's number among the
    kept vertices; keep (K,) int, the first vertex of every merged group in
    vertex order. The kept vertices keep their order of first appearance."""
    count = rest.shape[0]
    if count == 0:
        return np.zeros(0, dtype=np.int64), np.zeros(0, dtype=np.int64)
    # One row per vertex: its whole trajectory; -0 and 0 coincide.
    rows = np.concatenate([rest[None], frames], axis=0).transpose(1, 0, 2).reshape(count, -1) + 0.0
    _, first, inverse = np.unique(rows, axis=0, return_index=True, return_inverse=True)
    inverse = inverse.reshape(-1)
    keep = np.sort(first)
    number = np.empty(len(first), dtype=np.int64)
    # unique's groups come in sorted order; number them by first vertex.
    number[np.argsort(first)] = np.arange(len(first))
    return number[inverse], keep


def weld_triangles(triangles, index):
    """triangles: (T, 3) int into the unwelded vertices. Returns them
    renumbered by index, without those left with a repeated corner."""
    t = index[triangles]
    good = (t[:, 0] != t[:, 1]) & (t[:, 1] != t[:, 2]) & (t[:, 0] != t[:, 2])
    return t[good]

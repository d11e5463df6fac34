"""The animation of the selected mesh objects as Tolvan's input: every
object evaluated (modifiers, simulations, shape keys, armatures, geometry
nodes) at every frame of the range, in world space, joined in one vertex
order: the active object first, then the others by name."""
import numpy as np


class BakeError(Exception):
    """A refusal with a message for the user."""


def bake_objects(context):
    """The selected mesh objects in bake order (the active one first)."""
    selected = [o for o in context.selected_objects if o.type == 'MESH']
    active = context.active_object
    if active is None or active.type != 'MESH' or active not in selected:
        if not selected:
            raise BakeError('select the mesh objects to bake (none is selected)')
        active = min(selected, key=lambda o: o.name)
    return [active] + sorted((o for o in selected if o is not active), key=lambda o: o.name)


def _world_positions(ob, mesh):
    """(V, 3) float64: the mesh's vertices through the object's world matrix."""
    co = np.empty(len(mesh.vertices) * 3, dtype=np.float32)
    mesh.vertices.foreach_get('co', co)
    m = np.array(ob.matrix_world, dtype=np.float64)
    return co.astype(np.float64).reshape(-1, 3) @ m[:3, :3].T + m[:3, 3]


def _triangles(mesh):
    """(T, 3) int: the mesh's faces as Blender triangulates them."""
    mesh.calc_loop_triangles()
    tri = np.empty(len(mesh.loop_triangles) * 3, dtype=np.int64)
    mesh.loop_triangles.foreach_get('vertices', tri)
    return tri.reshape(-1, 3)


def _evaluated(ob, depsgraph, frame, expected):
    """World positions of ob's evaluated mesh, checked against the count."""
    ob_eval = ob.evaluated_get(depsgraph)
    mesh = ob_eval.to_mesh()
    try:
        if expected is not None and len(mesh.vertices) != expected:
            raise BakeError('%s has %d vertices at frame %d but %d at the first frame of the range: '
                            'a rig needs the same vertices in every frame (remove or apply the modifier '
                            'that adds or removes geometry)' % (ob.name, len(mesh.vertices), frame, expected))
        positions = _world_positions(ob_eval, mesh)
        triangles = _triangles(mesh) if expected is None else None
    finally:
        ob_eval.to_mesh_clear()
    return positions, triangles


def sample(context, objects, frame_start, frame_end, rest_original=False):
    """Returns (rest (V, 3), triangles (T, 3), frames (F, V, 3)), all in
    world space. rest is the evaluated mesh at frame_start, or with
    rest_original the objects' un-deformed meshes (at frame_start's
    placement). The scene's current frame is restored."""
    if frame_end - frame_start + 1 < 2:
        raise BakeError('the frame range %d-%d has fewer than two frames' % (frame_start, frame_end))
    scene = context.scene
    current = scene.frame_current, scene.frame_subframe
    counts, rest, triangles, frames = [], [], [], []
    try:
        for frame in range(frame_start, frame_end + 1):
            scene.frame_set(frame)
            depsgraph = context.evaluated_depsgraph_get()
            parts = []
            for k, ob in enumerate(objects):
                positions, tri = _evaluated(ob, depsgraph, frame, counts[k] if counts else None)
                if tri is not None:
                    triangles.append(tri + sum(len(p) for p in parts))
                parts.append(positions)
            if not counts:
                counts = [len(p) for p in parts]
                rest = [_world_positions(ob, ob.data) if rest_original else p for ob, p in zip(objects, parts)]
            frames.append(np.concatenate(parts))
    finally:
        scene.frame_set(current[0], subframe=current[1])
    if rest_original:
        for ob, r, n in zip(objects, rest, counts):
            if len(r) != n:
                raise BakeError('the un-deformed mesh of %s has %d vertices, its evaluated mesh %d: '
                                'choose the evaluated mesh as the rest pose' % (ob.name, len(r), n))
    rest = np.concatenate(rest)
    frames = np.stack(frames)
    if len(rest) < 1:
        raise BakeError('the selected objects have no vertices')
    if not (np.isfinite(rest).all() and np.isfinite(frames).all()):
        raise BakeError('the evaluated meshes have coordinates that are not finite numbers')
    return rest, np.concatenate(triangles), frames

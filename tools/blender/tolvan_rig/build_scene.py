"""The baked rig in the scene: an armature whose bones follow the skeleton,
keyed at every frame, and a copy of the evaluated mesh skinned to it."""
import bpy
import numpy as np
from mathutils import Matrix

from .sampling import BakeError


def nearest_rotation(m):
    """The proper rotation nearest to the 3x3 matrix m (the file's six
    digits leave R slightly off a rotation)."""
    u, _, vt = np.linalg.svd(m)
    if np.linalg.det(u @ vt) < 0.0:
        u[:, 2] = -u[:, 2]
    return u @ vt


def _quaternion(r):
    """Unit quaternion (w, x, y, z) of the rotation r: the largest component
    from the diagonal, the others from off-diagonal sums and differences, so
    that small components keep their precision."""
    t = r[0, 0] + r[1, 1] + r[2, 2]
    if t > 0.0:
        s = np.sqrt(t + 1.0) * 2.0
        q = [0.25 * s, (r[2, 1] - r[1, 2]) / s, (r[0, 2] - r[2, 0]) / s, (r[1, 0] - r[0, 1]) / s]
    elif r[0, 0] > r[1, 1] and r[0, 0] > r[2, 2]:
        s = np.sqrt(1.0 + r[0, 0] - r[1, 1] - r[2, 2]) * 2.0
        q = [(r[2, 1] - r[1, 2]) / s, 0.25 * s, (r[0, 1] + r[1, 0]) / s, (r[0, 2] + r[2, 0]) / s]
    elif r[1, 1] > r[2, 2]:
        s = np.sqrt(1.0 + r[1, 1] - r[0, 0] - r[2, 2]) * 2.0
        q = [(r[0, 2] - r[2, 0]) / s, (r[0, 1] + r[1, 0]) / s, 0.25 * s, (r[1, 2] + r[2, 1]) / s]
    else:
        s = np.sqrt(1.0 + r[2, 2] - r[0, 0] - r[1, 1]) * 2.0
        q = [(r[1, 0] - r[0, 1]) / s, (r[0, 2] + r[2, 0]) / s, (r[1, 2] + r[2, 1]) / s, 0.25 * s]
    q = np.array(q)
    return q / np.linalg.norm(q)


def _bone_length(rig, rest, tree, j, diagonal):
    """To the children's mean head; for a leaf, the reach of its vertices
    along its axis; never shorter than 1 % of the diagonal."""
    kids = [c for c in tree.order if tree.parent[c] == j]
    if kids:
        length = np.linalg.norm(tree.head[kids].mean(axis=0) - tree.head[j])
    else:
        carried = rig.weights[:, j] > 0.0
        reach = (rest[carried] - tree.head[j]) @ tree.rotation[j][:, 1] if carried.any() else np.zeros(1)
        length = float(reach.max(initial=0.0))
    return max(length, 0.01 * diagonal, 1e-6)


def add_armature(context, name, rig, rest, tree):
    """An armature object with bone_<j> per bone, at the world origin."""
    data = bpy.data.armatures.new(name)
    ob = bpy.data.objects.new(name, data)
    context.collection.objects.link(ob)
    diagonal = float(np.linalg.norm(rest.max(axis=0) - rest.min(axis=0)))
    previous = context.view_layer.objects.active
    context.view_layer.objects.active = ob
    bpy.ops.object.mode_set(mode='EDIT')
    try:
        edit = {}
        for j in tree.order:
            eb = data.edit_bones.new('bone_%d' % j)
            eb.head, eb.tail = (0.0, 0.0, 0.0), (0.0, _bone_length(rig, rest, tree, j, diagonal), 0.0)
            m = np.eye(4)
            m[:3, :3], m[:3, 3] = tree.rotation[j], tree.head[j]
            eb.matrix = Matrix(m.tolist())
            if tree.parent[j] >= 0:
                eb.parent = edit[tree.parent[j]]
            edit[j] = eb
    finally:
        bpy.ops.object.mode_set(mode='OBJECT')
        context.view_layer.objects.active = previous
    return ob


def _moves(rig):
    """(F, B, 4, 4): the rig's [R | t] with R made the nearest rotation."""
    moves = np.tile(np.eye(4), (rig.frames, rig.bones, 1, 1))
    for f in range(rig.frames):
        for j in range(rig.bones):
            if np.linalg.det(rig.transforms[f, j, :, :3]) <= 0.0:
                raise BakeError('bone %d mirrors at frame %d: an armature cannot play it' % (j, f))
            moves[f, j, :3, :3] = nearest_rotation(rig.transforms[f, j, :, :3])
            moves[f, j, :3, 3] = rig.transforms[f, j, :, 3]
    return moves


def _levels(tree):
    """The bones by depth in the tree: roots, their children, ..."""
    depth, levels = {}, []
    for j in tree.order:
        depth[j] = 0 if tree.parent[j] < 0 else depth[tree.parent[j]] + 1
        if depth[j] == len(levels):
            levels.append([])
        levels[depth[j]].append(j)
    return levels


def key_armature(context, ob, rig, tree, frame_start):
    """Keys every bone at every frame so that its deformation, pose matrix
    times inverse rest matrix, is the rig's [R | t] (R made a rotation).
    Blender composes a bone's pose with its parent's in single precision, so
    each level of the tree is solved against the parent's pose as Blender
    evaluates it: the rounding does not add up along long chains."""
    moves = _moves(rig)
    rest = {j: np.array(ob.data.bones['bone_%d' % j].matrix_local, dtype=np.float64) for j in tree.order}
    bones = {j: ob.pose.bones['bone_%d' % j] for j in tree.order}
    values = np.zeros((rig.bones, rig.frames, 7))
    for j in tree.order:
        bones[j].rotation_mode = 'QUATERNION'
    levels = _levels(tree)
    for f in range(rig.frames):
        for depth, level in enumerate(levels):
            if depth > 0:
                context.view_layer.update()
                evaluated = ob.evaluated_get(context.evaluated_depsgraph_get()).pose.bones
            for j in level:
                p = tree.parent[j]
                target = moves[f, j] @ rest[j]
                above = rest[j] if p < 0 else np.array(evaluated['bone_%d' % p].matrix, dtype=np.float64) @ np.linalg.solve(rest[p], rest[j])
                basis = np.linalg.solve(above, target)
                q = _quaternion(nearest_rotation(basis[:3, :3]))
                if f > 0 and q @ values[j, f - 1, 3:] < 0.0:  # the short way between keys
                    q = -q
                bones[j].location, bones[j].rotation_quaternion = basis[:3, 3].tolist(), q.tolist()
                values[j, f, :3], values[j, f, 3:] = basis[:3, 3], q
    action = bpy.data.actions.new(ob.name + '_bake')
    ob.animation_data_create().action = action
    frames = np.arange(rig.frames, dtype=np.float64) + frame_start
    for j in tree.order:
        path = 'pose.bones["bone_%d"].' % j
        for channel, (prop, index) in enumerate([('location', i) for i in range(3)] +
                                                [('rotation_quaternion', i) for i in range(4)]):
            curve = action.fcurves.new(path + prop, index=index, action_group='bone_%d' % j)
            curve.keyframe_points.add(rig.frames)
            curve.keyframe_points.foreach_set('co', np.column_stack([frames, values[j, :, channel]]).ravel())
            curve.keyframe_points.foreach_set('interpolation', [1] * rig.frames)  # linear
            curve.update()


def add_skinned_mesh(context, name, objects, frame_start, sampled, rest, index, rig, armature):
    """A copy of the objects' evaluated meshes at frame_start (sampled there
    as sampled (V, 3)), joined, in world space with the rest positions (V, 3);
    vertex v takes the weights of welded vertex index[v]. Parented to
    armature with an Armature modifier. On failure nothing of it stays."""
    parts, meshes = [], []
    try:
        result = _joined_copy(context, name, objects, frame_start, parts, meshes)
        if not _same_vertices(result.data, sampled):
            raise BakeError('the copy of the meshes does not match their evaluation at frame %d' % frame_start)
    except BaseException:
        for ob in parts:
            try:
                bpy.data.objects.remove(ob)
            except ReferenceError:  # joined into the first
                pass
        for mesh in meshes:
            bpy.data.meshes.remove(mesh)
        raise
    for mesh in meshes:
        if mesh is not result.data:  # left without users by the join
            bpy.data.meshes.remove(mesh)
    mesh = result.data
    mesh.vertices.foreach_set('co', rest.astype(np.float32).ravel())
    mesh.update()
    result.name, mesh.name = name, name
    _weight_groups(result, rig, index)
    result.parent = armature
    modifier = result.modifiers.new('Armature', 'ARMATURE')
    modifier.object = armature
    return result


def _joined_copy(context, name, objects, frame_start, parts, meshes):
    """The objects' evaluated meshes at frame_start in world space, joined in
    their order into one new object; parts and meshes collect what it made."""
    scene = context.scene
    current = scene.frame_current, scene.frame_subframe
    scene.frame_set(frame_start)
    try:
        depsgraph = context.evaluated_depsgraph_get()
        for ob in objects:
            ob_eval = ob.evaluated_get(depsgraph)
            mesh = bpy.data.meshes.new_from_object(ob_eval, preserve_all_data_layers=True, depsgraph=depsgraph)
            meshes.append(mesh)
            mesh.transform(ob_eval.matrix_world)
            part = bpy.data.objects.new(name, mesh)
            context.collection.objects.link(part)
            parts.append(part)
        if len(parts) > 1:
            with context.temp_override(active_object=parts[0], object=parts[0], selected_objects=parts,
                                       selected_editable_objects=parts):
                bpy.ops.object.join()
    finally:
        scene.frame_set(current[0], subframe=current[1])
    return parts[0]


def _same_vertices(mesh, sampled):
    """True when mesh holds sampled's points in its order (float precision)."""
    if len(mesh.vertices) != len(sampled):
        return False
    co = np.empty(len(sampled) * 3, dtype=np.float32)
    mesh.vertices.foreach_get('co', co)
    size = max(float(np.abs(sampled).max(initial=0.0)), 1e-30)
    return bool(np.abs(co.reshape(-1, 3) - sampled).max(initial=0.0) <= 1e-5 * size)


def _weight_groups(ob, rig, index):
    """One vertex group bone_<j> per bone, after dropping the groups the
    source mesh carried."""
    stale = max((g.group for v in ob.data.vertices for g in v.groups), default=-1)
    for _ in range(len(ob.vertex_groups), stale + 1):
        ob.vertex_groups.new()
    ob.vertex_groups.clear()
    for j in range(rig.bones):
        group = ob.vertex_groups.new(name='bone_%d' % j)
        weights = rig.weights[index, j]
        for w in np.unique(weights[weights > 0.0]):
            group.add(np.flatnonzero(weights == w).tolist(), float(w), 'REPLACE')

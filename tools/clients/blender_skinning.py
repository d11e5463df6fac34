# Imports skinned glTF files into Blender as a user would (File > Import >
# glTF 2.0, Shading "Smooth") and writes, per file, the deformed vertex
# positions at every key of the animation and the angle between every bone
# with children and the direction to its children's heads.
#   blender -b --factory-startup --python blender_skinning.py -- IN.glb OUT [IN.glb OUT ...]
# OUT.bin: float64 little-endian x, y, z per vertex, frame after frame, in
# glTF's axes (Y up; Blender's importer turns them to Z up). OUT.json: frames,
# vertices, scene frame rate, per bone its angle in degrees.
# Exit code 3 when python3-numpy (which the importer needs) is missing.
import json
import math
import struct
import sys

import bpy

# Children closer than this to the head are ignored by the importer when it
# places a bone's tip.
MIN_BONE_LENGTH = 0.004


def fail(message, code=1):
    print('blender_skinning.py: ' + message, file=sys.stderr)
    sys.stdout.flush()
    sys.stderr.flush()
    sys.exit(code)


def bone_angles(armature):
    angles = {}
    for bone in armature.data.bones:
        heads = [c.head_local for c in bone.children if (c.head_local - bone.head_local).length > MIN_BONE_LENGTH]
        if not heads:
            continue
        target = sum(heads, heads[0] * 0) / len(heads) - bone.head_local
        axis = bone.tail_local - bone.head_local
        if target.length == 0.0 or axis.length == 0.0:
            continue
        angles[bone.name] = math.degrees(axis.angle(target))
    return angles


def key_frames(armature):
    frames = set()
    for curve in armature.animation_data.action.fcurves:
        frames.update(k.co[0] for k in curve.keyframe_points)
    return sorted(frames)


def evaluate(source, target):
    for ob in list(bpy.data.objects):
        bpy.data.objects.remove(ob, do_unlink=True)
    for action in list(bpy.data.actions):
        bpy.data.actions.remove(action)
    bpy.ops.import_scene.gltf(filepath=source, import_shading='SMOOTH')
    meshes = [o for o in bpy.data.objects if o.type == 'MESH']
    armatures = [o for o in bpy.data.objects if o.type == 'ARMATURE']
    if len(meshes) != 1 or len(armatures) != 1 or not armatures[0].animation_data:
        fail(source + ': expected one mesh and one animated armature')
    mesh, armature = meshes[0], armatures[0]
    scene = bpy.context.scene
    out = bytearray()
    frames = key_frames(armature)
    count = 0
    for frame in frames:
        whole = math.floor(frame + 1e-4)
        scene.frame_set(whole, subframe=max(0.0, frame - whole))
        evaluated = mesh.evaluated_get(bpy.context.evaluated_depsgraph_get())
        data = evaluated.to_mesh()
        count = len(data.vertices)
        world = mesh.matrix_world
        for v in data.vertices:
            p = world @ v.co
            out += struct.pack('<3d', p.x, p.z, -p.y)  # Z up back to Y up
        evaluated.to_mesh_clear()
    with open(target + '.bin', 'wb') as f:
        f.write(out)
    fps = scene.render.fps / scene.render.fps_base
    with open(target + '.json', 'w') as f:
        json.dump({'frames': len(frames), 'vertices': count, 'fps': fps, 'angles': bone_angles(armature)}, f)


def main():
    try:
        import numpy  # noqa: F401
    except ImportError:
        fail('python3-numpy is missing (apt-get install -y python3-numpy)', 3)
    args = sys.argv[sys.argv.index('--') + 1:] if '--' in sys.argv else []
    if not args or len(args) % 2:
        fail('usage: blender -b --factory-startup --python blender_skinning.py -- IN.glb OUT [IN.glb OUT ...]', 2)
    for source, target in zip(args[0::2], args[1::2]):
        evaluate(source, target)


main()

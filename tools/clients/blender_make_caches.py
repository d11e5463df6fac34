# Makes, the way a user does in Blender, the files the importers read: a
# small sphere skinned to a two-bone armature with an animated shape key,
# exported over frames 1-12 at 24 fps as
#   OUT/rest.obj   Blender's OBJ export of the rest pose (Y-up by default)
#   OUT/anim.glb   glTF 2.0 (File > Export > glTF 2.0), defaults
#   OUT/anim.pc2   File > Export > Pointcache (.pc2), defaults (object space, Y-up)
#   OUT/anim.mdd   File > Export > Lightwave Point Cache (.mdd) (world space, Z-up)
# and Blender's own evaluated world positions (Z-up) of every frame:
#   OUT/positions.txt  "FRAMES VERTICES" then "x y z" per vertex per frame.
# Usage: blender -b --factory-startup --python blender_make_caches.py -- OUT
import math
import os
import sys

import addon_utils
import bpy

out = sys.argv[sys.argv.index("--") + 1]
os.makedirs(out, exist_ok=True)
first, last = 1, 12

bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
scene.frame_start, scene.frame_end = first, last
scene.render.fps = 24

# The mesh: flat-shaded UV sphere (the glTF export splits its vertices at
# every face and seam), weighted between two bones by height.
bpy.ops.mesh.primitive_uv_sphere_add(segments=10, ring_count=6, radius=1.0)
body = bpy.context.active_object
lower, upper = body.vertex_groups.new(name="lower"), body.vertex_groups.new(name="upper")
for v in body.data.vertices:
    w = min(max((v.co.z + 0.5), 0.0), 1.0)
    if w < 1.0:
        lower.add([v.index], 1.0 - w, "REPLACE")
    if w > 0.0:
        upper.add([v.index], w, "REPLACE")

bpy.ops.object.armature_add(location=(0, 0, -1))
rig = bpy.context.active_object
bpy.ops.object.mode_set(mode="EDIT")
bones = rig.data.edit_bones
bones[0].name = "lower"
bones[0].head, bones[0].tail = (0, 0, -1), (0, 0, 0)
top = bones.new("upper")
top.head, top.tail, top.parent = (0, 0, 0), (0, 0, 1), bones[0]
bpy.ops.object.mode_set(mode="OBJECT")
rig.location = (0, 0, 0)
body.parent = rig
body.modifiers.new("rig", "ARMATURE").object = rig

# Shape key: the upper half bulges out; its value is animated.
body.shape_key_add(name="Basis")
bulge = body.shape_key_add(name="Bulge")
for i, v in enumerate(body.data.vertices):
    if v.co.z > 0.2:
        bulge.data[i].co = (v.co.x * 1.3, v.co.y * 1.3, v.co.z + 0.2)
for frame, value in ((first, 0.0), (6, 1.0), (last, 0.4)):
    bulge.value = value
    bulge.keyframe_insert("value", frame=frame)

pose = rig.pose.bones
pose["lower"].rotation_mode = pose["upper"].rotation_mode = "QUATERNION"
for frame, angle, shift in ((first, 0.0, 0.0), (5, 0.6, 0.2), (9, -0.4, 0.1), (last, 0.3, -0.1)):
    pose["upper"].rotation_quaternion = (math.cos(angle / 2), math.sin(angle / 2), 0, 0)
    pose["upper"].keyframe_insert("rotation_quaternion", frame=frame)
    pose["lower"].location = (shift, 0, 0)
    pose["lower"].keyframe_insert("location", frame=frame)

scene.frame_set(first)  # the rest pose: no bend, no bulge
bpy.ops.object.select_all(action="DESELECT")
body.select_set(True)
bpy.context.view_layer.objects.active = body
bpy.ops.wm.obj_export(filepath=os.path.join(out, "rest.obj"), export_selected_objects=True, apply_modifiers=False,
                      export_uv=False, export_normals=False, export_materials=False)

for name in ("io_export_pc2", "io_shape_mdd"):
    addon_utils.enable(name, default_set=True)
bpy.ops.export_shape.pc2(filepath=os.path.join(out, "anim.pc2"), range_start=first, range_end=last)
bpy.ops.export_shape.mdd(filepath=os.path.join(out, "anim.mdd"), frame_start=first, frame_end=last, fps=24)
bpy.ops.object.select_all(action="SELECT")
bpy.ops.export_scene.gltf(filepath=os.path.join(out, "anim.glb"), export_format="GLB")

with open(os.path.join(out, "positions.txt"), "w") as f:
    f.write("%d %d\n" % (last - first + 1, len(body.data.vertices)))
    for frame in range(first, last + 1):
        scene.frame_set(frame)
        evaluated = body.evaluated_get(bpy.context.evaluated_depsgraph_get())
        mesh = evaluated.to_mesh()
        for v in mesh.vertices:
            p = body.matrix_world @ v.co
            f.write("%r %r %r\n" % (p.x, p.y, p.z))
        evaluated.to_mesh_clear()

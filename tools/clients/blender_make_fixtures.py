# Makes, the way a user does in Blender, animations that nobody on the project
# modelled, and exports them by the routes the README describes:
#   character FILE.fbx OUT  FBX import (File > Import > FBX), first 40 frames of
#                           its action: OUT/rest.obj (Y-up, modifiers off),
#                           OUT/anim.pc2 (world space), OUT/anim.mdd, OUT/anim.glb,
#                           and as triangle soup OUT/soup.obj, OUT/soup.pc2
#   cloth OUT               blender_bake_scenes.py's flag (pinned edge, wind):
#                           OUT/rest.obj and OUT/anim.pc2 (30 frames)
#   jelly OUT               a soft-body ball dropped onto the ground and
#                           squashed: OUT/rest.obj and OUT/anim.pc2 (40 frames)
#   fracture OUT            blender_bake_scenes.py's Cell Fracture wall thrown
#                           apart: OUT/frameN.obj, N = 1-30 (File > Export >
#                           Wavefront with Animation ticked)
# Usage: blender -b --factory-startup --python blender_make_fixtures.py -- KIND [FILE] OUT
import os
import sys

import addon_utils
import bmesh
import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import blender_bake_scenes as scenes  # noqa: E402 (the flag and the wall)

FRAMES = 40


def export_obj(path, **options):
    bpy.ops.wm.obj_export(filepath=path, export_selected_objects=True, export_uv=False, export_normals=False,
                          export_materials=False, **options)


def select_only(objects):
    bpy.ops.object.select_all(action="DESELECT")
    for o in objects:
        o.select_set(True)
    bpy.context.view_layer.objects.active = objects[0]


def character(fbx, out):
    bpy.ops.import_scene.fbx(filepath=fbx)
    meshes = [o for o in bpy.context.scene.objects if o.type == "MESH"]
    actions = [a for a in bpy.data.actions]
    first = int(actions[0].frame_range[0]) if actions else 1
    last = min(first + FRAMES - 1, int(actions[0].frame_range[1]) if actions else first + FRAMES - 1)
    scene = bpy.context.scene
    scene.frame_start, scene.frame_end = first, last
    scene.frame_set(first)
    body = meshes[0]
    select_only([body])
    export_obj(os.path.join(out, "rest.obj"), apply_modifiers=False)
    for name in ("io_export_pc2", "io_shape_mdd"):
        addon_utils.enable(name, default_set=True)
    bpy.ops.export_shape.pc2(filepath=os.path.join(out, "anim.pc2"), world_space=True, range_start=first, range_end=last)
    bpy.ops.export_shape.mdd(filepath=os.path.join(out, "anim.mdd"), frame_start=first, frame_end=last)
    bpy.ops.object.select_all(action="SELECT")
    bpy.ops.export_scene.gltf(filepath=os.path.join(out, "anim.glb"), export_format="GLB")
    export_soup(body, out, first, last)


def export_soup(body, out, first, last):
    """Triangle soup, as some exporters write it: the mesh triangulated and
    every edge split (marked sharp, so that the split does not depend on the
    pose), the rest pose with the armature in its rest position."""
    soup = bmesh.new()
    soup.from_mesh(body.data)
    bmesh.ops.triangulate(soup, faces=soup.faces[:])
    for e in soup.edges:
        e.smooth = False
    soup.to_mesh(body.data)
    soup.free()
    split = body.modifiers.new("split", "EDGE_SPLIT")
    split.use_edge_angle, split.use_edge_sharp = False, True
    armatures = [o for o in bpy.context.scene.objects if o.type == "ARMATURE"]
    for a in armatures:
        a.data.pose_position = "REST"
    select_only([body])
    export_obj(os.path.join(out, "soup.obj"), apply_modifiers=True)
    for a in armatures:
        a.data.pose_position = "POSE"
    bpy.ops.export_shape.pc2(filepath=os.path.join(out, "soup.pc2"), world_space=True, range_start=first, range_end=last)


def cloth(out):
    flag = scenes.flag()
    last = bpy.context.scene.frame_end
    bpy.context.scene.frame_set(1)
    export_obj(os.path.join(out, "rest.obj"), apply_modifiers=False)
    addon_utils.enable("io_export_pc2", default_set=True)
    select_only([flag])
    bpy.ops.export_shape.pc2(filepath=os.path.join(out, "anim.pc2"), world_space=True, range_start=1, range_end=last)


def jelly(out):
    scene = bpy.context.scene
    scene.frame_start, scene.frame_end = 1, FRAMES
    bpy.ops.mesh.primitive_plane_add(size=10)
    bpy.ops.object.modifier_add(type="COLLISION")
    bpy.ops.mesh.primitive_ico_sphere_add(subdivisions=3, radius=0.6, location=(0, 0, 1.2))
    ball = bpy.context.active_object
    soft = ball.modifiers.new("soft", "SOFT_BODY").settings
    soft.use_goal, soft.pull, soft.push, soft.bend = False, 0.6, 0.6, 0.4
    scene.frame_set(1)
    select_only([ball])
    export_obj(os.path.join(out, "rest.obj"), apply_modifiers=False)
    for f in range(1, FRAMES + 1):
        scene.frame_set(f)
    addon_utils.enable("io_export_pc2", default_set=True)
    bpy.ops.export_shape.pc2(filepath=os.path.join(out, "anim.pc2"), world_space=True, range_start=1, range_end=FRAMES)


def fracture(out):
    pieces = scenes.wall()
    bpy.context.scene.frame_set(1)
    select_only(pieces)
    export_obj(os.path.join(out, "frame.obj"), export_animation=True, start_frame=1, end_frame=bpy.context.scene.frame_end)


args = sys.argv[sys.argv.index("--") + 1:]
kind, out = args[0], args[-1]
os.makedirs(out, exist_ok=True)
bpy.ops.wm.read_factory_settings(use_empty=True)
if kind == "character":
    character(args[1], out)
elif kind == "cloth":
    cloth(out)
elif kind == "jelly":
    jelly(out)
elif kind == "fracture":
    fracture(out)
else:
    sys.exit("unknown kind " + kind)

# Makes, the way a user does in Blender, animations that nobody on the project
# modelled, and exports them by the routes the README describes:
#   character FILE.fbx OUT  FBX import (File > Import > FBX), first 40 frames of
#                           its action: OUT/rest.obj (Y-up, modifiers off),
#                           OUT/anim.pc2 (world space), OUT/anim.mdd, OUT/anim.glb,
#                           and as triangle soup OUT/soup.obj, OUT/soup.pc2
#   cloth OUT               a flag pinned along its pole edge, blown by wind:
#                           OUT/rest.obj and OUT/anim.pc2 (40 frames)
#   jelly OUT               a soft-body ball dropped onto the ground and
#                           squashed: OUT/rest.obj and OUT/anim.pc2 (40 frames)
#   fracture OUT            a wall broken with the Cell Fracture add-on, its
#                           pieces thrown apart by rigid bodies and a force
#                           field: OUT/frameN.obj, N = 1-40 (File > Export > Wavefront
#                           with Animation ticked)
# Usage: blender -b --factory-startup --python blender_make_fixtures.py -- KIND [FILE] OUT
import os
import random
import sys

import addon_utils
import bmesh
import bpy

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
    # Triangle soup, as some exporters write it: the mesh triangulated and
    # every edge split (marked sharp, so that the split does not depend on
    # the pose), the rest pose with the armature in its rest position.
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
    scene = bpy.context.scene
    scene.frame_start, scene.frame_end = 1, FRAMES
    # A flag of 2 x 1.2 units hanging from a vertical pole along x = 0.
    bpy.ops.mesh.primitive_grid_add(x_subdivisions=20, y_subdivisions=12, size=1.0, rotation=(1.5708, 0, 0))
    flag = bpy.context.active_object
    flag.scale = (2.0, 1.2, 1.0)
    bpy.ops.object.transform_apply(scale=True, rotation=True)
    pole = flag.vertex_groups.new(name="pole")
    xmin = min(v.co.x for v in flag.data.vertices)
    pole.add([v.index for v in flag.data.vertices if v.co.x < xmin + 1e-4], 1.0, "REPLACE")
    settings = flag.modifiers.new("cloth", "CLOTH").settings
    settings.vertex_group_mass = "pole"
    settings.quality = 5
    bpy.ops.object.effector_add(type="WIND", location=(-1.5, -0.5, 0), rotation=(0, 1.5708, 0.3))
    bpy.context.active_object.field.strength = 400
    bpy.ops.object.effector_add(type="TURBULENCE", location=(0, 0, 0))
    bpy.context.active_object.field.strength = 30
    scene.frame_set(1)
    select_only([flag])
    export_obj(os.path.join(out, "rest.obj"), apply_modifiers=False)
    for f in range(1, FRAMES + 1):  # steps the simulation in order
        scene.frame_set(f)
    addon_utils.enable("io_export_pc2", default_set=True)
    bpy.ops.export_shape.pc2(filepath=os.path.join(out, "anim.pc2"), world_space=True, range_start=1, range_end=FRAMES)


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
    scene = bpy.context.scene
    scene.frame_start, scene.frame_end = 1, FRAMES
    bpy.ops.mesh.primitive_cube_add(location=(0, 0, 1.0))
    wall = bpy.context.active_object
    wall.scale = (1.5, 0.15, 1.0)
    bpy.ops.object.transform_apply(scale=True)
    bpy.ops.object.particle_system_add()
    particles = wall.particle_systems[0].settings
    particles.count, particles.frame_start, particles.frame_end = 24, 1, 1
    particles.emit_from, particles.distribution = "VOLUME", "RAND"
    addon_utils.enable("object_fracture_cell", default_set=True)
    random.seed(1)  # the add-on shuffles and jitters its points with Python's generator
    select_only([wall])
    bpy.ops.object.add_fracture_cell_objects(source={"PARTICLE_OWN"}, source_limit=24, use_sharp_edges_apply=False,
                                             use_smooth_faces=False, margin=0.001)
    pieces = [o for o in bpy.context.scene.objects if o.type == "MESH" and o != wall]
    bpy.data.objects.remove(wall)
    bpy.ops.mesh.primitive_plane_add(size=40)
    select_only([bpy.context.active_object])
    bpy.ops.rigidbody.object_add(type="PASSIVE")
    for piece in pieces:
        select_only([piece])
        bpy.ops.rigidbody.object_add(type="ACTIVE")
    bpy.ops.object.effector_add(type="FORCE", location=(0, -0.6, 0.8))
    bpy.context.active_object.field.strength = -2000  # pushes away from its centre
    scene.rigidbody_world.point_cache.frame_end = FRAMES
    for f in range(1, FRAMES + 1):
        scene.frame_set(f)
    scene.frame_set(1)
    select_only(pieces)
    export_obj(os.path.join(out, "frame.obj"), export_animation=True, start_frame=1, end_frame=FRAMES)


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

# The scenes the add-on tolvan_rig is tried on, made as a user would make
# them in Blender 3.4; every scene spans frames 1-30 and leaves its objects
# to bake selected, the one that names the results active.
#   flag(): a cloth flag ("Flag", 441 vertices) pinned along one edge,
#           blown by wind, baked by the cloth solver.
#   creature(rest_obj, anim_txt): the example creature ("Creature"), one
#           shape key per frame, keyed in sequence.
#   wall(): a wall broken by Cell Fracture into at most 16 pieces that a
#           force field throws apart (rigid bodies), pieces "Wall_cell*".
import random

import addon_utils
import bpy
import numpy as np


def empty_scene():
    bpy.ops.wm.read_homefile(use_empty=True)
    scene = bpy.context.scene
    scene.frame_start, scene.frame_end = 1, 30
    return scene


def select_only(objects, active):
    bpy.context.view_layer.update()
    for ob in bpy.context.view_layer.objects:
        ob.select_set(ob in objects)
    bpy.context.view_layer.objects.active = active


def flag_mesh():
    """The flag's mesh alone (441 vertices), upright, selected."""
    empty_scene()
    bpy.ops.mesh.primitive_grid_add(x_subdivisions=21, y_subdivisions=21, size=2.0, rotation=(1.5708, 0.0, 0.0))
    ob = bpy.context.active_object
    ob.name = 'Flag'
    select_only([ob], ob)
    return ob


def flag():
    ob = flag_mesh()
    scene = bpy.context.scene
    pin = ob.vertex_groups.new(name='pin')
    pin.add([v.index for v in ob.data.vertices if v.co.x < -0.99], 1.0, 'REPLACE')
    cloth = ob.modifiers.new('Cloth', 'CLOTH')
    cloth.settings.vertex_group_mass = 'pin'
    cloth.settings.quality = 3
    cloth.point_cache.frame_start, cloth.point_cache.frame_end = 1, 30
    bpy.ops.object.effector_add(type='WIND', location=(-2.0, -1.0, 0.0), rotation=(0.0, 1.5708, 0.45))
    bpy.context.active_object.field.strength = 800.0
    bpy.context.active_object.field.noise = 0.0
    with bpy.context.temp_override(scene=scene, point_cache=cloth.point_cache):
        bpy.ops.ptcache.bake_all(bake=True)
    select_only([ob], ob)
    return ob


def creature(rest_obj, anim_txt):
    scene = empty_scene()
    rest, faces = [], []
    for line in open(rest_obj):
        parts = line.split()
        if parts and parts[0] == 'v':
            rest.append([float(x) for x in parts[1:4]])
        elif parts and parts[0] == 'f':
            faces.append([int(x.split('/')[0]) - 1 for x in parts[1:]])
    with open(anim_txt) as text:
        frames, vertices = (int(x) for x in text.readline().split())
        anim = np.array(text.read().split(), dtype=np.float64).reshape(frames, vertices, 3)
    mesh = bpy.data.meshes.new('Creature')
    mesh.from_pydata(rest, [], faces)
    ob = bpy.data.objects.new('Creature', mesh)
    scene.collection.objects.link(ob)
    ob.shape_key_add(name='rest')
    for f in range(frames):
        key = ob.shape_key_add(name='frame_%d' % f, from_mix=False)
        key.data.foreach_set('co', anim[f].astype(np.float32).ravel())
        for at, value in ((f, 0.0), (f + 1, 1.0), (f + 2, 0.0)):
            key.value = value
            key.keyframe_insert('value', frame=at)
    scene.frame_end = frames
    select_only([ob], ob)
    return ob


def wall():
    scene = empty_scene()
    addon_utils.enable('object_fracture_cell', default_set=True)
    bpy.ops.mesh.primitive_plane_add(size=20.0)
    ground = bpy.context.active_object
    bpy.ops.mesh.primitive_cube_add(location=(0.0, 0.0, 1.01), scale=(1.5, 0.15, 1.0))
    cube = bpy.context.active_object
    cube.name = 'Wall'
    bpy.ops.object.transform_apply(scale=True)
    bpy.ops.object.mode_set(mode='EDIT')
    bpy.ops.mesh.subdivide(number_cuts=2)
    bpy.ops.object.mode_set(mode='OBJECT')
    select_only([cube], cube)
    random.seed(1)  # Cell Fracture shuffles its points: the same wall every time
    bpy.ops.object.add_fracture_cell_objects(source={'VERT_OWN'}, source_limit=16,
                                             source_noise=0.0, recursion=0, use_recenter=True,
                                             collection_name='', use_debug_redraw=False)
    pieces = sorted((o for o in scene.objects if o.name.startswith('Wall_cell')), key=lambda o: o.name)
    cube.hide_set(True)
    select_only([ground], ground)
    bpy.ops.rigidbody.object_add(type='PASSIVE')
    select_only(pieces, pieces[0])
    bpy.ops.rigidbody.objects_add(type='ACTIVE')
    bpy.ops.object.effector_add(type='FORCE', location=(0.0, -1.0, 0.8))
    bpy.context.active_object.field.strength = 150.0
    scene.rigidbody_world.point_cache.frame_end = 30
    with bpy.context.temp_override(scene=scene, point_cache=scene.rigidbody_world.point_cache):
        bpy.ops.ptcache.bake_all(bake=True)
    select_only(pieces, pieces[0])
    return pieces

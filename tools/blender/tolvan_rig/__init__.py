"""Tolvan rig: bakes the animation of mesh objects (cloth, soft bodies,
fractures, shape keys, geometry nodes) into an armature with a skinned
mesh, by running the Tolvan program."""
import bpy

from .operator import (OBJECT_OT_tolvan_bake_to_bones, TolvanRigSettings, VIEW3D_PT_tolvan_rig, cancel_bake,
                       menu_entry, running_job)

bl_info = {
    'name': 'Tolvan rig',
    'description': 'Bake any animated mesh to an armature and a skinned mesh',
    'version': (1, 0, 0),
    'blender': (3, 4, 0),
    'location': 'View3D > Object > Bake to Bones (Tolvan); View3D > Sidebar > Tolvan',
    'category': 'Animation',
}


class TolvanRigPreferences(bpy.types.AddonPreferences):
    bl_idname = __package__
    tolvan_path: bpy.props.StringProperty(name='Tolvan program', subtype='FILE_PATH', default='',
                                          description='Path of the Tolvan program; empty: Tolvan on PATH')

    def draw(self, context):
        self.layout.prop(self, 'tolvan_path')


_classes = (TolvanRigPreferences, TolvanRigSettings, OBJECT_OT_tolvan_bake_to_bones, VIEW3D_PT_tolvan_rig)


def register():
    for cls in _classes:
        bpy.utils.register_class(cls)
    bpy.types.Scene.tolvan_rig = bpy.props.PointerProperty(type=TolvanRigSettings)
    bpy.types.VIEW3D_MT_object.append(menu_entry)


def unregister():
    bpy.types.VIEW3D_MT_object.remove(menu_entry)
    del bpy.types.Scene.tolvan_rig
    for cls in reversed(_classes):
        bpy.utils.unregister_class(cls)


__all__ = ['register', 'unregister', 'cancel_bake', 'running_job', 'bl_info']

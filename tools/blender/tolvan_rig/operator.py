"""Object > Bake to Bones (Tolvan): the operator, its settings and the
sidebar panel. From a script it waits for Tolvan; from the interface it
runs modally, shows Tolvan's progress in the status bar and stops on Esc."""
import time

import bpy
from bpy.props import BoolProperty, EnumProperty, IntProperty, StringProperty

from .bake_job import BakeJob, Settings
from .sampling import BakeError
from .tolvan_process import find_tolvan

_state = {'job': None, 'cancel': False}


def cancel_bake():
    """Cancels the running bake, as Esc does: Tolvan ends, nothing is added.
    Safe to call from another thread (it only raises a flag)."""
    _state['cancel'] = True


def running_job():
    """The bake in progress, or None."""
    return _state['job']


def _settings_props(scene_range):
    """The fields shared by the operator and the panel."""
    props = {
        'nnz': IntProperty(name='Weights per vertex', default=4, min=1, max=16,
                           description='Most bones that move one vertex (Tolvan -NNZ)'),
        'max_bones': IntProperty(name='Most bones', default=100, min=1, max=1000,
                                 description='Most bones of the initial clustering (Tolvan -MAX_NB)'),
        'skeleton': BoolProperty(name='Skeleton', default=True,
                                 description='Fit with joints between bones; off (Tolvan -N_REP 0) for pieces '
                                             'that move apart, such as a fracture'),
        'weld': BoolProperty(name='Weld', default=True,
                             description='Rig vertices that coincide in every frame (split at seams or sharp '
                                         'edges) as one; they share their weights'),
        'rest_pose': EnumProperty(name='Rest pose', default='EVALUATED',
                                  items=[('EVALUATED', 'First frame', 'The evaluated mesh at the first frame'),
                                         ('ORIGINAL', 'Un-deformed', 'The mesh without its modifiers and shape keys')]),
        'keep_folder': StringProperty(name='Keep files in', subtype='DIR_PATH', default='',
                                      description='Folder for Tolvan\'s input, rig and vertex map; empty: a '
                                                  'temporary folder that is removed'),
    }
    if scene_range:
        props['use_scene_range'] = BoolProperty(name='Scene range', default=True,
                                                description='Bake the scene\'s frame range')
    props['frame_start'] = IntProperty(name='Start', default=1, description='First frame (the rest frame)')
    props['frame_end'] = IntProperty(name='End', default=250, description='Last frame')
    return props


class TolvanRigSettings(bpy.types.PropertyGroup):
    __annotations__ = _settings_props(True)


class OBJECT_OT_tolvan_bake_to_bones(bpy.types.Operator):
    """Turn the animation of the selected meshes into an armature and a skinned mesh"""
    bl_idname = 'object.tolvan_bake_to_bones'
    bl_label = 'Bake to Bones (Tolvan)'
    bl_options = {'REGISTER', 'UNDO'}
    __annotations__ = dict(_settings_props(False),
                           tolvan_path=StringProperty(name='Tolvan', subtype='FILE_PATH', default='',
                                                      description='The Tolvan program; empty: the add-on '
                                                                  'preference, else Tolvan on PATH'))

    @classmethod
    def poll(cls, context):
        return context.mode == 'OBJECT'

    def _start(self, context):
        scene = context.scene
        for prop, value in (('frame_start', scene.frame_start), ('frame_end', scene.frame_end)):
            if not self.properties.is_property_set(prop):
                setattr(self, prop, value)
        prefs = context.preferences.addons.get(__package__)
        settings = Settings(frame_start=self.frame_start, frame_end=self.frame_end, nnz=self.nnz,
                            max_bones=self.max_bones, skeleton=self.skeleton, weld=self.weld,
                            rest_original=self.rest_pose == 'ORIGINAL', keep_folder=self.keep_folder,
                            program=find_tolvan(self.tolvan_path, prefs.preferences.tolvan_path if prefs else ''))
        _state['cancel'] = False
        _state['job'] = BakeJob(context, settings)
        return _state['job']

    def _finish(self, context, job):
        _state['job'] = None
        summary = job.finish(context)
        for line in job.run.warnings:
            self.report({'WARNING'}, line)
        self.report({'INFO'}, summary)
        return {'FINISHED'}

    def _stop(self, job):
        _state['job'] = None
        job.cancel()
        self.report({'INFO'}, 'Bake cancelled; nothing was added')
        return {'CANCELLED'}

    def execute(self, context):
        try:
            job = self._start(context)
            while not job.poll():
                if _state['cancel']:
                    return self._stop(job)
                time.sleep(0.05)
            return self._finish(context, job)
        except (BakeError, OSError) as problem:
            _state['job'] = None
            self.report({'ERROR'}, str(problem))
            return {'CANCELLED'}

    def invoke(self, context, event):
        try:
            self._job = self._start(context)
        except (BakeError, OSError) as problem:
            _state['job'] = None
            self.report({'ERROR'}, str(problem))
            return {'CANCELLED'}
        self._timer = context.window_manager.event_timer_add(0.2, window=context.window)
        context.window_manager.modal_handler_add(self)
        return {'RUNNING_MODAL'}

    def _end_modal(self, context):
        context.window_manager.event_timer_remove(self._timer)
        context.workspace.status_text_set(None)

    def modal(self, context, event):
        if event.type == 'ESC' or _state['cancel']:
            self._end_modal(context)
            return self._stop(self._job)
        if event.type != 'TIMER':
            return {'PASS_THROUGH'}
        if not self._job.poll():
            context.workspace.status_text_set(self._job.progress() + ' (Esc cancels)')
            return {'RUNNING_MODAL'}
        self._end_modal(context)
        try:
            return self._finish(context, self._job)
        except (BakeError, OSError) as problem:
            self.report({'ERROR'}, str(problem))
            return {'CANCELLED'}

    def cancel(self, context):
        # Blender ends the operator (a file is loaded, the window closes).
        self._end_modal(context)
        self._stop(self._job)


class VIEW3D_PT_tolvan_rig(bpy.types.Panel):
    bl_label = 'Bake to Bones'
    bl_space_type = 'VIEW_3D'
    bl_region_type = 'UI'
    bl_category = 'Tolvan'

    def draw(self, context):
        s = context.scene.tolvan_rig
        layout = self.layout
        layout.prop(s, 'use_scene_range')
        row = layout.row(align=True)
        row.enabled = not s.use_scene_range
        row.prop(s, 'frame_start')
        row.prop(s, 'frame_end')
        for prop in ('rest_pose', 'nnz', 'max_bones', 'skeleton', 'weld', 'keep_folder'):
            layout.prop(s, prop)
        op = layout.operator(OBJECT_OT_tolvan_bake_to_bones.bl_idname, icon='ARMATURE_DATA')
        for prop in ('rest_pose', 'nnz', 'max_bones', 'skeleton', 'weld', 'keep_folder') + \
                (() if s.use_scene_range else ('frame_start', 'frame_end')):
            setattr(op, prop, getattr(s, prop))
        job = running_job()
        if job:
            layout.label(text=job.progress())


def menu_entry(self, context):
    self.layout.operator(OBJECT_OT_tolvan_bake_to_bones.bl_idname, icon='ARMATURE_DATA')

"""One bake from the selection to the scene, in three steps that the
operator drives either waiting (scripts) or from a timer (interface):
start (sample the animation, write Tolvan's inputs, start Tolvan), poll,
then finish (read the rig, add the armature and skinned mesh) or cancel."""
import os
import tempfile
import time

import bpy
import numpy as np

from . import build_scene, rig_data, sampling, tolvan_process, weld


class Settings:
    """frame_start, frame_end: the range; nnz, max_bones: Tolvan's -NNZ and
    -MAX_NB; skeleton: False runs -N_REP 0; weld; rest_original: the
    un-deformed meshes as the rest pose; program: Tolvan; keep_folder: where
    the files stay ('' for a temporary folder that is removed)."""

    def __init__(self, **values):
        self.__dict__.update(values)


class BakeJob:
    def __init__(self, context, settings):
        self.settings = settings
        self.objects = sampling.bake_objects(context)
        self.name = self.objects[0].name
        self.started = time.monotonic()
        self.run = None
        s = settings
        self.rest, triangles, self.frames = sampling.sample(context, self.objects, s.frame_start, s.frame_end,
                                                            s.rest_original)
        count = len(self.rest)
        if s.weld:
            self.index, keep = weld.weld_map(self.rest, self.frames)
            triangles = weld.weld_triangles(triangles, self.index)
        else:
            self.index, keep = np.arange(count), np.arange(count)
        self.keep = keep
        if s.keep_folder:
            self.folder = os.path.abspath(bpy.path.abspath(s.keep_folder))
            os.makedirs(self.folder, exist_ok=True)
        else:
            self.folder = tempfile.mkdtemp(prefix='tolvan-bake-')
        try:
            tolvan_process.write_inputs(self.folder, self.rest[keep], triangles, self.frames[:, keep])
            with open(os.path.join(self.folder, 'vertex_map.txt'), 'w') as out:
                out.writelines('%d\n' % i for i in self.index.tolist())
            options = ['-NNZ', str(s.nnz), '-MAX_NB', str(s.max_bones)] + ([] if s.skeleton else ['-N_REP', '0'])
            self.run = tolvan_process.TolvanRun(s.program, self.folder, options)
        except BaseException:
            self._discard()
            raise
        self.welded = (count, len(keep))

    def poll(self):
        return self.run.poll()

    def progress(self):
        return self.run.progress()

    def finish(self, context):
        """Adds <name>_rig and <name>_skinned; returns a summary line. On any
        failure nothing stays in the scene."""
        try:
            if self.run.exit_code != 0:
                reason = ' '.join(self.run.warnings) or 'no reason given'
                raise sampling.BakeError('Tolvan failed (exit code %d): %s' % (self.run.exit_code, reason))
            rig = rig_data.read_rig(os.path.join(self.folder, 'rig.txt'))
            try:
                self.name = self.objects[0].name
                for ob in self.objects:
                    ob.name
            except ReferenceError:
                raise sampling.BakeError('an object of the bake was deleted while Tolvan ran') from None
            added = []
            try:
                self._add(context, rig, added)
            except BaseException:
                for ob in added:
                    remove_object(ob)
                raise
        finally:
            self._discard()
        seconds = time.monotonic() - self.started
        error = '?' if self.run.error is None else '%.2f' % self.run.error
        return '%s: %d bones, error Ef = %s %% of the box diagonal, %d -> %d vertices, %.1f s' % (
            self.name, rig.bones, error, self.welded[0], self.welded[1], seconds)

    def _add(self, context, rig, added):
        keep_rest = self.rest[self.keep]
        tree = rig_data.joint_tree(rig, keep_rest)
        armature = build_scene.add_armature(context, self.name + '_rig', rig, keep_rest, tree)
        added.append(armature)
        build_scene.key_armature(context, armature, rig, tree, self.settings.frame_start)
        build_scene.add_skinned_mesh(context, self.name + '_skinned', self.objects, self.settings.frame_start,
                                     self.frames[0], self.rest, self.index, rig, armature)
        for ob in self.objects:
            ob.hide_set(True)

    def cancel(self):
        """Ends Tolvan and removes what the bake wrote; the scene is untouched."""
        if self.run:
            self.run.stop()
        self._discard()

    def _discard(self):
        if not self.settings.keep_folder:
            tolvan_process.remove_folder(self.folder)


def remove_object(ob):
    """Removes ob and its data (armature and its action)."""
    data, action = ob.data, ob.animation_data and ob.animation_data.action
    bpy.data.objects.remove(ob)
    if action:
        bpy.data.actions.remove(action)
    if isinstance(data, bpy.types.Armature):
        bpy.data.armatures.remove(data)

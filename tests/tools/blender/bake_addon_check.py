# Checks of the add-on tolvan_rig in headless Blender, scene after scene:
#   BLENDER_USER_SCRIPTS=DIR blender -b --factory-startup --python bake_addon_check.py --
#       TOLVAN ADDON_ZIP TOOLS_DIR REST_OBJ ANIM_TXT SCRATCH
# Installs and enables the add-on from its zip, with TOLVAN as its preference.
# Prints one line of figures per scene; exits 1 on the first failed check.
import json
import os
import sys
import threading
import time

import addon_utils
import bpy
import numpy as np

TOLVAN, ZIP, TOOLS, REST_OBJ, ANIM_TXT, SCRATCH = sys.argv[sys.argv.index('--') + 1:]
sys.path.insert(0, os.path.join(TOOLS, 'clients'))
import blender_bake_scenes as scenes  # noqa: E402


def check(ok, what):
    if not ok:
        print('FAILED: ' + what, file=sys.stderr)
        sys.stdout.flush()
        sys.exit(1)


def world(ob):
    """World positions of ob's evaluated mesh, (V, 3) float64."""
    ob_eval = ob.evaluated_get(bpy.context.evaluated_depsgraph_get())
    mesh = ob_eval.to_mesh()
    co = np.empty(len(mesh.vertices) * 3, dtype=np.float32)
    mesh.vertices.foreach_get('co', co)
    m = np.array(ob_eval.matrix_world, dtype=np.float64)
    ob_eval.to_mesh_clear()
    return co.reshape(-1, 3) @ m[:3, :3].T + m[:3, 3]


def rig_skinning(rig, rest, f):
    """The rig's own skinning of rest (V, 3) at frame f, from the file's numbers."""
    moved = np.einsum('bij,vj->vbi', rig.transforms[f, :, :, :3], rest) + rig.transforms[f, :, :, 3]
    return np.einsum('vb,vbi->vi', rig.weights, moved)


def bone_angles(armature):
    """Degrees between every bone with children and its children's mean head."""
    for bone in armature.data.bones:
        if bone.children:
            target = sum((c.head_local for c in bone.children), bone.head_local * 0) / len(bone.children)
            yield np.degrees((bone.tail_local - bone.head_local).angle(target - bone.head_local))


def bake_and_check(name, make, options, most_rms=100.0):
    sources = make()
    scene = bpy.context.scene
    folder = os.path.join(SCRATCH, name)
    before = {kind: set(getattr(bpy.data, kind).keys()) for kind in ('objects', 'meshes')}
    started = time.monotonic()
    result = bpy.ops.object.tolvan_bake_to_bones(keep_folder=folder, **options)
    seconds = time.monotonic() - started
    named = sources[0].name
    check(result == {'FINISHED'}, name + ': bake ' + str(result))
    armature, skinned = bpy.data.objects[named + '_rig'], bpy.data.objects[named + '_skinned']
    check(set(bpy.data.objects.keys()) - before['objects'] == {armature.name, skinned.name} and
          set(bpy.data.meshes.keys()) - before['meshes'] == {skinned.data.name}, name + ': more was added')
    check(all(ob.hide_get() for ob in sources), name + ': sources still shown')
    check(len(skinned.data.vertices) == sum(len(ob.data.vertices) for ob in sources) and
          skinned.data.uv_layers.keys() == sources[0].data.uv_layers.keys(), name + ': vertices or UVs of the copy')
    rig = rig_data.read_rig(os.path.join(folder, 'rig.txt'))
    rest = np.array([line.split()[1:] for line in open(os.path.join(folder, 'rest.obj')) if line[0] == 'v'],
                    dtype=np.float64)
    index = np.loadtxt(os.path.join(folder, 'vertex_map.txt'), dtype=np.int64, ndmin=1)
    first = np.unique(index, return_index=True)[1]
    diagonal = np.linalg.norm(rest.max(axis=0) - rest.min(axis=0))
    worst, squares = 0.0, 0.0
    for f in range(rig.frames):
        scene.frame_set(scene.frame_start + f)
        played = world(skinned)
        original = np.concatenate([world(ob) for ob in sources])
        worst = max(worst, np.linalg.norm(played - rig_skinning(rig, rest, f)[index], axis=1).max() / diagonal)
        squares += ((played[first] - original[first]) ** 2).sum()
        for pose in armature.pose.bones:
            check(np.linalg.det(np.array(pose.matrix)[:3, :3]) > 0.0, '%s: %s mirrors at frame %d' % (name, pose.name, f))
    rms = 100.0 * np.sqrt(squares / (rig.frames * len(first))) / diagonal
    ef = float([line for line in open(os.path.join(folder, 'tolvan.log')) if 'Ef=' in line][-1]
               .split('Ef=')[1].split('(')[0])
    angle = max(bone_angles(armature), default=0.0)
    with open(os.path.join(folder, 'bones.json'), 'w') as out:  # the rest matrices, for the glTF comparison
        json.dump({b.name: [x for row in b.matrix_local for x in row] for b in armature.data.bones}, out)
    print('%s: %d vertices (%d welded), %d frames, %d bones, Ef %.2f %%, RMS to the original %.4f %%, '
          'Blender from the rig %.2e of the diagonal, bones at most %.3f degrees off, bake %.1f s'
          % (name, len(index), len(first), rig.frames, rig.bones, ef, rms, worst, angle, seconds))
    check(worst <= 1e-5, name + ': the skinned mesh does not play the rig')
    check(abs(rms - ef) <= 0.006 + 0.02 * ef and rms <= most_rms, name + ': RMS to the original %.4f %%' % rms)
    check(angle <= 2.0, name + ': a bone does not point at its children')


def cancelled_bake():
    """Esc (the cancel hook) while Tolvan runs: it ends, nothing is added."""
    scenes.creature(REST_OBJ, ANIM_TXT)
    before = {kind: set(getattr(bpy.data, kind).keys()) for kind in ('objects', 'meshes', 'armatures', 'actions')}
    seen = {}

    def cancel_when_running():
        while not (tolvan_rig.running_job() and tolvan_rig.running_job().run.stage != 'starting'):
            time.sleep(0.01)
        seen['job'] = tolvan_rig.running_job()
        tolvan_rig.cancel_bake()
    threading.Thread(target=cancel_when_running, daemon=True).start()
    result = bpy.ops.object.tolvan_bake_to_bones()
    check(result == {'CANCELLED'}, 'cancel: ' + str(result))
    after = {kind: set(getattr(bpy.data, kind).keys()) for kind in before}
    check(after == before, 'cancel: the scene changed')
    job = seen['job']
    check(job.run.exit_code is not None and not os.path.exists(job.folder), 'cancel: Tolvan or its folder left')
    print('cancel: Tolvan ended at "%s", nothing added, its folder removed' % job.progress())


def refusals():
    """Inputs that cannot be baked: a clear message, nothing added."""
    def growing():
        ob = scenes.flag_mesh()
        ob.modifiers.new('Build', 'BUILD').frame_duration = 10
        return ob
    def square():  # four vertices: too few for a bone
        scenes.empty_scene()
        bpy.ops.mesh.primitive_plane_add()
        return bpy.context.active_object
    path = os.environ['PATH']
    cases = [  # scene, options, preference, PATH, message
        (scenes.flag_mesh, dict(frame_start=3, frame_end=3), TOLVAN, path, 'fewer than two frames'),
        (growing, {}, TOLVAN, path, 'vertices at frame'),
        (scenes.flag_mesh, dict(tolvan_path='/nonexistent/Tolvan'), TOLVAN, path, 'is not an executable program'),
        (scenes.flag_mesh, {}, '', '/nonexistent', 'add-on preferences'),
        (lambda: scenes.select_only([], None), {}, TOLVAN, path, 'none is selected'),
        (square, {}, TOLVAN, path, 'Tolvan failed (exit code 1): Tolvan:'),
        (scenes.flag_mesh, dict(tolvan_path='/bin/true'), TOLVAN, path, 'cannot read the rig'),
    ]
    for make, options, preference, search, message in cases:
        make()
        before = set(bpy.data.objects.keys())
        PREFERENCES.tolvan_path, os.environ['PATH'] = preference, search
        try:
            bpy.ops.object.tolvan_bake_to_bones(**options)
            problem = 'no error'
        except RuntimeError as error:
            problem = str(error)
        PREFERENCES.tolvan_path, os.environ['PATH'] = TOLVAN, path
        check(message in problem and set(bpy.data.objects.keys()) == before, 'refusal %r: %s' % (message, problem))
    print('refusals: %d cases, each with its message and nothing added' % len(cases))


bpy.ops.preferences.addon_install(filepath=ZIP)
check(addon_utils.enable('tolvan_rig', default_set=True) is not None, 'the add-on does not install from its zip')
import tolvan_rig  # noqa: E402
from tolvan_rig import rig_data  # noqa: E402
PREFERENCES = bpy.context.preferences.addons['tolvan_rig'].preferences
PREFERENCES.tolvan_path = TOLVAN
check(tolvan_rig.__file__.startswith(os.environ['BLENDER_USER_SCRIPTS']), 'not the installed add-on')
bake_and_check('flag', lambda: [scenes.flag()], {}, most_rms=1.0)
bake_and_check('creature', lambda: [scenes.creature(REST_OBJ, ANIM_TXT)], dict(rest_pose='ORIGINAL'))
bake_and_check('wall', scenes.wall, dict(skeleton=False))
cancelled_bake()
refusals()

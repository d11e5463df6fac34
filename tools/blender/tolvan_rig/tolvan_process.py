"""Tolvan as a subprocess: its input files written into a folder, its
progress lines read on a thread (so that Blender is never blocked), its
errors and warnings relayed as it writes them."""
import os
import queue
import re
import shutil
import subprocess
import threading

from .sampling import BakeError

_REP = re.compile(r'Rep #(\d+)/(\d+)')
_EF = re.compile(r'Ef=([0-9.]+)\(%\)')
_STAGES = (('Loading', 'loading'), ('Init - LBG-VQ', 'initial clustering'), ('Segmentation', 'segmentation'),
           ('VELK without skeleton', 'fitting without skeleton'), ('VELK with skeleton', 'fitting with skeleton'),
           ('Writing', 'writing the rig'))


def find_tolvan(path, preference):
    """The Tolvan program: path if given, else the add-on preference, else
    Tolvan on PATH. Raises BakeError naming every place looked at."""
    for given, what in ((path, 'the operator\'s Tolvan path'), (preference, 'the add-on preference')):
        if given:
            given = os.path.expanduser(given)
            if os.path.isfile(given) and os.access(given, os.X_OK):
                return given
            raise BakeError('%s %s is not an executable program' % (what, given))
    found = shutil.which('Tolvan')
    if not found:
        raise BakeError('Tolvan was not found: set its path in the add-on preferences '
                        '(Edit > Preferences > Add-ons > Tolvan rig) or put Tolvan on PATH')
    return found


def write_inputs(folder, rest, triangles, frames):
    """Writes sequence.anim.txt and rest.obj (shortest exact decimals).
    rest: (V, 3); triangles: (T, 3) 0-based; frames: (F, V, 3)."""
    with open(os.path.join(folder, 'sequence.anim.txt'), 'w') as out:
        out.write('%d %d\n' % (frames.shape[0], frames.shape[1]))
        for frame in frames:
            out.writelines('%r %r %r\n' % tuple(p) for p in frame.tolist())
    with open(os.path.join(folder, 'rest.obj'), 'w') as out:
        out.writelines('v %r %r %r\n' % tuple(p) for p in rest.tolist())
        out.writelines('f %d %d %d\n' % tuple(t) for t in (triangles + 1).tolist())


class TolvanRun:
    """One run of Tolvan on the inputs of folder, writing folder/rig.txt
    and its progress lines to folder/tolvan.log. stage, repetition and error
    follow its progress lines; warnings holds its standard error, line by line."""

    def __init__(self, program, folder, options):
        self.folder = folder
        self.stage, self.repetition, self.error = 'starting', '', None
        self.warnings, self.exit_code = [], None
        self._lines = queue.Queue()
        self._log = open(os.path.join(folder, 'tolvan.log'), 'w')
        args = [program] + options + ['sequence.anim.txt', 'rest.obj', 'rig.txt']
        try:
            self._process = subprocess.Popen(args, cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                             stdin=subprocess.DEVNULL, text=True, errors='replace')
        except OSError as problem:
            self._log.close()
            raise BakeError('cannot run %s: %s' % (program, problem.strerror or problem)) from None
        self._readers = [threading.Thread(target=self._read, args=(stream, kind), daemon=True)
                         for stream, kind in ((self._process.stdout, 'out'), (self._process.stderr, 'err'))]
        for reader in self._readers:
            reader.start()

    def _read(self, stream, kind):
        for line in stream:
            self._lines.put((kind, line.rstrip('\n')))
        stream.close()

    def _take(self, kind, line):
        self._log.write(line + '\n')
        if kind == 'err':
            if line.strip():
                self.warnings.append(line)
            return
        for start, name in _STAGES:
            if line.startswith(start):
                self.stage, self.repetition = name, ''
        rep = _REP.search(line)
        if rep:
            self.repetition = rep.group(1)
        ef = _EF.search(line)
        if ef:
            self.error = float(ef.group(1))

    def poll(self):
        """Takes in the lines written so far; True once Tolvan has ended
        and every line is in."""
        done = self._process.poll() is not None
        if done:
            for reader in self._readers:
                reader.join()
        while True:
            try:
                self._take(*self._lines.get_nowait())
            except queue.Empty:
                break
        if done:
            self.exit_code = self._process.returncode
            self._log.close()
        return done

    def progress(self):
        text = 'Tolvan: ' + self.stage
        return text + (', repetition ' + self.repetition if self.repetition else '')

    def stop(self):
        """Ends the process (if it still runs) and waits for it."""
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self.poll()


def remove_folder(folder):
    shutil.rmtree(folder, ignore_errors=True)

"""Tolvan's rig file read into arrays, and its skeleton as a tree of joints
placed exactly as the glTF export places them: every group of linked bones
rooted at its heaviest bone, every bone's +Y axis from its head to its
child's head (the mean of its children's heads; for a bone without children
the principal axis of the vertices it carries, away from its head), the
other axes turned as little as possible from the parent's."""
import numpy as np

from .sampling import BakeError


class Rig:
    """bones B, frames F, vertices V; joints: list of (a, b, (x, y, z)) with
    a < b; transforms (F, B, 3, 4): [R | t], a rest point p goes to R p + t;
    weights (V, B) dense."""

    def __init__(self, bones, frames, vertices):
        self.bones, self.frames, self.vertices = bones, frames, vertices
        self.joints = []
        self.transforms = np.zeros((frames, bones, 3, 4))
        self.weights = np.zeros((vertices, bones))


def _rows(path):
    with open(path) as text:
        for number, line in enumerate(text, 1):
            if line.strip() and not line.startswith('#'):
                yield number, line.split()


def read_rig(path):
    """Reads a rig file as Tolvan writes it; raises BakeError naming the
    file and line on anything else."""
    rows = _rows(path)
    number = 0
    try:
        number, (nb, nj) = next(rows)
        nb, nj = int(nb), int(nj)
        links = []
        for _ in range(2 * nj):
            number, row = next(rows)
            links.append((int(row[0]), int(row[1]), tuple(float(x) for x in row[2:5])))
        number, (nf, nb2) = next(rows)
        if int(nb2) != nb:
            raise ValueError('bone counts disagree')
        transforms = np.zeros((int(nf), nb, 3, 4))
        for f in range(int(nf)):
            next(rows)
            for _ in range(nb):
                number, row = next(rows)
                transforms[f, int(row[0])] = np.array(row[1:13], dtype=np.float64).reshape(3, 4)
        number, (nv, nb3) = next(rows)
        rig = Rig(nb, int(nf), int(nv))
        rig.transforms = transforms
        for _ in range(rig.vertices):
            number, row = next(rows)
            v = int(row[0])
            for k in range(1, len(row), 2):
                rig.weights[v, int(row[k])] = float(row[k + 1])
    except (StopIteration, ValueError, IndexError) as problem:
        raise BakeError('%s, line %d: not a rig as Tolvan writes it (%s)' % (path, number, problem or 'ends early'))
    except OSError as problem:
        raise BakeError('cannot read the rig %s: %s' % (path, problem.strerror or problem)) from None
    rig.joints = [(a, b, p) for a, b, p in links if a < b]
    return rig


class JointTree:
    """parent (B,) with -1 for roots; order: every bone after its parent;
    head (B, 3); rotation (B, 3, 3): the joint's rest axes as columns."""


def _principal_axis(points, weights):
    """Unit principal axis of points weighted by weights, or None."""
    centre = weights @ points / weights.sum()
    d = points - centre
    c = (d * weights[:, None]).T @ d
    if not np.trace(c) > 0.0:
        return None
    values, vectors = np.linalg.eigh(c)
    return vectors[:, 2] if values[2] > 1e-12 * np.trace(c) else None


def smallest_rotation(a, b):
    """The rotation taking unit vector a to unit vector b about the axis
    perpendicular to both; a half turn when b = -a."""
    axis = np.cross(a, b)
    cosine, sine = float(a @ b), float(np.linalg.norm(axis))
    if sine < 1e-12 and cosine < 0.0:
        axis = np.cross(a, np.eye(3)[int(np.argmin(np.abs(a)))])
        sine = 0.0
    length = np.linalg.norm(axis)
    if length == 0.0:
        return np.eye(3)
    u = axis / length
    cs = min(1.0, max(-1.0, cosine))
    k = np.array([[0, -u[2], u[1]], [u[2], 0, -u[0]], [-u[1], u[0], 0]])
    return cs * np.eye(3) + sine * k + (1.0 - cs) * np.outer(u, u)


def joint_tree(rig, rest):
    """The skeleton of rig over rest (V, 3) as the glTF export builds it."""
    nb = rig.bones
    tree = JointTree()
    total = rig.weights.sum(axis=0)
    centre = np.where(total[:, None] > 0.0, rig.weights.T @ rest / np.where(total > 0.0, total, 1.0)[:, None],
                      rest.mean(axis=0))
    links = [[] for _ in range(nb)]
    for a, b, position in rig.joints:
        links[a].append((b, position))
        links[b].append((a, position))
    tree.parent, tree.order, tree.head = [-1] * nb, [], np.zeros((nb, 3))
    placed = [False] * nb
    for root in sorted(range(nb), key=lambda j: -total[j]):  # stable: ties by bone number
        if placed[root]:
            continue
        placed[root] = True
        tree.head[root] = centre[root]
        first = len(tree.order)
        tree.order.append(root)
        at = first
        while at < len(tree.order):  # breadth first, so every bone comes after its parent
            bone = tree.order[at]
            at += 1
            for other, position in sorted(links[bone], key=lambda link: link[0]):
                if not placed[other]:
                    placed[other] = True
                    tree.parent[other] = bone
                    tree.head[other] = position
                    tree.order.append(other)
    _orient(rig, rest, tree, centre)
    return tree


def _orient(rig, rest, tree, centre):
    size = np.linalg.norm(rest.max(axis=0) - rest.min(axis=0)) if len(rest) else 0.0
    tiny = 1e-9 * max(size, 1e-300)
    children = [[j for j in tree.order if tree.parent[j] == b] for b in range(rig.bones)]
    tree.rotation = np.zeros((rig.bones, 3, 3))
    for j in tree.order:
        p = tree.parent[j]
        base = np.eye(3) if p < 0 else tree.rotation[p]
        up = base[:, 1]
        y = None
        if children[j]:
            y = tree.head[children[j]].mean(axis=0) - tree.head[j]
            y = y if np.linalg.norm(y) > tiny else None
        if y is None and rig.weights[:, j].any():
            carried = rig.weights[:, j] > 0.0
            y = _principal_axis(rest[carried], rig.weights[carried, j])
            if y is not None:
                away = (centre[j] - tree.head[j]) @ y
                if abs(away) <= tiny:
                    away = up @ y
                y = -y if away < 0.0 else y
        turn = np.eye(3) if y is None else smallest_rotation(up, y / np.linalg.norm(y))
        tree.rotation[j] = turn @ base

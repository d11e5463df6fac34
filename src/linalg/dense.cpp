#include "linalg/dense.h"

void throwSubscriptError() { throw std::out_of_range("invalid vector<T> subscript"); }
void throwLengthError() { throw std::length_error("vector<T> too long"); }

Vector makeVector3(double x, double y, double z)
{
    Vector v(3);
    v[0] = x;
    v[1] = y;
    v[2] = z;
    return v;
}

Vector addVector3(const Vector& a, const Vector& b)
{
    return makeVector3(a[0] + b[0], a[1] + b[1], a[2] + b[2]);
}

Vector subtractVector3(const Vector& a, const Vector& b)
{
    return makeVector3(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

Vector scaleVector3(double s, const Vector& v)
{
    return makeVector3(s * v[0], s * v[1], s * v[2]);
}

Vector divideVector3(const Vector& v, double s)
{
    return makeVector3(v[0] / s, v[1] / s, v[2] / s);
}

Vector transformPoint(const Bone& bone, int frame, const Vector& p)
{
    if (frame < 0 || std::size_t(frame) >= bone.rotations.size() || std::size_t(frame) >= bone.translations.size())
        throwSubscriptError();
    const Matrix& r = bone.rotations[frame];
    const Vector& t = bone.translations[frame];
    if (rowCount(r) != 3 || columnCount(r) != 3 || r[1].size() < 3 || r[2].size() < 3 || t.size() < 3 || p.size() < 3)
        return addVector3(multiplyVector(r, p), t);
    // The common 3x3 case without per-element checks: each row summed from 0.0
    // over the columns, then the translation added, as multiplyVector and
    // addVector3 would.
    const double* x = p.data();
    Vector y(3);
    for (int i = 0; i < 3; ++i) {
        const double* row = r.data()[i].data();
        double sum = 0.0;
        sum += row[0] * x[0];
        sum += row[1] * x[1];
        sum += row[2] * x[2];
        y.data()[i] = sum + t.data()[i];
    }
    return y;
}

void resizeMatrix(Matrix& m, std::size_t rows, std::size_t columns)
{
    m.resize(rows);
    for (Vector& row : m)
        row.resize(columns, 0.0);
}

Matrix zeroMatrix3()
{
    Matrix m;
    resizeMatrix(m, 3, 3);
    return m;
}

Matrix transpose(const Matrix& a)
{
    Matrix t;
    std::size_t rows = rowCount(a), cols = columnCount(a);
    resizeMatrix(t, cols, rows);
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < cols; ++j)
            t[j][i] = a[i][j];
    return t;
}

Matrix subtractMatrix(const Matrix& a, const Matrix& b)
{
    Matrix d;
    std::size_t rows = rowCount(a), cols = columnCount(a);
    resizeMatrix(d, rows, cols);
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < cols; ++j)
            d[i][j] = a[i][j] - b[i][j];
    return d;
}

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix p;
    std::size_t rows = rowCount(a), inner = columnCount(a), cols = columnCount(b);
    resizeMatrix(p, rows, cols);
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t s = 0; s < cols; ++s) {
            double sum = 0.0;
            for (std::size_t k = 0; k < inner; ++k)
                sum += a[r][k] * b[k][s];
            p[r][s] = sum;
        }
    return p;
}

Vector multiplyVector(const Matrix& a, const Vector& x)
{
    std::size_t rows = rowCount(a), cols = columnCount(a);
    Vector y(rows);
    for (std::size_t i = 0; i < rows; ++i) {
        double sum = 0.0;
        for (std::size_t k = 0; k < cols; ++k)
            sum += a[i][k] * x[k];
        y[i] = sum;
    }
    return y;
}

Vector multiplyTransposedVector(const Matrix& a, const Vector& x)
{
    std::size_t rows = rowCount(a), cols = columnCount(a);
    Vector y(cols);
    for (std::size_t i = 0; i < cols; ++i) {
        double sum = 0.0;
        for (std::size_t k = 0; k < rows; ++k)
            sum += a[k][i] * x[k];
        y[i] = sum;
    }
    return y;
}

Matrix gramMatrix(const Matrix& a)
{
    Matrix g;
    std::size_t rows = rowCount(a), n = columnCount(a);
    resizeMatrix(g, n, n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            double sum = 0.0;
            for (std::size_t k = 0; k < rows; ++k)
                sum += a[k][i] * a[k][j];
            g[i][j] = sum;
        }
    return g;
}

double* PointTable::at(int row, int column)
{
    if (row < 0 || row >= rows || column < 0 || column >= columns)
        throwSubscriptError();
    return point(row, column);
}

const double* PointTable::at(int row, int column) const
{
    if (row < 0 || row >= rows || column < 0 || column >= columns)
        throwSubscriptError();
    return point(row, column);
}

Vector PointTable::get(int row, int column) const
{
    const double* p = at(row, column);
    return makeVector3(p[0], p[1], p[2]);
}

void PointTable::set(int row, int column, const Vector& p)
{
    double* q = at(row, column);
    q[0] = p[0];
    q[1] = p[1];
    q[2] = p[2];
}

void resizePointTable(PointTable& table, int rows, int columns)
{
    if (rows < 0 || columns < 0)
        throwLengthError();
    std::size_t total = std::size_t(rows) * std::size_t(columns);
    if (total > (std::size_t(1) << 40) / 3)
        throwLengthError();
    if (columns == table.columns) {
        table.values.resize(total * 3, 0.0);
        table.rows = rows;
        return;
    }
    std::vector<double> values(total * 3, 0.0);
    int keepRows = rows < table.rows ? rows : table.rows;
    int keepColumns = columns < table.columns ? columns : table.columns;
    for (int r = 0; r < keepRows; ++r)
        for (int c = 0; c < keepColumns; ++c)
            for (int a = 0; a < 3; ++a)
                values[(std::size_t(r) * columns + c) * 3 + a] = table.point(r, c)[a];
    table.values.swap(values);
    table.rows = rows;
    table.columns = columns;
}

void flattenBoneFrame(const Bone& bone, int frame, double* m)
{
    const Matrix& r = bone.rotations.at(frame);
    const Vector& t = bone.translations.at(frame);
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            m[a * 3 + b] = r[a][b];
    m[9] = t[0];
    m[10] = t[1];
    m[11] = t[2];
}

void flattenBoneTransforms(const std::vector<Bone>& bones, int numFrames, std::vector<double>& out)
{
    std::size_t numBones = bones.size();
    out.resize(std::size_t(numFrames) * numBones * 12);
    for (int f = 0; f < numFrames; ++f)
        for (std::size_t j = 0; j < numBones; ++j)
            flattenBoneFrame(bones[j], f, out.data() + (std::size_t(f) * numBones + j) * 12);
}

// Dense vectors and matrices of doubles, the bone transformation record and
// the table of 3-vectors used for frames, residuals and joint positions.
//
// Vector keeps up to 4 doubles inline and Matrix up to 4 rows inline, so a
// 3-vector, a 3x3 rotation and the small solver systems never touch the heap.
// Copies are deep; operations return their results by value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

[[noreturn]] void throwSubscriptError();
[[noreturn]] void throwLengthError();

// Growable array with N elements of inline storage. Element access is
// bounds-checked and raises std::out_of_range("invalid vector<T> subscript").
template <typename T, std::size_t N>
class SmallVec {
public:
    SmallVec() = default;
    explicit SmallVec(std::size_t n) { resize(n); }
    SmallVec(std::size_t n, const T& value) { resize(n, value); }
    SmallVec(std::initializer_list<T> init)
    {
        reserve(init.size());
        for (const T& x : init)
            push_back(x);
    }
    SmallVec(const SmallVec& o)
    {
        reserve(o.size_);
        for (std::size_t i = 0; i < o.size_; ++i)
            new (ptr_ + i) T(o.ptr_[i]);
        size_ = o.size_;
    }
    SmallVec(SmallVec&& o) noexcept { moveFrom(std::move(o)); }
    SmallVec& operator=(const SmallVec& o)
    {
        if (this == &o)
            return *this;
        clear();
        reserve(o.size_);
        for (std::size_t i = 0; i < o.size_; ++i)
            new (ptr_ + i) T(o.ptr_[i]);
        size_ = o.size_;
        return *this;
    }
    SmallVec& operator=(SmallVec&& o) noexcept
    {
        if (this == &o)
            return *this;
        clear();
        releaseHeap();
        moveFrom(std::move(o));
        return *this;
    }
    ~SmallVec()
    {
        clear();
        releaseHeap();
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return cap_; }
    static constexpr std::size_t maxSize() { return std::size_t(1) << 40; }

    T& operator[](std::size_t i)
    {
        if (i >= size_)
            throwSubscriptError();
        return ptr_[i];
    }
    const T& operator[](std::size_t i) const
    {
        if (i >= size_)
            throwSubscriptError();
        return ptr_[i];
    }
    T* data() { return ptr_; }
    const T* data() const { return ptr_; }
    T* begin() { return ptr_; }
    T* end() { return ptr_ + size_; }
    const T* begin() const { return ptr_; }
    const T* end() const { return ptr_ + size_; }
    T& back() { return (*this)[size_ - 1]; }

    void reserve(std::size_t n)
    {
        if (n <= cap_)
            return;
        if (n > maxSize())
            throwLengthError();
        T* p = static_cast<T*>(::operator new(n * sizeof(T)));
        for (std::size_t i = 0; i < size_; ++i) {
            new (p + i) T(std::move(ptr_[i]));
            ptr_[i].~T();
        }
        releaseHeap();
        ptr_ = p;
        cap_ = n;
    }
    void resize(std::size_t n) { resize(n, T()); }
    void resize(std::size_t n, const T& value)
    {
        if (n > maxSize())
            throwLengthError();
        if (n < size_) {
            for (std::size_t i = n; i < size_; ++i)
                ptr_[i].~T();
            size_ = n;
            return;
        }
        if (n > cap_)
            reserve(n > 2 * cap_ ? n : 2 * cap_);
        for (std::size_t i = size_; i < n; ++i)
            new (ptr_ + i) T(value);
        size_ = n;
    }
    void push_back(const T& value)
    {
        if (size_ == cap_) {
            T copy(value); // value may live inside this container
            reserve(2 * cap_);
            new (ptr_ + size_) T(std::move(copy));
        } else {
            new (ptr_ + size_) T(value);
        }
        ++size_;
    }
    void clear()
    {
        for (std::size_t i = 0; i < size_; ++i)
            ptr_[i].~T();
        size_ = 0;
    }

private:
    T* inlineData() { return std::launder(reinterpret_cast<T*>(inline_)); }
    void releaseHeap()
    {
        if (ptr_ != inlineData())
            ::operator delete(ptr_);
        ptr_ = inlineData();
        cap_ = N;
    }
    void moveFrom(SmallVec&& o)
    {
        if (o.ptr_ != o.inlineData()) {
            ptr_ = o.ptr_;
            cap_ = o.cap_;
            size_ = o.size_;
            o.ptr_ = o.inlineData();
            o.cap_ = N;
            o.size_ = 0;
            return;
        }
        ptr_ = inlineData();
        cap_ = N;
        for (std::size_t i = 0; i < o.size_; ++i)
            new (ptr_ + i) T(std::move(o.ptr_[i]));
        size_ = o.size_;
        o.clear();
    }

    alignas(T) unsigned char inline_[N * sizeof(T)];
    T* ptr_ = inlineData();
    std::size_t size_ = 0;
    std::size_t cap_ = N;
};

// A point or direction is a Vector of length 3 (x, y, z).
using Vector = SmallVec<double, 4>;
// Row-major: element (i, j) is row i, column j. Columns are the length of row 0.
using Matrix = SmallVec<Vector, 4>;

// One bone's track: rotation R_f (3x3) and translation t_f (3) per frame.
// A rest-pose point p moves to R_f·p + t_f.
struct Bone {
    std::vector<Matrix> rotations;
    std::vector<Vector> translations;
};

inline std::size_t rowCount(const Matrix& m) { return m.size(); }
inline std::size_t columnCount(const Matrix& m) { return m.empty() ? 0 : m[0].size(); }

// 3-vector operations; inputs must have at least 3 elements.
Vector makeVector3(double x, double y, double z);
Vector addVector3(const Vector& a, const Vector& b);
Vector subtractVector3(const Vector& a, const Vector& b);
Vector scaleVector3(double s, const Vector& v);
Vector divideVector3(const Vector& v, double s); // each component divided by s
Vector transformPoint(const Bone& bone, int frame, const Vector& p);

// Matrix operations. Every sum runs over k ascending from 0.0.
void resizeMatrix(Matrix& m, std::size_t rows, std::size_t columns); // keeps entries, new ones 0.0
Matrix zeroMatrix3();
Matrix transpose(const Matrix& a);
Matrix subtractMatrix(const Matrix& a, const Matrix& b);
Matrix multiply(const Matrix& a, const Matrix& b);
Vector multiplyVector(const Matrix& a, const Vector& x);
Vector multiplyTransposedVector(const Matrix& a, const Vector& x);
Matrix gramMatrix(const Matrix& a);

// Rows x columns of 3-vectors in one flat block (frame-major for the
// sequence and the residuals, bone-major for the joint table).
struct PointTable {
    int rows = 0;
    int columns = 0;
    std::vector<double> values; // (row * columns + column) * 3

    // Unchecked access for inner loops.
    double* point(int row, int column) { return values.data() + (std::size_t(row) * columns + column) * 3; }
    const double* point(int row, int column) const { return values.data() + (std::size_t(row) * columns + column) * 3; }
    // Checked access: raises std::out_of_range("invalid vector<T> subscript").
    double* at(int row, int column);
    const double* at(int row, int column) const;
    Vector get(int row, int column) const;
    void set(int row, int column, const Vector& p);
};

// Gives the table exactly rows x columns entries. Existing entries keep their
// values (the top-left block), new entries are (0, 0, 0).
void resizePointTable(PointTable& table, int rows, int columns);

// The bones' transformations laid out for inner loops: for frame f and bone j,
// 12 doubles at ((f * numBones) + j) * 12: R row 0, R row 1, R row 2, t.
void flattenBoneTransforms(const std::vector<Bone>& bones, int numFrames, std::vector<double>& out);
// One bone's transformation in one frame, in the same 12-double layout.
void flattenBoneFrame(const Bone& bone, int frame, double* m);

// R·p + t on a flattened transformation, in the same operation order as
// transformPoint: each row summed from 0.0 in column order, then t added.
inline void transformFlat(const double* m, const double* p, double* out)
{
    // Unrolled, so that callers keep out in registers: a 16-byte reload of two
    // separate 8-byte stores would wait for the stores to retire.
#pragma GCC unroll 3
    for (int r = 0; r < 3; ++r) {
        double s = 0.0;
        s += m[r * 3 + 0] * p[0];
        s += m[r * 3 + 1] * p[1];
        s += m[r * 3 + 2] * p[2];
        out[r] = s + m[9 + r];
    }
}

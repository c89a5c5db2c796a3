// Value types and free functions every other layer computes with: vectors, a 2D point, 3x3
// matrices, a rotation quaternion and a random number in a range. Single precision, radians.
#pragma once

#include <cmath>

struct Math_Matrix33;

// Points, directions, normals, colours and sizes. Laid out as three floats in x, y, z order:
// the matrix routines and OpenGL's *3fv calls rely on it.
struct Math_Vector3 {
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;

    Math_Vector3() = default;
    Math_Vector3(float x, float y, float z) : m_x(x), m_y(y), m_z(z) {}

    float& operator[](int i) { return (&m_x)[i]; }
    float operator[](int i) const { return (&m_x)[i]; }
    const float* data() const { return &m_x; }

    Math_Vector3 operator+(const Math_Vector3& b) const {
        return {m_x + b.m_x, m_y + b.m_y, m_z + b.m_z};
    }
    Math_Vector3 operator-(const Math_Vector3& b) const {
        return {m_x - b.m_x, m_y - b.m_y, m_z - b.m_z};
    }
    Math_Vector3 operator-() const { return {-m_x, -m_y, -m_z}; }
    Math_Vector3 operator*(float s) const { return {m_x * s, m_y * s, m_z * s}; }
    Math_Vector3& operator+=(const Math_Vector3& b) {
        m_x += b.m_x;
        m_y += b.m_y;
        m_z += b.m_z;
        return *this;
    }
    Math_Vector3& operator-=(const Math_Vector3& b) {
        m_x -= b.m_x;
        m_y -= b.m_y;
        m_z -= b.m_z;
        return *this;
    }
    Math_Vector3& operator*=(float s) {
        m_x *= s;
        m_y *= s;
        m_z *= s;
        return *this;
    }
    Math_Vector3& operator/=(float s) {
        m_x /= s;
        m_y /= s;
        m_z /= s;
        return *this;
    }
    Math_Vector3 operator/(float s) const { return {m_x / s, m_y / s, m_z / s}; }
    bool operator==(const Math_Vector3& b) const {
        return m_x == b.m_x && m_y == b.m_y && m_z == b.m_z;
    }
    bool operator!=(const Math_Vector3& b) const { return !(*this == b); }

    float dot(const Math_Vector3& b) const { return m_x * b.m_x + m_y * b.m_y + m_z * b.m_z; }
    Math_Vector3 cross(const Math_Vector3& b) const {
        return {m_y * b.m_z - m_z * b.m_y, m_z * b.m_x - m_x * b.m_z, m_x * b.m_y - m_y * b.m_x};
    }
    float length() const { return std::sqrt(m_x * m_x + m_y * m_y + m_z * m_z); }
    // NOTE: no zero test; a zero vector becomes non-finite. Callers that can meet one test first.
    void normalize() { *this /= length(); }
    float distance(const Math_Vector3& b) const { return (*this - b).length(); }

    Math_Matrix33 outer(const Math_Vector3& b) const;
    void mult_matrix_vector(const Math_Matrix33& M);
    void mult_vector_matrix(const Math_Matrix33& M);
};

inline Math_Vector3 operator*(float s, const Math_Vector3& v) { return v * s; }
inline float dot(const Math_Vector3& a, const Math_Vector3& b) { return a.dot(b); }
inline Math_Vector3 cross(const Math_Vector3& a, const Math_Vector3& b) { return a.cross(b); }

// A vector with a fourth component riding along (colours with alpha). Where a Math_Vector3 is
// expected, x, y and z are used and w is ignored.
struct Math_Vector4 {
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
    float m_w = 0.0f;

    Math_Vector4() = default;
    Math_Vector4(float x, float y, float z, float w) : m_x(x), m_y(y), m_z(z), m_w(w) {}
    Math_Vector4(const Math_Vector3& v, float w) : m_x(v.m_x), m_y(v.m_y), m_z(v.m_z), m_w(w) {}

    float& operator[](int i) { return (&m_x)[i]; }
    float operator[](int i) const { return (&m_x)[i]; }
    const float* data() const { return &m_x; }
    Math_Vector3 xyz() const { return {m_x, m_y, m_z}; }
    bool operator==(const Math_Vector4& b) const {
        return m_x == b.m_x && m_y == b.m_y && m_z == b.m_z && m_w == b.m_w;
    }
};

// A 2D point in window or overlay pixels (origin lower left, y up).
struct UTL_Point {
    float m_x = 0.0f;
    float m_y = 0.0f;

    UTL_Point() = default;
    UTL_Point(float x, float y) : m_x(x), m_y(y) {}
};

// Nine floats row by row: element 3r + c is row r, column c. The rotation builders turn a
// vector by +a when applied as row vector times matrix (mult_vector_matrix), and by -a when
// applied as matrix times column vector (mult_matrix_vector, operator*). Callers use both.
struct Math_Matrix33 {
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }

    Math_Matrix33& operator*=(const Math_Matrix33& B);
    void set_identity();
    void set_rotate_x(float a);
    void set_rotate_y(float a);
    void set_rotate_z(float a);
};

Math_Matrix33 operator*(const Math_Matrix33& M, float s);
Math_Vector3 operator*(const Math_Matrix33& M, const Math_Vector3& v);

// A rotation: (x, y, z) = axis * sin(angle / 2), w = cos(angle / 2). Need not be normalised.
struct Math_Quaternion {
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
    float m_w = 1.0f;

    Math_Quaternion() = default;
    Math_Quaternion(float x, float y, float z, float angle) { set(x, y, z, angle); }
    Math_Quaternion(const Math_Vector3& axis, float angle) { set(axis, angle); }
    Math_Quaternion(const Math_Vector4& axis, float angle) { set(axis, angle); }
    ~Math_Quaternion() {}

    void set(float x, float y, float z, float angle);
    void set(const Math_Vector3& axis, float angle) { set(axis.m_x, axis.m_y, axis.m_z, angle); }
    void set(const Math_Vector4& axis, float angle) { set(axis.m_x, axis.m_y, axis.m_z, angle); }
    void get_rotation_matrix(Math_Matrix33& M) const;
};

// lo + (hi - lo) * rand() * 2^-31: in [lo, hi) for the system's rand(). Seeding is the
// controller's business.
float Math_Random(float lo, float hi);

constexpr float Math_PI = 3.14159265358979f;
constexpr float Math_DEG_TO_RAD = Math_PI / 180.0f;
constexpr float Math_RAD_TO_DEG = 180.0f / Math_PI;

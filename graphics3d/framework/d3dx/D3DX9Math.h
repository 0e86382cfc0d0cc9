#pragma once
// Vector, matrix and quaternion helpers with the utility library's conventions: row vectors, products
// read left to right (p * World * View * Proj), left-handed view and projection matrices.
#include "graphics3d/framework/D3D9Types.h"

namespace orv {

constexpr float D3DX_PI = 3.141592654f;

struct D3DXVECTOR2 {
    float x = 0, y = 0;
    D3DXVECTOR2() = default;
    constexpr D3DXVECTOR2(float x_, float y_) : x(x_), y(y_) {}
    D3DXVECTOR2 operator+(const D3DXVECTOR2& o) const { return {x + o.x, y + o.y}; }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& o) const { return {x - o.x, y - o.y}; }
    D3DXVECTOR2 operator*(float s) const { return {x * s, y * s}; }
    bool operator==(const D3DXVECTOR2& o) const { return x == o.x && y == o.y; }
};

struct D3DXVECTOR3 : D3DVECTOR {
    D3DXVECTOR3() = default;
    constexpr D3DXVECTOR3(float x_, float y_, float z_) : D3DVECTOR{x_, y_, z_} {}
    constexpr D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
    D3DXVECTOR3 operator+(const D3DXVECTOR3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator*(float s) const { return {x * s, y * s, z * s}; }
    D3DXVECTOR3 operator/(float s) const { return {x / s, y / s, z / s}; }
    D3DXVECTOR3& operator+=(const D3DXVECTOR3& o) {
        x += o.x, y += o.y, z += o.z;
        return *this;
    }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& o) {
        x -= o.x, y -= o.y, z -= o.z;
        return *this;
    }
    D3DXVECTOR3& operator*=(float s) {
        x *= s, y *= s, z *= s;
        return *this;
    }
    bool operator==(const D3DXVECTOR3& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct D3DXVECTOR4 {
    float x = 0, y = 0, z = 0, w = 0;
    D3DXVECTOR4() = default;
    constexpr D3DXVECTOR4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    constexpr D3DXVECTOR4(const D3DXVECTOR3& v, float w_) : x(v.x), y(v.y), z(v.z), w(w_) {}
    D3DXVECTOR4 operator+(const D3DXVECTOR4& o) const { return {x + o.x, y + o.y, z + o.z, w + o.w}; }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& o) const { return {x - o.x, y - o.y, z - o.z, w - o.w}; }
    D3DXVECTOR4 operator*(float s) const { return {x * s, y * s, z * s, w * s}; }
    bool operator==(const D3DXVECTOR4& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};

struct D3DXMATRIX : D3DMATRIX {
    D3DXMATRIX() = default;
    constexpr D3DXMATRIX(const D3DMATRIX& other) : D3DMATRIX(other) {}
    D3DXMATRIX(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
               float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33);
    float& operator()(int r, int c) { return m[r][c]; }
    float operator()(int r, int c) const { return m[r][c]; }
    D3DXMATRIX operator*(const D3DXMATRIX& o) const;
    D3DXMATRIX& operator*=(const D3DXMATRIX& o);
    D3DXMATRIX operator+(const D3DXMATRIX& o) const;
    D3DXMATRIX operator*(float s) const;
    bool operator==(const D3DXMATRIX& o) const;
};
using D3DXMATRIXA16 = D3DXMATRIX;

struct D3DXQUATERNION {
    float x = 0, y = 0, z = 0, w = 1;
    D3DXQUATERNION() = default;
    constexpr D3DXQUATERNION(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    // The utility library's product: rotation by this, then by o.
    D3DXQUATERNION operator*(const D3DXQUATERNION& o) const;
    bool operator==(const D3DXQUATERNION& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};

struct D3DXCOLOR {
    float r = 0, g = 0, b = 0, a = 0;
    D3DXCOLOR() = default;
    constexpr D3DXCOLOR(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
    D3DXCOLOR(D3DCOLOR argb);
    constexpr D3DXCOLOR(const D3DCOLORVALUE& c) : r(c.r), g(c.g), b(c.b), a(c.a) {}
    // Saturated to 0..255 per channel.
    operator D3DCOLOR() const;
};

struct D3DXPLANE {
    float a = 0, b = 0, c = 0, d = 0;
};

// Vectors.
D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s);
float D3DXVec3Length(const D3DXVECTOR3* v);
float D3DXVec3LengthSq(const D3DXVECTOR3* v);
float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
// A zero vector stays zero.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s);
// (x, y, z, 1) * m, divided by w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 0) * m.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 1) * m, all four components.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v);
float D3DXVec4Length(const D3DXVECTOR4* v);

// Matrices.
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
bool D3DXMatrixIsIdentity(const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
float D3DXMatrixDeterminant(const D3DXMATRIX* m);
// Null (and out untouched) when m is singular; det receives the determinant when given.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* det, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
// Rotation about an axis through the origin (normalised here), clockwise looking along the axis.
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle);
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf);
D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn,
                                       float zf);
// Splits an affine matrix into scale, rotation and translation; fails on a zero scale.
HRESULT D3DXMatrixDecompose(D3DXVECTOR3* scale, D3DXQUATERNION* rotation, D3DXVECTOR3* translation,
                            const D3DXMATRIX* m);

// Quaternions.
D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out);
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q);
// Rotation by a, then by b.
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b);
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle);
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    float t);
float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b);

} // namespace orv

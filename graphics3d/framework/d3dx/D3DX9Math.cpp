#include "graphics3d/framework/d3dx/D3DX9Math.h"

#include <algorithm>
#include <cmath>

namespace orv {

D3DXMATRIX::D3DXMATRIX(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                       float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33)
    : D3DMATRIX{{{m00, m01, m02, m03}, {m10, m11, m12, m13}, {m20, m21, m22, m23}, {m30, m31, m32, m33}}} {}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& o) const {
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, this, &o);
    return r;
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& o) {
    D3DXMatrixMultiply(this, this, &o);
    return *this;
}

D3DXMATRIX D3DXMATRIX::operator+(const D3DXMATRIX& o) const {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m[i][j] + o.m[i][j];
    return r;
}

D3DXMATRIX D3DXMATRIX::operator*(float s) const {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m[i][j] * s;
    return r;
}

bool D3DXMATRIX::operator==(const D3DXMATRIX& o) const {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m[i][j] != o.m[i][j])
                return false;
    return true;
}

D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& o) const {
    D3DXQUATERNION r;
    D3DXQuaternionMultiply(&r, this, &o);
    return r;
}

D3DXCOLOR::D3DXCOLOR(D3DCOLOR argb)
    : r(static_cast<float>((argb >> 16) & 0xFF) / 255.0f), g(static_cast<float>((argb >> 8) & 0xFF) / 255.0f),
      b(static_cast<float>(argb & 0xFF) / 255.0f), a(static_cast<float>((argb >> 24) & 0xFF) / 255.0f) {}

D3DXCOLOR::operator D3DCOLOR() const {
    auto c = [](float v) {
        const float s = std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f;
        return static_cast<UINT>(s);
    };
    return D3DCOLOR_ARGB(c(a), c(r), c(g), c(b));
}

D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = *a + *b;
    return out;
}

D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = *a - *b;
    return out;
}

D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s) {
    *out = *v * s;
    return out;
}

float D3DXVec3Length(const D3DXVECTOR3* v) {
    return std::sqrt(D3DXVec3LengthSq(v));
}

float D3DXVec3LengthSq(const D3DXVECTOR3* v) {
    return v->x * v->x + v->y * v->y + v->z * v->z;
}

float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    const D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    const float len = D3DXVec3Length(v);
    if (len == 0.0f) {
        *out = D3DXVECTOR3(0, 0, 0);
        return out;
    }
    *out = *v / len;
    return out;
}

D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s) {
    *out = *a + (*b - *a) * s;
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, v, m);
    const float w = r.w != 0.0f ? r.w : 1.0f;
    *out = D3DXVECTOR3(r.x / w, r.y / w, r.z / w);
    return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const D3DXVECTOR3 r(v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0],
                        v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1],
                        v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2]);
    *out = r;
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const D3DXVECTOR4 in(v->x, v->y, v->z, 1.0f);
    return D3DXVec4Transform(out, &in, m);
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 r;
    float* o = &r.x;
    for (int j = 0; j < 4; ++j)
        o[j] = v->x * m->m[0][j] + v->y * m->m[1][j] + v->z * m->m[2][j] + v->w * m->m[3][j];
    *out = r;
    return out;
}

float D3DXVec4Length(const D3DXVECTOR4* v) {
    return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w);
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) {
    const float len = D3DXVec4Length(v);
    *out = len == 0.0f ? D3DXVECTOR4(0, 0, 0, 0) : *v * (1.0f / len);
    return out;
}

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX(D3DMatrixIdentity());
    return out;
}

bool D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
    return *m == D3DXMATRIX(D3DMatrixIdentity());
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                        a->m[i][3] * b->m[3][j];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}

namespace {
// Cofactor expansion in double precision; returns the adjugate in adj.
double Adjugate(const D3DXMATRIX& m, double adj[4][4]) {
    double a[16];
    for (int i = 0; i < 16; ++i)
        a[i] = m.m[i / 4][i % 4];
    double inv[16];
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
             a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
             a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
             a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
              a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
             a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
             a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
             a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
              a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
             a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
              a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
              a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
             a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
    for (int i = 0; i < 16; ++i)
        adj[i / 4][i % 4] = inv[i];
    return a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
}
} // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m) {
    double adj[4][4];
    return static_cast<float>(Adjugate(*m, adj));
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* det, const D3DXMATRIX* m) {
    double adj[4][4];
    const double d = Adjugate(*m, adj);
    if (det)
        *det = static_cast<float>(d);
    if (d == 0.0 || !std::isfinite(d))
        return nullptr;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out->m[i][j] = static_cast<float>(adj[i][j] / d);
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->m[0][0] = x;
    out->m[1][1] = y;
    out->m[2][2] = z;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
    const D3DXVECTOR3 axis(1, 0, 0);
    return D3DXMatrixRotationAxis(out, &axis, angle);
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
    const D3DXVECTOR3 axis(0, 1, 0);
    return D3DXMatrixRotationAxis(out, &axis, angle);
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
    const D3DXVECTOR3 axis(0, 0, 1);
    return D3DXMatrixRotationAxis(out, &axis, angle);
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, axis);
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    D3DXMatrixIdentity(out);
    out->m[0][0] = t * n.x * n.x + c;
    out->m[0][1] = t * n.x * n.y + s * n.z;
    out->m[0][2] = t * n.x * n.z - s * n.y;
    out->m[1][0] = t * n.x * n.y - s * n.z;
    out->m[1][1] = t * n.y * n.y + c;
    out->m[1][2] = t * n.y * n.z + s * n.x;
    out->m[2][0] = t * n.x * n.z + s * n.y;
    out->m[2][1] = t * n.y * n.z - s * n.x;
    out->m[2][2] = t * n.z * n.z + c;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    D3DXMatrixIdentity(out);
    out->m[0][0] = 1 - 2 * (y * y + z * z);
    out->m[0][1] = 2 * (x * y + z * w);
    out->m[0][2] = 2 * (x * z - y * w);
    out->m[1][0] = 2 * (x * y - z * w);
    out->m[1][1] = 1 - 2 * (x * x + z * z);
    out->m[1][2] = 2 * (y * z + x * w);
    out->m[2][0] = 2 * (x * z + y * w);
    out->m[2][1] = 2 * (y * z - x * w);
    out->m[2][2] = 1 - 2 * (x * x + y * y);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
    // Roll about Z first, then pitch about X, then yaw about Y.
    D3DXMATRIX z, x, y;
    D3DXMatrixRotationZ(&z, roll);
    D3DXMatrixRotationX(&x, pitch);
    D3DXMatrixRotationY(&y, yaw);
    *out = z * x * y;
    return out;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
    D3DXVECTOR3 zaxis = *at - *eye, xaxis, yaxis;
    D3DXVec3Normalize(&zaxis, &zaxis);
    D3DXVec3Cross(&xaxis, up, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    *out = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0, xaxis.y, yaxis.y, zaxis.y, 0, xaxis.z, yaxis.z, zaxis.z,
                      0, -D3DXVec3Dot(&xaxis, eye), -D3DXVec3Dot(&yaxis, eye), -D3DXVec3Dot(&zaxis, eye), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    const float xScale = yScale / aspect;
    *out =
        D3DXMATRIX(xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, -zn * zf / (zf - zn), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn,
                                       float zf) {
    *out = D3DXMATRIX(2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, 1 / (zf - zn), 0, (l + r) / (l - r),
                      (t + b) / (b - t), zn / (zn - zf), 1);
    return out;
}

HRESULT D3DXMatrixDecompose(D3DXVECTOR3* scale, D3DXQUATERNION* rotation, D3DXVECTOR3* translation,
                            const D3DXMATRIX* m) {
    *translation = D3DXVECTOR3(m->m[3][0], m->m[3][1], m->m[3][2]);
    D3DXVECTOR3 rows[3];
    for (int i = 0; i < 3; ++i)
        rows[i] = D3DXVECTOR3(m->m[i][0], m->m[i][1], m->m[i][2]);
    D3DXVECTOR3 s(D3DXVec3Length(&rows[0]), D3DXVec3Length(&rows[1]), D3DXVec3Length(&rows[2]));
    if (s.x == 0 || s.y == 0 || s.z == 0)
        return D3DERR_INVALIDCALL;
    if (D3DXMatrixDeterminant(m) < 0)
        s.x = -s.x;
    *scale = s;
    D3DXMATRIX r;
    D3DXMatrixIdentity(&r);
    const float sv[3] = {s.x, s.y, s.z};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m->m[i][j] / sv[i];
    D3DXQuaternionRotationMatrix(rotation, &r);
    return D3D_OK;
}

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
    *out = D3DXQUATERNION(0, 0, 0, 1);
    return out;
}

float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    const float len = std::sqrt(D3DXQuaternionDot(q, q));
    if (len == 0.0f)
        return D3DXQuaternionIdentity(out);
    *out = D3DXQUATERNION(q->x / len, q->y / len, q->z / len, q->w / len);
    return out;
}

D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
    return out;
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    const float n = D3DXQuaternionDot(q, q);
    if (n == 0.0f)
        return D3DXQuaternionIdentity(out);
    *out = D3DXQUATERNION(-q->x / n, -q->y / n, -q->z / n, q->w / n);
    return out;
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a,
                                       const D3DXQUATERNION* b) {
    // b * a in the Hamilton product, so that a is applied first.
    const D3DXQUATERNION& p = *b;
    const D3DXQUATERNION& q = *a;
    const D3DXQUATERNION r(
        p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y, p.w * q.y - p.x * q.z + p.y * q.w + p.z * q.x,
        p.w * q.z + p.x * q.y - p.y * q.x + p.z * q.w, p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z);
    *out = r;
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, axis);
    const float s = std::sin(angle / 2);
    *out = D3DXQUATERNION(n.x * s, n.y * s, n.z * s, std::cos(angle / 2));
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
    const float trace = m->m[0][0] + m->m[1][1] + m->m[2][2];
    D3DXQUATERNION q;
    if (trace > 0) {
        const float s = std::sqrt(trace + 1.0f) * 2;
        q.w = 0.25f * s;
        q.x = (m->m[1][2] - m->m[2][1]) / s;
        q.y = (m->m[2][0] - m->m[0][2]) / s;
        q.z = (m->m[0][1] - m->m[1][0]) / s;
    } else if (m->m[0][0] > m->m[1][1] && m->m[0][0] > m->m[2][2]) {
        const float s = std::sqrt(1.0f + m->m[0][0] - m->m[1][1] - m->m[2][2]) * 2;
        q.w = (m->m[1][2] - m->m[2][1]) / s;
        q.x = 0.25f * s;
        q.y = (m->m[0][1] + m->m[1][0]) / s;
        q.z = (m->m[0][2] + m->m[2][0]) / s;
    } else if (m->m[1][1] > m->m[2][2]) {
        const float s = std::sqrt(1.0f + m->m[1][1] - m->m[0][0] - m->m[2][2]) * 2;
        q.w = (m->m[2][0] - m->m[0][2]) / s;
        q.x = (m->m[0][1] + m->m[1][0]) / s;
        q.y = 0.25f * s;
        q.z = (m->m[1][2] + m->m[2][1]) / s;
    } else {
        const float s = std::sqrt(1.0f + m->m[2][2] - m->m[0][0] - m->m[1][1]) * 2;
        q.w = (m->m[0][1] - m->m[1][0]) / s;
        q.x = (m->m[0][2] + m->m[2][0]) / s;
        q.y = (m->m[1][2] + m->m[2][1]) / s;
        q.z = 0.25f * s;
    }
    *out = q;
    return out;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    float t) {
    float cosom = D3DXQuaternionDot(a, b);
    D3DXQUATERNION e = *b;
    if (cosom < 0) {
        cosom = -cosom;
        e = D3DXQUATERNION(-e.x, -e.y, -e.z, -e.w);
    }
    float k0 = 1 - t, k1 = t;
    if (cosom < 0.9999f) {
        const float omega = std::acos(cosom);
        const float sinom = std::sin(omega);
        k0 = std::sin((1 - t) * omega) / sinom;
        k1 = std::sin(t * omega) / sinom;
    }
    *out = D3DXQUATERNION(a->x * k0 + e.x * k1, a->y * k0 + e.y * k1, a->z * k0 + e.z * k1,
                          a->w * k0 + e.w * k1);
    return out;
}

} // namespace orv

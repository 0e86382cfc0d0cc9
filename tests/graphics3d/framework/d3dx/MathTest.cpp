#include "graphics3d/framework/d3dx/D3DX9Math.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orv;

namespace {

void ExpectMatrix(const D3DXMATRIX& m, const float (&expected)[16], float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m.m[i / 4][i % 4], expected[i], tolerance) << "entry " << i / 4 << "," << i % 4;
}

TEST(D3DXMath, LookAtMatchesHandComputedValues) {
    D3DXMATRIX v;
    const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&v, &eye, &at, &up);
    ExpectMatrix(v, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1});

    // The shadow-map scene's viewer: eye (0, 5, -18) looking at (0, -1, 0).
    const D3DXVECTOR3 eye2(0, 5, -18), at2(0, -1, 0);
    D3DXMatrixLookAtLH(&v, &eye2, &at2, &up);
    ExpectMatrix(
        v, {1, 0, 0, 0, 0, 0.948683f, -0.316228f, 0, 0, 0.316228f, 0.948683f, 0, 0, 0.948683f, 18.657440f, 1},
        2e-5f);
    // The eye lands at the origin of view space, the target straight ahead on +z.
    D3DXVECTOR3 e, a;
    D3DXVec3TransformCoord(&e, &eye2, &v);
    D3DXVec3TransformCoord(&a, &at2, &v);
    EXPECT_NEAR(D3DXVec3Length(&e), 0.0f, 1e-4f);
    EXPECT_NEAR(a.x, 0.0f, 1e-5f);
    EXPECT_NEAR(a.y, 0.0f, 1e-5f);
    EXPECT_NEAR(a.z, std::sqrt(36.0f + 324.0f), 1e-4f);
}

TEST(D3DXMath, PerspectiveMapsNearToZeroAndFarToOne) {
    D3DXMATRIX p;
    D3DXMatrixPerspectiveFovLH(&p, D3DX_PI / 4, 4.0f / 3.0f, 0.1f, 100.0f);
    ExpectMatrix(p, {1.810660f, 0, 0, 0, 0, 2.414214f, 0, 0, 0, 0, 1.001001f, 1, 0, 0, -0.1001001f, 0});
    const D3DXVECTOR3 nearPoint(0, 0, 0.1f), farPoint(0, 0, 100.0f);
    D3DXVECTOR3 n, f;
    D3DXVec3TransformCoord(&n, &nearPoint, &p);
    D3DXVec3TransformCoord(&f, &farPoint, &p);
    EXPECT_NEAR(n.z, 0.0f, 1e-5f);
    EXPECT_NEAR(f.z, 1.0f, 1e-5f);
}

TEST(D3DXMath, InverseOfScaleThenTranslation) {
    D3DXMATRIX s, t, m, inv;
    D3DXMatrixScaling(&s, 2, 4, 8);
    D3DXMatrixTranslation(&t, 1, 2, 3);
    m = s * t;
    float det = 0;
    ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
    EXPECT_FLOAT_EQ(det, 64.0f);
    ExpectMatrix(inv, {0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.125f, 0, -0.5f, -0.5f, -0.375f, 1});
    const D3DXMATRIX product = m * inv;
    EXPECT_TRUE(D3DXMatrixIsIdentity(&product) || std::fabs(product.m[3][2]) < 1e-6f);
}

TEST(D3DXMath, SingularMatrixHasNoInverse) {
    D3DXMATRIX s, out;
    D3DXMatrixScaling(&s, 1, 0, 1);
    D3DXMatrixIdentity(&out);
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &s), nullptr);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&out)); // untouched
}

TEST(D3DXMath, RotationAboutTheSpinningSpheresAxis) {
    const D3DXVECTOR3 axis(0.1f, 1.0f, -0.2f);
    D3DXMATRIX r;
    D3DXMatrixRotationAxis(&r, &axis, D3DX_PI / 2);
    ExpectMatrix(r, {0.009524f, -0.099942f, -0.994948f, 0, 0.290418f, 0.952381f, -0.092886f, 0, 0.956852f,
                     -0.288066f, 0.038095f, 0, 0, 0, 0, 1});
    // The axis itself does not move; other vectors keep their length.
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &axis, &r);
    EXPECT_NEAR(out.x, axis.x, 1e-5f);
    EXPECT_NEAR(out.y, axis.y, 1e-5f);
    EXPECT_NEAR(out.z, axis.z, 1e-5f);
    const D3DXVECTOR3 v(3, -1, 2);
    D3DXVec3TransformNormal(&out, &v, &r);
    EXPECT_NEAR(D3DXVec3Length(&out), D3DXVec3Length(&v), 1e-5f);
}

TEST(D3DXMath, RotationYTurnsXTowardsMinusZ) {
    D3DXMATRIX r;
    D3DXMatrixRotationY(&r, D3DX_PI / 2);
    const D3DXVECTOR3 x(1, 0, 0);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &x, &r);
    EXPECT_NEAR(out.x, 0, 1e-6f);
    EXPECT_NEAR(out.z, -1, 1e-6f);
}

TEST(D3DXMath, TransformCoordDividesByWAndNormalIgnoresTranslation) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 10, 20, 30);
    m.m[3][3] = 2;
    const D3DXVECTOR3 v(1, 2, 3);
    D3DXVECTOR3 c, n;
    D3DXVec3TransformCoord(&c, &v, &m);
    D3DXVec3TransformNormal(&n, &v, &m);
    EXPECT_FLOAT_EQ(c.x, 5.5f);
    EXPECT_FLOAT_EQ(c.y, 11.0f);
    EXPECT_FLOAT_EQ(c.z, 16.5f);
    EXPECT_EQ(n, v);
}

TEST(D3DXMath, QuaternionsAgreeWithMatrices) {
    const D3DXVECTOR3 a1(0.1f, 1.0f, -0.2f), a2(1, 0, 0);
    D3DXQUATERNION q1, q2, q;
    D3DXQuaternionRotationAxis(&q1, &a1, 0.7f);
    D3DXQuaternionRotationAxis(&q2, &a2, -1.1f);
    D3DXMATRIX m1, m2, mq, r1, r2;
    D3DXMatrixRotationAxis(&r1, &a1, 0.7f);
    D3DXMatrixRotationAxis(&r2, &a2, -1.1f);
    D3DXMatrixRotationQuaternion(&m1, &q1);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m1.m[i / 4][i % 4], r1.m[i / 4][i % 4], 1e-5f);
    // q1 * q2 rotates by q1 first, like r1 * r2.
    D3DXQuaternionMultiply(&q, &q1, &q2);
    D3DXMatrixRotationQuaternion(&mq, &q);
    m2 = r1 * r2;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(mq.m[i / 4][i % 4], m2.m[i / 4][i % 4], 1e-5f);
    // Back from the matrix.
    D3DXQUATERNION back;
    D3DXQuaternionRotationMatrix(&back, &m2);
    EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&back, &q)), 1.0f, 1e-5f);
}

TEST(D3DXMath, SlerpHalfwayAndCrossNormalise) {
    const D3DXVECTOR3 y(0, 1, 0);
    D3DXQUATERNION a, b, h, expected;
    D3DXQuaternionIdentity(&a);
    D3DXQuaternionRotationAxis(&b, &y, 1.0f);
    D3DXQuaternionSlerp(&h, &a, &b, 0.5f);
    D3DXQuaternionRotationAxis(&expected, &y, 0.5f);
    EXPECT_NEAR(D3DXQuaternionDot(&h, &expected), 1.0f, 1e-5f);

    const D3DXVECTOR3 x(1, 0, 0);
    D3DXVECTOR3 c, n;
    D3DXVec3Cross(&c, &x, &y);
    EXPECT_EQ(c, D3DXVECTOR3(0, 0, 1));
    const D3DXVECTOR3 v(3, 0, 4), zero(0, 0, 0);
    D3DXVec3Normalize(&n, &v);
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, 0.8f);
    D3DXVec3Normalize(&n, &zero);
    EXPECT_EQ(n, zero);
}

TEST(D3DXMath, ColourConversionSaturates) {
    const D3DXCOLOR c(1.5f, 0.5f, -1.0f, 1.0f);
    EXPECT_EQ(static_cast<D3DCOLOR>(c), 0xFFFF8000u);
    const D3DXCOLOR back(0x80FF0040u);
    EXPECT_FLOAT_EQ(back.r, 1.0f);
    EXPECT_NEAR(back.a, 128.0f / 255.0f, 1e-6f);
}

} // namespace

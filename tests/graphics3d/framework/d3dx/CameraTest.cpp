#include "graphics3d/framework/d3dx/DXUTMisc.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {

bool Near(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a.m[i / 4][i % 4] - b.m[i / 4][i % 4]) > tolerance)
            return false;
    return true;
}

TEST(Cameras, ModelViewerWithOriginTargetAndCentreGivesIdentityWorld) {
    CModelViewerCamera camera;
    camera.SetViewPoint(D3DXVECTOR3(0, 0, -5), D3DXVECTOR3(0, 0, 0));
    camera.SetViewportSize(1024, 768, 0.9f);
    EXPECT_TRUE(camera.IsChanged());
    camera.UpdateCamera(0.016f);
    EXPECT_FALSE(camera.IsChanged());
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(Near(*camera.GetWorldMatrix(), identity));
    // Its view equals the one the view point made.
    D3DXMATRIX expected;
    const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&expected, &eye, &at, &up);
    EXPECT_TRUE(Near(*camera.GetViewMatrix(), expected, 1e-4f));
    EXPECT_FLOAT_EQ(camera.GetRadius(), 5.0f);
}

TEST(Cameras, ModelViewerWorldMovesTheCentreToTheTarget) {
    CModelViewerCamera camera;
    camera.SetModelCenter(D3DXVECTOR3(1, 2, 3));
    camera.SetViewPoint(D3DXVECTOR3(0, 0, -5), D3DXVECTOR3(0, 1, 0));
    camera.UpdateCamera(0.0f);
    EXPECT_NEAR(camera.GetWorldMatrix()->m[3][0], -1.0f, 1e-5f);
    EXPECT_NEAR(camera.GetWorldMatrix()->m[3][1], -1.0f, 1e-5f);
    EXPECT_NEAR(camera.GetWorldMatrix()->m[3][2], -3.0f, 1e-5f);
    // A radius below the limit is raised to it.
    camera.SetViewPoint(D3DXVECTOR3(0, 0, -0.5f), D3DXVECTOR3(0, 0, 0));
    camera.UpdateCamera(0.0f);
    EXPECT_FLOAT_EQ(camera.GetRadius(), 1.0f);
}

TEST(Cameras, FirstPersonViewStaysWithoutInputAndWorldIsItsInverse) {
    CFirstPersonCamera camera;
    camera.SetSpeeds(0.01f, 15.0f);
    camera.SetTurnButtons(true, false, false);
    camera.SetViewPoint(D3DXVECTOR3(0, 5, -18), D3DXVECTOR3(0, -1, 0));
    camera.SetProjection(D3DX_PI / 4, 4.0f / 3.0f, 0.1f, 100.0f);
    const D3DXMATRIX before = *camera.GetViewMatrix();
    for (int i = 0; i < 100; ++i)
        camera.UpdateCamera(0.02f);
    EXPECT_TRUE(Near(*camera.GetViewMatrix(), before));
    const D3DXMATRIX product = *camera.GetViewMatrix() * *camera.GetWorldMatrix();
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(Near(product, identity, 1e-4f));
    EXPECT_NEAR(camera.GetEyePt()->y, 5.0f, 1e-4f);
    EXPECT_NEAR(camera.GetEyePt()->z, -18.0f, 1e-4f);
    // Ahead points from the eye to the target.
    EXPECT_NEAR(camera.GetWorldAhead()->y, -6.0f / std::sqrt(360.0f), 1e-5f);
    EXPECT_NEAR(camera.GetYaw(), 0.0f, 1e-6f);
    EXPECT_NEAR(camera.GetPitch(), std::atan2(6.0f, 18.0f), 1e-5f);
}

TEST(Cameras, FirstPersonMovesAlongItsAheadWithInput) {
    CFirstPersonCamera camera;
    camera.SetSpeeds(0.01f, 5.0f);
    camera.SetViewPoint(D3DXVECTOR3(0, 0, -5), D3DXVECTOR3(0, 0, 0));
    CameraInput in;
    in.forward = true;
    camera.FeedInput(in);
    camera.UpdateCamera(0.5f);
    EXPECT_NEAR(camera.GetEyePt()->z, -2.5f, 1e-5f);
    // Input is used once.
    camera.UpdateCamera(0.5f);
    EXPECT_NEAR(camera.GetEyePt()->z, -2.5f, 1e-5f);
}

TEST(Cameras, ArcBallStaysIdentityWithoutDrags) {
    CD3DArcBall ball;
    ball.SetWindow(800, 600, 0.85f);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(Near(*ball.GetRotationMatrix(), identity));
    EXPECT_TRUE(Near(*ball.GetTranslationMatrix(), identity));
    ball.OnMove(10, 10); // no drag started
    EXPECT_TRUE(Near(*ball.GetRotationMatrix(), identity));
    ball.OnBegin(400, 300);
    ball.OnMove(500, 300);
    ball.OnEnd();
    EXPECT_FALSE(Near(*ball.GetRotationMatrix(), identity));
}

} // namespace

#pragma once
// Framework utilities the scenes use: the media-file search and the cameras with their arc-ball.
// No window input reaches the cameras during a test; what matters is the matrices that follow from
// their initial parameters (and, optionally, a game controller).
#include "graphics3d/framework/d3dx/D3DX9Math.h"

#include <QString>
#include <QStringList>

namespace orv {

// Searches the usual places for a media file (any "\" in the name is read as "/"). On success the
// path found; otherwise DXUTERR_MEDIANOTFOUND (0x80040903) and the name itself. E_INVALIDARG for an
// empty name or a missing output.
HRESULT DXUTFindMediaFile(QString* path, const QString& fileName);
// The candidates in the order they are tried.
QStringList DXUTMediaFileCandidates(const QString& fileName);
// An extra folder tried after the fixed places of each round (empty: none, as in the program).
void DXUTSetMediaSearchPath(const QString& folder);
QString DXUTGetMediaSearchPath();
// The executable the search starts from; empty restores the running program's.
void DXUTSetExecutablePathForSearch(const QString& executable);

// Arc-ball: turns mouse drags into a rotation. Without drags its matrices stay what was set.
class CD3DArcBall {
public:
    CD3DArcBall();
    void Reset();
    void SetWindow(int width, int height, float radius = 0.9f);
    void SetTranslationRadius(float radius) { radiusTranslation_ = radius; }
    void SetQuatNow(const D3DXQUATERNION& q) { now_ = q; }
    D3DXQUATERNION GetQuatNow() const { return now_; }
    const D3DXMATRIX* GetRotationMatrix();
    const D3DXMATRIX* GetTranslationMatrix() const { return &translation_; }
    const D3DXMATRIX* GetTranslationDeltaMatrix() const { return &translationDelta_; }
    bool IsBeingDragged() const { return drag_; }
    // Mouse input in window pixels.
    void OnBegin(int x, int y);
    void OnMove(int x, int y);
    void OnEnd();

private:
    D3DXVECTOR3 ScreenToVector(float x, float y) const;

    int width_ = 0, height_ = 0;
    D3DXVECTOR2 centre_;
    float radius_ = 1.0f;
    float radiusTranslation_ = 1.0f;
    D3DXQUATERNION down_, now_;
    D3DXMATRIX rotation_, translation_, translationDelta_;
    bool drag_ = false;
    D3DXVECTOR3 downPoint_, currentPoint_;
};

// Input a camera may receive; a test feeds none.
struct CameraInput {
    bool forward = false, backward = false, left = false, right = false, up = false, down = false;
    bool leftButton = false, middleButton = false, rightButton = false;
    float mouseDeltaX = 0, mouseDeltaY = 0; // pixels since the last frame
    float controllerMoveX = 0, controllerMoveY = 0, controllerTurnX = 0, controllerTurnY = 0;
};

constexpr int MOUSE_LEFT_BUTTON = 0x01;
constexpr int MOUSE_MIDDLE_BUTTON = 0x02;
constexpr int MOUSE_RIGHT_BUTTON = 0x04;
constexpr int MOUSE_WHEEL = 0x08;

class CBaseCamera {
public:
    CBaseCamera();
    virtual ~CBaseCamera() = default;

    virtual void SetViewPoint(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt);
    virtual void SetProjection(float fov, float aspect, float nearPlane, float farPlane);
    void SetSpeeds(float rotationScaler, float moveScaler) {
        rotationScaler_ = rotationScaler;
        moveScaler_ = moveScaler;
    }
    virtual void UpdateCamera(float elapsedTime) = 0;
    // Input for the next UpdateCamera; cleared after it.
    void FeedInput(const CameraInput& input) { input_ = input; }

    const D3DXMATRIX* GetViewMatrix() const { return &view_; }
    const D3DXMATRIX* GetProjMatrix() const { return &proj_; }
    const D3DXVECTOR3* GetEyePt() const { return &eye_; }
    const D3DXVECTOR3* GetLookAtPt() const { return &lookAt_; }
    float GetNearClip() const { return near_; }
    float GetFarClip() const { return far_; }
    float GetYaw() const { return yaw_; }
    float GetPitch() const { return pitch_; }

protected:
    // Velocity and rotation deltas from the input of this frame.
    void UpdateVelocity(float elapsedTime);

    D3DXMATRIX view_, proj_;
    D3DXVECTOR3 eye_, lookAt_;
    D3DXVECTOR3 defaultEye_, defaultLookAt_;
    float yaw_ = 0, pitch_ = 0;
    float fov_ = 0, aspect_ = 0, near_ = 0, far_ = 0;
    float rotationScaler_ = 0.01f, moveScaler_ = 5.0f;
    D3DXVECTOR3 velocity_, keyboardDirection_;
    D3DXVECTOR2 rotVelocity_;
    CameraInput input_;
};

class CFirstPersonCamera : public CBaseCamera {
public:
    CFirstPersonCamera();
    void UpdateCamera(float elapsedTime) override;
    void SetTurnButtons(bool left, bool middle, bool right, bool rotateWithoutButtonDown = false);

    const D3DXMATRIX* GetWorldMatrix() const { return &cameraWorld_; }
    const D3DXVECTOR3* GetWorldRight() const {
        return reinterpret_cast<const D3DXVECTOR3*>(&cameraWorld_.m[0][0]);
    }
    const D3DXVECTOR3* GetWorldUp() const {
        return reinterpret_cast<const D3DXVECTOR3*>(&cameraWorld_.m[1][0]);
    }
    const D3DXVECTOR3* GetWorldAhead() const {
        return reinterpret_cast<const D3DXVECTOR3*>(&cameraWorld_.m[2][0]);
    }
    const D3DXVECTOR3* GetEyePt() const {
        return reinterpret_cast<const D3DXVECTOR3*>(&cameraWorld_.m[3][0]);
    }

    void SetViewPoint(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt) override;

private:
    D3DXMATRIX cameraWorld_;
    int activeButtonMask_ = MOUSE_LEFT_BUTTON | MOUSE_MIDDLE_BUTTON | MOUSE_RIGHT_BUTTON;
    bool rotateWithoutButtonDown_ = false;
};

class CModelViewerCamera : public CBaseCamera {
public:
    CModelViewerCamera();
    void UpdateCamera(float elapsedTime) override;
    void SetViewPoint(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt) override;
    void SetDragButtons(int rotateModelMask, int zoomMask, int rotateCameraMask) {
        rotateModelButtonMask_ = rotateModelMask;
        zoomButtonMask_ = zoomMask;
        rotateCameraButtonMask_ = rotateCameraMask;
    }
    void SetViewportSize(int width, int height, float arcballRadius = 0.9f);
    void SetModelCenter(const D3DXVECTOR3& centre) { modelCentre_ = centre; }
    void SetRadius(float defaultRadius, float minRadius = 1.0f, float maxRadius = 3.402823466e+38f);

    const D3DXMATRIX* GetWorldMatrix() const { return &world_; }
    float GetRadius() const { return radius_; }
    bool IsChanged() const { return changed_; }

private:
    CD3DArcBall worldArcBall_, viewArcBall_;
    D3DXVECTOR3 modelCentre_;
    D3DXMATRIX modelLastRot_, modelRot_, cameraRotLast_, world_;
    int rotateModelButtonMask_ = MOUSE_LEFT_BUTTON;
    int zoomButtonMask_ = MOUSE_WHEEL;
    int rotateCameraButtonMask_ = MOUSE_RIGHT_BUTTON;
    float radius_ = 5.0f, defaultRadius_ = 5.0f, minRadius_ = 1.0f, maxRadius_ = 3.402823466e+38f;
    bool changed_ = true;
};

} // namespace orv

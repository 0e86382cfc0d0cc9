#include "graphics3d/framework/d3dx/DXUTMisc.h"

#include "graphics3d/framework/DXUT.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace orv {

namespace {
QString& SearchPath() {
    static QString path;
    return path;
}
QString& ExecutableOverride() {
    static QString path;
    return path;
}

QString ExecutablePath() {
    if (!ExecutableOverride().isEmpty())
        return ExecutableOverride();
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
}

// The fixed places of one round for a (possibly prefixed) name.
void AddFixedCandidates(QStringList& out, const QString& name, const QString& exeDir,
                        const QString& exeName) {
    out << name << "../" + name << "../../" + name;
    if (!exeDir.isEmpty()) {
        out << exeDir + "/" + name << exeDir + "/../" + name << exeDir + "/../../" + name
            << exeDir + "/../" + exeName + "/" + name << exeDir + "/../../" + exeName + "/" + name;
    }
    if (!SearchPath().isEmpty()) {
        QString folder = SearchPath();
        if (!folder.endsWith('/'))
            folder += '/';
        out << folder + name;
    }
}

// Every folder from start up to the root, each joined with the name.
void AddParentWalk(QStringList& out, const QString& start, const QString& name) {
    if (start.isEmpty())
        return;
    QDir dir(QDir::cleanPath(QFileInfo(start).absoluteFilePath()));
    for (;;) {
        const QString folder = dir.absolutePath();
        out << (folder.endsWith('/') ? folder + name : folder + "/" + name);
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
}
} // namespace

void DXUTSetMediaSearchPath(const QString& folder) {
    SearchPath() = QString(folder).replace('\\', '/');
}

QString DXUTGetMediaSearchPath() {
    return SearchPath();
}

void DXUTSetExecutablePathForSearch(const QString& executable) {
    ExecutableOverride() = executable;
}

QStringList DXUTMediaFileCandidates(const QString& fileName) {
    const QString name = QString(fileName).replace('\\', '/');
    const QString exe = ExecutablePath();
    const QFileInfo exeInfo(exe);
    const QString exeDir = exe.isEmpty() ? QString() : exeInfo.absolutePath();
    const QString exeName = exeInfo.completeBaseName();
    const QString media = "media/" + name;
    QStringList out;
    AddFixedCandidates(out, name, exeDir, exeName);
    AddFixedCandidates(out, media, exeDir, exeName);
    AddParentWalk(out, QDir::currentPath(), name);
    AddParentWalk(out, exeDir, name);
    AddParentWalk(out, QDir::currentPath(), media);
    AddParentWalk(out, exeDir, media);
    return out;
}

HRESULT DXUTFindMediaFile(QString* path, const QString& fileName) {
    if (!path || fileName.isEmpty())
        return E_INVALIDARG;
    for (const QString& candidate : DXUTMediaFileCandidates(fileName)) {
        if (QFileInfo::exists(candidate)) {
            *path = candidate;
            return S_OK;
        }
    }
    *path = fileName;
    return DXUTERR_MEDIANOTFOUND;
}

// Arc-ball ------------------------------------------------------------------------------------------

CD3DArcBall::CD3DArcBall() {
    Reset();
}

void CD3DArcBall::Reset() {
    D3DXQuaternionIdentity(&down_);
    D3DXQuaternionIdentity(&now_);
    D3DXMatrixIdentity(&rotation_);
    D3DXMatrixIdentity(&translation_);
    D3DXMatrixIdentity(&translationDelta_);
    drag_ = false;
    radiusTranslation_ = 1.0f;
    radius_ = 1.0f;
}

void CD3DArcBall::SetWindow(int width, int height, float radius) {
    width_ = width;
    height_ = height;
    radius_ = radius;
    centre_ = D3DXVECTOR2(static_cast<float>(width) / 2.0f, static_cast<float>(height) / 2.0f);
}

D3DXVECTOR3 CD3DArcBall::ScreenToVector(float x, float y) const {
    const float w = std::max(1.0f, static_cast<float>(width_)),
                h = std::max(1.0f, static_cast<float>(height_));
    float px = -(x - w / 2) / (radius_ * w / 2);
    float py = (y - h / 2) / (radius_ * h / 2);
    float pz = 0;
    const float mag = px * px + py * py;
    if (mag > 1.0f) {
        const float scale = 1.0f / std::sqrt(mag);
        px *= scale;
        py *= scale;
    } else {
        pz = std::sqrt(1.0f - mag);
    }
    return {px, py, pz};
}

void CD3DArcBall::OnBegin(int x, int y) {
    drag_ = true;
    down_ = now_;
    downPoint_ = ScreenToVector(static_cast<float>(x), static_cast<float>(y));
}

void CD3DArcBall::OnMove(int x, int y) {
    if (!drag_)
        return;
    currentPoint_ = ScreenToVector(static_cast<float>(x), static_cast<float>(y));
    D3DXVECTOR3 axis;
    D3DXVec3Cross(&axis, &downPoint_, &currentPoint_);
    const D3DXQUATERNION delta(axis.x, axis.y, axis.z, D3DXVec3Dot(&downPoint_, &currentPoint_));
    now_ = down_ * delta;
}

void CD3DArcBall::OnEnd() {
    drag_ = false;
}

const D3DXMATRIX* CD3DArcBall::GetRotationMatrix() {
    return D3DXMatrixRotationQuaternion(&rotation_, &now_);
}

// Cameras -------------------------------------------------------------------------------------------

CBaseCamera::CBaseCamera() {
    D3DXMatrixIdentity(&view_);
    D3DXMatrixIdentity(&proj_);
    SetViewPoint(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    SetProjection(D3DX_PI / 4, 1.0f, 1.0f, 1000.0f);
}

void CBaseCamera::SetViewPoint(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt) {
    defaultEye_ = eye_ = eye;
    defaultLookAt_ = lookAt_ = lookAt;
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&view_, &eye_, &lookAt_, &up);
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &view_))
        D3DXMatrixIdentity(&inverse);
    // The camera's ahead direction is the third row of its world matrix.
    const D3DXVECTOR3 z(inverse.m[2][0], inverse.m[2][1], inverse.m[2][2]);
    yaw_ = std::atan2(z.x, z.z);
    pitch_ = -std::atan2(z.y, std::sqrt(z.z * z.z + z.x * z.x));
}

void CBaseCamera::SetProjection(float fov, float aspect, float nearPlane, float farPlane) {
    fov_ = fov;
    aspect_ = aspect;
    near_ = nearPlane;
    far_ = farPlane;
    D3DXMatrixPerspectiveFovLH(&proj_, fov, aspect, nearPlane, farPlane);
}

void CBaseCamera::UpdateVelocity(float /*elapsedTime*/) {
    keyboardDirection_ = D3DXVECTOR3(0, 0, 0);
    if (input_.forward)
        keyboardDirection_.z += 1.0f;
    if (input_.backward)
        keyboardDirection_.z -= 1.0f;
    if (input_.right)
        keyboardDirection_.x += 1.0f;
    if (input_.left)
        keyboardDirection_.x -= 1.0f;
    if (input_.up)
        keyboardDirection_.y += 1.0f;
    if (input_.down)
        keyboardDirection_.y -= 1.0f;
    keyboardDirection_.x += input_.controllerMoveX;
    keyboardDirection_.z += input_.controllerMoveY;
    rotVelocity_ = D3DXVECTOR2((input_.mouseDeltaX + input_.controllerTurnX) * rotationScaler_,
                               (input_.mouseDeltaY + input_.controllerTurnY) * rotationScaler_);
    velocity_ = keyboardDirection_ * moveScaler_;
}

CFirstPersonCamera::CFirstPersonCamera() {
    D3DXMatrixInverse(&cameraWorld_, nullptr, &view_);
}

void CFirstPersonCamera::SetViewPoint(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt) {
    CBaseCamera::SetViewPoint(eye, lookAt);
    if (!D3DXMatrixInverse(&cameraWorld_, nullptr, &view_))
        D3DXMatrixIdentity(&cameraWorld_);
}

void CFirstPersonCamera::SetTurnButtons(bool left, bool middle, bool right, bool rotateWithoutButtonDown) {
    activeButtonMask_ = (left ? MOUSE_LEFT_BUTTON : 0) | (middle ? MOUSE_MIDDLE_BUTTON : 0) |
                        (right ? MOUSE_RIGHT_BUTTON : 0);
    rotateWithoutButtonDown_ = rotateWithoutButtonDown;
}

void CFirstPersonCamera::UpdateCamera(float elapsedTime) {
    UpdateVelocity(elapsedTime);
    const D3DXVECTOR3 posDelta = velocity_ * elapsedTime;
    const int buttons = (input_.leftButton ? MOUSE_LEFT_BUTTON : 0) |
                        (input_.middleButton ? MOUSE_MIDDLE_BUTTON : 0) |
                        (input_.rightButton ? MOUSE_RIGHT_BUTTON : 0);
    const bool turning = (buttons & activeButtonMask_) != 0 || rotateWithoutButtonDown_ ||
                         input_.controllerTurnX != 0 || input_.controllerTurnY != 0;
    input_ = CameraInput();
    const bool moved = posDelta.x != 0 || posDelta.y != 0 || posDelta.z != 0;
    if (turning && (rotVelocity_.x != 0 || rotVelocity_.y != 0)) {
        yaw_ += rotVelocity_.x;
        pitch_ = std::clamp(pitch_ + rotVelocity_.y, -D3DX_PI / 2, D3DX_PI / 2);
    } else if (!moved) {
        // Nothing to apply: the view stays exactly as it was set.
        return;
    }
    D3DXMATRIX rotation;
    D3DXMatrixRotationYawPitchRoll(&rotation, yaw_, pitch_, 0);
    const D3DXVECTOR3 localUp(0, 1, 0), localAhead(0, 0, 1);
    D3DXVECTOR3 worldUp, worldAhead, worldDelta;
    D3DXVec3TransformCoord(&worldUp, &localUp, &rotation);
    D3DXVec3TransformCoord(&worldAhead, &localAhead, &rotation);
    D3DXVec3TransformCoord(&worldDelta, &posDelta, &rotation);
    eye_ += worldDelta;
    lookAt_ = eye_ + worldAhead;
    D3DXMatrixLookAtLH(&view_, &eye_, &lookAt_, &worldUp);
    if (!D3DXMatrixInverse(&cameraWorld_, nullptr, &view_))
        D3DXMatrixIdentity(&cameraWorld_);
}

CModelViewerCamera::CModelViewerCamera() {
    D3DXMatrixIdentity(&world_);
    D3DXMatrixIdentity(&modelRot_);
    D3DXMatrixIdentity(&modelLastRot_);
    D3DXMatrixIdentity(&cameraRotLast_);
    modelCentre_ = D3DXVECTOR3(0, 0, 0);
    radius_ = defaultRadius_ = 5.0f;
    changed_ = true;
}

void CModelViewerCamera::SetRadius(float defaultRadius, float minRadius, float maxRadius) {
    defaultRadius_ = radius_ = defaultRadius;
    minRadius_ = minRadius;
    maxRadius_ = maxRadius;
    changed_ = true;
}

void CModelViewerCamera::SetViewPoint(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt) {
    CBaseCamera::SetViewPoint(eye, lookAt);
    D3DXMATRIX rotation;
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&rotation, &eye, &lookAt, &up);
    D3DXQUATERNION q;
    D3DXQuaternionRotationMatrix(&q, &rotation);
    viewArcBall_.SetQuatNow(q);
    const D3DXVECTOR3 eyeToPoint = lookAt - eye;
    SetRadius(D3DXVec3Length(&eyeToPoint));
    changed_ = true;
}

void CModelViewerCamera::SetViewportSize(int width, int height, float arcballRadius) {
    worldArcBall_.SetWindow(width, height, arcballRadius);
    viewArcBall_.SetWindow(width, height, arcballRadius);
}

void CModelViewerCamera::UpdateCamera(float elapsedTime) {
    const bool keys =
        input_.forward || input_.backward || input_.left || input_.right || input_.up || input_.down;
    if (!changed_ && !keys && !worldArcBall_.IsBeingDragged() && !viewArcBall_.IsBeingDragged()) {
        input_ = CameraInput();
        return;
    }
    changed_ = false;
    UpdateVelocity(elapsedTime);
    input_ = CameraInput();
    const D3DXVECTOR3 posDelta = velocity_ * elapsedTime;
    radius_ = std::clamp(radius_, minRadius_, maxRadius_);

    D3DXMATRIX cameraRotation;
    if (!D3DXMatrixInverse(&cameraRotation, nullptr, viewArcBall_.GetRotationMatrix()))
        D3DXMatrixIdentity(&cameraRotation);
    const D3DXVECTOR3 localUp(0, 1, 0), localAhead(0, 0, 1);
    D3DXVECTOR3 worldUp, worldAhead, worldDelta;
    D3DXVec3TransformCoord(&worldUp, &localUp, &cameraRotation);
    D3DXVec3TransformCoord(&worldAhead, &localAhead, &cameraRotation);
    D3DXVec3TransformCoord(&worldDelta, &posDelta, &cameraRotation);
    lookAt_ += worldDelta;
    eye_ = lookAt_ - worldAhead * radius_;
    D3DXMatrixLookAtLH(&view_, &eye_, &lookAt_, &worldUp);

    // The model turns only by what the model arc-ball added since the last update.
    const D3DXMATRIX modelRotation = *worldArcBall_.GetRotationMatrix();
    if (!(modelRotation == modelLastRot_)) {
        D3DXMATRIX invView, lastInv;
        if (D3DXMatrixInverse(&invView, nullptr, &view_) &&
            D3DXMatrixInverse(&lastInv, nullptr, &modelLastRot_)) {
            invView.m[3][0] = invView.m[3][1] = invView.m[3][2] = 0;
            modelRot_ *= view_ * lastInv * modelRotation * invView;
        }
        modelLastRot_ = modelRotation;
    }
    world_ = modelRot_;
    world_.m[3][0] = lookAt_.x;
    world_.m[3][1] = lookAt_.y;
    world_.m[3][2] = lookAt_.z;
    D3DXMATRIX toCentre;
    D3DXMatrixTranslation(&toCentre, -modelCentre_.x, -modelCentre_.y, -modelCentre_.z);
    world_ = toCentre * world_;
}

} // namespace orv

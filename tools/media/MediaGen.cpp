// Writes the 3D scenes' media into the folder given on the command line: text .x meshes, PNG
// textures, the skinned-mesh effect and vertex-shader files. Everything is computed from fixed
// parameters, so two runs give the same bytes.
#include "MediaText.h"
#include "Shapes.h"
#include "XWriter.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>

using namespace media;

namespace {

constexpr double kPi = 3.14159265358979323846;
QString g_out;

bool WriteText(const QString& relative, const std::string& text) {
    const QString path = g_out + "/" + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

// Deterministic value noise in 0..1.
double Hash(int x, int y, int seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                      static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<double>(h & 0xFFFFu) / 65535.0;
}

double Noise(double x, double y, int seed) {
    const int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    const double fx = x - xi, fy = y - yi;
    auto s = [](double t) { return t * t * (3 - 2 * t); };
    const double a = Hash(xi, yi, seed), b = Hash(xi + 1, yi, seed), c = Hash(xi, yi + 1, seed),
                 d = Hash(xi + 1, yi + 1, seed);
    return (a + (b - a) * s(fx)) + ((c + (d - c) * s(fx)) - (a + (b - a) * s(fx))) * s(fy);
}

using Painter = std::function<QColor(int x, int y, int size)>;

bool WriteTexture(const QString& relative, int size, const Painter& paint) {
    QImage img(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            img.setPixelColor(x, y, paint(x, y, size));
    const QString path = g_out + "/" + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return img.save(path, "PNG");
}

QColor Shade(int r, int g, int b, double k) {
    auto c = [k](int v) { return std::clamp(static_cast<int>(v * k), 0, 255); };
    return QColor(c(r), c(g), c(b));
}

XMaterial Mat(double r, double g, double b, const std::string& texture = {}, double power = 16,
              double spec = 0.3) {
    XMaterial m;
    m.r = r;
    m.g = g;
    m.b = b;
    m.texture = texture;
    m.power = power;
    m.sr = m.sg = m.sb = spec;
    return m;
}

Mesh RotateToX(Mesh m) {
    // z axis onto x axis (for wheels).
    m.Transform([](V3 p) { return V3{p.z, p.y, -p.x}; }, [](V3, V3 n) { return V3{n.z, n.y, -n.x}; });
    return m;
}

// Textures ------------------------------------------------------------------------------------------

bool Textures() {
    bool ok = true;
    ok &= WriteTexture("tiny_skin.png", 128, [](int x, int y, int s) {
        const double n = Noise(x / 8.0, y / 8.0, 1) * 0.15 + 0.9;
        // A darker band for the eyes and the mouth of the face half.
        const bool eyes =
            y > s * 0.35 && y < s * 0.42 && (x % (s / 2)) > s * 0.12 && (x % (s / 2)) < s * 0.38;
        return eyes ? QColor(60, 40, 30) : Shade(232, 190, 160, n);
    });
    ok &= WriteTexture("tiny_cloth.png", 128, [](int x, int y, int) {
        const bool stripe = ((x / 8) + (y / 8)) % 2 == 0;
        const double n = Noise(x / 4.0, y / 4.0, 2) * 0.2 + 0.85;
        return stripe ? Shade(40, 90, 170, n) : Shade(200, 60, 50, n);
    });
    ok &= WriteTexture("wall.png", 256, [](int x, int y, int) {
        // Bricks with mortar lines.
        const int row = y / 32;
        const int xo = (x + (row % 2) * 32) % 64;
        const bool mortar = (y % 32) < 3 || xo < 3;
        const double n = Noise(x / 6.0, y / 6.0, 3) * 0.3 + 0.75;
        return mortar ? Shade(200, 195, 185, 1.0) : Shade(170, 80, 55, n + 0.1 * Hash(row, xo / 64, 4));
    });
    ok &= WriteTexture("floor.png", 256, [](int x, int y, int) {
        const bool tile = ((x / 64) + (y / 64)) % 2 == 0;
        const double n = Noise(x / 10.0, y / 10.0, 5) * 0.2 + 0.85;
        const bool grout = (x % 64) < 2 || (y % 64) < 2;
        return grout ? QColor(60, 60, 60) : (tile ? Shade(210, 205, 190, n) : Shade(90, 85, 80, n));
    });
    ok &= WriteTexture("airplane/airplane.png", 128, [](int x, int y, int) {
        const double n = Noise(x / 6.0, y / 6.0, 6) * 0.1 + 0.9;
        const bool stripe = (y / 16) % 4 == 1;
        return stripe ? Shade(200, 30, 30, n) : Shade(220, 220, 210, n);
    });
    ok &= WriteTexture("misc/car.png", 128, [](int x, int y, int) {
        const double n = Noise(x / 5.0, y / 5.0, 7) * 0.15 + 0.85;
        const bool stripe = (x / 12) % 5 == 2;
        return stripe ? Shade(240, 240, 240, n) : Shade(30, 140, 60, n);
    });
    ok &= WriteTexture("misc/sphere.png", 256, [](int x, int y, int s) {
        // Land and sea.
        const double h = Noise(x / 20.0, y / 20.0, 8) * 0.7 + Noise(x / 7.0, y / 7.0, 9) * 0.3;
        const double lat = std::fabs(y - s / 2.0) / (s / 2.0);
        if (lat > 0.85)
            return QColor(240, 245, 250);
        return h > 0.55 ? Shade(70, 140, 60, 0.7 + h * 0.4) : Shade(30, 70, 160, 0.7 + h * 0.4);
    });
    ok &= WriteTexture("misc/cell_wall.png", 128, [](int x, int y, int) {
        const double n = Noise(x / 12.0, y / 12.0, 10) * 0.25 + 0.75;
        const bool seam = (x % 64) < 2 || (y % 64) < 2;
        return seam ? QColor(80, 80, 85) : Shade(160, 165, 175, n);
    });
    ok &= WriteTexture("misc/cell_floor.png", 128, [](int x, int y, int) {
        const bool tile = ((x / 32) + (y / 32)) % 2 == 0;
        const double n = Noise(x / 8.0, y / 8.0, 11) * 0.2 + 0.8;
        return tile ? Shade(120, 110, 100, n) : Shade(170, 160, 145, n);
    });
    ok &= WriteTexture("misc/seafloor.png", 128, [](int x, int y, int) {
        const double n = Noise(x / 10.0, y / 10.0, 12) * 0.6 + Noise(x / 3.0, y / 3.0, 13) * 0.4;
        return Shade(194, 178, 128, 0.6 + n * 0.5);
    });
    ok &= WriteTexture("dwarf/dwarf.png", 128, [](int x, int y, int) {
        const double n = Noise(x / 5.0, y / 5.0, 14) * 0.25 + 0.75;
        const bool weave = ((x + y) / 6) % 2 == 0;
        return weave ? Shade(60, 110, 50, n) : Shade(50, 95, 45, n);
    });
    return ok;
}

// Simple meshes -------------------------------------------------------------------------------------

XMesh Room() {
    XMesh x;
    x.name = "Room";
    x.mesh = Box({-5, -3, -5}, {5, 3, 5}, 0, true, 2.0);
    // Faces 4..5 are the ceiling (+y), 6..7 the floor (-y).
    x.mesh.faceMaterial[4] = x.mesh.faceMaterial[5] = 2;
    x.mesh.faceMaterial[6] = x.mesh.faceMaterial[7] = 1;
    x.materials = {Mat(1, 1, 1, "wall.png", 8, 0.1), Mat(1, 1, 1, "floor.png", 32, 0.4), Mat(0.9, 0.9, 0.85)};
    return x;
}

XMesh Airplane() {
    XMesh x;
    x.name = "Airplane";
    Mesh& m = x.mesh;
    m.Append(Limb({0, 0, 2.4}, {0, 0, -2.6}, 0.3, 0.45, 24, 12, 0));  // fuselage, nose at -z
    m.Append(Box({-3.2, -0.06, -0.9}, {3.2, 0.06, 0.2}, 1));          // wings
    m.Append(Box({-1.3, -0.04, 2.0}, {1.3, 0.04, 2.6}, 1));           // tail plane
    m.Append(Box({-0.04, 0.0, 1.9}, {0.04, 1.1, 2.6}, 1));            // fin
    m.Append(Ellipsoid({0, 0.32, -1.2}, {0.22, 0.2, 0.6}, 16, 8, 2)); // canopy
    m.Append(Box({-0.9, -0.05, -3.02}, {0.9, 0.05, -2.98}, 3));       // propeller
    x.materials = {Mat(1, 1, 1, "airplane.png"), Mat(0.85, 0.2, 0.15), Mat(0.2, 0.3, 0.45, {}, 64, 0.9),
                   Mat(0.25, 0.25, 0.25)};
    return x;
}

XMesh Car() {
    XMesh x;
    x.name = "Car";
    Mesh& m = x.mesh;
    m.Append(Box({-1.1, -1.95, -2.5}, {1.1, -1.1, 2.5}, 0));     // body, nose at -z
    m.Append(Box({-0.95, -1.1, -0.9}, {0.95, -0.35, 1.5}, 0));   // cabin
    m.Append(Box({-0.9, -1.05, -0.95}, {0.9, -0.45, -0.88}, 2)); // windscreen
    m.Append(Box({-0.9, -1.05, 1.52}, {0.9, -0.45, 1.56}, 2));   // rear window
    for (double sx : {-1.0, 1.0})
        for (double sz : {-1.6, 1.6}) {
            Mesh wheel = RotateToX(CylinderZ(0.5, -0.18, 0.18, 20, 1));
            wheel.Translate({sx * 1.1, -1.875, sz});
            m.Append(wheel);
        }
    for (double sx : {-0.7, 0.7}) {
        Mesh lamp = Ellipsoid({sx, -1.5, -2.5}, {0.18, 0.12, 0.05}, 12, 6, 3);
        m.Append(lamp);
    }
    x.materials = {Mat(1, 1, 1, "car.png", 48, 0.7), Mat(0.08, 0.08, 0.08), Mat(0.3, 0.45, 0.6, {}, 64, 0.9),
                   Mat(1, 0.95, 0.6)};
    x.materials[3].er = x.materials[3].eg = 0.8;
    x.materials[3].eb = 0.4;
    return x;
}

XMesh Sphere(const std::string& name, int columns, int rows, const XMaterial& mat) {
    XMesh x;
    x.name = name;
    x.mesh = Ellipsoid({0, 0, 0}, {1, 1, 1}, columns, rows, 0);
    x.materials = {mat};
    return x;
}

XMesh Arrow() {
    XMesh x;
    x.name = "Arrow";
    x.mesh.Append(CylinderZ(0.04, 0.0, 0.7, 16, 0));
    x.mesh.Append(ConeZ(0.1, 0.7, 1.0, 16, 0));
    x.materials = {Mat(1.0, 0.55, 0.1, {}, 32, 0.5)};
    return x;
}

XMesh Ring() {
    XMesh x;
    x.name = "Ring";
    x.mesh = Torus(2.0, 0.35, 48, 16, 0);
    x.mesh.Translate({0, 0.35, 0});
    x.materials = {Mat(0.95, 0.75, 0.2, {}, 64, 0.9)};
    return x;
}

XMesh Spotlight() {
    XMesh x;
    x.name = "Spotlight";
    // Shining along +z from the origin, all of it behind the origin: the shadow pass draws it from the
    // light itself, where anything ahead would cover the whole map.
    x.mesh.Append(CylinderZ(0.22, -0.75, -0.12, 20, 0));                  // housing
    x.mesh.Append(ConeZ(0.34, -0.05, -0.4, 20, 0));                       // reflector flare (base ahead)
    x.mesh.Append(Ellipsoid({0, 0, -0.05}, {0.3, 0.3, 0.025}, 20, 6, 1)); // lens
    x.materials = {Mat(0.35, 0.35, 0.4, {}, 32, 0.6), Mat(1, 1, 0.8)};
    x.materials[1].er = x.materials[1].eg = 1.0;
    x.materials[1].eb = 0.7;
    return x;
}

XMesh Cell() {
    XMesh x;
    x.name = "Cell";
    x.mesh = Box({-5, -3, -7}, {5, 3.5, 7}, 0, true, 1.5);
    x.mesh.faceMaterial[4] = x.mesh.faceMaterial[5] = 2;
    x.mesh.faceMaterial[6] = x.mesh.faceMaterial[7] = 1;
    x.materials = {Mat(1, 1, 1, "cell_wall.png", 8, 0.1), Mat(1, 1, 1, "cell_floor.png", 16, 0.2),
                   Mat(0.7, 0.7, 0.72)};
    return x;
}

XMesh Seafloor() {
    XMesh x;
    x.name = "Seafloor";
    Mesh& m = x.mesh;
    const int n = 32;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            Vertex v;
            const double px = -10 + 20.0 * i / n, pz = -10 + 20.0 * j / n;
            v.p = {px, 0.4 * std::sin(px * 0.7) * std::cos(pz * 0.5) + 0.6 * Noise(i / 4.0, j / 4.0, 20), pz};
            v.u = 4.0 * i / n;
            v.v = 4.0 * j / n;
            m.vertices.push_back(v);
            m.vertexPart.push_back(0);
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i;
            m.AddTriangle(a, a + 1, a + n + 2, 0, {0, 1, 0});
            m.AddTriangle(a, a + n + 2, a + n + 1, 0, {0, 1, 0});
        }
    SmoothNormals(m);
    x.materials = {Mat(1, 1, 1, "seafloor.png")};
    return x;
}

// A stocky, bearded character made of closed, non-touching pieces: every edge has exactly two faces.
XMesh Dwarf() {
    XMesh x;
    x.name = "Dwarf";
    Mesh& m = x.mesh;
    const int c = 24, r = 16;
    m.Append(Ellipsoid({0, 0.05, 0}, {0.55, 0.6, 0.45}, c, r, 1));      // torso
    m.Append(Ellipsoid({0, -0.22, 0}, {0.5, 0.09, 0.41}, c, r, 3));     // belt
    m.Append(Ellipsoid({0, 0.92, 0}, {0.33, 0.36, 0.33}, c, r, 0));     // head
    m.Append(Ellipsoid({0, 0.9, -0.34}, {0.08, 0.1, 0.09}, 12, 8, 0));  // nose
    m.Append(Ellipsoid({0, 0.62, -0.24}, {0.3, 0.36, 0.2}, c, r, 2));   // beard
    m.Append(Limb({0, 1.15, 0}, {0, 1.75, 0.05}, 0.36, 0.03, c, r, 3)); // hood
    for (double s : {-1.0, 1.0}) {
        m.Append(Limb({s * 0.52, 0.42, 0}, {s * 0.74, -0.18, -0.08}, 0.17, 0.14, c, r, 1)); // arm
        m.Append(Ellipsoid({s * 0.77, -0.33, -0.1}, {0.12, 0.13, 0.12}, 16, 10, 0));        // hand
        m.Append(Limb({s * 0.24, -0.35, 0}, {s * 0.27, -0.78, 0}, 0.19, 0.17, c, r, 1));    // leg
        m.Append(Ellipsoid({s * 0.28, -0.9, -0.08}, {0.17, 0.1, 0.27}, 16, 10, 3));         // boot
    }
    x.materials = {Mat(0.93, 0.72, 0.58), Mat(1, 1, 1, "dwarf.png", 8, 0.1), Mat(0.85, 0.85, 0.82),
                   Mat(0.45, 0.28, 0.15, {}, 24, 0.3)};
    return x;
}

// The skinned walker -------------------------------------------------------------------------------

struct Bone {
    std::string name;
    int parent;
    V3 joint; // model space, bind pose
    V3 tip;   // end of its segment
};

std::vector<Bone> Skeleton() {
    std::vector<Bone> b;
    auto add = [&](const std::string& n, int parent, V3 joint) {
        b.push_back({n, parent, joint, joint});
        return static_cast<int>(b.size()) - 1;
    };
    const int pelvis = add("Pelvis", -1, {0, 1.0, 0});
    const int spine1 = add("Spine1", pelvis, {0, 1.12, 0});
    const int spine2 = add("Spine2", spine1, {0, 1.25, 0});
    const int chest = add("Chest", spine2, {0, 1.38, 0});
    const int neck = add("Neck", chest, {0, 1.52, 0});
    add("Head", neck, {0, 1.6, 0});
    for (double s : {1.0, -1.0}) {
        const std::string p = s > 0 ? "L_" : "R_";
        const int clav = add(p + "Clavicle", chest, {s * 0.04, 1.47, 0});
        const int upper = add(p + "UpperArm", clav, {s * 0.2, 1.46, 0});
        const int fore = add(p + "Forearm", upper, {s * 0.23, 1.18, 0});
        const int hand = add(p + "Hand", fore, {s * 0.25, 0.95, 0});
        add(p + "Fingers", hand, {s * 0.26, 0.88, 0});
    }
    for (double s : {1.0, -1.0}) {
        const std::string p = s > 0 ? "L_" : "R_";
        const int thigh = add(p + "Thigh", pelvis, {s * 0.1, 0.95, 0});
        const int calf = add(p + "Calf", thigh, {s * 0.11, 0.53, 0});
        const int foot = add(p + "Foot", calf, {s * 0.12, 0.1, 0});
        add(p + "Toe", foot, {s * 0.12, 0.03, -0.12});
    }
    // Segment ends: the first child's joint, or a short extension for the leaves.
    for (size_t i = 0; i < b.size(); ++i) {
        bool found = false;
        for (size_t j = i + 1; j < b.size() && !found; ++j)
            if (b[j].parent == static_cast<int>(i)) {
                b[i].tip = b[j].joint;
                found = true;
            }
        if (!found)
            b[i].tip = b[i].joint + (b[i].parent >= 0 ? Normalise(b[i].joint - b[b[i].parent].joint) * 0.08
                                                      : V3{0, 0.1, 0});
    }
    // The spine chain keeps its own segments; the chest ends at the neck, not at a clavicle.
    return b;
}

double SegmentDistance(V3 p, V3 a, V3 b) {
    const V3 ab = b - a;
    const double len2 = Dot(ab, ab);
    double t = len2 > 0 ? Dot(p - a, ab) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return Length(p - (a + ab * t));
}

int BoneIndex(const std::vector<Bone>& b, const std::string& n) {
    for (size_t i = 0; i < b.size(); ++i)
        if (b[i].name == n)
            return static_cast<int>(i);
    return -1;
}

std::string Tiny(std::string* error) {
    const std::vector<Bone> bones = Skeleton();
    auto J = [&](const std::string& n) { return bones[static_cast<size_t>(BoneIndex(bones, n))].joint; };
    struct Part {
        Mesh mesh;
        std::vector<std::string> candidates;
    };
    std::vector<Part> parts;
    const int c = 16, r = 12;
    parts.push_back({Limb({0, 0.95, 0}, {0, 1.45, 0}, 0.16, 0.19, c, r, 1),
                     {"Pelvis", "Spine1", "Spine2", "Chest", "L_Clavicle", "R_Clavicle", "Neck"}});
    parts.push_back({Limb({0, 1.45, 0}, {0, 1.6, 0}, 0.06, 0.06, 12, 8, 0), {"Chest", "Neck", "Head"}});
    parts.push_back({Ellipsoid({0, 1.72, -0.01}, {0.11, 0.13, 0.12}, c, r, 0), {"Head", "Neck"}});
    for (const std::string p : {"L_", "R_"}) {
        parts.push_back({Limb(J(p + "UpperArm"), J(p + "Forearm"), 0.06, 0.05, 12, 10, 1),
                         {p + "Clavicle", p + "UpperArm", p + "Forearm", "Chest"}});
        parts.push_back({Limb(J(p + "Forearm"), J(p + "Hand"), 0.05, 0.04, 12, 10, 0),
                         {p + "UpperArm", p + "Forearm", p + "Hand"}});
        const V3 h = J(p + "Hand");
        parts.push_back({Ellipsoid({h.x, h.y - 0.05, h.z}, {0.03, 0.07, 0.045}, 10, 8, 0),
                         {p + "Forearm", p + "Hand", p + "Fingers"}});
        parts.push_back({Limb(J(p + "Thigh"), J(p + "Calf"), 0.08, 0.06, 12, 10, 2),
                         {"Pelvis", p + "Thigh", p + "Calf"}});
        parts.push_back({Limb(J(p + "Calf"), J(p + "Foot"), 0.06, 0.045, 12, 10, 2),
                         {p + "Thigh", p + "Calf", p + "Foot"}});
        const V3 f = J(p + "Foot");
        parts.push_back({Ellipsoid({f.x, 0.05, -0.05}, {0.05, 0.045, 0.12}, 12, 8, 3),
                         {p + "Calf", p + "Foot", p + "Toe"}});
    }
    XMesh body;
    body.name = "BodyMesh";
    std::vector<std::map<int, double>> weights;
    for (const Part& part : parts) {
        for (const Vertex& v : part.mesh.vertices) {
            std::vector<std::pair<double, int>> near;
            for (const auto& n : part.candidates) {
                const int bi = BoneIndex(bones, n);
                const Bone& b = bones[static_cast<size_t>(bi)];
                const double d = SegmentDistance(v.p, b.joint, b.tip);
                near.push_back({1.0 / std::pow(d + 0.02, 4.0), bi});
            }
            std::sort(near.begin(), near.end(), [](auto& a, auto& b) {
                return a.first > b.first || (a.first == b.first && a.second < b.second);
            });
            if (near.size() > 4)
                near.resize(4);
            double sum = 0;
            for (auto& n : near)
                sum += n.first;
            std::map<int, double> w;
            double kept = 0;
            for (auto& n : near)
                if (n.first / sum >= 0.02) {
                    w[n.second] = n.first / sum;
                    kept += n.first / sum;
                }
            for (auto& [k, val] : w)
                val /= kept;
            weights.push_back(w);
        }
        body.mesh.Append(part.mesh);
    }
    body.materials = {Mat(1, 1, 1, "tiny_skin.png", 16, 0.2), Mat(1, 1, 1, "tiny_cloth.png", 8, 0.1),
                      Mat(0.15, 0.18, 0.35), Mat(0.3, 0.18, 0.1, {}, 32, 0.4)};
    int maxVertex = 0, maxFace = 0;
    for (auto& w : weights)
        maxVertex = std::max(maxVertex, static_cast<int>(w.size()));
    for (auto& f : body.mesh.faces) {
        std::map<int, int> s;
        for (int i : f)
            for (auto& [k, val] : weights[static_cast<size_t>(i)])
                s[k] = 1;
        maxFace = std::max(maxFace, static_cast<int>(s.size()));
    }
    body.maxWeightsPerVertex = maxVertex;
    body.maxWeightsPerFace = maxFace;
    for (size_t bi = 0; bi < bones.size(); ++bi) {
        XSkinWeights sw;
        sw.bone = bones[bi].name;
        sw.offset = Translation(bones[bi].joint * -1.0);
        for (size_t v = 0; v < weights.size(); ++v) {
            auto it = weights[v].find(static_cast<int>(bi));
            if (it != weights[v].end()) {
                sw.vertices.push_back(static_cast<int>(v));
                sw.weights.push_back(it->second);
            }
        }
        if (!sw.vertices.empty())
            body.skin.push_back(sw);
    }
    if (body.skin.size() < 20) {
        *error = "too few skinned bones";
        return {};
    }

    // Frames: the bones under Pelvis, the mesh in its own frame beside them.
    std::vector<XFrame> frames(bones.size());
    for (size_t i = 0; i < bones.size(); ++i) {
        frames[i].name = bones[i].name;
        const V3 parentJoint =
            bones[i].parent >= 0 ? bones[static_cast<size_t>(bones[i].parent)].joint : V3{};
        frames[i].transform = Translation(bones[i].joint - parentJoint);
    }
    // Children are written inside their parents: build bottom-up.
    for (size_t i = bones.size(); i-- > 1;) {
        const int p = bones[i].parent;
        frames[static_cast<size_t>(p)].children.insert(frames[static_cast<size_t>(p)].children.begin(),
                                                       frames[i]);
    }
    XFrame root;
    root.name = "Scene_Root";
    XFrame meshFrame;
    meshFrame.name = "Body";
    meshFrame.meshes.push_back(body);
    root.children.push_back(meshFrame);
    root.children.push_back(frames[0]);

    // Walk cycle: three strides of 4/3 s, keys 15 times a second, 4800 ticks a second.
    const int ticks = 4800, keysPerSecond = 15;
    const double cycle = 4.0 / 3.0, length = 4.0;
    XAnimationSet walk;
    walk.name = "Walk";
    auto quatX = [](double a) { return std::array<double, 4>{std::cos(a / 2), std::sin(a / 2), 0, 0}; };
    auto quatY = [](double a) { return std::array<double, 4>{std::cos(a / 2), 0, std::sin(a / 2), 0}; };
    const int keyCount = static_cast<int>(length * keysPerSecond) + 1;
    for (size_t bi = 0; bi < bones.size(); ++bi) {
        XAnimation a;
        a.frame = bones[bi].name;
        const V3 parentJoint =
            bones[bi].parent >= 0 ? bones[static_cast<size_t>(bones[bi].parent)].joint : V3{};
        const std::string& n = bones[bi].name;
        const double side = n.rfind("L_", 0) == 0 ? 1.0 : -1.0;
        for (int k = 0; k < keyCount; ++k) {
            const double t = static_cast<double>(k) / keysPerSecond;
            const double ph = 2 * kPi * t / cycle;
            const int tick = static_cast<int>(std::lround(t * ticks));
            std::array<double, 4> q{1, 0, 0, 0};
            V3 pos = bones[bi].joint - parentJoint;
            if (n == "Pelvis") {
                pos.y += 0.025 * std::cos(2 * ph);
                q = quatY(0.08 * std::sin(ph));
            } else if (n == "Spine2") {
                q = quatY(-0.1 * std::sin(ph));
            } else if (n.find("Thigh") != std::string::npos) {
                q = quatX(side * 0.45 * std::sin(ph));
            } else if (n.find("Calf") != std::string::npos) {
                q = quatX(-0.55 * std::max(0.0, std::sin(ph * side + kPi / 2 * side + kPi * 0.25)));
            } else if (n.find("Foot") != std::string::npos) {
                q = quatX(0.15 * std::sin(side * ph));
            } else if (n.find("UpperArm") != std::string::npos) {
                q = quatX(-side * 0.35 * std::sin(ph));
            } else if (n.find("Forearm") != std::string::npos) {
                q = quatX(0.25 + 0.15 * std::sin(-side * ph));
            } else if (n == "Head") {
                q = quatY(0.05 * std::sin(ph));
            }
            a.rotations.push_back({tick, q});
            a.positions.push_back({tick, pos});
        }
        walk.animations.push_back(a);
    }
    return WriteX({root}, {walk}, ticks);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orv_mediagen <output folder>\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    bool ok = Textures();
    std::string error;
    const std::string tiny = Tiny(&error);
    if (tiny.empty()) {
        std::fprintf(stderr, "orv_mediagen: %s\n", error.c_str());
        return 1;
    }
    ok &= WriteText("tiny.x", tiny);
    ok &= WriteText("room.x", WriteSingleMesh("RoomFrame", Room()));
    ok &= WriteText("airplane/airplane 2.x", WriteSingleMesh("AirplaneFrame", Airplane()));
    ok &= WriteText("misc/car.x", WriteSingleMesh("CarFrame", Car()));
    ok &= WriteText(
        "misc/sphere.x",
        WriteSingleMesh("SphereFrame", Sphere("Sphere", 32, 16, Mat(1, 1, 1, "sphere.png", 32, 0.5))));
    ok &= WriteText("UI/arrow.x", WriteSingleMesh("ArrowFrame", Arrow()));
    ok &= WriteText("ring.x", WriteSingleMesh("RingFrame", Ring()));
    ok &= WriteText("spotlight.x", WriteSingleMesh("SpotlightFrame", Spotlight()));
    ok &= WriteText("misc/cell.x", WriteSingleMesh("CellFrame", Cell()));
    ok &= WriteText("misc/seafloor.x", WriteSingleMesh("SeafloorFrame", Seafloor()));
    ok &=
        WriteText("misc/sphere0.x", WriteSingleMesh("Sphere0Frame", Sphere("Sphere0", 16, 8, Mat(1, 1, 1))));
    ok &= WriteText("dwarf/dwarf.x", WriteSingleMesh("DwarfFrame", Dwarf()));
    ok &= WriteText("SkinnedMesh.fx", SkinnedMeshEffect());
    ok &= WriteText("ShadowMap.fx", ShadowMapEffect());
    ok &= WriteText("ShadowVolume.fx", ShadowVolumeEffect());
    for (int i = 1; i <= 4; ++i)
        ok &= WriteText(QString("skinmesh%1.vsh").arg(i), SkinMeshShader(i));
    if (!ok) {
        std::fprintf(stderr, "orv_mediagen: could not write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}

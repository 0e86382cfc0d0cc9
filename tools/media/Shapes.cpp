#include "Shapes.h"

#include <map>
#include <tuple>

namespace media {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

void Mesh::AddTriangle(int a, int b, int c, int material, V3 outward) {
    const V3 pa = vertices[a].p, pb = vertices[b].p, pc = vertices[c].p;
    if (Dot(Cross(pb - pa, pc - pb), outward) < 0)
        std::swap(b, c);
    faces.push_back({a, b, c});
    faceMaterial.push_back(material);
}

void Mesh::Append(const Mesh& other, int materialOverride) {
    const int base = static_cast<int>(vertices.size());
    int part = 0;
    for (int p : vertexPart)
        part = std::max(part, p + 1);
    vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
    for (size_t i = 0; i < other.vertices.size(); ++i)
        vertexPart.push_back(part + (i < other.vertexPart.size() ? other.vertexPart[i] : 0));
    for (size_t i = 0; i < other.faces.size(); ++i) {
        const auto& f = other.faces[i];
        faces.push_back({f[0] + base, f[1] + base, f[2] + base});
        faceMaterial.push_back(materialOverride >= 0 ? materialOverride : other.faceMaterial[i]);
    }
}

void Mesh::Transform(const std::function<V3(V3)>& point, const std::function<V3(V3, V3)>& normal) {
    for (auto& v : vertices) {
        v.n = Normalise(normal(v.p, v.n));
        v.p = point(v.p);
    }
}

void Mesh::Translate(V3 d) {
    for (auto& v : vertices)
        v.p = v.p + d;
}

void Mesh::Scale(V3 s) {
    for (auto& v : vertices) {
        v.p = {v.p.x * s.x, v.p.y * s.y, v.p.z * s.z};
        v.n = Normalise({v.n.x / s.x, v.n.y / s.y, v.n.z / s.z});
    }
}

Mesh SurfaceGrid(int columns, int rows, const std::function<V3(double, double)>& f, int material,
                 double uScale, double vScale) {
    Mesh m;
    auto id = [&](int r, int c) { return r * (columns + 1) + c; };
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c) {
            const double u = static_cast<double>(c) / columns, v = static_cast<double>(r) / rows;
            // The seam column repeats the first one exactly, so the surface closes.
            Vertex vx;
            vx.p = f(c == columns ? 0.0 : u, v);
            vx.u = u * uScale;
            vx.v = (1.0 - v) * vScale;
            m.vertices.push_back(vx);
            m.vertexPart.push_back(0);
        }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int a = id(r, c), b = id(r, c + 1), cc = id(r + 1, c + 1), d = id(r + 1, c);
            // Row 0 and row `rows` are poles (one position repeated), so their quads are triangles.
            if (r == 0) {
                m.faces.push_back({a, cc, d});
                m.faceMaterial.push_back(material);
            } else if (r == rows - 1) {
                m.faces.push_back({a, b, cc});
                m.faceMaterial.push_back(material);
            } else {
                m.faces.push_back({a, b, cc});
                m.faces.push_back({a, cc, d});
                m.faceMaterial.push_back(material);
                m.faceMaterial.push_back(material);
            }
        }
    // One consistent winding from the grid; turn everything if it faces inwards (signed volume).
    double volume = 0;
    for (const auto& t : m.faces)
        volume += Dot(m.vertices[t[0]].p, Cross(m.vertices[t[1]].p, m.vertices[t[2]].p));
    if (volume < 0)
        for (auto& t : m.faces)
            std::swap(t[1], t[2]);
    SmoothNormals(m);
    return m;
}

Mesh Ellipsoid(V3 centre, V3 radii, int columns, int rows, int material) {
    return SurfaceGrid(
        columns, rows,
        [&](double u, double v) {
            const double th = kPi * v, ph = 2 * kPi * u;
            return V3{centre.x + radii.x * std::sin(th) * std::cos(ph), centre.y - radii.y * std::cos(th),
                      centre.z + radii.z * std::sin(th) * std::sin(ph)};
        },
        material);
}

Mesh Limb(V3 a, V3 b, double r0, double r1, int columns, int rows, int material) {
    const V3 axis = b - a;
    const double len = Length(axis);
    const V3 w = Normalise(axis);
    const V3 helper = std::fabs(w.y) < 0.9 ? V3{0, 1, 0} : V3{1, 0, 0};
    const V3 uAxis = Normalise(Cross(helper, w));
    const V3 vAxis = Cross(w, uAxis);
    return SurfaceGrid(
        columns, rows,
        [&](double u, double v) {
            // v: 0..0.25 cap at a, 0.25..0.75 tube, 0.75..1 cap at b.
            double t, radius, along;
            if (v < 0.25) {
                const double th = (v / 0.25) * kPi / 2;
                radius = r0 * std::sin(th);
                along = -r0 * std::cos(th);
                t = 0;
            } else if (v > 0.75) {
                const double th = ((1 - v) / 0.25) * kPi / 2;
                radius = r1 * std::sin(th);
                along = len + r1 * std::cos(th);
                t = 1;
            } else {
                t = (v - 0.25) / 0.5;
                radius = r0 + (r1 - r0) * t;
                along = len * t;
            }
            const double ph = 2 * kPi * u;
            return a + w * along + uAxis * (radius * std::cos(ph)) + vAxis * (radius * std::sin(ph));
        },
        material);
}

Mesh Box(V3 lo, V3 hi, int material, bool inside, double texRepeat) {
    Mesh m;
    const V3 c = (lo + hi) * 0.5;
    const V3 normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const V3& n : normals) {
        // Two axes spanning the face.
        const V3 t1 = std::fabs(n.y) > 0.5 ? V3{1, 0, 0} : V3{0, 1, 0};
        const V3 t2 = Cross(n, t1);
        const V3 half = (hi - lo) * 0.5;
        const double dn = std::fabs(n.x) * half.x + std::fabs(n.y) * half.y + std::fabs(n.z) * half.z;
        const double d1 = std::fabs(t1.x) * half.x + std::fabs(t1.y) * half.y + std::fabs(t1.z) * half.z;
        const double d2 = std::fabs(t2.x) * half.x + std::fabs(t2.y) * half.y + std::fabs(t2.z) * half.z;
        const int base = static_cast<int>(m.vertices.size());
        const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& k : corners) {
            Vertex v;
            v.p = c + n * dn + t1 * (k[0] * d1) + t2 * (k[1] * d2);
            v.n = inside ? n * -1.0 : n;
            v.u = (k[1] + 1) / 2 * texRepeat;
            v.v = (1 - k[0]) / 2 * texRepeat;
            m.vertices.push_back(v);
            m.vertexPart.push_back(0);
        }
        const V3 out = inside ? n * -1.0 : n;
        m.AddTriangle(base, base + 1, base + 2, material, out);
        m.AddTriangle(base, base + 2, base + 3, material, out);
    }
    return m;
}

Mesh CylinderZ(double radius, double z0, double z1, int columns, int material) {
    return SurfaceGrid(
        columns, 5,
        [&](double u, double v) {
            const double ph = 2 * kPi * u;
            const int row = static_cast<int>(std::lround(v * 5));
            const double r = (row == 0 || row == 5) ? 0.0 : radius;
            const double z = row <= 2 ? z0 : z1;
            const double rr = (row == 1 || row == 4) ? radius * 0.98 : r;
            return V3{rr * std::cos(ph), rr * std::sin(ph), z + (row == 1 ? 0.0 : 0.0)};
        },
        material);
}

Mesh ConeZ(double radius, double z0, double z1, int columns, int material) {
    return SurfaceGrid(
        columns, 3,
        [&](double u, double v) {
            const double ph = 2 * kPi * u;
            const int row = static_cast<int>(std::lround(v * 3));
            const double r = row == 0 ? 0.0 : row == 1 ? radius * 0.98 : row == 2 ? radius : 0.0;
            const double z = row <= 2 ? z0 : z1;
            return V3{r * std::cos(ph), r * std::sin(ph), z};
        },
        material);
}

Mesh Torus(double major, double minor, int columns, int rows, int material) {
    Mesh m;
    auto id = [&](int r, int c) { return r * (columns + 1) + c; };
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c) {
            const double ph = 2 * kPi * (c == columns ? 0 : c) / columns;
            const double th = 2 * kPi * (r == rows ? 0 : r) / rows;
            Vertex v;
            const V3 ring{std::cos(ph), 0, std::sin(ph)};
            v.n = ring * std::cos(th) + V3{0, std::sin(th), 0};
            v.p = ring * major + v.n * minor;
            v.u = static_cast<double>(c) / columns * 4;
            v.v = static_cast<double>(r) / rows;
            m.vertices.push_back(v);
            m.vertexPart.push_back(0);
        }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int a = id(r, c), b = id(r, c + 1), cc = id(r + 1, c + 1), d = id(r + 1, c);
            const V3 n = m.vertices[a].n;
            m.AddTriangle(a, b, cc, material, n);
            m.AddTriangle(a, cc, d, material, n);
        }
    return m;
}

void SmoothNormals(Mesh& m) {
    std::map<std::tuple<long long, long long, long long>, V3> sums;
    auto key = [](V3 p) {
        return std::make_tuple(std::llround(p.x * 1e6), std::llround(p.y * 1e6), std::llround(p.z * 1e6));
    };
    for (const auto& t : m.faces) {
        const V3 a = m.vertices[t[0]].p, b = m.vertices[t[1]].p, c = m.vertices[t[2]].p;
        const V3 n = Cross(b - a, c - b); // area-weighted
        for (int i : t)
            sums[key(m.vertices[i].p)] = sums[key(m.vertices[i].p)] + n;
    }
    for (auto& v : m.vertices)
        v.n = Normalise(sums[key(v.p)]);
}

} // namespace media

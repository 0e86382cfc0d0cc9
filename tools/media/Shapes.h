#pragma once
// Procedural mesh pieces for the media files. Triangles are wound so that the front face is clockwise
// seen from outside in a left-handed system: cross(b - a, c - b) points outwards.
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace media {

struct V3 {
    double x = 0, y = 0, z = 0;
};
inline V3 operator+(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3 operator-(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3 operator*(V3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline double Dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3 Cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(V3 a) {
    return std::sqrt(Dot(a, a));
}
inline V3 Normalise(V3 a) {
    const double l = Length(a);
    return l > 0 ? a * (1.0 / l) : V3{0, 1, 0};
}

struct Vertex {
    V3 p, n;
    double u = 0, v = 0;
};

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<std::array<int, 3>> faces;
    std::vector<int> faceMaterial;
    // Index of the part (closed piece) each vertex belongs to; used for skin weights.
    std::vector<int> vertexPart;

    // Adds a triangle, turning it so that it faces along `outward`.
    void AddTriangle(int a, int b, int c, int material, V3 outward);
    // Adds another mesh's geometry.
    void Append(const Mesh& other, int materialOverride = -1);
    void Transform(const std::function<V3(V3)>& point, const std::function<V3(V3, V3)>& normal);
    void Translate(V3 d);
    void Scale(V3 s);
};

// A closed surface of revolution-like grid: f(u, v) with u around (0..1), v from bottom (0) to top (1).
// Poles are fans with the pole vertex repeated per column (same position, so the surface is closed).
Mesh SurfaceGrid(int columns, int rows, const std::function<V3(double, double)>& f, int material,
                 double uScale = 1.0, double vScale = 1.0);
Mesh Ellipsoid(V3 centre, V3 radii, int columns, int rows, int material);
// A capsule-like closed tube between two points, radius r0 at a and r1 at b, rounded ends.
Mesh Limb(V3 a, V3 b, double r0, double r1, int columns, int rows, int material);
// Box with outward faces (or inward when inside is set), per-face normals, texture 0..1 per side.
Mesh Box(V3 lo, V3 hi, int material, bool inside = false, double texRepeat = 1.0);
// Closed cylinder along +z from z0 to z1.
Mesh CylinderZ(double radius, double z0, double z1, int columns, int material);
// Closed cone along +z from base z0 (radius r) to tip z1.
Mesh ConeZ(double radius, double z0, double z1, int columns, int material);
// Torus lying in the xz plane around the y axis.
Mesh Torus(double major, double minor, int columns, int rows, int material);
// Per-vertex normals from the face normals of vertices that share a position.
void SmoothNormals(Mesh& m);

} // namespace media

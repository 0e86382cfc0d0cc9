#pragma once
// Meshes of the utility library: vertex, index and attribute buffers on a device, subsets drawn one
// attribute id at a time, cloning, optimisation, adjacency, normals, tangents, bounding spheres, skin
// information with blended-mesh conversion, and the frame hierarchy read from .x files.
#include "graphics3d/framework/D3D9.h"
#include "graphics3d/framework/d3dx/D3DX9Math.h"

#include <string>
#include <vector>

namespace orv {

constexpr DWORD D3DX_DEFAULT = 0xFFFFFFFFu;
constexpr DWORD UNUSED32 = 0xFFFFFFFFu;
constexpr UINT MAX_FVF_DECL_SIZE = MAXD3DDECLLENGTH + 1;

// Mesh options.
constexpr DWORD D3DXMESH_32BIT = 0x001u;
constexpr DWORD D3DXMESH_DONOTCLIP = 0x002u;
constexpr DWORD D3DXMESH_POINTS = 0x004u;
constexpr DWORD D3DXMESH_VB_SYSTEMMEM = 0x010u;
constexpr DWORD D3DXMESH_VB_MANAGED = 0x020u;
constexpr DWORD D3DXMESH_VB_WRITEONLY = 0x040u;
constexpr DWORD D3DXMESH_VB_DYNAMIC = 0x080u;
constexpr DWORD D3DXMESH_IB_SYSTEMMEM = 0x100u;
constexpr DWORD D3DXMESH_IB_MANAGED = 0x200u;
constexpr DWORD D3DXMESH_IB_WRITEONLY = 0x400u;
constexpr DWORD D3DXMESH_IB_DYNAMIC = 0x800u;
constexpr DWORD D3DXMESH_VB_SHARE = 0x1000u;
constexpr DWORD D3DXMESH_USEHWONLY = 0x2000u;
constexpr DWORD D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000u;
constexpr DWORD D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000u;
constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110u;
constexpr DWORD D3DXMESH_MANAGED = 0x220u;
constexpr DWORD D3DXMESH_WRITEONLY = 0x440u;
constexpr DWORD D3DXMESH_DYNAMIC = 0x880u;
constexpr DWORD D3DXMESH_SOFTWAREPROCESSING = 0x18000u;

// Optimisation flags.
constexpr DWORD D3DXMESHOPT_DEVICEINDEPENDENT = 0x00400000u;
constexpr DWORD D3DXMESHOPT_COMPACT = 0x01000000u;
constexpr DWORD D3DXMESHOPT_ATTRSORT = 0x02000000u;
constexpr DWORD D3DXMESHOPT_VERTEXCACHE = 0x04000000u;
constexpr DWORD D3DXMESHOPT_STRIPREORDER = 0x08000000u;
constexpr DWORD D3DXMESHOPT_IGNOREVERTS = 0x10000000u;
constexpr DWORD D3DXMESHOPT_DONOTSPLIT = 0x20000000u;

// Tangent-frame options.
constexpr DWORD D3DXTANGENT_GENERATE_IN_PLACE = 0x400u;
constexpr DWORD D3DXTANGENT_CALCULATE_NORMALS = 0x800u;

struct D3DXATTRIBUTERANGE {
    DWORD AttribId = 0;
    DWORD FaceStart = 0;
    DWORD FaceCount = 0;
    DWORD VertexStart = 0;
    DWORD VertexCount = 0;
};

struct D3DXBONECOMBINATION {
    DWORD AttribId = 0;
    DWORD FaceStart = 0;
    DWORD FaceCount = 0;
    DWORD VertexStart = 0;
    DWORD VertexCount = 0;
    DWORD* BoneId = nullptr; // one per influence, UNUSED32 for none
};

struct D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    char* pTextureFilename = nullptr;
};

struct D3DXEFFECTDEFAULT {
    char* pParamName = nullptr;
    DWORD Type = 0;
    DWORD NumBytes = 0;
    void* pValue = nullptr;
};

struct D3DXEFFECTINSTANCE {
    char* pEffectFilename = nullptr;
    DWORD NumDefaults = 0;
    D3DXEFFECTDEFAULT* pDefaults = nullptr;
};

// A block of memory handed out by the library (materials, adjacency, bone combinations, remaps).
class ID3DXBuffer : public IUnknown {
public:
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};
HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer);

class ID3DXMesh : public IUnknown {
public:
    virtual HRESULT DrawSubset(DWORD attribId) = 0;
    virtual DWORD GetNumFaces() = 0;
    virtual DWORD GetNumVertices() = 0;
    virtual DWORD GetFVF() = 0;
    virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) = 0;
    virtual DWORD GetNumBytesPerVertex() = 0;
    virtual DWORD GetOptions() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    virtual HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice9* device,
                                 ID3DXMesh** cloneMesh) = 0;
    virtual HRESULT CloneMesh(DWORD options, const D3DVERTEXELEMENT9* declaration, IDirect3DDevice9* device,
                              ID3DXMesh** cloneMesh) = 0;
    virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer9** vb) = 0;
    virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer9** ib) = 0;
    virtual HRESULT LockVertexBuffer(DWORD flags, void** data) = 0;
    virtual HRESULT UnlockVertexBuffer() = 0;
    virtual HRESULT LockIndexBuffer(DWORD flags, void** data) = 0;
    virtual HRESULT UnlockIndexBuffer() = 0;
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* tableSize) = 0;
    virtual HRESULT ConvertPointRepsToAdjacency(const DWORD* pointReps, DWORD* adjacency) = 0;
    virtual HRESULT ConvertAdjacencyToPointReps(const DWORD* adjacency, DWORD* pointReps) = 0;
    virtual HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency) = 0;
    virtual HRESULT UpdateSemantics(const D3DVERTEXELEMENT9* declaration) = 0;
    virtual HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) = 0;
    virtual HRESULT UnlockAttributeBuffer() = 0;
    virtual HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                    DWORD* faceRemap, ID3DXBuffer** vertexRemap) = 0;
    virtual HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* table, DWORD tableSize) = 0;
};

HRESULT D3DXCreateMesh(DWORD numFaces, DWORD numVertices, DWORD options, const D3DVERTEXELEMENT9* declaration,
                       IDirect3DDevice9* device, ID3DXMesh** mesh);
HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          IDirect3DDevice9* device, ID3DXMesh** mesh);
HRESULT D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]);
// Zero when the declaration has no flexible-format equivalent.
HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declaration, DWORD* fvf);
UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream);
UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration);

// Area-weighted vertex normals; vertices at one point (by the adjacency, when given) share a normal.
HRESULT D3DXComputeNormals(ID3DXMesh* mesh, const DWORD* adjacency);
// Tangents (u partial), binormals (v partial) and optionally normals from the texture coordinates.
// Vertices are not split here; the thresholds only matter to a splitting implementation.
HRESULT D3DXComputeTangentFrameEx(ID3DXMesh* mesh, DWORD textureInSemantic, DWORD textureInIndex,
                                  DWORD uPartialOutSemantic, DWORD uPartialOutIndex,
                                  DWORD vPartialOutSemantic, DWORD vPartialOutIndex, DWORD normalOutSemantic,
                                  DWORD normalOutIndex, DWORD options, const DWORD* adjacency,
                                  float partialEdgeThreshold, float singularPointThreshold,
                                  float normalEdgeThreshold, ID3DXMesh** meshOut,
                                  ID3DXBuffer** vertexMapping);
// Centre = mean of the positions, radius = largest distance from it.
HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD stride,
                                  D3DXVECTOR3* centre, float* radius);

// Skin information ---------------------------------------------------------------------------------

class ID3DXSkinInfo : public IUnknown {
public:
    virtual HRESULT SetBoneInfluence(DWORD bone, DWORD numInfluences, const DWORD* vertices,
                                     const float* weights) = 0;
    virtual DWORD GetNumBoneInfluences(DWORD bone) = 0;
    virtual HRESULT GetBoneInfluence(DWORD bone, DWORD* vertices, float* weights) = 0;
    virtual HRESULT GetMaxVertexInfluences(DWORD* maxVertexInfluences) = 0;
    virtual DWORD GetNumBones() = 0;
    virtual HRESULT GetMaxFaceInfluences(IDirect3DIndexBuffer9* indexBuffer, DWORD numFaces,
                                         DWORD* maxFaceInfluences) = 0;
    virtual HRESULT SetBoneName(DWORD bone, const char* name) = 0;
    virtual const char* GetBoneName(DWORD bone) = 0;
    virtual HRESULT SetBoneOffsetMatrix(DWORD bone, const D3DXMATRIX* boneTransform) = 0;
    virtual D3DXMATRIX* GetBoneOffsetMatrix(DWORD bone) = 0;
    virtual DWORD GetFVF() = 0;
    virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) = 0;
    virtual HRESULT Clone(ID3DXSkinInfo** skinInfo) = 0;
    // Non-indexed vertex blending: faces grouped per attribute into bone combinations of at most
    // maxFaceInfluences bones (capped at 4); the output mesh has that many minus one blend weights.
    virtual HRESULT ConvertToBlendedMesh(ID3DXMesh* mesh, DWORD options, const DWORD* adjacencyIn,
                                         DWORD* adjacencyOut, DWORD* faceRemap, ID3DXBuffer** vertexRemap,
                                         DWORD* maxFaceInfluences, DWORD* numBoneCombinations,
                                         ID3DXBuffer** boneCombinationTable, ID3DXMesh** meshOut) = 0;
};

HRESULT D3DXCreateSkinInfoFVF(DWORD numVertices, DWORD fvf, DWORD numBones, ID3DXSkinInfo** skinInfo);
HRESULT D3DXCreateSkinInfo(DWORD numVertices, const D3DVERTEXELEMENT9* declaration, DWORD numBones,
                           ID3DXSkinInfo** skinInfo);

// Frames and the hierarchy loader --------------------------------------------------------------------

enum D3DXMESHDATATYPE : UINT { D3DXMESHTYPE_MESH = 1, D3DXMESHTYPE_PMESH = 2, D3DXMESHTYPE_PATCHMESH = 3 };

struct D3DXMESHDATA {
    D3DXMESHDATATYPE Type = D3DXMESHTYPE_MESH;
    ID3DXMesh* pMesh = nullptr;
};

struct D3DXMESHCONTAINER {
    char* Name = nullptr;
    D3DXMESHDATA MeshData;
    D3DXMATERIAL* pMaterials = nullptr;
    D3DXEFFECTINSTANCE* pEffects = nullptr;
    DWORD NumMaterials = 0;
    DWORD* pAdjacency = nullptr;
    ID3DXSkinInfo* pSkinInfo = nullptr;
    D3DXMESHCONTAINER* pNextMeshContainer = nullptr;
};

struct D3DXFRAME {
    char* Name = nullptr;
    D3DXMATRIX TransformationMatrix;
    D3DXMESHCONTAINER* pMeshContainer = nullptr;
    D3DXFRAME* pFrameSibling = nullptr;
    D3DXFRAME* pFrameFirstChild = nullptr;
};

// The caller's allocator: the loader asks it for every frame and mesh container.
class ID3DXAllocateHierarchy {
public:
    virtual ~ID3DXAllocateHierarchy() = default;
    virtual HRESULT CreateFrame(const char* name, D3DXFRAME** newFrame) = 0;
    virtual HRESULT CreateMeshContainer(const char* name, const D3DXMESHDATA* meshData,
                                        const D3DXMATERIAL* materials,
                                        const D3DXEFFECTINSTANCE* effectInstances, DWORD numMaterials,
                                        const DWORD* adjacency, ID3DXSkinInfo* skinInfo,
                                        D3DXMESHCONTAINER** newMeshContainer) = 0;
    virtual HRESULT DestroyFrame(D3DXFRAME* frame) = 0;
    virtual HRESULT DestroyMeshContainer(D3DXMESHCONTAINER* meshContainer) = 0;
};

class ID3DXLoadUserData {
public:
    virtual ~ID3DXLoadUserData() = default;
};

// Keyframed animation of frame matrices.
class ID3DXAnimationController : public IUnknown {
public:
    // Moves local time on and writes every animated frame's transformation matrix.
    virtual HRESULT AdvanceTime(double timeDelta, void* callbackHandler) = 0;
    virtual HRESULT ResetTime() = 0;
    virtual double GetTime() = 0;
    virtual UINT GetNumAnimationSets() = 0;
    virtual UINT GetMaxNumAnimationOutputs() = 0;
    // Length of the current animation set in seconds.
    virtual double GetPeriod() = 0;
    virtual const char* GetAnimationSetName(UINT index) = 0;
    virtual HRESULT SetTrackAnimationSet(UINT track, UINT animationSet) = 0;
};

D3DXFRAME* D3DXFrameFind(const D3DXFRAME* root, const char* name);
HRESULT D3DXFrameDestroy(D3DXFRAME* root, ID3DXAllocateHierarchy* allocator);
// Spheres of every mesh under the frame matrices (cumulated from the root), merged.
HRESULT D3DXFrameCalculateBoundingSphere(const D3DXFRAME* root, D3DXVECTOR3* centre, float* radius);
UINT D3DXFrameNumNamedMatrices(const D3DXFRAME* root);

// The .x reader. A missing or malformed file gives a failure code, never a crash.
HRESULT D3DXLoadMeshFromXW(const wchar_t* fileName, DWORD options, IDirect3DDevice9* device,
                           ID3DXBuffer** adjacency, ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                           DWORD* numMaterials, ID3DXMesh** mesh);
HRESULT D3DXLoadMeshHierarchyFromXW(const wchar_t* fileName, DWORD options, IDirect3DDevice9* device,
                                    ID3DXAllocateHierarchy* allocator, ID3DXLoadUserData* userDataLoader,
                                    D3DXFRAME** frameHierarchy, ID3DXAnimationController** animController);
// The same from memory (used by the fuzz target and the tests).
HRESULT D3DXLoadMeshHierarchyFromXInMemory(const void* data, DWORD size, DWORD options,
                                           IDirect3DDevice9* device, ID3DXAllocateHierarchy* allocator,
                                           ID3DXLoadUserData* userDataLoader, D3DXFRAME** frameHierarchy,
                                           ID3DXAnimationController** animController);

} // namespace orv

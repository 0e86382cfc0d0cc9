#pragma once
// The whole utility library and the framework utilities in one include.
#include "graphics3d/framework/d3dx/D3DX9Core.h"
#include "graphics3d/framework/d3dx/D3DX9Effect.h"
#include "graphics3d/framework/d3dx/D3DX9Math.h"
#include "graphics3d/framework/d3dx/D3DX9Mesh.h"
#include "graphics3d/framework/d3dx/D3DX9Shader.h"
#include "graphics3d/framework/d3dx/D3DX9Tex.h"
#include "graphics3d/framework/d3dx/DXUTMesh.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"

//-----------------------------------------------------------------------------
// Scene.fx - the lit 3D geometry of the show (the cube tower and the rising
// meshes) and the present step of the post-processing chains.
//
// Targets (render/scene_renderer.h): with post-processing on, one technique
// pass per scene target, all against the one depth buffer:
//   p0 -> colour   lit colour, alpha 1
//   p1 -> normal   world-space normal, unbiased (-1..1), w = 1
//   p2 -> position view-space x and y, view z / g_fFocalPlaneLength, w = 1
// The position target is cleared to white (z = 1), so the filters read
// z >= 1 as "no geometry"; visible geometry has negative view z (right-handed
// view space looks down -z), so its stored z lies between about -1 and 0.
//
// Matrices are row-major with row vectors, as the show's CMatrix: mul(v, M).
//-----------------------------------------------------------------------------

float4x4 g_mProj;             // camera projection
float4x4 g_mModel;            // object to world: turns the normals
float4x4 g_mModelView;        // object to view space
texture  g_txScene;           // RenderNoLight: the chain's last output
float    g_fFocalPlaneLength; // camera far - near: scales view z to about -1..0

float4 g_vAmbientColor = float4(0.3f, 0.3f, 0.3f, 1.0f);
float4 g_vDiffuseColor = float4(0.1f, 0.1f, 0.1f, 1.0f);
float3 g_vLightDir     = float3(-0.5f, 0.25f, 0.25f);   // towards the light; normalised per pixel
float3 g_vLightColor   = float3(0.25f, 0.25f, 0.25f);

// Wraps: the present quad maps the texture exactly once, so the address
// mode never shows there.
sampler g_samScene = sampler_state
{
    Texture   = <g_txScene>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

struct VS_OUTPUT
{
    float4 Position : POSITION;
    float4 Diffuse  : COLOR0;
    float3 Normal   : TEXCOORD0;   // world space
    float3 ViewPos  : TEXCOORD1;   // view space, z scaled by the focal plane length
};

VS_OUTPUT RenderSceneVS(float4 vPos : POSITION, float3 vNormal : NORMAL)
{
    VS_OUTPUT Out;

    // The meshes and the tower hand over three floats; whatever arrives in w,
    // the point is a point.
    vPos.w = 1.0f;

    Out.Diffuse = g_vDiffuseColor;

    float3 vViewPos = mul(vPos, g_mModelView).xyz;
    Out.Position = mul(float4(vViewPos, 1.0f), g_mProj);

    // World space, not view space: the normal target holds directions that
    // do not move when the camera does. Rotation and uniform scale only, so
    // the upper 3x3 needs no inverse transpose.
    Out.Normal = normalize(mul(vNormal, (float3x3)g_mModel));

    // Scaled only after the clip position is made from the true view
    // position: the scaling is for the position target alone.
    vViewPos.z = vViewPos.z / g_fFocalPlaneLength;
    Out.ViewPos = vViewPos;

    return Out;
}

// Interpolated normals are used as they come: a few per cent short of unit
// length between vertices, which the lighting tolerates.
float4 RenderScenePS_Color(float4 Diffuse : COLOR0, float3 Normal : TEXCOORD0) : COLOR0
{
    float fDiffuse = saturate(dot(Normal, normalize(g_vLightDir)));
    float4 vColor = g_vAmbientColor + (Diffuse + float4(g_vLightColor, 0.0f)) * fDiffuse;
    // Opaque wherever geometry lands: the cleared targets hold alpha 0, and
    // the bloom chain and the sharp overlay tell the mesh from the
    // background by that alone.
    vColor.a = 1.0f;
    return vColor;
}

float4 RenderScenePS_Normal(float3 Normal : TEXCOORD0) : COLOR0
{
    return float4(Normal, 1.0f);
}

float4 RenderScenePS_Position(float3 ViewPos : TEXCOORD1) : COLOR0
{
    return float4(ViewPos, 1.0f);
}

float4 PixNoLight(float2 Tex : TEXCOORD0) : COLOR0
{
    return tex2D(g_samScene, Tex);
}

// Straight into the back buffer, or into the colour target for the bloom
// chain, which needs nothing else.
technique RenderSceneColorPass
{
    pass p0
    {
        VertexShader = compile vs_2_0 RenderSceneVS();
        PixelShader  = compile ps_2_0 RenderScenePS_Color();
    }
}

// The caller binds scene target i before pass i. The same geometry three
// times against one depth buffer: with the default less-or-equal test,
// passes 1 and 2 write only what pass 0 left visible.
technique RenderSceneMultiPasses
{
    pass p0
    {
        VertexShader = compile vs_2_0 RenderSceneVS();
        PixelShader  = compile ps_2_0 RenderScenePS_Color();
    }
    pass p1
    {
        VertexShader = compile vs_2_0 RenderSceneVS();
        PixelShader  = compile ps_2_0 RenderScenePS_Normal();
    }
    pass p2
    {
        VertexShader = compile vs_2_0 RenderSceneVS();
        PixelShader  = compile ps_2_0 RenderScenePS_Position();
    }
}

// The chains' present step: pre-transformed screen quad, no depth test, so
// the result lands over everything the back buffer holds.
technique RenderNoLight
{
    pass p0
    {
        VertexShader = null;
        PixelShader  = compile ps_2_0 PixNoLight();
        ZEnable      = false;
    }
}

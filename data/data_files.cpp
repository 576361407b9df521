#include "data/data_files.h"

const DataFile g_DataFiles[kDataFileCount] = {
    // Pictures.
    {kOverlayPictureId, "Data\\kelo_overlay.png"},
    {kBackLogoPictureId, "Data\\back_logo.png"},
    {kFontPictureId, "Data\\font.png"},
    {kIntroPictureId, "Data\\kelo_intro.jpg"},
    {kWaterNormalPictureId, "Data\\WaterNormal.jpg"},
    {kVexaLogoPictureId, "Data\\vexa_logo.jpg"},
    {kTextBarPictureId, "Data\\text_bar.png"},
    {kExitScreenPictureId, "Data\\exit_screen.jpg"},
    // Meshes.
    {kKelo3d1MeshId, "Data\\kelo_3d1.x"},
    {kKelo3d2MeshId, "Data\\kelo_3d2.x"},
    {kKelo3d3MeshId, "Data\\kelo_3d3.x"},
    {kKelo3d4MeshId, "Data\\kelo_3d4.x"},
    {kSpaceInvaderMeshId, "Data\\spaceinvader.x"},
    // Effect files.
    {kSceneEffectId, "Data\\Scene.fx"},
    {kSsaoEffectId, "Data\\PP_SSAO.fx"},
    {kSsaoCombineEffectId, "Data\\PP_SSAOCombine.fx"},
    {kColorCombineEffectId, "Data\\PP_ColorCombine.fx"},  // loaded, though no effect draws with it
    {kColorCombine4EffectId, "Data\\PP_ColorCombine4.fx"},
    {kColorBlurHEffectId, "Data\\PP_ColorBlurH.fx"},
    {kColorBlurVEffectId, "Data\\PP_ColorBlurV.fx"},
    {kColorDownFilter4EffectId, "Data\\PP_ColorDownFilter4.fx"},
    {kWaterFadeEffectId, "Data\\PP_WaterFade.fx"},
    {kColorBrightPassEffectId, "Data\\PP_ColorBrightPass.fx"},
};

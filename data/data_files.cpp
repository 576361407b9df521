#include "data/data_files.h"

const DataFile g_DataFiles[kDataFileCount] = {
    // Pictures.
    {224, "Data\\kelo_overlay.png"},
    {226, "Data\\back_logo.png"},
    {227, "Data\\font.png"},
    {228, "Data\\kelo_intro.jpg"},
    {233, "Data\\WaterNormal.jpg"},
    {234, "Data\\vexa_logo.jpg"},
    {236, "Data\\text_bar.png"},
    {238, "Data\\exit_screen.jpg"},
    // Meshes.
    {229, "Data\\kelo_3d1.x"},
    {230, "Data\\kelo_3d2.x"},
    {231, "Data\\kelo_3d3.x"},
    {232, "Data\\kelo_3d4.x"},
    {237, "Data\\spaceinvader.x"},
    // Effect files.
    {106, "Data\\Scene.fx"},
    {215, "Data\\PP_SSAO.fx"},
    {219, "Data\\PP_SSAOCombine.fx"},
    {216, "Data\\PP_ColorCombine.fx"},  // loaded, though no effect draws with it
    {220, "Data\\PP_ColorCombine4.fx"},
    {221, "Data\\PP_ColorBlurH.fx"},
    {222, "Data\\PP_ColorBlurV.fx"},
    {223, "Data\\PP_ColorDownFilter4.fx"},
    {235, "Data\\PP_WaterFade.fx"},
    {240, "Data\\PP_ColorBrightPass.fx"},
};

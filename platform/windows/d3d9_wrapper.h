// Windows only: wrappers that stand for the game's Direct3D 9 object and device and pass every
// call to the real ones unchanged. A module of the exe derives from them and writes again only
// the calls it has a reason to handle (the device's Present, say), so the game's drawing, its
// states and its order never change.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <d3d9.h>

#include "com_wrapper.h"

template <class Derived>
class Direct3DWrapper : public ComWrapper<Derived, IDirect3D9> {
public:
    static bool answers(REFIID riid) { return riid == IID_IDirect3D9; }

    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void* pInitializeFunction) override {
        return this->inner_->RegisterSoftwareDevice(pInitializeFunction);
    }
    UINT STDMETHODCALLTYPE GetAdapterCount() override { return this->inner_->GetAdapterCount(); }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT Adapter, DWORD Flags,
                                                   D3DADAPTER_IDENTIFIER9* pIdentifier) override {
        return this->inner_->GetAdapterIdentifier(Adapter, Flags, pIdentifier);
    }
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) override {
        return this->inner_->GetAdapterModeCount(Adapter, Format);
    }
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode,
                                               D3DDISPLAYMODE* pMode) override {
        return this->inner_->EnumAdapterModes(Adapter, Format, Mode, pMode);
    }
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override {
        return this->inner_->GetAdapterDisplayMode(Adapter, pMode);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT iAdapter, D3DDEVTYPE DevType, D3DFORMAT DisplayFormat,
                                              D3DFORMAT BackBufferFormat, WINBOOL bWindowed) override {
        return this->inner_->CheckDeviceType(iAdapter, DevType, DisplayFormat, BackBufferFormat, bWindowed);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                                DWORD Usage, D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override {
        return this->inner_->CheckDeviceFormat(Adapter, DeviceType, AdapterFormat, Usage, RType, CheckFormat);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat,
                                                         WINBOOL Windowed, D3DMULTISAMPLE_TYPE MultiSampleType,
                                                         DWORD* pQualityLevels) override {
        return this->inner_->CheckDeviceMultiSampleType(Adapter, DeviceType, SurfaceFormat, Windowed, MultiSampleType,
                                                        pQualityLevels);
    }
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                                     D3DFORMAT RenderTargetFormat,
                                                     D3DFORMAT DepthStencilFormat) override {
        return this->inner_->CheckDepthStencilMatch(Adapter, DeviceType, AdapterFormat, RenderTargetFormat,
                                                    DepthStencilFormat);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SourceFormat,
                                                          D3DFORMAT TargetFormat) override {
        return this->inner_->CheckDeviceFormatConversion(Adapter, DeviceType, SourceFormat, TargetFormat);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) override {
        return this->inner_->GetDeviceCaps(Adapter, DeviceType, pCaps);
    }
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT Adapter) override {
        return this->inner_->GetAdapterMonitor(Adapter);
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                           D3DPRESENT_PARAMETERS* pPresentationParameters,
                                           struct IDirect3DDevice9** ppReturnedDeviceInterface) override {
        return this->inner_->CreateDevice(Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters,
                                          ppReturnedDeviceInterface);
    }

protected:
    explicit Direct3DWrapper(IDirect3D9* inner) : ComWrapper<Derived, IDirect3D9>(inner) {}
};

template <class Derived>
class Direct3DDeviceWrapper : public ComWrapper<Derived, IDirect3DDevice9> {
public:
    static bool answers(REFIID riid) { return riid == IID_IDirect3DDevice9; }

    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override { return this->inner_->TestCooperativeLevel(); }
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override { return this->inner_->GetAvailableTextureMem(); }
    HRESULT STDMETHODCALLTYPE EvictManagedResources() override { return this->inner_->EvictManagedResources(); }
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** ppD3D9) override { return this->inner_->GetDirect3D(ppD3D9); }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* pCaps) override { return this->inner_->GetDeviceCaps(pCaps); }
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override {
        return this->inner_->GetDisplayMode(iSwapChain, pMode);
    }
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override {
        return this->inner_->GetCreationParameters(pParameters);
    }
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT XHotSpot, UINT YHotSpot,
                                                  IDirect3DSurface9* pCursorBitmap) override {
        return this->inner_->SetCursorProperties(XHotSpot, YHotSpot, pCursorBitmap);
    }
    void STDMETHODCALLTYPE SetCursorPosition(int X, int Y, DWORD Flags) override {
        return this->inner_->SetCursorPosition(X, Y, Flags);
    }
    WINBOOL STDMETHODCALLTYPE ShowCursor(WINBOOL bShow) override { return this->inner_->ShowCursor(bShow); }
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pPresentationParameters,
                                                        IDirect3DSwapChain9** pSwapChain) override {
        return this->inner_->CreateAdditionalSwapChain(pPresentationParameters, pSwapChain);
    }
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain) override {
        return this->inner_->GetSwapChain(iSwapChain, pSwapChain);
    }
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() override { return this->inner_->GetNumberOfSwapChains(); }
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override {
        return this->inner_->Reset(pPresentationParameters);
    }
    HRESULT STDMETHODCALLTYPE Present(const RECT* src_rect, const RECT* dst_rect, HWND dst_window_override,
                                      const RGNDATA* dirty_region) override {
        return this->inner_->Present(src_rect, dst_rect, dst_window_override, dirty_region);
    }
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                            IDirect3DSurface9** ppBackBuffer) override {
        return this->inner_->GetBackBuffer(iSwapChain, iBackBuffer, Type, ppBackBuffer);
    }
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus) override {
        return this->inner_->GetRasterStatus(iSwapChain, pRasterStatus);
    }
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(WINBOOL bEnableDialogs) override {
        return this->inner_->SetDialogBoxMode(bEnableDialogs);
    }
    void STDMETHODCALLTYPE SetGammaRamp(UINT swapchain_idx, DWORD flags, const D3DGAMMARAMP* ramp) override {
        return this->inner_->SetGammaRamp(swapchain_idx, flags, ramp);
    }
    void STDMETHODCALLTYPE GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP* pRamp) override {
        return this->inner_->GetGammaRamp(iSwapChain, pRamp);
    }
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, IDirect3DTexture9** ppTexture,
                                            HANDLE* pSharedHandle) override {
        return this->inner_->CreateTexture(Width, Height, Levels, Usage, Format, Pool, ppTexture, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage,
                                                  D3DFORMAT Format, D3DPOOL Pool,
                                                  IDirect3DVolumeTexture9** ppVolumeTexture,
                                                  HANDLE* pSharedHandle) override {
        return this->inner_->CreateVolumeTexture(Width, Height, Depth, Levels, Usage, Format, Pool, ppVolumeTexture,
                                                 pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                                D3DPOOL Pool, IDirect3DCubeTexture9** ppCubeTexture,
                                                HANDLE* pSharedHandle) override {
        return this->inner_->CreateCubeTexture(EdgeLength, Levels, Usage, Format, Pool, ppCubeTexture, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                                 IDirect3DVertexBuffer9** ppVertexBuffer,
                                                 HANDLE* pSharedHandle) override {
        return this->inner_->CreateVertexBuffer(Length, Usage, FVF, Pool, ppVertexBuffer, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override {
        return this->inner_->CreateIndexBuffer(Length, Usage, Format, Pool, ppIndexBuffer, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format,
                                                 D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                                 WINBOOL Lockable, IDirect3DSurface9** ppSurface,
                                                 HANDLE* pSharedHandle) override {
        return this->inner_->CreateRenderTarget(Width, Height, Format, MultiSample, MultisampleQuality, Lockable,
                                                ppSurface, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                                        D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                                        WINBOOL Discard, IDirect3DSurface9** ppSurface,
                                                        HANDLE* pSharedHandle) override {
        return this->inner_->CreateDepthStencilSurface(Width, Height, Format, MultiSample, MultisampleQuality, Discard,
                                                       ppSurface, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9* src_surface, const RECT* src_rect,
                                            IDirect3DSurface9* dst_surface, const POINT* dst_point) override {
        return this->inner_->UpdateSurface(src_surface, src_rect, dst_surface, dst_point);
    }
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* pSourceTexture,
                                            IDirect3DBaseTexture9* pDestinationTexture) override {
        return this->inner_->UpdateTexture(pSourceTexture, pDestinationTexture);
    }
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* pRenderTarget,
                                                  IDirect3DSurface9* pDestSurface) override {
        return this->inner_->GetRenderTargetData(pRenderTarget, pDestSurface);
    }
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDestSurface) override {
        return this->inner_->GetFrontBufferData(iSwapChain, pDestSurface);
    }
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9* src_surface, const RECT* src_rect,
                                          IDirect3DSurface9* dst_surface, const RECT* dst_rect,
                                          D3DTEXTUREFILTERTYPE filter) override {
        return this->inner_->StretchRect(src_surface, src_rect, dst_surface, dst_rect, filter);
    }
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override {
        return this->inner_->ColorFill(surface, rect, color);
    }
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                                          IDirect3DSurface9** ppSurface,
                                                          HANDLE* pSharedHandle) override {
        return this->inner_->CreateOffscreenPlainSurface(Width, Height, Format, Pool, ppSurface, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override {
        return this->inner_->SetRenderTarget(RenderTargetIndex, pRenderTarget);
    }
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override {
        return this->inner_->GetRenderTarget(RenderTargetIndex, ppRenderTarget);
    }
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override {
        return this->inner_->SetDepthStencilSurface(pNewZStencil);
    }
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override {
        return this->inner_->GetDepthStencilSurface(ppZStencilSurface);
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override { return this->inner_->BeginScene(); }
    HRESULT STDMETHODCALLTYPE EndScene() override { return this->inner_->EndScene(); }
    HRESULT STDMETHODCALLTYPE Clear(DWORD rect_count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override {
        return this->inner_->Clear(rect_count, rects, flags, color, z, stencil);
    }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return this->inner_->SetTransform(state, matrix);
    }
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override {
        return this->inner_->GetTransform(State, pMatrix);
    }
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return this->inner_->MultiplyTransform(state, matrix);
    }
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override {
        return this->inner_->SetViewport(viewport);
    }
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* pViewport) override {
        return this->inner_->GetViewport(pViewport);
    }
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) override {
        return this->inner_->SetMaterial(material);
    }
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* pMaterial) override {
        return this->inner_->GetMaterial(pMaterial);
    }
    HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override {
        return this->inner_->SetLight(index, light);
    }
    HRESULT STDMETHODCALLTYPE GetLight(DWORD Index, D3DLIGHT9* pLight) override {
        return this->inner_->GetLight(Index, pLight);
    }
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD Index, WINBOOL Enable) override {
        return this->inner_->LightEnable(Index, Enable);
    }
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD Index, WINBOOL* pEnable) override {
        return this->inner_->GetLightEnable(Index, pEnable);
    }
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD index, const float* plane) override {
        return this->inner_->SetClipPlane(index, plane);
    }
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD Index, float* pPlane) override {
        return this->inner_->GetClipPlane(Index, pPlane);
    }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override {
        return this->inner_->SetRenderState(State, Value);
    }
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override {
        return this->inner_->GetRenderState(State, pValue);
    }
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB) override {
        return this->inner_->CreateStateBlock(Type, ppSB);
    }
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override { return this->inner_->BeginStateBlock(); }
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9** ppSB) override {
        return this->inner_->EndStateBlock(ppSB);
    }
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS9* clip_status) override {
        return this->inner_->SetClipStatus(clip_status);
    }
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9* pClipStatus) override {
        return this->inner_->GetClipStatus(pClipStatus);
    }
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override {
        return this->inner_->GetTexture(Stage, ppTexture);
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override {
        return this->inner_->SetTexture(Stage, pTexture);
    }
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override {
        return this->inner_->GetTextureStageState(Stage, Type, pValue);
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override {
        return this->inner_->SetTextureStageState(Stage, Type, Value);
    }
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override {
        return this->inner_->GetSamplerState(Sampler, Type, pValue);
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override {
        return this->inner_->SetSamplerState(Sampler, Type, Value);
    }
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* pNumPasses) override {
        return this->inner_->ValidateDevice(pNumPasses);
    }
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT palette_idx, const PALETTEENTRY* entries) override {
        return this->inner_->SetPaletteEntries(palette_idx, entries);
    }
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT PaletteNumber, PALETTEENTRY* pEntries) override {
        return this->inner_->GetPaletteEntries(PaletteNumber, pEntries);
    }
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT PaletteNumber) override {
        return this->inner_->SetCurrentTexturePalette(PaletteNumber);
    }
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT* PaletteNumber) override {
        return this->inner_->GetCurrentTexturePalette(PaletteNumber);
    }
    HRESULT STDMETHODCALLTYPE SetScissorRect(const RECT* rect) override { return this->inner_->SetScissorRect(rect); }
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT* pRect) override { return this->inner_->GetScissorRect(pRect); }
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(WINBOOL bSoftware) override {
        return this->inner_->SetSoftwareVertexProcessing(bSoftware);
    }
    WINBOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() override {
        return this->inner_->GetSoftwareVertexProcessing();
    }
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float nSegments) override { return this->inner_->SetNPatchMode(nSegments); }
    float STDMETHODCALLTYPE GetNPatchMode() override { return this->inner_->GetNPatchMode(); }
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                                            UINT PrimitiveCount) override {
        return this->inner_->DrawPrimitive(PrimitiveType, StartVertex, PrimitiveCount);
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE Type, INT BaseVertexIndex, UINT MinVertexIndex,
                                                   UINT NumVertices, UINT startIndex, UINT primCount) override {
        return this->inner_->DrawIndexedPrimitive(Type, BaseVertexIndex, MinVertexIndex, NumVertices, startIndex,
                                                  primCount);
    }
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE primitive_type, UINT primitive_count, const void* data,
                                              UINT stride) override {
        return this->inner_->DrawPrimitiveUP(primitive_type, primitive_count, data, stride);
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitive_type, UINT min_vertex_idx,
                                                     UINT vertex_count, UINT primitive_count, const void* index_data,
                                                     D3DFORMAT index_format, const void* data, UINT stride) override {
        return this->inner_->DrawIndexedPrimitiveUP(primitive_type, min_vertex_idx, vertex_count, primitive_count,
                                                    index_data, index_format, data, stride);
    }
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                                              IDirect3DVertexBuffer9* pDestBuffer,
                                              IDirect3DVertexDeclaration9* pVertexDecl, DWORD Flags) override {
        return this->inner_->ProcessVertices(SrcStartIndex, DestIndex, VertexCount, pDestBuffer, pVertexDecl, Flags);
    }
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                      IDirect3DVertexDeclaration9** declaration) override {
        return this->inner_->CreateVertexDeclaration(elements, declaration);
    }
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override {
        return this->inner_->SetVertexDeclaration(pDecl);
    }
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override {
        return this->inner_->GetVertexDeclaration(ppDecl);
    }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD FVF) override { return this->inner_->SetFVF(FVF); }
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD* pFVF) override { return this->inner_->GetFVF(pFVF); }
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* byte_code, IDirect3DVertexShader9** shader) override {
        return this->inner_->CreateVertexShader(byte_code, shader);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* pShader) override {
        return this->inner_->SetVertexShader(pShader);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9** ppShader) override {
        return this->inner_->GetVertexShader(ppShader);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT reg_idx, const float* data, UINT count) override {
        return this->inner_->SetVertexShaderConstantF(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT StartRegister, float* pConstantData,
                                                       UINT Vector4fCount) override {
        return this->inner_->GetVertexShaderConstantF(StartRegister, pConstantData, Vector4fCount);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT reg_idx, const int* data, UINT count) override {
        return this->inner_->SetVertexShaderConstantI(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT StartRegister, int* pConstantData,
                                                       UINT Vector4iCount) override {
        return this->inner_->GetVertexShaderConstantI(StartRegister, pConstantData, Vector4iCount);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT reg_idx, const WINBOOL* data, UINT count) override {
        return this->inner_->SetVertexShaderConstantB(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT StartRegister, WINBOOL* pConstantData,
                                                       UINT BoolCount) override {
        return this->inner_->GetVertexShaderConstantB(StartRegister, pConstantData, BoolCount);
    }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                                              UINT OffsetInBytes, UINT Stride) override {
        return this->inner_->SetStreamSource(StreamNumber, pStreamData, OffsetInBytes, Stride);
    }
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData,
                                              UINT* OffsetInBytes, UINT* pStride) override {
        return this->inner_->GetStreamSource(StreamNumber, ppStreamData, OffsetInBytes, pStride);
    }
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT StreamNumber, UINT Divider) override {
        return this->inner_->SetStreamSourceFreq(StreamNumber, Divider);
    }
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT StreamNumber, UINT* Divider) override {
        return this->inner_->GetStreamSourceFreq(StreamNumber, Divider);
    }
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* pIndexData) override {
        return this->inner_->SetIndices(pIndexData);
    }
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** ppIndexData) override {
        return this->inner_->GetIndices(ppIndexData);
    }
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* byte_code, IDirect3DPixelShader9** shader) override {
        return this->inner_->CreatePixelShader(byte_code, shader);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* pShader) override {
        return this->inner_->SetPixelShader(pShader);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9** ppShader) override {
        return this->inner_->GetPixelShader(ppShader);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT reg_idx, const float* data, UINT count) override {
        return this->inner_->SetPixelShaderConstantF(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT StartRegister, float* pConstantData,
                                                      UINT Vector4fCount) override {
        return this->inner_->GetPixelShaderConstantF(StartRegister, pConstantData, Vector4fCount);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT reg_idx, const int* data, UINT count) override {
        return this->inner_->SetPixelShaderConstantI(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT StartRegister, int* pConstantData,
                                                      UINT Vector4iCount) override {
        return this->inner_->GetPixelShaderConstantI(StartRegister, pConstantData, Vector4iCount);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT reg_idx, const WINBOOL* data, UINT count) override {
        return this->inner_->SetPixelShaderConstantB(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT StartRegister, WINBOOL* pConstantData,
                                                      UINT BoolCount) override {
        return this->inner_->GetPixelShaderConstantB(StartRegister, pConstantData, BoolCount);
    }
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT handle, const float* segment_count,
                                            const D3DRECTPATCH_INFO* patch_info) override {
        return this->inner_->DrawRectPatch(handle, segment_count, patch_info);
    }
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT handle, const float* segment_count,
                                           const D3DTRIPATCH_INFO* patch_info) override {
        return this->inner_->DrawTriPatch(handle, segment_count, patch_info);
    }
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT Handle) override { return this->inner_->DeletePatch(Handle); }
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) override {
        return this->inner_->CreateQuery(Type, ppQuery);
    }

protected:
    explicit Direct3DDeviceWrapper(IDirect3DDevice9* inner) : ComWrapper<Derived, IDirect3DDevice9>(inner) {}
};

#endif

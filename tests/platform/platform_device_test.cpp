// The Direct3D 9 device's state model, textures and the headless quad log, in record mode.
#include <gtest/gtest.h>

#include <d3d9.h>
#include <headless.h>
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "device_state.h"

namespace {

struct Vertex {
    float x, y, z, rhw;
    std::uint32_t diffuse;
    float u, v;
};
static_assert(sizeof(Vertex) == 28);
constexpr DWORD QUAD_FORMAT = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::set_mode(headless::Mode::record);
        window_ = CreateWindowExA(0, "Zorvalen", "", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                     &game_parameters(), &device_),
                  D3D_OK);
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        if (device_ != nullptr) device_->Release();
        if (d3d_ != nullptr) d3d_->Release();
    }

    D3DPRESENT_PARAMETERS& game_parameters() {
        parameters_ = D3DPRESENT_PARAMETERS{};
        parameters_.BackBufferWidth = 800;
        parameters_.BackBufferHeight = 600;
        parameters_.BackBufferFormat = D3DFMT_A8R8G8B8;
        parameters_.BackBufferCount = 1;
        parameters_.SwapEffect = D3DSWAPEFFECT_COPY;
        parameters_.hDeviceWindow = window_;
        parameters_.Windowed = TRUE;
        parameters_.EnableAutoDepthStencil = TRUE;
        parameters_.AutoDepthStencilFormat = D3DFMT_D24S8;
        parameters_.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        return parameters_;
    }

    // A quad the way the game draws one; a negative width mirrors it (counter-clockwise).
    HRESULT quad(float x, float y, float w, float h, std::uint32_t colour = 0xFFFFFFFFu) {
        const Vertex vertices[4] = {{x, y, 0, 1, colour, 0, 0},
                                    {x + w, y, 0, 1, colour, 1, 0},
                                    {x, y + h, 0, 1, colour, 0, 1},
                                    {x + w, y + h, 0, 1, colour, 1, 1}};
        device_->SetFVF(QUAD_FORMAT);
        return device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(Vertex));
    }
    static const headless::QuadRecord& last() {
        const headless::DrawLog log = headless::current_draws();
        return log.quads[log.count - 1];
    }

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    D3DPRESENT_PARAMETERS parameters_{};
};

TEST_F(DeviceTest, StartsWithDirect3DsDefaultStates) {
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(quad(10, 20, 64, 32), D3D_OK);
    const headless::QuadRecord& drawn = last();
    EXPECT_FALSE(drawn.blend);
    EXPECT_EQ(drawn.src_blend, static_cast<std::uint32_t>(D3DBLEND_ONE));
    EXPECT_EQ(drawn.dest_blend, static_cast<std::uint32_t>(D3DBLEND_ZERO));
    EXPECT_EQ(drawn.cull_mode, static_cast<std::uint32_t>(D3DCULL_CCW));
    EXPECT_FALSE(drawn.culled);
    EXPECT_EQ(drawn.texture, nullptr);
}

TEST_F(DeviceTest, CullingFollowsTheWindingOnScreenAndTheCullMode) {
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(quad(100, 20, -64, 32), D3D_OK);
    EXPECT_TRUE(last().culled) << "a mirrored quad runs counter-clockwise";
    ASSERT_EQ(quad(100, 20, 64, -32), D3D_OK);
    EXPECT_TRUE(last().culled) << "mirrored top to bottom too";
    ASSERT_EQ(quad(100, 20, -64, -32), D3D_OK);
    EXPECT_FALSE(last().culled) << "mirrored both ways is a half turn: clockwise again";
    ASSERT_EQ(quad(100, 20, 0, 32), D3D_OK);
    EXPECT_FALSE(last().culled) << "a quad of no area has no winding";

    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(quad(100, 20, -64, 32), D3D_OK);
    EXPECT_FALSE(last().culled);
    EXPECT_EQ(last().cull_mode, static_cast<std::uint32_t>(D3DCULL_NONE));

    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    ASSERT_EQ(quad(10, 20, 64, 32), D3D_OK);
    EXPECT_TRUE(last().culled);
    ASSERT_EQ(quad(100, 20, -64, 32), D3D_OK);
    EXPECT_FALSE(last().culled);
}

TEST_F(DeviceTest, StatesPersistUntilChanged) {
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    ASSERT_EQ(quad(0, 0, 8, 8), D3D_OK);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(quad(0, 0, 8, 8), D3D_OK);
    EXPECT_FALSE(last().blend);
    EXPECT_EQ(last().src_blend, static_cast<std::uint32_t>(D3DBLEND_SRCALPHA)) << "kept across frames";
    EXPECT_EQ(last().dest_blend, static_cast<std::uint32_t>(D3DBLEND_ONE));
}

TEST_F(DeviceTest, DrawingNeedsAnOpenSceneAndTheGamesVertexFormat) {
    EXPECT_EQ(quad(0, 0, 8, 8), D3DERR_INVALIDCALL) << "no scene is open";
    EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);

    const Vertex vertices[4] = {};
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(Vertex)), D3DERR_INVALIDCALL);
    device_->SetFVF(QUAD_FORMAT);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, 24), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, nullptr, sizeof(Vertex)), D3DERR_INVALIDCALL);
    EXPECT_EQ(headless::current_draws().count, 0);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(Vertex)), D3D_OK);
    EXPECT_EQ(headless::current_draws().count, 1);
}

TEST_F(DeviceTest, TheLogsHoldTheOpenSceneAndTheLastPresentedOne) {
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    quad(1, 2, 3, 4, 0x80112233u);
    quad(5, 6, 7, 8);
    EXPECT_EQ(headless::current_draws().count, 2);
    EXPECT_EQ(headless::presented_draws().count, 0);
    EXPECT_EQ(headless::presented_frames(), 0);
    device_->EndScene();
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    device_->BeginScene();
    quad(9, 9, 9, 9);

    const headless::DrawLog presented = headless::presented_draws();
    ASSERT_EQ(presented.count, 2);
    EXPECT_EQ(presented.quads[0].color, 0x80112233u);
    EXPECT_EQ(presented.quads[0].x[3], 4.0f);
    EXPECT_EQ(presented.quads[0].y[3], 6.0f);
    EXPECT_EQ(headless::current_draws().count, 1);
    EXPECT_EQ(headless::current_draws().quads[0].x[0], 9.0f);
    EXPECT_EQ(headless::presented_frames(), 1);
}

TEST_F(DeviceTest, EachPresentShowsItsOwnSceneAndRecordingCanBeSwitchedOff) {
    const auto present = [this] {
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
        device_->BeginScene();
    };
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    quad(1, 1, 1, 1);
    present();
    quad(2, 2, 2, 2);
    quad(3, 3, 3, 3);
    present();
    ASSERT_EQ(headless::presented_draws().count, 2) << "the second scene, not the first";
    EXPECT_EQ(headless::presented_draws().quads[0].x[0], 2.0f);
    EXPECT_EQ(headless::current_draws().count, 0);

    headless::set_recording(false);
    quad(4, 4, 4, 4);
    present();
    EXPECT_EQ(headless::presented_draws().count, 0);
    EXPECT_EQ(headless::presented_frames(), 3) << "presents are counted all the same";

    headless::set_recording(true);
    quad(5, 5, 5, 5);
    EXPECT_EQ(headless::current_draws().count, 1);
}

TEST_F(DeviceTest, AFullLogCountsWhatItCannotKeep) {
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    constexpr int drawn = 40000;  // more than any frame of the game draws
    for (int i = 0; i < drawn; ++i) quad(static_cast<float>(i % 800), 0, 1, 1);
    const headless::DrawLog log = headless::current_draws();
    EXPECT_GT(log.count, 15000);
    EXPECT_GT(log.dropped, 0);
    EXPECT_EQ(log.count + log.dropped, drawn);
    EXPECT_EQ(log.quads[log.count - 1].x[0], static_cast<float>((log.count - 1) % 800)) << "the first ones are kept";
}

TEST_F(DeviceTest, TexturesAreLockableMemoryWithASurfaceSharingIt) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 3, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Height, 3u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);

    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_GE(locked.Pitch, 16);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            reinterpret_cast<std::uint32_t*>(static_cast<char*>(locked.pBits) + row * locked.Pitch)[column] =
                0xFF000000u | static_cast<std::uint32_t>(row * 16 + column);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    const auto& memory = *static_cast<platform::MemoryTexture*>(texture);
    EXPECT_EQ(memory.view().row_visible[1] - memory.view().row_visible[0], 2) << "one span a row";

    const RECT inner{1, 2, 3, 3};
    ASSERT_EQ(texture->LockRect(0, &locked, &inner, 0), D3D_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(locked.pBits), 0xFF000021u) << "points at (1, 2)";
    EXPECT_EQ(memory.view().row_visible, nullptr) << "locked: its texels may be changing";
    static_cast<std::uint32_t*>(locked.pBits)[0] = static_cast<std::uint32_t*>(locked.pBits)[1] = 0x00000021u;
    texture->UnlockRect(0);
    const platform::TextureView view = memory.view();
    ASSERT_NE(view.row_visible, nullptr);
    EXPECT_EQ(view.row_visible[3] - view.row_visible[2], 2) << "a short gap stays inside its span";
    const RECT outside{2, 0, 5, 1};
    EXPECT_EQ(texture->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);

    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
    ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 4u);
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<std::uint32_t*>(locked.pBits)[2], 0xFF000002u);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "the surface is that level";
    surface->UnlockRect();
    IDirect3DSurface9* no_level = surface;
    EXPECT_EQ(texture->GetSurfaceLevel(1, &no_level), D3DERR_INVALIDCALL);
    EXPECT_EQ(no_level, nullptr);

    // The surface shares the texture's count, and a bound texture is held by the device.
    EXPECT_EQ(texture->AddRef(), 3u);
    EXPECT_EQ(surface->Release(), 2u);
    device_->SetTexture(0, texture);
    EXPECT_EQ(texture->Release(), 2u);
    EXPECT_EQ(texture->Release(), 1u);
    device_->SetTexture(0, nullptr);  // the last reference goes
}

TEST_F(DeviceTest, OnlyOneLevelOf32BitColourIsOffered) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device_->CreateTexture(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(DeviceTest, ABoundTextureIsLoggedWithTheQuad) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    device_->SetTexture(0, texture);
    quad(0, 0, 2, 2);
    device_->SetTexture(0, nullptr);
    quad(0, 0, 2, 2);
    const headless::DrawLog log = headless::current_draws();
    ASSERT_EQ(log.count, 2);
    EXPECT_EQ(log.quads[0].texture, texture);
    EXPECT_EQ(log.quads[1].texture, nullptr);
    EXPECT_EQ(log.quads[0].u[1], 1.0f);
    EXPECT_EQ(log.quads[0].v[2], 1.0f);
    texture->Release();
}

TEST_F(DeviceTest, ADeviceOutlivingItsWindowRefusesWorkButReleasesCleanly) {
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_NE(CreateWindowExA(0, "Zorvalen", "", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(quad(0, 0, 8, 8), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Release(), 0u);
    device_ = nullptr;
}

TEST_F(DeviceTest, CreationChecksItsArguments) {
    IDirect3DDevice9* other = nullptr;
    D3DPRESENT_PARAMETERS parameters = game_parameters();
    parameters.hDeviceWindow = GetDesktopWindow();
    EXPECT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(),
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &other),
              D3DERR_INVALIDCALL)
        << "not a window of ours";
    parameters = game_parameters();
    parameters.Windowed = FALSE;
    EXPECT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &parameters, &other),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(Direct3DCreate9(31), nullptr) << "built for another SDK version";
}

}  // namespace

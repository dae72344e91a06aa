// The asset set as a whole: the right names, written to disk, the same bytes on every run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "assetgen/assets.h"

namespace {

std::vector<uint8_t> read_file(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AssetgenOutput, NamesAreExactlyTheFilesTheGameOpens)
{
    const std::set<std::string> wanted = {
        "Player.tga",     "eRed.tga",      "eGreen.tga",    "eBlue.tga",    "eWhite.tga",     "eThinGrey.tga",
        "eThinDark.tga",  "manbearpig.tga", "bullet.tga",   "rocket1.tga",  "crosshair4.tga", "medkit.tga",
        "explosion.tga",  "bg0.tga",       "bg1.tga",       "bg2.tga",      "startscreen.bmp", "font.raw",
        "bullet.wav",     "rocket.wav",    "explodies.wav", "bgmusic.wav"};
    const std::vector<std::string>& names = assetgen::asset_names();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), wanted);
    EXPECT_EQ(names.size(), wanted.size());
    EXPECT_THROW(assetgen::generate_asset("bg3.tga"), std::invalid_argument);
}

TEST(AssetgenOutput, WrittenFilesAreIdenticalAcrossRuns)
{
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / ("assetgen_output_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    assetgen::write_assets(dir / "nested");  // creates missing folders
    // The build's own run is a separate process; without one, compare against a second run here.
#ifdef ZORVALEN_ASSET_DIR
    const std::filesystem::path other = ZORVALEN_ASSET_DIR;
    ASSERT_TRUE(std::filesystem::exists(other / "font.raw")) << "the build's assets are missing";
#else
    const std::filesystem::path other = dir / "again";
    assetgen::write_assets(other);
#endif
    size_t files = 0;
    for (const std::string& name : assetgen::asset_names()) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> mine = read_file(dir / "nested" / name);
        EXPECT_FALSE(mine.empty());
        EXPECT_TRUE(mine == read_file(other / name)) << "differs from another run";
        ++files;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir / "nested"))
        EXPECT_NE(entry.path().extension(), ".part") << "a temporary file was left behind";
    EXPECT_EQ(files, assetgen::asset_names().size());
    std::filesystem::remove_all(dir);
}

}  // namespace

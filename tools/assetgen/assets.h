// The complete set of files the game loads, by their fixed names.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace assetgen {

struct AssetFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Every file name the game opens, in a fixed order.
const std::vector<std::string>& asset_names();

// The encoded bytes of one file; throws std::invalid_argument for a name the game does not use.
std::vector<uint8_t> generate_asset(std::string_view name);

std::vector<AssetFile> generate_all();

// Writes every file into dir, creating it if needed. Each file is written under a temporary name and
// then renamed, so an interrupted run never leaves a truncated asset behind.
void write_assets(const std::filesystem::path& dir);

}  // namespace assetgen

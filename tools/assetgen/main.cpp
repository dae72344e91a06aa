// assetgen OUTDIR                     writes every picture, the font and every sound the game loads
// assetgen --contact-sheet FILE.png   writes one picture showing all of them, for people to look at
// assetgen --icons OUTDIR             writes the game's icon: zorvalen-SIZE.png for each size and zorvalen.ico
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "assetgen/assets.h"
#include "assetgen/contact_sheet.h"
#include "assetgen/icons.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: assetgen OUTDIR\n"
                 "       assetgen --contact-sheet FILE.png\n"
                 "       assetgen --icons OUTDIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 2 && std::string(argv[1]).rfind("--", 0) != 0) {
            assetgen::write_assets(argv[1]);
            return 0;
        }
        if (argc == 3 && std::string(argv[1]) == "--contact-sheet") {
            std::vector<uint8_t> png = assetgen::contact_sheet_png();
            std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
            if (!out) {
                std::fprintf(stderr, "assetgen: cannot write %s\n", argv[2]);
                return 1;
            }
            return 0;
        }
        if (argc == 3 && std::string(argv[1]) == "--icons") {
            assetgen::write_icons(argv[2]);
            return 0;
        }
        return usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "assetgen: %s\n", e.what());
        return 1;
    }
}

// Writes the benchmark animations with the imaging writer, has gifsicle -O3
// optimise the same files, and prints both sizes. The target is ours at most
// 5% larger. Usage: gif_size_vs_gifsicle [work folder]
#include "animations.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    using namespace qf::imaging::bench;
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qf-gif-size";
    fs::create_directories(dir);
    if (std::system("gifsicle --version > /dev/null 2>&1") != 0) {
        std::fprintf(stderr, "gifsicle is not installed (apt-get install gifsicle)\n");
        return 2;
    }
    bool withinTarget = true;
    std::printf("%-14s %12s %12s %8s\n", "content", "ours", "gifsicle -O3", "ours/gs");
    for (Content content : {Content::Photographic, Content::TwoColour}) {
        const fs::path ours = dir / (std::string(NameOf(content)) + ".gif");
        const fs::path optimised = dir / (std::string(NameOf(content)) + "-gifsicle.gif");
        if (!WriteAnimation(content, ours.string()))
            return 1;
        const std::string command = "gifsicle -O3 '" + ours.string() + "' -o '" + optimised.string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "gifsicle failed on %s\n", ours.c_str());
            return 1;
        }
        const auto a = fs::file_size(ours);
        const auto b = fs::file_size(optimised);
        const double ratio = static_cast<double>(a) / static_cast<double>(b);
        withinTarget = withinTarget && ratio <= 1.05;
        std::printf("%-14s %12ju %12ju %8.3f\n", NameOf(content), static_cast<std::uintmax_t>(a),
                    static_cast<std::uintmax_t>(b), ratio);
    }
    std::printf(withinTarget ? "within 5%% of gifsicle -O3\n" : "MORE than 5%% above gifsicle -O3\n");
    return withinTarget ? 0 : 1;
}

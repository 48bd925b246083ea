// The README's pictures against what the program draws now: tools/make-pictures draws them
// afresh, and every pixel must match the committed copy in docs/ within a few steps.
#include <algorithm>
#include <cstdlib>

#include "support.h"

namespace {

// Room for rounding differences between CPUs; a changed picture differs by far more.
constexpr int tolerance = 4;

std::vector<std::string> pictures_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const std::string& name : list_dir(dir))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0)
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

int difference(rgb a, rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

}  // namespace

TEST(pictures, readme_pictures_match_what_the_program_draws) {
    const std::string committed = KAVEX_SOURCE_DIR "/docs";
    temp_dir fresh;
    const std::string command = "'" KAVEX_SOURCE_DIR "/tools/make-pictures' '" KAVEX_VIEW_PATH
                                "' '" + fresh.path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<std::string> names = pictures_in(committed);
    ASSERT_EQ(names, pictures_in(fresh.path))
        << "docs/ and tools/make-pictures name different pictures";

    for (const std::string& name : names) {
        SCOPED_TRACE("docs/" + name + " (tools/make-pictures redraws it)");
        const image expected = read_png(committed + "/" + name);
        const image observed = read_png(fresh.file(name));
        ASSERT_EQ(expected.width, observed.width);
        ASSERT_EQ(expected.height, observed.height);
        int worst_x = 0, worst_y = 0, worst = -1, beyond = 0;
        for (int y = 0; y < expected.height; ++y) {
            for (int x = 0; x < expected.width; ++x) {
                const int d = difference(expected.at(x, y), observed.at(x, y));
                beyond += d > tolerance;
                if (d > worst) {
                    worst = d;
                    worst_x = x;
                    worst_y = y;
                }
            }
        }
        EXPECT_TRUE(probe(observed, worst_x, worst_y, expected.at(worst_x, worst_y), tolerance))
            << "\n  (the worst pixel; " << beyond << " pixels differ by more than " << tolerance
            << ")";
    }
}

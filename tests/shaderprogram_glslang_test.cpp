// The show's shader sources pass the reference GLSL compiler (glslang) as well as the Mesa driver:
// it holds them to their declared #version, so a source that only a lenient driver accepts fails here.
#include "test_support.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <vector>

TEST(ShaderSources, PassTheReferenceCompiler)
{
    if (system("command -v glslangValidator > /dev/null 2>&1") != 0) SKIP_UNLESS_REQUIRED("glslangValidator not installed");
    std::string directory = sourcePath("data/common/shaders");
    DIR* dir = opendir(directory.c_str());
    ASSERT_NE(dir, nullptr);
    std::vector<std::string> files;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 5 && (name.compare(name.size() - 5, 5, ".vert") == 0 || name.compare(name.size() - 5, 5, ".frag") == 0))
            files.push_back(name);
    }
    closedir(dir);
    EXPECT_EQ(files.size(), 37u); // 17 vertex and 20 fragment sources
    for (const std::string& name : files) {
        std::string command = "glslangValidator '" + directory + "/" + name + "' > /dev/null 2>&1";
        EXPECT_EQ(system(command.c_str()), 0) << name;
    }
}

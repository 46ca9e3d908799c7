// The project's own documents, read by the tests that hold them to the
// program's tables.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace textmatte::testing {

// A file of the source tree, by its path from the top.
inline std::string read_document(const std::string& relative) {
    std::ifstream in(std::string(TEXTMATTE_SOURCE_DIR) + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace textmatte::testing

// The version textmatte and the preview say on --version: the project's
// version in CMakeLists.txt, handed to every target by CMake.
#pragma once

#ifndef TEXTMATTE_VERSION
#error "TEXTMATTE_VERSION comes from project(VERSION) in CMakeLists.txt"
#endif

namespace textmatte {

inline constexpr const char* kVersion = TEXTMATTE_VERSION;

} // namespace textmatte

// The parts of the test launcher that are the same on every platform.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/program.hpp"

namespace textmatte::testing {

namespace fs = std::filesystem;

std::map<std::string, std::string> folded(const std::map<std::string, std::string>& files) {
    std::map<std::string, std::string> out;
    for (const auto& [name, bytes] : files)
        out[fold(name)] = bytes;
    return out;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string text_drawing(int texts) {
    std::string s;
    for (int i = 0; i < texts; ++i)
        s += "ch " + std::to_string(i % 997) + " " + std::to_string(i % 463) + " 30 4 \"label " +
             std::to_string(i) + "\r\n";
    return s;
}

ProgramResult run_program(const std::string& program, const std::string& dir,
                          const std::vector<std::string>& args, const Launch& launch) {
    Running running(program, dir, args, launch);
    return running.wait();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(fs::path(path_) / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempDir::make_directory(const std::string& name) const {
    fs::create_directory(fs::path(path_) / name);
}

std::map<std::string, std::string> TempDir::files() const {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::directory_iterator(path_))
        if (entry.is_regular_file())
            out[fold(entry.path().filename().string())] = read_file(entry.path().string());
    return out;
}

} // namespace textmatte::testing

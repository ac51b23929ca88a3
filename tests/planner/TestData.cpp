#include "TestData.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace avilo::planner::test {

TempWorkDir::TempWorkDir(const std::vector<std::string>& dataFiles)
    : m_previous(std::filesystem::current_path()) {
    std::random_device random;
    m_path = std::filesystem::temp_directory_path() /
             ("avilo-planner-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(m_path);
    for (const std::string& name : dataFiles)
        std::filesystem::copy_file(std::filesystem::path(AVILO_DATA_DIR) / name, m_path / name);
    std::filesystem::current_path(m_path);
}

TempWorkDir::~TempWorkDir() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempWorkDir::Write(const std::string& name, const std::string& text) const {
    const std::filesystem::path file = m_path / name;
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
    return file.string();
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace avilo::planner::test

#pragma once
// A temporary working directory holding copies of data files, entered for the length of a test:
// the components read their data files from the working directory.

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

class TempWorkDir {
public:
    TempWorkDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "avilo-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_dir = pattern;
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
    }
    ~TempWorkDir() {
        std::error_code ec;
        std::filesystem::current_path(m_previous, ec);
        std::filesystem::remove_all(m_dir, ec);
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::filesystem::path& path() const { return m_dir; }
    /// Copies `name` from the project's data folder.
    void copyData(const std::string& name) const {
        std::filesystem::copy_file(std::filesystem::path(AVILO_DATA_DIR) / name, m_dir / name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(m_dir / name, std::ios::binary) << text;
    }
    void remove(const std::string& name) const { std::filesystem::remove(m_dir / name); }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_previous;
};

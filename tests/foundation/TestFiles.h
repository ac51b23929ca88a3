#pragma once
// A scratch working directory for tests that read data files from the working directory, as the
// programs do.  It copies the named files of data/ into a fresh temporary directory, enters it,
// and on destruction leaves and removes it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include <unistd.h>

class ScratchDir {
public:
    explicit ScratchDir(std::initializer_list<const char*> dataFiles = {}) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "avilo-test-XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
        for (const char* name : dataFiles)
            std::filesystem::copy_file(std::filesystem::path(AVILO_DATA_DIR) / name, m_path / name);
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_path);
    }
    ~ScratchDir() {
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_path);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    void write(const std::string& name, const std::string& content) const {
        std::ofstream(m_path / name, std::ios::binary) << content;
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

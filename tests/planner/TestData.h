#pragma once
// A temporary working directory with copies of the planner's data files, removed at the end.

#include <filesystem>
#include <string>
#include <vector>

namespace avilo::planner::test {

class TempWorkDir {
public:
    /// Creates the directory, copies the named files of data/ into it and makes it the working
    /// directory (the planner reads its data files from there).
    explicit TempWorkDir(const std::vector<std::string>& dataFiles = {});
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }
    /// Writes `text` into the file `name` of the directory; returns its full path.
    std::string Write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_path;
};

/// Reads a whole file.
std::string ReadFile(const std::filesystem::path& path);

} // namespace avilo::planner::test

#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace brevor::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "brevor-test-XXXXXX").string();
        char *made = ::mkdtemp(tmpl.data());
        path_ = made ? made : tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &Path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + "/" + name; }

    void Write(const std::string &name, const std::string &bytes) const {
        std::ofstream(File(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    void Append(const std::string &name, const std::string &bytes) const {
        std::ofstream(File(name), std::ios::binary | std::ios::app) << bytes;
    }
    std::string Read(const std::string &name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string &name) const { return std::filesystem::exists(File(name)); }

private:
    std::string path_;
};

}  // namespace brevor::testing

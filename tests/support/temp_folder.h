#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace brevor::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    // The folder is new: create_directory fails for a name that exists, so another test (or
    // process) never shares it.
    TempFolder() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "brevor-test-%08x%08x", random(), random());
            std::error_code ec;
            if (std::filesystem::create_directory(base / name, ec)) {
                path_ = (base / name).generic_string();
                return;
            }
        }
        throw std::runtime_error("cannot create a temporary folder in " + base.string());
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

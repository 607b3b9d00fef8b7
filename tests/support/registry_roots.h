#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace brevor::testing {

// Points the registry roots at folders of the test (which need not exist yet) and clears
// BREVOR_REGISTRY_READONLY; puts the variables back as they were when it goes.
class RegistryRoots {
public:
    RegistryRoots(const std::string &currentUser, const std::string &localMachine)
        : hkcu_(Save("BREVOR_REGISTRY_HKCU")),
          hklm_(Save("BREVOR_REGISTRY_HKLM")),
          readOnly_(Save("BREVOR_REGISTRY_READONLY")) {
        ::setenv("BREVOR_REGISTRY_HKCU", currentUser.c_str(), 1);
        ::setenv("BREVOR_REGISTRY_HKLM", localMachine.c_str(), 1);
        ::unsetenv("BREVOR_REGISTRY_READONLY");
    }
    ~RegistryRoots() {
        Restore("BREVOR_REGISTRY_HKCU", hkcu_);
        Restore("BREVOR_REGISTRY_HKLM", hklm_);
        Restore("BREVOR_REGISTRY_READONLY", readOnly_);
    }
    RegistryRoots(const RegistryRoots &) = delete;
    RegistryRoots &operator=(const RegistryRoots &) = delete;

    // Roots named here (for example "HKLM") refuse full access.
    static void SetReadOnly(const std::string &roots) {
        ::setenv("BREVOR_REGISTRY_READONLY", roots.c_str(), 1);
    }

private:
    static std::optional<std::string> Save(const char *name) {
        const char *value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char *name, const std::optional<std::string> &value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

    std::optional<std::string> hkcu_, hklm_, readOnly_;
};

}  // namespace brevor::testing

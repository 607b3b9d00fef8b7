#include <cstdlib>
#include <optional>

#include "support/registry_roots.h"

namespace brevor::testing {
namespace {

std::optional<std::string> Get(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void Put(const char *name, const std::optional<std::string> &value) {
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

}  // namespace

struct RegistryRoots::Saved {
    std::optional<std::string> hkcu, hklm, readOnly;
};

RegistryRoots::RegistryRoots(const std::string &currentUser, const std::string &localMachine)
    : saved_(new Saved{Get("BREVOR_REGISTRY_HKCU"), Get("BREVOR_REGISTRY_HKLM"),
                       Get("BREVOR_REGISTRY_READONLY")}) {
    ::setenv("BREVOR_REGISTRY_HKCU", currentUser.c_str(), 1);
    ::setenv("BREVOR_REGISTRY_HKLM", localMachine.c_str(), 1);
    ::unsetenv("BREVOR_REGISTRY_READONLY");
}

RegistryRoots::~RegistryRoots() {
    Put("BREVOR_REGISTRY_HKCU", saved_->hkcu);
    Put("BREVOR_REGISTRY_HKLM", saved_->hklm);
    Put("BREVOR_REGISTRY_READONLY", saved_->readOnly);
}

void RegistryRoots::AdoptInChild() {}

void RegistryRoots::SetReadOnly(const std::string &roots) {
    ::setenv("BREVOR_REGISTRY_READONLY", roots.c_str(), 1);
}

}  // namespace brevor::testing

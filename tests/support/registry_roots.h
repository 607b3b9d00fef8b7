#pragma once

#include <memory>
#include <string>

namespace brevor::testing {

// Gives the test registry roots of its own, empty at first, and puts the previous ones back when
// it goes (one at a time per process).
//
// On POSIX the roots HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are the folders given (which need
// not exist yet), through the variables the file-backed registry reads; BREVOR_REGISTRY_READONLY
// is cleared. Child processes inherit the variables.
// On Windows the real registry is used: both roots of this process are redirected to two fresh
// keys below HKEY_CURRENT_USER\Software\brevor-tests, made for this object and deleted with
// everything in them when it goes (the folder arguments name nothing there). A child process
// started meanwhile takes the same keys with AdoptInChild().
class RegistryRoots {
public:
    RegistryRoots(const std::string &currentUser, const std::string &localMachine);
    ~RegistryRoots();
    RegistryRoots(const RegistryRoots &) = delete;
    RegistryRoots &operator=(const RegistryRoots &) = delete;

    // In a child process: uses the roots of the parent's RegistryRoots (nothing to do on POSIX).
    static void AdoptInChild();
    // Roots named here (for example "HKLM", or "HKLM,HKCU") refuse full access. On Windows that is
    // the access list of every key below them; keys made later take it from their parent.
    static void SetReadOnly(const std::string &roots);

private:
    // What the roots were before, as the system keeps them.
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

}  // namespace brevor::testing

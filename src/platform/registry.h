#pragma once

// A registry with the semantics the property store needs: keys below a few roots, each key
// holding typed named values. On POSIX it is backed by files:
//
// Roots
//   HKEY_CURRENT_USER   $BREVOR_REGISTRY_HKCU, else
//   ${XDG_CONFIG_HOME:-$HOME/.config}/brevor/registry HKEY_LOCAL_MACHINE  $BREVOR_REGISTRY_HKLM,
//   else /etc/brevor/registry The other roots have no folder: every open of them fails. The
//   variables are read at every open, so a process (or a test) may move a root at any time.
//
// Keys
//   A key path is a list of names separated by "\"; empty names are skipped, so a leading or
//   doubled "\" is accepted and the empty path is the root itself. Every key is a folder below
//   its parent's folder. Names compare ignoring case (Windows-1252): an existing folder whose
//   name matches ignoring case is used before a new one is made, and new folders are made under
//   the parent's lock so that two processes never make "Key" and "KEY" side by side. In folder
//   names the bytes "%", "/", NUL and a leading "." are written as "%XX" (two uppercase hex
//   digits), so any key name is a valid folder name, none climbs out of its root, and none
//   collides with the key's own files, which all begin with ".".
//
// Values
//   All values of a key live in the file ".values" of its folder, in this text format:
//
//     BREVOR-REGISTRY 1\n
//     <type>\t<name>\t<data>\n        (one line per value, any order)
//
//   <type> is REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY. <name> and, for REG_SZ and
//   REG_EXPAND_SZ, <data> are the bytes of the name and text, with every byte below 0x20, "%"
//   and 0x7F written as "%XX" (two hex digits), so any byte sequence fits on one line. REG_DWORD
//   data is the value in decimal (0 to 4294967295); REG_BINARY data is two lowercase or
//   uppercase hex digits per byte (empty for no bytes). Value names compare ignoring case.
//   A file that breaks any of these rules (wrong first line, unknown type, bad escape or number,
//   odd hex, a missing final line feed, two values with the same name) reads as a key without
//   values; a write to such a key first keeps the damaged file as ".values.damaged".
//
// Concurrency
//   A write (set or delete) takes flock(LOCK_EX) on the key's ".lock" file, reads the values
//   file, changes it in memory, writes ".values.tmp", flushes it and renames it over ".values",
//   so writers in any process never lose each other's values and readers (who take no lock)
//   always see a whole file.
//
// Access
//   Opening with full access fails where the process cannot write the key's folder, and for a
//   root named in $BREVOR_REGISTRY_READONLY (a list of root names separated by "," or blanks:
//   HKCU / HKEY_CURRENT_USER, HKLM / HKEY_LOCAL_MACHINE, ignoring case). That variable lets a
//   process that may write everywhere (root) behave like a user without write access there.
//   A key opened for reading only refuses every change.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brevor::platform {

enum class RegRoot : std::uint8_t {
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    Users,
    CurrentConfig,
};

// The Win32 type codes.
enum class RegType : std::uint32_t {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
};

// A typed value. data holds the text bytes (no terminator) for Sz and ExpandSz, 4 little-endian
// bytes for Dword, the bytes themselves for Binary.
struct RegValue {
    RegType type = RegType::None;
    std::string data;

    static RegValue Text(std::string_view text, RegType type = RegType::Sz);
    static RegValue Dword(std::uint32_t value);
    static RegValue Binary(std::string_view bytes);
    // True for a type the registry stores (Sz, ExpandSz, Dword, Binary), Dword with 4 bytes.
    bool Storable() const;
    bool operator==(const RegValue &other) const = default;
};

enum class RegAccess : std::uint8_t {
    Read,  // values may be read
    All,   // values may be read, set and deleted
};

class TRegistryKey {
public:
    // Opens the key at path below root; with create, missing keys are made (which needs write
    // access to the folders they are made in). Null when the key does not exist, cannot be made,
    // or cannot be opened with the access asked for.
    static std::unique_ptr<TRegistryKey> Open(RegRoot root, std::string_view path, RegAccess access,
                                              bool create = false);

    ~TRegistryKey();
    TRegistryKey(const TRegistryKey &) = delete;
    TRegistryKey &operator=(const TRegistryKey &) = delete;

    // Where the key lives in the system's own terms (its folder on POSIX), for messages and
    // tests.
    std::string Location() const;

    // The value named name (ignoring case); false when there is none.
    bool QueryValue(std::string_view name, RegValue &value) const;
    bool ValueExists(std::string_view name) const;
    // Names of all values, in the order they are stored.
    std::vector<std::string> ValueNames() const;
    // Sets a value (replacing one with the same name ignoring case, keeping its stored name).
    // False for a key opened for reading or when the values file cannot be written.
    bool SetValue(std::string_view name, const RegValue &value);
    // False when there is no such value or the key cannot be changed.
    bool DeleteValue(std::string_view name);

private:
    // What locates the key on this system, and the access it was opened with.
    struct TImpl;
    explicit TRegistryKey(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> impl_;
};

// The values-file format on its own (for tools and fuzzing).
struct RegNamedValue {
    std::string name;
    RegValue value;
};
// Parses the content of a values file; false (and no values) when it is malformed.
bool ParseRegistryValues(std::string_view content, std::vector<RegNamedValue> &values);
std::string FormatRegistryValues(const std::vector<RegNamedValue> &values);

}  // namespace brevor::platform

#include "storage/wreg_registry.h"

#include <cstring>

#include "platform/registry.h"

namespace brevor {

namespace {

using platform::RegAccess;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;

bool ToPlatformRoot(TRegistryRoot root, RegRoot &out) {
    switch (root) {
        case rrHKEY_CLASSES_ROOT:
            out = RegRoot::ClassesRoot;
            return true;
        case rrHKEY_CURRENT_USER:
            out = RegRoot::CurrentUser;
            return true;
        case rrHKEY_LOCAL_MACHINE:
            out = RegRoot::LocalMachine;
            return true;
        case rrHKEY_USERS:
            out = RegRoot::Users;
            return true;
        case rrHKEY_CURRENT_CONFIG:
            out = RegRoot::CurrentConfig;
            return true;
        default:
            return false;
    }
}

class TPlatformWregRegistry : public IWregRegistry {
public:
    bool OpenKey(TRegistryRoot root, const std::string &path, bool create) override {
        key_.reset();
        RegRoot platformRoot{};
        if (!ToPlatformRoot(root, platformRoot)) return false;
        key_ = platform::TRegistryKey::Open(platformRoot, path, RegAccess::All, create);
        return key_ != nullptr;
    }
    void CloseKey() override { key_.reset(); }
    bool ValueExists(const std::string &name) override { return key_ && key_->ValueExists(name); }

    std::int32_t ReadInteger(const std::string &name) override {
        const RegValue value = Read(name);
        if (value.type != RegType::Dword || value.data.size() != 4) InvalidType(name);
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        return static_cast<std::int32_t>(v);
    }
    double ReadFloat(const std::string &name) override {
        const RegValue value = Read(name);
        if (value.type != RegType::Binary || value.data.size() != sizeof(double)) InvalidType(name);
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits =
                (bits << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        double result = 0;
        std::memcpy(&result, &bits, sizeof result);
        return result;
    }
    std::string ReadString(const std::string &name) override {
        RegValue value = Read(name);
        if (value.type != RegType::Sz && value.type != RegType::ExpandSz) InvalidType(name);
        return std::move(value.data);
    }

    void WriteInteger(const std::string &name, std::int32_t value) override {
        Write(name, RegValue::Dword(static_cast<std::uint32_t>(value)));
    }
    void WriteFloat(const std::string &name, double value) override {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        std::string bytes(8, '\0');
        for (std::size_t i = 0; i < 8; ++i)
            bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
        Write(name, RegValue::Binary(bytes));
    }
    void WriteString(const std::string &name, const std::string &value) override {
        Write(name, RegValue::Text(value));
    }
    void DeleteValue(const std::string &name) override {
        if (key_) key_->DeleteValue(name);
    }

private:
    RegValue Read(const std::string &name) {
        RegValue value;
        if (!key_ || !key_->QueryValue(name, value))
            throw ERegistryException("Failed to get data for '" + name + "'");
        return value;
    }
    void Write(const std::string &name, const RegValue &value) {
        if (!key_ || !key_->SetValue(name, value))
            throw ERegistryException("Failed to set data for '" + name + "'");
    }
    [[noreturn]] static void InvalidType(const std::string &name) {
        throw ERegistryException("Invalid data type for '" + name + "'");
    }

    std::unique_ptr<platform::TRegistryKey> key_;
};

}  // namespace

std::unique_ptr<IWregRegistry> MakePlatformWregRegistry() {
    return std::make_unique<TPlatformWregRegistry>();
}

}  // namespace brevor

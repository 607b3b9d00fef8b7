#pragma once

// The module's settings: the mapping lines of shConfig and the settings object that carries the
// values at run time, one published property per mapping line.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "rtl/strings.h"
#include "storage/proxy_object.h"

namespace brevor {

class TProxyCodeObject : public TProxyCodeCustomObject {
public:
    explicit TProxyCodeObject(TComponent *owner = nullptr);
    ~TProxyCodeObject() override;
    TProxyCodeObject(const TProxyCodeObject &) = delete;
    TProxyCodeObject &operator=(const TProxyCodeObject &) = delete;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    double edScanInterval_Value = 3;  // seconds
    double edBlockSize_Value = 128;   // bytes per chunk
    std::string edFolder_Text = platform::DefaultFolder();
    bool cbActiveSM_Checked = false;
    std::string edFileSM_Text;
    bool cbDecodeSM_Checked = false;
    std::int32_t gbReadModeSM_ItemIndex = 2;
    bool cbActiveTM_Checked = false;
    std::string edFilePrefixTM_Text;
    std::string edFilesExtTM_Text = "ext";
    bool cbDecodeTM_Checked = false;
    std::int32_t gbReadModeTM_ItemIndex = 2;
    bool cbActiveSD_Checked = false;
    // Owned; the property is read-only, only its lines change.
    TStringList *const shTimesSD_Strings;
};

class TDataSourceCfg : public TProxyCodeObject {
public:
    using TProxyCodeObject::TProxyCodeObject;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

// The lines of shConfig, in order, empty lines included.
const std::vector<std::string> &ConfigMappingLines();
// The same lines as a string list, ready for TWreg::Components()->Assign().
TStringList ConfigMappingList();

}  // namespace brevor

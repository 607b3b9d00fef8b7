#include "engine/settings_model.h"

namespace brevor {

TProxyCodeObject::TProxyCodeObject(TComponent *owner)
    : TProxyCodeCustomObject(owner), shTimesSD_Strings(new TStringList) {}

TProxyCodeObject::~TProxyCodeObject() {
    delete shTimesSD_Strings;
}

const TClassInfo &TProxyCodeObject::StaticClassInfo() {
    using T = TProxyCodeObject;
    static const TClassInfo info =
        TClassBuilder<T>("TProxyCodeObject", &TProxyCodeCustomObject::StaticClassInfo())
            .Float("edScanInterval_Value", &T::edScanInterval_Value)
            .Float("edBlockSize_Value", &T::edBlockSize_Value)
            .String("edFolder_Text", &T::edFolder_Text)
            .Boolean("cbActiveSM_Checked", &T::cbActiveSM_Checked)
            .String("edFileSM_Text", &T::edFileSM_Text)
            .Boolean("cbDecodeSM_Checked", &T::cbDecodeSM_Checked)
            .Integer("gbReadModeSM_ItemIndex", &T::gbReadModeSM_ItemIndex)
            .Boolean("cbActiveTM_Checked", &T::cbActiveTM_Checked)
            .String("edFilePrefixTM_Text", &T::edFilePrefixTM_Text)
            .String("edFilesExtTM_Text", &T::edFilesExtTM_Text)
            .Boolean("cbDecodeTM_Checked", &T::cbDecodeTM_Checked)
            .Integer("gbReadModeTM_ItemIndex", &T::gbReadModeTM_ItemIndex)
            .Boolean("cbActiveSD_Checked", &T::cbActiveSD_Checked)
            .Object("shTimesSD_Strings",
                    [](T &self) -> TObject * { return self.shTimesSD_Strings; })
            .Build();
    return info;
}
const TClassInfo &TProxyCodeObject::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TDataSourceCfg::StaticClassInfo() {
    static const TClassInfo info("TDataSourceCfg", &TProxyCodeObject::StaticClassInfo(), {});
    return info;
}
const TClassInfo &TDataSourceCfg::ClassInfo() const {
    return StaticClassInfo();
}

const std::vector<std::string> &ConfigMappingLines() {
    static const std::vector<std::string> lines = {
        "",
        "edScanInterval.Value,General\\Scan interval",
        "edBlockSize.Value,General\\Block size",
        "edFolder.Text,General\\Folder",
        "",
        "cbActiveSM.Checked,Mode1\\Active",
        "edFileSM.Text,Mode1\\File",
        "cbDecodeSM.Checked,Mode1\\Decode",
        "gbReadModeSM.ItemIndex,Mode1\\Read",
        "",
        "cbActiveTM.Checked,Mode2\\Active",
        "edFilePrefixTM.Text,Mode2\\Prefix",
        "edFilesExtTM.Text,Mode2\\Ext",
        "cbDecodeTM.Checked,Mode2\\Decode",
        "gbReadModeTM.ItemIndex,Mode2\\Read",
        "",
        "cbActiveSD.Checked,Mode3\\Active",
        "shTimesSD.Strings,Mode3\\Schedule",
    };
    return lines;
}

TStringList ConfigMappingList() {
    TStringList list;
    for (const std::string &line : ConfigMappingLines())
        list.Add(line);
    return list;
}

}  // namespace brevor

/*
 * Two exports declared as the interface declares GetData and GetModuleType, the second without
 * the interface's calling convention, as an export that lost BRV_CALL: it still links under its
 * undecorated name. The stdcall check must pass the first and refuse the second.
 */
#include "brevor/abi.h"

__declspec(dllexport) int32_t BRV_CALL GetData(TPluginCallRec *rec) {
    return rec != NULL && rec->Tag == BRV_CALL_TAG;
}

__declspec(dllexport) int32_t GetModuleType(TPluginCallRec *rec) {
    return rec != NULL && rec->Tag == BRV_CALL_TAG;
}

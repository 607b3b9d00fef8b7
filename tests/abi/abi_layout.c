/* Compiled for 32-bit and 64-bit targets: the header's own static assertions check every offset
 * and size for the target; this file adds the literal numbers for each. */
#include "brevor/abi.h"

#if UINTPTR_MAX == 0xFFFFFFFFu
_Static_assert(sizeof(TPluginCallRec) == 52, "32-bit call record");
_Static_assert(offsetof(TPluginCallRec, ResultValue) == 48, "32-bit ResultValue");
_Static_assert(sizeof(TqelParamsListItem) == 40, "32-bit item");
_Static_assert(sizeof(TqelParamsList) == 28, "32-bit list");
_Static_assert(sizeof(BRV_VARIANT) == 16, "32-bit VARIANT");
#else
_Static_assert(sizeof(TPluginCallRec) == 76, "64-bit call record");
_Static_assert(offsetof(TPluginCallRec, ResultValue) == 68, "64-bit ResultValue");
_Static_assert(sizeof(TqelParamsListItem) == 64, "64-bit item");
_Static_assert(sizeof(TqelParamsList) == 48, "64-bit list");
_Static_assert(sizeof(BRV_VARIANT) == 24, "64-bit VARIANT");
#endif

int brv_abi_layout_checked(void) {
    return (int)sizeof(TPluginCallRec);
}

/* The public header stays valid C: this translation unit is compiled as C into the tests. */
#include "brevor/abi.h"

int brv_c_call_record_size(void) {
    return (int)sizeof(TPluginCallRec);
}

int brv_c_call_tag(void) {
    TPluginCallRec rec = {0};
    rec.Tag = BRV_CALL_TAG;
    return rec.Tag;
}

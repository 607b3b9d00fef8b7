// Text-to-value conversions of the variant model on arbitrary bytes: every conversion either
// succeeds or raises one of the module's conversion errors, and a converted integer survives the
// round trip through its text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/variant.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    for (const brevor::Variant &v : {brevor::Variant(bytes), brevor::Variant::AnsiStr(bytes)}) {
        try {
            const std::int64_t n = v.ToInt64();
            if (brevor::Variant(brevor::Variant(n).ToString()).ToInt64() != n) std::abort();
        } catch (const brevor::EConvertError &) {
        } catch (const brevor::EVariantError &) {
        }
        try {
            (void)v.ToInt32();
        } catch (const brevor::Exception &) {
        }
        try {
            (void)v.ToDouble();
        } catch (const brevor::Exception &) {
        }
        try {
            (void)v.ToBool();
        } catch (const brevor::Exception &) {
        }
        if (v.ToString() != brevor::Variant(v).ToString()) std::abort();
    }
    return 0;
}

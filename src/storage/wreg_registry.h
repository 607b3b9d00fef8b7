#pragma once

// The property store's view of the platform registry: one current key, opened with full access,
// and typed reads that raise on a value of another type (the store then deletes the value).

#include <memory>

#include "rtl/exceptions.h"
#include "storage/wreg.h"

namespace brevor {

// A registry error: a value of the wrong type or size, no current key, a failed write.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// The registry new stores use unless SetWregRegistryFactory installed another one.
std::unique_ptr<IWregRegistry> MakePlatformWregRegistry();

}  // namespace brevor

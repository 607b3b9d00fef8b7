#include "support/wine.h"

namespace brevor::testing {

bool UnderWine() {
    return false;
}

}  // namespace brevor::testing

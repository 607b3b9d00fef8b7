#pragma once

namespace brevor::testing {

// True when the test program runs under Wine rather than on Windows itself: for the few cases
// where Wine behaves unlike Windows and a test must say so instead of failing.
bool UnderWine();

}  // namespace brevor::testing

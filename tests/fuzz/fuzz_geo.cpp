// libFuzzer target: the reference file reader and the fit it ends with.
#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavola_fuzz::RunGeo(data, size);
    return 0;
}

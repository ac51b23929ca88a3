// libFuzzer target: the NOS raster reader (OpenTavola and the three row readers).
#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavola_fuzz::RunNos(data, size);
    return 0;
}

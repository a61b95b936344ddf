// The deterministic content of the sample files under examples/ (images, handset program
// stand-ins): a xorshift stream per seed. The files test checks the committed files against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

std::vector<uint8_t> sampleBytes(uint32_t seed, size_t count);

struct SampleTfsFile {
    const char* name;
    uint32_t size;
};
// The files of examples/sample.cfg in image order; the image is their sampleBytes(1000 + index)
// laid end to end.
extern const SampleTfsFile kSampleTfsFiles[10];
std::vector<uint8_t> sampleTfsImage();

} // namespace testsupport

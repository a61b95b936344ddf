#include "tests/support/sample_data.h"

namespace testsupport {

std::vector<uint8_t> sampleBytes(uint32_t seed, size_t count) {
    std::vector<uint8_t> bytes(count);
    uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    if (x == 0) x = 1;
    for (size_t i = 0; i < count; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = (uint8_t)(x >> 24);
    }
    return bytes;
}

const SampleTfsFile kSampleTfsFiles[10] = {
    {"/sys/config.bin", 2048},
    {"/sys/calib.dat", 1536},
    {"/sys/empty.dat", 0},
    {"/user/phonebook.dat", 16384},
    {"/user/sms.dat", 12000},
    {"/user/ringtones/classic.mid", 4321},
    {"/user/ringtones/beep.mid", 1024},
    {"/user/ringtones/melody.mid", 20480},
    {"/user/pictures/logo.bmp", 7806},
    {"/user/pictures/wallpaper.bmp", 19999},
};

std::vector<uint8_t> sampleTfsImage() {
    std::vector<uint8_t> image;
    for (uint32_t i = 0; i < 10; i++) {
        std::vector<uint8_t> part = sampleBytes(1000 + i, kSampleTfsFiles[i].size);
        image.insert(image.end(), part.begin(), part.end());
    }
    return image;
}

} // namespace testsupport

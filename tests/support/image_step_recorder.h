// Listens to the image-step events while it lives and keeps each with the time it came.
#pragma once

#include "session/dwl_clock.h"
#include "session/dwl_image_step.h"

#include <vector>

namespace testsupport {

class ImageStepRecorder {
  public:
    struct Heard {
        ImageStepEvent event;
        double at; // dwl_Now() when it came
    };
    ImageStepRecorder() {
        v_ImageStepListener = {
            [](const ImageStepEvent& e, void* self) {
                static_cast<ImageStepRecorder*>(self)->heard.push_back({e, dwl_Now()});
            },
            this};
    }
    ~ImageStepRecorder() { v_ImageStepListener = {nullptr, nullptr}; }
    ImageStepRecorder(const ImageStepRecorder&) = delete;
    ImageStepRecorder& operator=(const ImageStepRecorder&) = delete;

    // The events of one phase, in order.
    std::vector<ImageStepEvent> of(uint8_t phase) const {
        std::vector<ImageStepEvent> out;
        for (const Heard& h : heard)
            if (h.event.Phase == phase) out.push_back(h.event);
        return out;
    }

    std::vector<Heard> heard;
};

} // namespace testsupport

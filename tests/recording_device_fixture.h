#pragma once
// A test fixture that installs a recording device as the global g_device for
// the length of one test, with the reports reset, and puts the previous device
// back afterwards. Being a base-class member, the device is made before and
// destroyed after whatever a derived fixture holds (maps with buffers on it).

#include <gtest/gtest.h>

#include "platform/gpu/recording/recording_device.h"
#include "platform/report.h"
#include "render/globals.h"

namespace q::test {

class RecordingDeviceTest : public testing::Test {
protected:
    void SetUp() override {
        previous_ = g_device;
        g_device = &device;
        resetReportsForTest();
    }
    void TearDown() override { g_device = previous_; }

    gpu::RecordingDevice device;

private:
    gpu::Device* previous_ = nullptr;
};

}  // namespace q::test

#pragma once
// A test fixture with a recording device for the length of one test, handed
// to whatever the test loads or draws, with the reports reset. Being a
// base-class member, the device is made before and destroyed after whatever a
// derived fixture holds (maps with buffers on it).

#include <gtest/gtest.h>

#include "gpu/recording/recording_device.h"
#include "platform/report.h"

namespace q::test {

class RecordingDeviceTest : public testing::Test {
protected:
    void SetUp() override { resetReportsForTest(); }

    gpu::RecordingDevice device;
};

}  // namespace q::test

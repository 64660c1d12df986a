#pragma once
// Ownership of one device object (buffer or texture): released when the handle
// goes, so an owner frees what it holds by being destroyed. Every handle must go
// before the device that made it; owners keep that by declaring the device first.

#include <memory>

#include "platform/gpu/device.h"

namespace q::gpu {

struct ReleaseDeviceObject {
    template <class T>
    void operator()(T* object) const {
        object->release();
    }
};

template <class T>
using DeviceHandle = std::unique_ptr<T, ReleaseDeviceObject>;

}  // namespace q::gpu

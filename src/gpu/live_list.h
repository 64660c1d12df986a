#pragma once
// The live objects of one kind a device made, so that it can free what is left
// when it goes. Each object knows its slot, so that adding one and freeing one
// are constant time: whatever a frame or a reload makes and frees costs the same
// however many objects are alive (textures, programs, a map mesh's buffers).

#include <cstddef>
#include <vector>

namespace q::gpu {

// T has a member `size_t liveSlot`.
template <class T>
class LiveList {
public:
    void add(T* item) {
        item->liveSlot = items_.size();
        items_.push_back(item);
    }
    void remove(T* item) {
        const size_t slot = item->liveSlot;
        if (slot >= items_.size() || items_[slot] != item) return;
        items_[slot] = items_.back();
        items_[slot]->liveSlot = slot;
        items_.pop_back();
    }
    // Whether this list holds the item (another device's is not held).
    bool holds(const T* item) const { return item->liveSlot < items_.size() && items_[item->liveSlot] == item; }
    size_t size() const { return items_.size(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T*> items_;
};

}  // namespace q::gpu

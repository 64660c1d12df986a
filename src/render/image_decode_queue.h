#pragma once
// Reads and decodes image files on worker threads, so that a map's images are
// decoded while the map is read and while the images before them go to the
// device (which only the main thread talks to). Results are taken in the order
// the files were added. What the queue holds at once is bounded whatever the
// number and size of the images: at most kDecodedAhead images are decoding or
// waiting to be taken, and an image starts only while what those hold (the
// file bytes and pixels of each being decoded, the pixels of each waiting)
// stays within the byte cap, except the next one to be taken, which starts
// when nothing else is held (so one larger than the cap goes through alone
// and a taker never waits for an image no worker will decode).

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"

namespace q {

class ImageDecodeQueue {
public:
    static constexpr size_t kDecodedAhead = 16;
    // About one image of the largest default size (8192 x 8192 RGBA8).
    static constexpr uint64_t kHeldBytes = uint64_t{256} << 20;

    // How a worker reads and decodes a file whose header has been read.
    using Decode = bool (*)(ImageFileHead&& head, TextureImage* out, std::string* error);

    // expandBlocks: S3TC levels are expanded to RGBA8 on the workers too (for
    // a device that cannot sample them).
    explicit ImageDecodeQueue(bool expandBlocks, Decode decode = loadImageBody, uint64_t heldBytesCap = kHeldBytes);
    // Stops the workers once their current image is done; images not taken are dropped.
    ~ImageDecodeQueue();
    ImageDecodeQueue(const ImageDecodeQueue&) = delete;
    ImageDecodeQueue& operator=(const ImageDecodeQueue&) = delete;

    // Queues a file whose header was read (readImageHead); returns its ticket, counted from 0.
    size_t add(ImageFileHead&& head);
    // Waits for the image of the next ticket not yet taken (tickets are taken
    // in order). False with *error naming the file when it could not be read
    // or decoded, or when decoding it threw (no memory left for it, say): what
    // one image's decoding throws is that image's failure, never the program's.
    bool takeNext(TextureImage* out, std::string* error);

    // What an image holds while it decodes, as far as its header tells: the
    // file bytes read and its pixels (S3TC levels expanded: four times as
    // many again, at most).
    static uint64_t heldWhileDecoding(const ImageFileHead& head, bool expandBlocks);

private:
    struct Job {
        ImageFileHead head;
        bool done = false;
        bool ok = false;
        uint64_t held = 0;  // counted in heldBytes_ from its start until it is taken
        TextureImage image;
        std::string error;
    };

    void work();

    const bool expandBlocks_;
    const Decode decode_;
    const uint64_t heldBytesCap_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;  // all access under mutex_
    size_t started_ = 0;
    size_t taken_ = 0;
    uint64_t heldBytes_ = 0;  // of images decoding or decoded and not yet taken
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace q

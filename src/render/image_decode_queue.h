#pragma once
// Reads and decodes image files on worker threads, so that a map's images are
// decoded while the map is read and while the images before them go to the
// device (which only the main thread talks to). Results are taken in the order
// the files were added. Decoded images wait to be taken up to kDecodedAhead of
// them and kWaitingBytes of pixels (beyond that only the next one to be taken
// is decoded), which bounds the memory held whatever the number and size of
// the images.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/image.h"

namespace q {

class ImageDecodeQueue {
public:
    static constexpr size_t kDecodedAhead = 16;
    static constexpr size_t kWaitingBytes = size_t{256} << 20;

    // How a worker reads and decodes a file whose header has been read.
    using Decode = bool (*)(ImageFileHead&& head, TextureImage* out, std::string* error);

    // expandBlocks: S3TC levels are expanded to RGBA8 on the workers too (for
    // a device that cannot sample them).
    explicit ImageDecodeQueue(bool expandBlocks, Decode decode = loadImageBody);
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

private:
    struct Job {
        ImageFileHead head;
        bool done = false;
        bool ok = false;
        TextureImage image;
        std::string error;
    };

    void work();

    const bool expandBlocks_;
    const Decode decode_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;  // all access under mutex_
    size_t started_ = 0;
    size_t taken_ = 0;
    size_t waitingBytes_ = 0;  // of images decoded and not yet taken
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace q

#include "render/image_decode_queue.h"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

namespace q {

namespace {

size_t workerCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<size_t>(cores, 1, 4);
}

}  // namespace

ImageDecodeQueue::ImageDecodeQueue(bool expandBlocks, Decode decode, uint64_t heldBytesCap)
    : expandBlocks_(expandBlocks), decode_(decode), heldBytesCap_(heldBytesCap) {}

uint64_t ImageDecodeQueue::heldWhileDecoding(const ImageFileHead& head, bool expandBlocks) {
    const uint64_t fileBytes = std::min(head.fileBytes, head.bytesNeeded);
    // A DDS file's bytes are its levels; expanding them makes RGBA8 levels
    // (a third more than level 0) beside them.
    const uint64_t expanded = expandBlocks ? head.decodedBytes() * 4 / 3 : 0;
    return fileBytes + head.decodedBytes() + expanded;
}

ImageDecodeQueue::~ImageDecodeQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

size_t ImageDecodeQueue::add(ImageFileHead&& head) {
    size_t ticket = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.emplace_back();
        jobs_.back().head = std::move(head);
        ticket = jobs_.size() - 1;
    }
    // A worker per queued image up to the core count: a map with one image
    // starts one thread.
    if (workers_.size() < workerCount()) workers_.emplace_back(&ImageDecodeQueue::work, this);
    changed_.notify_one();
    return ticket;
}

bool ImageDecodeQueue::takeNext(TextureImage* out, std::string* error) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ >= jobs_.size()) {
        *error = "no image queued";
        return false;
    }
    Job& job = jobs_[taken_];
    changed_.wait(lock, [&job] { return job.done; });
    ++taken_;
    heldBytes_ -= job.held;
    const bool ok = job.ok;
    *out = std::move(job.image);
    *error = std::move(job.error);
    job.image = TextureImage{};
    lock.unlock();
    changed_.notify_all();  // room for one more decoded image ahead
    return ok;
}

void ImageDecodeQueue::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // The next image to be taken is always started once nothing else is
        // held (started_ == taken_), so a taker never waits for an image that
        // no worker will decode.
        changed_.wait(lock, [this] {
            if (stopping_) return true;
            if (started_ >= jobs_.size()) return false;
            if (started_ == taken_) return true;
            return started_ < taken_ + kDecodedAhead &&
                   heldBytes_ + heldWhileDecoding(jobs_[started_].head, expandBlocks_) <= heldBytesCap_;
        });
        if (stopping_) return;
        const size_t ticket = started_++;
        jobs_[ticket].held = heldWhileDecoding(jobs_[ticket].head, expandBlocks_);
        heldBytes_ += jobs_[ticket].held;
        ImageFileHead head = std::move(jobs_[ticket].head);
        lock.unlock();

        const std::string path = head.path;
        TextureImage image;
        std::string error;
        bool ok = false;
        try {
            ok = decode_(std::move(head), &image, &error);
            if (ok && expandBlocks_) q::expandBlocks(&image);
        } catch (const std::bad_alloc&) {
            ok = false;
            error = path + ": not enough memory to decode it";
        } catch (const std::exception& thrown) {
            ok = false;
            error = path + ": could not be decoded (" + thrown.what() + ")";
        } catch (...) {
            ok = false;
            error = path + ": could not be decoded";
        }
        if (!ok) image = TextureImage{};
        head = ImageFileHead{};  // whatever of the file the decoder left is freed before the image waits

        lock.lock();
        Job& job = jobs_[ticket];
        job.ok = ok;
        job.image = std::move(image);
        job.error = std::move(error);
        job.done = true;
        // Now only its pixels (or the file they were decoded within) wait.
        heldBytes_ -= job.held;
        job.held = job.image.bytes.size();
        heldBytes_ += job.held;
        changed_.notify_all();
    }
}

}  // namespace q

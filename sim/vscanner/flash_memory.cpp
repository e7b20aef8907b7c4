#include "flash_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vscanner {

FlashMemory::FlashMemory(std::string path, std::vector<uint8_t> fresh)
    : path_(std::move(path)), bytes_(kSize, 0xFF) {
    if (path_.empty()) {
        if (fresh.size() == kSize)
            bytes_ = std::move(fresh);
        return;
    }
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    size_t got = 0;
    while (got < kSize) {
        const ssize_t n = ::read(fd, bytes_.data() + got, kSize - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
}

void FlashMemory::Read(uint32_t address, uint8_t* out, uint32_t length) const {
    std::memcpy(out, bytes_.data() + address, length);
}

void FlashMemory::Program(uint32_t address, const uint8_t* data, uint32_t length) {
    std::memcpy(bytes_.data() + address, data, length);
    Persist(address, length);
}

void FlashMemory::Erase() {
    std::fill(bytes_.begin(), bytes_.end(), 0xFF);
    Persist(0, kSize);
}

// The file always holds the whole image, so a later process reads back
// exactly this flash.
void FlashMemory::Persist(uint32_t address, uint32_t length) {
    if (path_.empty())
        return;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "vscanner: cannot write flash image %s: %s\n", path_.c_str(),
                     std::strerror(errno));
        return;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < off_t(kSize)) {
        // A new or short file gets the whole image first.
        address = 0;
        length = kSize;
    }
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd, bytes_.data() + address + done, length - done, off_t(address + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            std::fprintf(stderr, "vscanner: writing flash image %s failed\n", path_.c_str());
            break;
        }
        done += size_t(n);
    }
    ::close(fd);
}

} // namespace vscanner

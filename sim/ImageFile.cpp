#include "ImageFile.h"

#include "At24Device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

ImageFile::~ImageFile()
{
    if (m_bMapped)
        ::munmap(m_pData, At24Device::kSize);
}

bool ImageFile::Open(const std::string& path, std::string& error)
{
    if (path.empty()) {
        m_memory.assign(At24Device::kSize, 0xFF);
        m_pData = m_memory.data();
        return true;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct stat st { };
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool bFresh = st.st_size == 0;
    if (!bFresh && st.st_size != At24Device::kSize) {
        error
            = path + ": " + std::to_string(st.st_size) + " bytes, an image holds " + std::to_string(At24Device::kSize);
        ::close(fd);
        return false;
    }
    void* p = MAP_FAILED;
    if (!bFresh || ::ftruncate(fd, At24Device::kSize) == 0)
        p = ::mmap(nullptr, At24Device::kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED)
        error = path + ": " + std::strerror(errno);
    ::close(fd);
    if (p == MAP_FAILED)
        return false;
    m_pData = static_cast<uint8_t*>(p);
    m_bMapped = true;
    if (bFresh)
        std::fill_n(m_pData, At24Device::kSize, 0xFF);
    return true;
}

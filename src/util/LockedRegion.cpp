#include "util/LockedRegion.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace korimbo {

LockedRegion::LockedRegion(std::size_t size) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    m_size = (size + page - 1) / page * page;
    if (m_size == 0)
        m_size = page;
    void* pages = ::mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages != MAP_FAILED) {
        m_data = pages;
        m_mapped = true;
        m_locked = ::mlock(m_data, m_size) == 0;
        ::madvise(m_data, m_size, MADV_DONTDUMP);
    } else {
        // Without pages of its own the secret still needs a home; calloc zero-fills like mmap.
        m_data = std::calloc(1, m_size);
        if (!m_data)
            throw std::bad_alloc();
    }
}

LockedRegion::~LockedRegion() {
    ::explicit_bzero(m_data, m_size);
    if (!m_mapped) {
        std::free(m_data);
        return;
    }
    if (m_locked)
        ::munlock(m_data, m_size);
    ::munmap(m_data, m_size);
}

} // namespace korimbo

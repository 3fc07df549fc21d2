#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace korimbo {

// Memory of its own pages for secrets: kept out of swap (mlock) and out of core dumps (MADV_DONTDUMP),
// overwritten before it is given back. When the locked-memory limit (RLIMIT_MEMLOCK) is too small the
// pages stay usable, only unlocked: Locked() tells which.
class LockedRegion {
public:
    explicit LockedRegion(std::size_t size);
    ~LockedRegion();
    LockedRegion(const LockedRegion&) = delete;
    LockedRegion& operator=(const LockedRegion&) = delete;

    void* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    bool Locked() const { return m_locked; }

private:
    void* m_data = nullptr;
    std::size_t m_size = 0; // whole pages
    bool m_mapped = false;  // false: the fallback from the heap, when no pages could be mapped
    bool m_locked = false;
};

// One object of type T living in a LockedRegion.
template <typename T>
class LockedValue {
public:
    template <typename... Args>
    explicit LockedValue(Args&&... args) : m_region(sizeof(T)) {
        m_value = new (m_region.Data()) T(std::forward<Args>(args)...);
    }
    ~LockedValue() { m_value->~T(); }
    LockedValue(const LockedValue&) = delete;
    LockedValue& operator=(const LockedValue&) = delete;

    T& operator*() const { return *m_value; }
    T* operator->() const { return m_value; }
    bool Locked() const { return m_region.Locked(); }

private:
    LockedRegion m_region;
    T* m_value = nullptr;
};

} // namespace korimbo

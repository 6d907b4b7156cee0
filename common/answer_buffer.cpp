#include "answer_buffer.h"

#include <cstring>

#include "plugin.h"

namespace {

// The buffer within a region of its own, or null.
char* GuardedBuffer(handles::UniqueVirtualMemory& region)
{
    // Pages are 4 KiB on every processor 64-bit Windows runs on.
    constexpr size_t page = 4096;
    constexpr size_t bufferPages = (plugin::kInfoBufferBytes + page - 1) / page;
    // Reserved pages that are not committed cannot be read or written: one before the buffer,
    // one after it.
    region.reset(VirtualAlloc(nullptr, (bufferPages + 2) * page, MEM_RESERVE, PAGE_NOACCESS));
    if (!region) return nullptr;
    BYTE* committed = static_cast<BYTE*>(region.get()) + page;
    if (!VirtualAlloc(committed, bufferPages * page, MEM_COMMIT, PAGE_READWRITE)) return nullptr;
    // Fresh pages are zero-filled.
    return reinterpret_cast<char*>(committed + bufferPages * page - plugin::kInfoBufferBytes);
}

struct SharedRegion {
    handles::UniqueVirtualMemory region;
    char* data = nullptr;
    bool inUse = false;
};

SharedRegion& TheSharedRegion()
{
    static SharedRegion shared;
    return shared;
}

}  // namespace

PluginAnswerBuffer::PluginAnswerBuffer()
{
    SharedRegion& shared = TheSharedRegion();
    if (!shared.inUse && !shared.data) shared.data = GuardedBuffer(shared.region);
    if (shared.inUse || !shared.data) {
        data_ = GuardedBuffer(own_);
        return;
    }
    shared.inUse = shared_ = true;
    data_ = shared.data;
    std::memset(data_, 0, plugin::kInfoBufferBytes);
}

PluginAnswerBuffer::~PluginAnswerBuffer()
{
    if (shared_) TheSharedRegion().inUse = false;
}

#include "answer_buffer.h"

#include "plugin.h"

PluginAnswerBuffer::PluginAnswerBuffer()
{
    // Pages are 4 KiB on every processor 64-bit Windows runs on.
    constexpr size_t page = 4096;
    constexpr size_t bufferPages = (plugin::kInfoBufferBytes + page - 1) / page;
    // Reserved pages that are not committed cannot be read or written: one before the buffer,
    // one after it.
    region_.reset(VirtualAlloc(nullptr, (bufferPages + 2) * page, MEM_RESERVE, PAGE_NOACCESS));
    if (!region_) return;
    BYTE* committed = static_cast<BYTE*>(region_.get()) + page;
    if (!VirtualAlloc(committed, bufferPages * page, MEM_COMMIT, PAGE_READWRITE)) return;
    // Fresh pages are zero-filled.
    data_ = reinterpret_cast<char*>(committed + bufferPages * page - plugin::kInfoBufferBytes);
}

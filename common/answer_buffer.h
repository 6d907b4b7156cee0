// The buffer offered to GetPluginInfo: plugin::kInfoBufferBytes of zeros that end exactly where
// a page begins that cannot be touched, with another such page before them. An answer that runs
// past its buffer faults inside the plug-in's own call, where the fault guard contains it;
// nothing of ours lies where the plug-in may write.
#pragma once

#include "handles.h"

class PluginAnswerBuffer {
public:
    PluginAnswerBuffer();
    // Null when no memory could be had.
    char* data() const { return data_; }

private:
    handles::UniqueVirtualMemory region_;
    char* data_ = nullptr;
};

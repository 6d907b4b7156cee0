// The buffer offered to GetPluginInfo: plugin::kInfoBufferBytes of zeros that end exactly where
// a page begins that cannot be touched, with another such page before them. An answer that runs
// past its buffer faults inside the plug-in's own call, where the fault guard contains it;
// nothing of ours lies where the plug-in may write.
//
// One region serves the program's answers one after the other, zero-filled for each: taking and
// giving back its pages for every answer, ten times in an inspection, cost a fifth of loading and
// freeing the plug-in under Wine. An answer asked for while another is still being given (from a
// modal loop the plug-in runs) gets a region of its own. Answers are asked for on one thread.
#pragma once

#include "handles.h"

class PluginAnswerBuffer {
public:
    PluginAnswerBuffer();
    ~PluginAnswerBuffer();
    PluginAnswerBuffer(const PluginAnswerBuffer&) = delete;
    PluginAnswerBuffer& operator=(const PluginAnswerBuffer&) = delete;
    // Null when no memory could be had.
    char* data() const { return data_; }

private:
    handles::UniqueVirtualMemory own_;  // only while the program's region is in use
    char* data_ = nullptr;
    bool shared_ = false;
};
